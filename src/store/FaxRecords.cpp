#include "store/FaxRecords.h"

#include "app/Archive.h"
#include "platform/Files.h"
#include "resources/Strings.h"
#include "service/JobState.h"

#include <ctime>
#include <stdexcept>

namespace {

constexpr std::uint16_t kBaseVersion = 3;
constexpr std::uint16_t kEntryVersion = 5;
constexpr std::uint16_t kAttachVersion = 2;
constexpr std::uint16_t kSingleVersion = 1;
constexpr std::uint16_t kListVersion = 2;
constexpr std::uint16_t kPersonalVersion = 1;

// A count read from a file: a negative one is malformed. The elements are read one by one,
// so a hostile count runs out of bytes before it can make us allocate much.
std::size_t ReadCount(CArchive& ar) {
    std::int32_t n = ar.ReadI32();
    if (n < 0) {
        throw CArchiveException(CArchiveException::kBadFormat, "negative element count");
    }
    return static_cast<std::size_t>(n);
}

// The part a list and a personalised list share after their file: the version, the list id,
// the state and the recipients. A file of an older version holds none of it.
template <typename Recipient>
void SerializeList(CArchive& ar, std::uint16_t version, std::int32_t& listId, std::int32_t& status,
                   std::vector<Recipient>& recipients) {
    if (ar.IsStoring()) {
        ar.WriteU16(version);
        ar.WriteI32(listId);
        ar.WriteI32(status);
        ar.WriteI32(static_cast<std::int32_t>(recipients.size()));
        for (auto& r : recipients) {
            r.Serialize(ar);
        }
        return;
    }
    if (ar.ReadU16() < version) {
        return;
    }
    listId = ar.ReadI32();
    status = ar.ReadI32();
    std::size_t n = ReadCount(ar);
    recipients.clear();
    for (std::size_t i = 0; i < n; ++i) {
        Recipient r;
        r.Serialize(ar);
        recipients.push_back(std::move(r));
    }
}

std::int64_t ReadTime(CArchive& ar, bool wide) {
    return wide ? ar.ReadI64() : ar.ReadTime32();
}

// Removes one file; on a failure other than "not found" keeps a copy in "temp" beside it
// and names the file in `failed`.
int DeleteKeepingCopy(const std::string& path, std::string* failed) {
    if (path.empty()) {
        return platform::kOk;
    }
    int err = platform::DeleteFile(path);
    if (err == platform::kOk || err == platform::kNotFound) {
        return platform::kOk;
    }
    std::string temp = platform::JoinPath(platform::JoinPath(platform::DirName(path), "temp"),
                                          platform::BaseName(path));
    platform::CopyFile(path, temp, false);
    if (failed != nullptr) {
        *failed = path;
    }
    return err;
}

} // namespace

std::int64_t CurrentTime() {
    return static_cast<std::int64_t>(std::time(nullptr));
}

// --- pieces -----------------------------------------------------------------------------

void CSendStatistics::Serialize(CArchive& ar) {
    if (ar.IsStoring()) {
        ar.WriteI32(m_attempt);
        ar.WriteI32(m_result);
        ar.WriteI32(m_duration);
        ar.WriteI64(m_time);
    } else {
        m_attempt = ar.ReadI32();
        m_result = ar.ReadI32();
        m_duration = ar.ReadI32();
        m_time = ar.ReadI64();
    }
}

void CFaxEntryBase::Serialize(CArchive& ar) {
    if (ar.IsStoring()) {
        ar.WriteI32(GetType());
        ar.WriteU16(kBaseVersion);
        ar.WriteString(m_title);
        ar.WriteI64(m_time);
        return;
    }
    // The type code was read by whoever chose the class.
    std::uint16_t version = ar.ReadU16();
    if (version != 0) {
        m_title = ar.ReadString();
        m_time = ReadTime(ar, version >= 3);
    }
}

void CFaxEntry::CopyFrom(const CFaxEntry& other) {
    if (&other == this) {
        return;
    }
    m_serverId = other.m_serverId;
    m_pages = other.m_pages;
    m_status = other.m_status;
    m_attempts = other.m_attempts;
}

