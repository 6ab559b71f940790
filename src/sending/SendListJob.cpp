#include "sending/SendListJob.h"

#include "addressbook/AddrBook.h"
#include "app/Settings.h"
#include "platform/Encoding.h"
#include "platform/Files.h"
#include "resources/Strings.h"
#include "sending/FaxImage.h"
#include "sending/PhoneListFile.h"
#include "sending/PhoneNumbers.h"
#include "service/JobState.h"

#include <cstdio>
#include <ctime>
#include <malloc.h>

namespace {
constexpr unsigned kIdsMailingName = 9308;
// A recipient's job file bytes besides its number and label (fixed fields and lengths).
constexpr std::size_t kRecipientBytesBesideText = 40;
constexpr std::size_t kLinesPerTrim = 1 << 16;
} // namespace

// --- CEditList -----------------------------------------------------------------------------

CEditList::AddResult CEditList::AddTyped(std::string_view typed) {
    std::string number;
    if (!NormalizeTypedNumber(typed, Settings().DefaultAreaCode, number)) {
        return AddResult::Ignored;
    }
    return AddTypedNumber(m_lines, number) ? AddResult::Added : AddResult::Duplicate;
}

int CEditList::DeleteAt(int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= m_lines.size()) {
        return m_lines.empty() ? -1 : static_cast<int>(m_lines.size()) - 1;
    }
    m_lines.erase(m_lines.begin() + index);
    if (m_lines.empty()) {
        return -1;
    }
    return std::min(index, static_cast<int>(m_lines.size()) - 1);
}

void CEditList::AddEntries(const std::vector<const CAddrBookEntry*>& entries) {
    bool duplicate = false;
    CListAppender lines(m_lines);
    CGroupWalk walk;
    walk.member = [&](const CAddrBookEntry& e) {
        if (const auto* contact = dynamic_cast<const CContactEntry*>(&e)) {
            lines.Add(contact->m_name, contact->m_company + ", " + contact->m_person, duplicate);
        }
        return true;
    };
    for (const CAddrBookEntry* e : entries) {
        if (const auto* group = dynamic_cast<const CGroupEntry*>(e)) {
            WalkGroup(*group, walk);
        } else if (e != nullptr) {
            walk.member(*e);
        }
    }
    if (duplicate) {
        m_prompt.MessageId(kMsgDuplicateNumbers);
    }
}

bool CEditList::CheckFilePath(const std::string& path) {
    if (path.size() < 6) {
        m_prompt.MessageId(kMsgNoSendFile);
        return false;
    }
    return true;
}

std::optional<std::string> CEditList::AskFilePath() {
    std::optional<std::string> path = m_prompt.AskOpenFile(kPhoneFileFilter, "");
    if (path && !CheckFilePath(*path)) {
        path.reset();
    }
    return path;
}

CPhoneListRead CEditList::StartFileRead(const std::string& path) const {
    CPhoneListRead read;
    read.path = path;
    read.areaPrefix = Settings().DefaultAreaCode;
    read.lines = m_lines;
    return read;
}

void CEditList::ReadFile(CPhoneListRead& read, const ListReadProgress& progress) {
    read.opened = ReadPhoneListFile(read.path, read.areaPrefix, read.lines, read.duplicate,
                                    progress, &read.cancelled);
}

bool CEditList::TakeFileRead(CPhoneListRead&& read) {
    if (read.cancelled) {
        return false;
    }
    if (!read.opened) {
        m_prompt.MessageId(kMsgCannotOpenSendFile);
        return false;
    }
    m_lines = std::move(read.lines);
    if (read.duplicate) {
        m_prompt.MessageId(kMsgDuplicateNumbers);
    }
    return true;
}

bool CEditList::AddFromFile(const std::string& path) {
    if (!CheckFilePath(path)) {
        return false;
    }
    CPhoneListRead read = StartFileRead(path);
    ReadFile(read);
    return TakeFileRead(std::move(read));
}

// --- files ---------------------------------------------------------------------------------

void BuildListFiles(const std::vector<std::string>& lines, std::int32_t firstFaxId,
                    std::string& sendList, std::string& numberList) {
    sendList.clear();
    numberList.clear();
    std::int32_t faxId = firstFaxId;
    for (const std::string& line : lines) {
        std::string number, label;
        SplitRecipientLine(line, number, label);
        const std::string cp = platform::Utf8ToCp1251(number);
        numberList += cp + "\r\n";
        sendList += std::to_string(faxId) + " " + cp + "\r\n";
        ++faxId;
    }
    sendList += "\r\n";
}

// --- CSendListJob --------------------------------------------------------------------------

CSendListJob::CSendListJob(std::string imagePath, std::string imageName, std::int32_t pages,
                           IPrompt& prompt, ISentRecords& records)
    : CSendJobBase(prompt, records, 3, 5), m_imagePath(std::move(imagePath)),
      m_imageName(std::move(imageName)), m_pages(pages) {
    m_sendListPath = platform::ReplaceExtension(m_imagePath, ".FBL");
    m_sendListName = platform::ReplaceExtension(m_imageName, ".FBL");
    m_numberListPath = platform::ReplaceExtension(m_imagePath, ".csv");
    m_numberListName = platform::ReplaceExtension(m_imageName, ".csv");
}

