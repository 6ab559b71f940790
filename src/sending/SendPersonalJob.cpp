#include "sending/SendPersonalJob.h"

#include "app/Settings.h"
#include "app/StorePaths.h"
#include "platform/Encoding.h"
#include "platform/Files.h"
#include "resources/Strings.h"
#include "sending/FaxImage.h"
#include "sending/PhoneListFile.h"
#include "sending/PhoneNumbers.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

CSendPersonalJob::CSendPersonalJob(std::string printRunPath, IPrompt& prompt, ISentRecords& records)
    : CSendJobBase(prompt, records, 3, 5), m_printRunPath(std::move(printRunPath)) {}

void CSendPersonalJob::Open(std::int64_t now) {
    TakeListFields(now);
    std::time_t t = static_cast<std::time_t>(now);
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[160];
    std::snprintf(buf, sizeof buf, "Персонифицированная рассылка %4d-%02d-%02d %02d:%02d",
                  tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min);
    m_listName = buf;
    m_sendEnabled = false;
}

void CSendPersonalJob::BrowseRecipientFile() {
    if (std::optional<std::string> path = m_prompt.AskOpenFile(kPhoneFileFilter, "")) {
        m_recipientFilePath = *path;
    }
}

void CSendPersonalJob::SpinPages(int delta) {
    m_pagesPerRecipient = SpinStep(m_pagesPerRecipient, delta, -1000000, 1000000);
    Edited();
}

int CSendPersonalJob::ReadRecipients() {
    m_lines.clear();
    if (m_recipientFilePath.size() < 6) {
        m_prompt.MessageId(kMsgNoSendFile);
        return -1;
    }
    bool completed = false;
    const std::string& prefix = Settings().DefaultAreaCode;
    if (!ReadRecipientFile(m_recipientFilePath, prefix, m_lines, completed)) {
        m_lines.clear();
        m_prompt.MessageId(kMsgCannotOpenSendFile);
        return -1;
    }
    if (completed) {
        m_prompt.Message(FormatString(LoadString(kMsgShortNumbersCompleted), prefix), MsgIcon::None,
                         MsgButtons::Ok);
    }
    return static_cast<int>(m_lines.size());
}

bool CSendPersonalJob::Done() {
    auto stop = [&](unsigned id) {
        m_prompt.MessageId(id, MsgIcon::Stop);
        return false;
    };
    if (platform::Utf8ToCp1251(m_password).size() < 8) {
        return stop(kMsgBadPasswordLength);
    }
    m_recipientCount = ReadRecipients();
    if (m_recipientCount <= 0) {
        m_recipientCount = 0;
        return stop(kMsgNoPhonesInFile);
    }
    const int pages = CountPages(m_printRunPath);
    if (pages == 0) {
        return stop(kMsgUnreadablePrintFile);
    }
    if (static_cast<long long>(m_pagesPerRecipient) * m_recipientCount != pages) {
        return stop(kMsgPhonesPagesMismatch);
    }
    CSplitResult split = SplitPerRecipient(m_printRunPath, m_pagesPerRecipient);
    m_baseName = split.baseName;
    // A page that cannot be read would shift every later recipient's pages: nothing goes.
    if (split.error == SplitError::DamagedPage) {
        return stop(kMsgDamagedFile);
    }
    if (split.error != SplitError::None || split.parts != m_recipientCount) {
        return stop(kMsgSplitFailed);
    }
    PutListFields();
    SaveSettings(m_prompt);
    m_sendEnabled = true;
    return true;
}

