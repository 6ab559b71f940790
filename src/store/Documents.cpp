#include "store/Documents.h"

#include "app/Archive.h"
#include "platform/Encoding.h"
#include "platform/Files.h"
#include "resources/Strings.h"
#include "store/Trace.h"

#include <algorithm>

std::string FileKey(const CAttach& record) {
    return platform::AsciiLower(platform::BaseName(record.m_path));
}

std::string NotAddedText(const std::string& source, int error, const std::string& failed) {
    constexpr unsigned kIdsNotAdded = 9411;
    return FormatString(LoadString(kIdsNotAdded), source,
                        DescribeFileError(CFileException(error, failed, failed), failed));
}

CFolderRead<CFaxDocument> ReadDocuments(const std::string& directory) {
    CFolderRead<CFaxDocument> read;
    LoadDocuments(read.records, directory);
    return read;
}

CFolderRead<CReceivedFax> ReadReceivedFaxes(const std::string& directory) {
    StoreTrace("LoadRcvdFaxes Start");
    CFolderRead<CReceivedFax> read;
    platform::CDirIndex index(directory);
    for (const platform::DirEntry* job : platform::MatchingFiles(index, "*.fax")) {
        const std::string path = platform::JoinPath(directory, job->name);
        try {
            std::string bytes = ReadArchiveFile(path);
            CArchive ar(bytes);
            auto fax = std::make_unique<CReceivedFax>();
            fax->Serialize(ar);
            read.records.push_back(std::move(fax));
        } catch (const std::exception& e) {
            read.errors.push_back(DescribeFileError(e, path));
        }
    }
    StoreTrace("LoadRcvdFaxes End");
    return read;
}

// --- the owner --------------------------------------------------------------------------

template <class Record> Record* CRecordOwner<Record>::Find(const std::string& key) const {
    auto it = std::find_if(m_records.begin(), m_records.end(),
                           [&](const auto& r) { return FileKey(*r) == key; });
    return it != m_records.end() ? it->get() : nullptr;
}

template <class Record>
void CRecordOwner<Record>::Publish(typename Change::Kind kind, const Record* record,
                                   std::string key) {
    Change change;
    change.kind = kind;
    change.record = kind == Change::Kind::Added || kind == Change::Kind::Changed ? record : nullptr;
    change.key = record != nullptr ? FileKey(*record) : std::move(key);
    m_changes.Publish(change);
}

template <class Record> void CRecordOwner<Record>::Adopt(CFolderRead<Record> read) {
    for (const std::string& error : read.errors) {
        m_prompt.FileError(error);
    }
    m_records = std::move(read.records);
    Publish(Change::Kind::Reset, nullptr);
}

template <class Record> bool CRecordOwner<Record>::RemoveFiles(CAttach& files) {
    std::string failed;
    if (int err = files.DeleteFiles({}, &failed)) {
        m_prompt.FileError(NotDeletedText(err, failed));
        return false;
    }
    return true;
}

template <class Record> bool CRecordOwner<Record>::Remove(const Record* record) {
    auto it = std::find_if(m_records.begin(), m_records.end(),
                           [&](const auto& r) { return r.get() == record; });
    if (it == m_records.end() || !RemoveFiles(**it)) {
        return false;
    }
    std::string key = FileKey(**it);
    m_records.erase(it);
    Publish(Change::Kind::Removed, nullptr, std::move(key));
    return true;
}

template <class Record> void CRecordOwner<Record>::MarkRead(const Record& record) {
    auto it = std::find_if(m_records.begin(), m_records.end(),
                           [&](const auto& r) { return r.get() == &record; });
    if (it != m_records.end() && (*it)->m_unread != 0) {
        (*it)->m_unread = 0;
        Publish(Change::Kind::Changed, it->get());
    }
}

template class CRecordOwner<CFaxDocument>;
template class CRecordOwner<CReceivedFax>;

// --- documents --------------------------------------------------------------------------

bool CDocuments::AddChosenFile() {
    auto path = m_prompt.AskOpenFile(kAddDocumentFilter, "");
    if (!path) {
        return false;
    }
    std::string failed;
    if (const int error = AddFile(*path, std::nullopt, &failed)) {
        m_prompt.FileError(NotAddedText(*path, error, failed));
        return false;
    }
    return true;
}

void CDocuments::Forward(const std::string& title, const std::string& imagePath,
                         const CSingleFaxEntry* record) {
    if (imagePath.empty()) {
        return;
    }
    std::string newTitle;
    if (!title.empty()) {
        newTitle = FormatString("FW: %s", title);
    } else if (record != nullptr) {
        newTitle = FormatString("FW: Fax on %s", record->m_recipient);
    }
    std::string failed;
    if (const int error = AddFile(imagePath, newTitle, &failed)) {
        m_prompt.FileError(DescribeFileError(CFileException(error, failed, failed), failed));
    }
}

int CDocuments::AddFile(const std::string& source, const std::optional<std::string>& title,
                        std::string* failed) {
    std::string placed;
    const int error = AddDocumentFile(source, Directory(), title, &placed, failed);
    if (error == 0) {
        AddPlaced(placed);
    }
    return error;
}

void CDocuments::AddPlaced(const std::string& fileName) {
    const std::string key = platform::AsciiLower(fileName);
    if (Find(key) != nullptr) {
        return; // a reload listed it already
    }
    // The folder holds tens of documents: reading it again is the simplest way to title the
    // new one exactly as a reload would.
    CFolderRead<CFaxDocument> read = ReadDocuments(Directory());
    auto found = std::find_if(read.records.begin(), read.records.end(),
                              [&](const auto& d) { return FileKey(*d) == key; });
    if (found == read.records.end()) {
        return; // gone again, or no document
    }
    // Oldest first, as a reload orders them.
    auto at = std::upper_bound(m_records.begin(), m_records.end(), (*found)->m_time,
                               [](std::int64_t t, const auto& d) { return t < d->m_time; });
    const CFaxDocument* added = m_records.insert(at, std::move(*found))->get();
    Publish(Change::Kind::Added, added);
}

bool CDocuments::RemoveImage(const std::string& imagePath) {
    auto listed = std::find_if(m_records.begin(), m_records.end(), [&](const auto& d) {
        return platform::EqualsNoCase(d->m_path, imagePath);
    });
    if (listed != m_records.end()) {
        return Remove(listed->get());
    }
    CFaxDocument unlisted(imagePath, 0, {});
    return RemoveFiles(unlisted);
}