void CFaxEntry::Serialize(CArchive& ar) {
    if (ar.IsStoring()) {
        ar.WriteU16(kEntryVersion);
        ar.WriteString(m_recipient);
        ar.WriteI64(m_created);
        ar.WriteI64(m_lastAttempt);
        ar.WriteI32(m_pages);
        ar.WriteI32(static_cast<std::int32_t>(m_attempts.size()));
        for (auto& a : m_attempts) {
            a.Serialize(ar);
        }
        ar.WriteString(m_serverId);
        ar.WriteI32(m_faxId);
        ar.WriteI32(m_status);
        ar.WriteString(m_recipientLabel);
        return;
    }
    std::uint16_t version = ar.ReadU16();
    if (version >= 1) {
        m_recipient = ar.ReadString();
        m_created = ReadTime(ar, version >= 5);
        m_lastAttempt = ReadTime(ar, version >= 5);
        m_pages = ar.ReadI32();
        std::size_t n = ReadCount(ar);
        m_attempts.clear();
        for (std::size_t i = 0; i < n; ++i) {
            CSendStatistics s;
            s.Serialize(ar);
            m_attempts.push_back(s);
        }
    }
    if (version >= 2) {
        m_serverId = ar.ReadString();
    }
    if (version >= 3) {
        m_faxId = ar.ReadI32();
        m_status = ar.ReadI32();
        m_recipientLabel = ar.ReadString();
    }
}

std::string CAttach::CompanionFile() const {
    return platform::CompanionPath(m_path, CompanionExtension());
}

std::string NotDeletedText(int error, const std::string& path) {
    constexpr unsigned kIdsNotDeleted = 9401;
    return FormatString(LoadString(kIdsNotDeleted),
                        DescribeFileError(CFileException(error, path, path), path));
}

std::string FileInStore(const std::string& directory, const std::string& storedPath) {
    if (directory.empty()) {
        return storedPath;
    }
    const std::string name = platform::BaseName(storedPath);
    if (name.empty() || name == "." || name == "..") {
        return {};
    }
    std::string path = platform::JoinPath(directory, name);
    if (auto real = platform::FindNoCase(path)) {
        return *real;
    }
    return path;
}

int CAttach::DeleteFiles(const std::string& directory, std::string* failed) {
    const std::string image = FileInStore(directory, StoreName());
    if (image.empty()) {
        return 0;
    }
    // The companion is looked up before the image goes, while its real name is still known.
    // A failed image keeps its companion, so the record stays whole.
    std::string companion = platform::CompanionPath(image, CompanionExtension());
    if (int err = DeleteKeepingCopy(image, failed)) {
        return err;
    }
    return DeleteKeepingCopy(companion, failed);
}

void CAttach::Serialize(CArchive& ar) {
    if (ar.IsStoring()) {
        ar.WriteU16(kAttachVersion);
        ar.WriteString(m_path);
        ar.WriteU8(m_unread);
        return;
    }
    std::uint16_t version = ar.ReadU16();
    if (version != 0) {
        m_path = ar.ReadString();
    }
    m_unread = 0;
    if (version >= 2) {
        m_unread = ar.ReadU8();
    }
}

void CFaxCore::Serialize(CArchive& ar) {
    if (ar.IsStoring()) {
        ar.WriteString(m_to);
        ar.WriteString(m_from);
        ar.WriteString(m_serverId);
        ar.WriteI32(m_pages);
        ar.WriteI32(m_duration);
        ar.WriteI64(m_received);
    } else {
        m_to = ar.ReadString();
        m_from = ar.ReadString();
        m_serverId = ar.ReadString();
        m_pages = ar.ReadI32();
        m_duration = ar.ReadI32();
        m_received = ar.ReadI64();
    }
}

// --- records ----------------------------------------------------------------------------

void CFaxDocument::Serialize(CArchive& ar) {
    CFaxEntryBase::Serialize(ar);
    CAttach::Serialize(ar);
}

std::unique_ptr<CFaxEntryBase> CFaxDocument::Clone() const {
    return std::make_unique<CFaxDocument>(*this);
}