std::optional<CSendPersonalJob::CPersonalPosting> CSendPersonalJob::PrepareSend() {
    m_sendEnabled = false;
    const CSettings& s = Settings();
    const std::string timeText = SendTimeText(m_sendMode, m_sendDate, m_sendTime);
    const int count = std::min(m_recipientCount, static_cast<int>(m_lines.size()));
    const CTakenIds ids = TakeIds(count, true, m_prompt);
    m_record = std::make_unique<CPersonalFaxEntry>(m_listName);
    m_record->m_listId = ids.list;
    const std::string mergeDir = StorePath(s.DataDir, kMergeFolder);
    const std::string sentDir = StorePath(s.DataDir, kSentFolder);
    m_jobFilePath = platform::JoinPath(sentDir, m_baseName + ".FAX");
    m_record->m_path = m_jobFilePath;

    CPersonalPosting posting;
    CPersonalFaxEntry reservation(*m_record);
    for (int k = 1; k <= count; ++k) {
        CItem item;
        SplitRecipientLine(m_lines[k - 1], item.number, item.label);
        item.faxId = ids.firstFax + k - 1;
        // Each recipient's image keeps the name of its part.
        item.imagePath = SplitPartPath(sentDir, m_baseName, k);
        reservation.m_recipients.push_back(RecipientOf(item, item.faxId));
        posting.items.push_back(std::move(item));
    }
    if (!ReserveJobFile(StoreRecord(reservation), m_jobFilePath)) {
        m_sendEnabled = true;
        return std::nullopt;
    }
    for (int k = 1; k <= count; ++k) {
        CItem& item = posting.items[static_cast<std::size_t>(k - 1)];
        char line[512];
        std::snprintf(line, sizeof line, "%s %s %d 111%03d%03d", m_userName.c_str(),
                      timeText.c_str(), item.faxId, m_attempts, m_delay);
        const std::string part = SplitPartPath(mergeDir, m_baseName, k);
        if (platform::MoveFile(part, item.imagePath) != 0) {
            m_prompt.FileError(FormatString(LoadString(kMsgCannotMovePart), part));
        } else if (!SignJobFile(m_password, item.number, line, item.imagePath)) {
            m_prompt.FileError(FormatString(LoadString(kMsgCannotSign), item.imagePath));
        } else {
            item.ready = true;
        }
        item.request.documentPath = item.imagePath;
        item.request.phoneNumber = item.number;
        item.request.attempts = m_attempts;
        item.request.delay = m_delay;
    }
    posting.endpoint = ApiEndpointFromSettings();
    return posting;
}

CAttachFaxEntry CSendPersonalJob::RecipientOf(const CItem& item, std::int32_t faxId) const {
    CAttachFaxEntry recipient;
    recipient.m_faxId = faxId;
    recipient.m_path = item.imagePath;
    recipient.m_recipient = item.number;
    recipient.m_recipientLabel = item.label;
    recipient.m_pages = m_pagesPerRecipient;
    return recipient;
}

std::vector<CSubmitResult> CSendPersonalJob::Post(const CPersonalPosting& posting,
                                                  const std::function<void(int)>& progress) {
    std::vector<CSubmitResult> results(posting.items.size());
    for (std::size_t i = 0; i < posting.items.size(); ++i) {
        if (posting.items[i].ready) {
            results[i] = PostSubmission(posting.items[i].request, posting.endpoint);
        }
        if (progress) {
            progress(static_cast<int>(i));
        }
    }
    return results;
}

SendOutcome CSendPersonalJob::FinishSend(const CPersonalPosting& posting,
                                         const std::vector<CSubmitResult>& results) {
    if (!m_record) {
        return SendOutcome::StayOpen;
    }
    bool unanswered = false;
    const CSubmitResult* notSent = nullptr;
    std::string jobIds;
    for (std::size_t i = 0; i < posting.items.size() && i < results.size(); ++i) {
        const CItem& item = posting.items[i];
        const CSubmitResult& r = results[i];
        if (item.ready &&
            (r.kind == CSubmitResult::Kind::NoReply || r.kind == CSubmitResult::Kind::NoError)) {
            unanswered = true;
        } else if (item.ready && r.kind == CSubmitResult::Kind::NotSent) {
            notSent = &r;
        } else if (r.kind == CSubmitResult::Kind::Refused) {
            m_prompt.Message(ShownText(r.message + r.details), MsgIcon::None, MsgButtons::Ok);
        } else if (r.kind == CSubmitResult::Kind::Accepted) {
            m_record->m_recipients.push_back(RecipientOf(item, r.id));
            jobIds += (jobIds.empty() ? "" : ", ") + std::to_string(r.id);
        }
    }
    if (unanswered) {
        m_prompt.MessageId(kMsgNoSubmitReply, MsgIcon::Warning);
    }
    if (notSent != nullptr) {
        TellNotSent(m_prompt, *notSent);
    }
    if (m_record->m_recipients.empty()) {
        m_prompt.MessageId(kMsgNothingSent);
    }
    RecordAccepted(StoreRecord(*m_record), m_jobFilePath, jobIds);
    m_sendEnabled = true;
    return SendOutcome::Submitted;
}

SendOutcome CSendPersonalJob::Send() {
    std::optional<CPersonalPosting> posting = PrepareSend();
    return posting ? FinishSend(*posting, Post(*posting)) : SendOutcome::StayOpen;
}