void CSendListJob::Open(std::int64_t now) {
    TakeListFields(now);
    m_numberCount = static_cast<std::int32_t>(m_lines.size());
    std::time_t t = static_cast<std::time_t>(now);
    std::tm tm{};
    localtime_r(&t, &tm);
    char when[64];
    std::snprintf(when, sizeof when, "%4d-%02d-%02d %02d:%02d", tm.tm_year + 1900, tm.tm_mon + 1,
                  tm.tm_mday, tm.tm_hour, tm.tm_min);
    m_listName = FormatString(LoadString(kIdsMailingName), when);
    m_sendEnabled = false;
}

void CSendListJob::LinesEdited() {
    m_numberCount = static_cast<std::int32_t>(m_lines.size());
    Edited();
}

namespace {

std::size_t Utf8Chars(std::string_view s) {
    std::size_t n = 0;
    for (char c : s) {
        n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }
    return n;
}

} // namespace

bool CSendListJob::Done() {
    if (m_userName.empty()) {
        m_prompt.MessageId(kMsgBadUserIdLength, MsgIcon::Stop);
        return false;
    }
    if (platform::Utf8ToCp1251(m_password).size() != 8) {
        m_prompt.MessageId(kMsgBadPasswordLength, MsgIcon::Stop);
        return false;
    }
    if (Utf8Chars(m_listName) > kMaxListNameChars) {
        m_prompt.MessageId(kMsgListNameTooLong, MsgIcon::Stop);
        return false;
    }
    if (m_lines.empty()) {
        return false;
    }
    PutListFields();
    const std::string timeText = SendTimeText(m_sendMode, m_sendDate, m_sendTime);
    const CTakenIds ids = TakeIds(static_cast<std::int32_t>(m_lines.size()), true, m_prompt);
    const std::int32_t listId = ids.list;
    char line[512];
    std::snprintf(line, sizeof line, "%s %s %d %c%c1%03d%03d", m_userName.c_str(), timeText.c_str(),
                  listId, m_notifyFailure ? '1' : '0', m_notifySuccess ? '1' : '0', m_attempts,
                  m_delay);
    m_jobLine = line;

    m_record.reset();
    m_recordBytes.reset();
    const std::int32_t firstFaxId = ids.firstFax;
    {
        std::string sendList, numberList;
        BuildListFiles(m_lines, firstFaxId, sendList, numberList);
        // The number list is only a copy for the service; without it the post carries no list
        // and the service says so.
        platform::AtomicWriteFile(m_numberListPath, numberList);
        if (platform::AtomicWriteFile(m_sendListPath, sendList) != 0) {
            m_prompt.MessageId(kMsgCannotCreateFbl);
            return false;
        }
    }
    for (const std::string* path : {&m_imagePath, &m_sendListPath}) {
        if (!SignJobFile(m_password, "sendlist", m_jobLine, *path)) {
            m_prompt.Message(FormatString(LoadString(kMsgCannotSign), *path), MsgIcon::Stop,
                             MsgButtons::Ok);
            return false;
        }
    }

    m_record = std::make_unique<CGroupFaxEntry>(m_listName);
    m_record->m_listId = listId;
    m_record->m_path = m_imagePath;
    std::size_t size = 0;
    for (const std::string& l : m_lines) {
        size += l.size() + kRecipientBytesBesideText;
    }
    m_recordBytes = std::make_unique<CListRecordBytes>(*m_record, size);
    CFaxEntry r;
    r.m_faxId = firstFaxId;
    r.m_pages = m_pages;
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        SplitRecipientLine(m_lines[i], r.m_recipient, r.m_recipientLabel);
        m_recordBytes->Add(r);
        ++r.m_faxId;
        if (m_dropLinesWhenDone) {
            // The lines' memory goes back while the record grows, not after: a list of a
            // million numbers is then never held twice.
            std::string().swap(m_lines[i]);
            if (i % kLinesPerTrim == kLinesPerTrim - 1) {
                malloc_trim(0);
            }
        }
    }
    if (m_dropLinesWhenDone) {
        std::vector<std::string>().swap(m_lines);
    }
    m_recordBytes->Finish(*m_record);
    m_sendEnabled = true;
    return true;
}

std::optional<CPosting> CSendListJob::PrepareSend() {
    std::vector<std::string> numbers;
    numbers.reserve(m_lines.size());
    for (const std::string& line : m_lines) {
        numbers.push_back(line.substr(0, line.find(' ')));
    }
    if (!ConfirmNotSentBefore(m_imagePath, numbers)) {
        return std::nullopt;
    }
    m_sendEnabled = false;
    m_jobFilePath = NewJobFilePath(m_imagePath);
    if (!m_recordBytes || !ReserveJobFile(m_recordBytes->Bytes(), m_jobFilePath)) {
        m_sendEnabled = true;
        return std::nullopt;
    }
    CPosting p;
    p.request.documentPath = m_imagePath;
    p.request.phoneListPath = m_numberListPath;
    p.request.attempts = m_attempts;
    p.request.delay = m_delay;
    p.endpoint = ApiEndpointFromSettings();
    return p;
}

SendOutcome CSendListJob::FinishSend(const CSubmitResult& result) {
    if (!TakeAnswer(result, result.message + result.details)) {
        return SendOutcome::StayOpen;
    }
    if (!m_record) {
        return SendOutcome::StayOpen;
    }
    m_record->m_listId = result.id;
    m_record->m_status = kJobStateQueued;
    m_recordBytes->WriteHeader(*m_record);
    RecordAccepted(m_recordBytes->Bytes(), m_jobFilePath, std::to_string(result.id));
    return SendOutcome::Submitted;
}

SendOutcome CSendListJob::Send() {
    std::optional<CPosting> posting = PrepareSend();
    return posting ? FinishSend(Post(*posting)) : SendOutcome::StayOpen;
}