CSingleFaxEntry::CSingleFaxEntry(std::string title)
    : CFaxEntryBase(CurrentTime(), std::move(title)) {
    m_created = m_time;
    m_lastAttempt = m_time;
}

void CSingleFaxEntry::UpdateFrom(const CFaxEntryBase& other) {
    if (const auto* entry = dynamic_cast<const CFaxEntry*>(&other)) {
        CopyFrom(*entry);
    }
}

void CSingleFaxEntry::Serialize(CArchive& ar) {
    CFaxEntryBase::Serialize(ar);
    CFaxEntry::Serialize(ar);
    CAttach::Serialize(ar);
    if (ar.IsStoring()) {
        ar.WriteU16(kSingleVersion);
    } else {
        ar.ReadU16();
    }
}

std::unique_ptr<CFaxEntryBase> CSingleFaxEntry::Clone() const {
    return std::make_unique<CSingleFaxEntry>(*this);
}

CGroupFaxEntry::CGroupFaxEntry(std::string title)
    : CFaxEntryBase(CurrentTime(), std::move(title)) {}

void CGroupFaxEntry::UpdateFrom(const CFaxEntryBase& other) {
    const auto* list = dynamic_cast<const CGroupFaxEntry*>(&other);
    if (list == nullptr) {
        return;
    }
    m_status = list->m_status;
    for (const CFaxEntry& theirs : list->m_recipients) {
        for (CFaxEntry& mine : m_recipients) {
            if (mine.m_faxId == theirs.m_faxId) {
                mine.CopyFrom(theirs);
            }
        }
    }
}

void CGroupFaxEntry::Serialize(CArchive& ar) {
    CFaxEntryBase::Serialize(ar);
    CAttach::Serialize(ar);
    SerializeList(ar, kListVersion, m_listId, m_status, m_recipients);
}

std::unique_ptr<CFaxEntryBase> CGroupFaxEntry::Clone() const {
    return std::make_unique<CGroupFaxEntry>(*this);
}

int CGroupFaxEntry::DeleteFiles(const std::string& directory, std::string* failed) {
    const std::string image = FileInStore(directory, StoreName());
    if (image.empty()) {
        return 0;
    }
    std::string list = platform::CompanionPath(image, ".fbl");
    if (int err = CAttach::DeleteFiles(directory, failed)) {
        return err;
    }
    return DeleteKeepingCopy(list, failed);
}

CPersonalFaxEntry::CPersonalFaxEntry(std::string title)
    : CFaxEntryBase(CurrentTime(), std::move(title)) {}

void CPersonalFaxEntry::UpdateFrom(const CFaxEntryBase& other) {
    const auto* list = dynamic_cast<const CPersonalFaxEntry*>(&other);
    if (list == nullptr) {
        return;
    }
    m_status = list->m_status;
    for (const CAttachFaxEntry& theirs : list->m_recipients) {
        for (CAttachFaxEntry& mine : m_recipients) {
            if (mine.m_faxId == theirs.m_faxId) {
                mine.CopyFrom(theirs);
            }
        }
    }
}

void CPersonalFaxEntry::Serialize(CArchive& ar) {
    CFaxEntryBase::Serialize(ar);
    CAttach::Serialize(ar);
    SerializeList(ar, kPersonalVersion, m_listId, m_status, m_recipients);
}

std::unique_ptr<CFaxEntryBase> CPersonalFaxEntry::Clone() const {
    return std::make_unique<CPersonalFaxEntry>(*this);
}

int CPersonalFaxEntry::DeleteFiles(const std::string& directory, std::string* failed) {
    for (const CAttachFaxEntry& r : m_recipients) {
        if (r.m_path.empty()) {
            continue;
        }
        if (int err = DeleteKeepingCopy(FileInStore(directory, r.StoreName()), failed)) {
            return err;
        }
    }
    return CAttach::DeleteFiles(directory, failed);
}

void CAttachFaxEntry::Serialize(CArchive& ar) {
    CFaxEntry::Serialize(ar);
    CAttach::Serialize(ar);
}

