#include "sending/SendFaxJob.h"

#include "app/Settings.h"
#include "resources/Strings.h"
#include "sending/FaxImage.h"
#include "sending/PhoneNumbers.h"
#include "store/FaxRecords.h"

#include <cstdio>

CSendFaxJob::CSendFaxJob(std::string imagePath, std::string imageName, std::string description,
                         IPrompt& prompt, ISentRecords& records)
    : CSendJobBase(prompt, records, 5, 9), m_description(std::move(description)),
      m_imagePath(std::move(imagePath)), m_imageName(std::move(imageName)) {}

void CSendFaxJob::Open(std::int64_t now) {
    const CSettings& s = Settings();
    m_attempts = s.LastFaxAttempts;
    m_delay = s.LastFaxDelay;
    m_sendMode = s.LastFaxSendASAP == kSendAtTime ? kSendAtTime : kSendAtOnce;
    InitialSendTime(s.LastFaxSendTime, now, m_sendDate, m_sendTime);
    m_rememberPwd = s.RememberPwd;
    m_userName = s.UserID;
    m_password = s.RememberPwd ? s.UserPWD : std::string();
    m_sendEnabled = false;
}

void CSendFaxJob::SetNumber(std::string text) {
    m_number = std::move(text);
    m_recipientLabel.clear();
    Edited();
}

void CSendFaxJob::LeaveNumberField() {
    m_number = NumberOnLeavingField(m_number, Settings().DefaultAreaCode);
}

void CSendFaxJob::PickContact(const std::string& number, const std::string& company,
                              const std::string& person) {
    m_number = number;
    m_recipientLabel = company + ", " + person;
    Edited();
}

bool CSendFaxJob::Done() {
    CSettings& s = Settings();
    std::string number;
    if (!NormalizeTypedNumber(m_number, s.DefaultAreaCode, number)) {
        m_number = number;
        m_prompt.MessageId(kMsgBadPhoneNumber, MsgIcon::Stop);
        return false;
    }
    m_number = number;

    s.UserID = m_userName;
    s.RememberPwd = m_rememberPwd;
    s.UserPWD = m_password;
    s.LastFaxAttempts = m_attempts;
    s.LastFaxDelay = m_delay;
    s.LastFaxSendASAP = m_sendMode;
    if (m_sendMode == kSendAtTime) {
        s.LastFaxSendTime = PickedSendTime();
    }
    if (m_singlePages) {
        m_prompt.MessageId(kMsgSinglePagesNotImplemented);
        return false;
    }
    m_faxNumber = TakeIds(1, false, m_prompt).firstFax;

    char line[512];
    std::snprintf(line, sizeof line, "%s %s %d 111%03d%03d", m_userName.c_str(),
                  SendTimeText(m_sendMode, m_sendDate, m_sendTime).c_str(), m_faxNumber, m_attempts,
                  m_delay);
    m_jobLine = line;
    // An unsigned image is refused by the service: say so now instead of posting it.
    if (!SignJobFile(m_password, m_number, m_jobLine, m_imagePath)) {
        m_prompt.Message(FormatString(LoadString(kMsgCannotSign), m_imagePath), MsgIcon::Stop,
                         MsgButtons::Ok);
        return false;
    }
    m_sendEnabled = true;
    return true;
}

std::optional<CPosting> CSendFaxJob::PrepareSend() {
    if (!ConfirmNotSentBefore(m_imagePath, {m_number})) {
        return std::nullopt;
    }
    m_sendEnabled = false;
    m_jobFilePath = NewJobFilePath(m_imagePath);
    if (CSingleFaxEntry record = Record(); !ReserveJobFile(StoreRecord(record), m_jobFilePath)) {
        m_sendEnabled = true;
        return std::nullopt;
    }
    CPosting p;
    p.request.documentPath = m_imagePath;
    p.request.description = m_description;
    p.request.phoneNumber = m_number;
    p.request.attempts = m_attempts;
    p.request.delay = m_delay;
    p.endpoint = ApiEndpointFromSettings();
    return p;
}

SendOutcome CSendFaxJob::FinishSend(const CSubmitResult& result) {
    if (!TakeAnswer(result, result.message)) {
        return SendOutcome::StayOpen;
    }
    m_faxNumber = result.id;
    // The service has the fax: the dialog ends even when the record cannot be written (the
    // user has been told the job id).
    CSingleFaxEntry record = Record();
    RecordAccepted(StoreRecord(record), m_jobFilePath, std::to_string(result.id));
    return SendOutcome::Submitted;
}

SendOutcome CSendFaxJob::Send() {
    std::optional<CPosting> posting = PrepareSend();
    return posting ? FinishSend(Post(*posting)) : SendOutcome::StayOpen;
}

bool CSendFaxJob::Save() {
    CSingleFaxEntry record = Record();
    m_jobFilePath = NewJobFilePath(m_imagePath);
    return WriteNewJobFile(record, m_jobFilePath, m_prompt, m_records);
}

CSingleFaxEntry CSendFaxJob::Record() const {
    CSingleFaxEntry record(m_recipientLabel);
    record.m_faxId = m_faxNumber;
    record.m_recipient = m_number;
    record.m_path = m_imagePath;
    record.m_pages = m_pages;
    record.m_created = CurrentTime();
    return record;
}