void CReceivedFax::Serialize(CArchive& ar) {
    CFaxCore::Serialize(ar);
    CAttach::Serialize(ar);
    if (ar.IsStoring()) {
        ar.WriteString(m_faxId);
    } else {
        m_faxId = ar.ReadString();
    }
}

CAttach* AttachOf(CFaxEntryBase& record) {
    return dynamic_cast<CAttach*>(&record);
}
const CAttach* AttachOf(const CFaxEntryBase& record) {
    return dynamic_cast<const CAttach*>(&record);
}

std::string StoreRecord(CFaxEntryBase& record) {
    CArchive ar;
    record.Serialize(ar);
    return ar.TakeBuffer();
}

namespace {

// The header ends with the recipients' count.
std::string ListHeaderBytes(CGroupFaxEntry& header, std::int32_t count) {
    if (!header.m_recipients.empty()) {
        throw std::logic_error("a list header with recipients of its own");
    }
    CArchive ar;
    header.Serialize(ar);
    CArchive n;
    n.WriteI32(count);
    std::string bytes = ar.TakeBuffer();
    bytes.replace(bytes.size() - n.Buffer().size(), n.Buffer().size(), n.Buffer());
    return bytes;
}

} // namespace

CListRecordBytes::CListRecordBytes(CGroupFaxEntry& header, std::size_t reserve) {
    const std::string h = ListHeaderBytes(header, 0);
    m_headerSize = h.size();
    m_archive.Reserve(h.size() + reserve);
    m_archive.WriteBytes(h.data(), h.size());
}

void CListRecordBytes::Add(CFaxEntry& recipient) {
    recipient.Serialize(m_archive);
    ++m_count;
}

const std::string& CListRecordBytes::Finish(CGroupFaxEntry& header) {
    m_bytes = m_archive.TakeBuffer();
    WriteHeader(header);
    return m_bytes;
}

void CListRecordBytes::WriteHeader(CGroupFaxEntry& header) {
    const std::string h = ListHeaderBytes(header, m_count);
    if (h.size() != m_headerSize) {
        throw std::logic_error("a list header changed its width");
    }
    m_bytes.replace(0, h.size(), h);
}

std::unique_ptr<CFaxEntryBase> LoadSentRecord(std::string_view bytes) {
    if (bytes.empty()) {
        return nullptr;
    }
    CArchive ar(bytes);
    std::unique_ptr<CFaxEntryBase> record;
    switch (ar.ReadI32()) {
    case kTypeSingle:
        record = std::make_unique<CSingleFaxEntry>();
        break;
    case kTypeList:
        record = std::make_unique<CGroupFaxEntry>();
        break;
    case kTypePersonal:
        record = std::make_unique<CPersonalFaxEntry>();
        break;
    default:
        return nullptr;
    }
    record->Serialize(ar);
    return record;
}

std::int32_t EntryState(const CFaxEntryBase& entry) {
    if (const auto* single = dynamic_cast<const CSingleFaxEntry*>(&entry)) {
        return single->m_status;
    }
    if (const auto* list = dynamic_cast<const CGroupFaxEntry*>(&entry)) {
        return list->m_status;
    }
    if (const auto* personal = dynamic_cast<const CPersonalFaxEntry*>(&entry)) {
        return personal->m_status;
    }
    return kJobStateNone;
}

bool IsPersonalList(const CFaxEntryBase& entry) {
    return entry.GetType() == kTypePersonal;
}

std::vector<std::int32_t> StatusIdsOf(const CFaxEntryBase& entry) {
    if (const auto* single = dynamic_cast<const CSingleFaxEntry*>(&entry)) {
        return {single->m_faxId};
    }
    if (const auto* list = dynamic_cast<const CGroupFaxEntry*>(&entry)) {
        return {list->m_listId};
    }
    std::vector<std::int32_t> ids;
    if (const auto* personal = dynamic_cast<const CPersonalFaxEntry*>(&entry)) {
        ids.reserve(personal->m_recipients.size());
        for (const CAttachFaxEntry& r : personal->m_recipients) {
            ids.push_back(r.m_faxId);
        }
    }
    return ids;
}
