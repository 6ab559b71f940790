#include "sending/SendJob.h"

#include "sending/SentReport.h"

#include "app/Archive.h"
#include "app/Settings.h"
#include "platform/Encoding.h"
#include "platform/Files.h"
#include "resources/Strings.h"
#include "store/FaxRecords.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <optional>

int SpinStep(int value, int delta, int low, int high) {
    long long v = static_cast<long long>(value) + delta;
    return static_cast<int>(std::clamp<long long>(v, low, high));
}

namespace {

std::tm LocalTm(std::int64_t t) {
    std::time_t tt = static_cast<std::time_t>(t);
    std::tm tm{};
    localtime_r(&tt, &tm);
    return tm;
}

} // namespace

void InitialSendTime(std::int64_t stored, std::int64_t now, std::int64_t& date,
                     std::int64_t& time) {
    if (stored > now) {
        date = time = stored;
        return;
    }
    date = now;
    std::tm tm = LocalTm(now);
    tm.tm_min = 0;
    tm.tm_sec = 0;
    tm.tm_hour += 1;
    tm.tm_isdst = -1;
    time = static_cast<std::int64_t>(std::mktime(&tm));
}

std::int64_t CombineSendTime(std::int64_t date, std::int64_t time) {
    std::tm d = LocalTm(date);
    std::tm t = LocalTm(time);
    d.tm_hour = t.tm_hour;
    d.tm_min = t.tm_min;
    d.tm_sec = 0;
    d.tm_isdst = -1;
    return static_cast<std::int64_t>(std::mktime(&d));
}

std::string SendTimeText(int sendMode, std::int64_t date, std::int64_t time) {
    if (sendMode != kSendAtTime) {
        return "0000-00-00 00:00";
    }
    std::tm d = LocalTm(date);
    std::tm t = LocalTm(time);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%4d-%02d-%02d %02d:%02d", d.tm_year + 1900, d.tm_mon + 1,
                  d.tm_mday, t.tm_hour, t.tm_min);
    return buf;
}

CSubmitResult ReadSubmitReply(const Dictionary* top) {
    CSubmitResult r;
    const Dictionary* response = FindReplyPath(top, {"response"});
    if (response == nullptr) {
        return r;
    }
    const Dictionary* error = response->dictionaryForKey("error");
    if (error == nullptr) {
        r.kind = CSubmitResult::Kind::NoError;
        return r;
    }
    r.code = error->valueForKey("code", EmptyValue()).intValue();
    r.message = error->valueForKey("message", EmptyValue()).stringValue();
    r.details = error->valueForKey("details", EmptyValue()).stringValue();
    if (r.code != 0) {
        r.kind = CSubmitResult::Kind::Refused;
        return r;
    }
    // A job is known by its id alone: an acceptance without a usable one is no answer.
    const Dictionary* item = FindReplyPath(response, {"data", "item"});
    const std::string& id =
        (item != nullptr ? item->valueForKey("id", EmptyValue()) : EmptyValue()).stringValue();
    std::int32_t n = 0;
    const auto [end, ec] = std::from_chars(id.data(), id.data() + id.size(), n);
    if (ec == std::errc() && end == id.data() + id.size() && n > 0) {
        r.kind = CSubmitResult::Kind::Accepted;
        r.id = n;
    }
    return r;
}

CSubmitResult PostSubmission(const SendFaxRequest& request, const ServiceEndpoint& endpoint) {
    ExchangeFailure failure = ExchangeFailure::None;
    ReplyTree tree = RequestFaxSend(request, endpoint, &failure);
    CSubmitResult r = ReadSubmitReply(tree.get());
    r.failure = failure;
    r.host = endpoint.host;
    if (failure == ExchangeFailure::NotConnected || failure == ExchangeFailure::ProxyRefused ||
        failure == ExchangeFailure::Certificate) {
        r.kind = CSubmitResult::Kind::NotSent;
    }
    return r;
}

void TellNotSent(IPrompt& prompt, const CSubmitResult& result) {
    if (result.failure == ExchangeFailure::ProxyRefused) {
        prompt.MessageId(kMsgProxyRefused, MsgIcon::Warning);
    } else if (result.failure == ExchangeFailure::Certificate) {
        prompt.Message(FormatString(LoadString(kMsgCertificateFailed), result.host),
                       MsgIcon::Warning, MsgButtons::Ok);
    } else {
        prompt.MessageId(kMsgSubmitNotSent, MsgIcon::Warning);
    }
}

std::string NewJobFilePath(const std::string& imagePath) {
    return platform::ReplaceExtension(imagePath, ".FAX");
}

bool WriteNewJobFile(CFaxEntryBase& record, const std::string& path, IPrompt& prompt,
                     ISentRecords& records) {
    const std::string bytes = StoreRecord(record);
    try {
        WriteArchiveFile(path, bytes);
    } catch (const std::exception& e) {
        prompt.FileError(DescribeFileError(e, path));
        return false;
    }
    records.AddWritten(path, bytes);
    return true;
}

bool CSendJobBase::ReserveJobFile(std::string_view bytes, const std::string& path) {
    m_recorded = false;
    try {
        WriteArchiveFile(path, bytes);
    } catch (const std::exception& e) {
        m_prompt.FileError(DescribeFileError(e, path));
        return false;
    }
    return true;
}

bool CSendJobBase::RecordAccepted(std::string_view bytes, const std::string& path,
                                  const std::string& jobIds) {
    int err = platform::AtomicWriteFile(path, bytes);
    if (err != 0) {
        // No room for a second copy: the reservation's own room takes the answer.
        err = platform::OverwriteFile(path, bytes);
    }
    if (err != 0) {
        const std::string why = DescribeFileError(
            CFileException(err, path, "cannot write " + path + ": " + std::strerror(err)), path);
        m_prompt.Message(FormatString(LoadString(kMsgAcceptedNotRecorded), jobIds, why),
                         MsgIcon::Warning, MsgButtons::Ok);
        return false;
    }
    m_recorded = true;
    m_records.AddWritten(path, bytes);
    return true;
}

void CSendJobBase::DropReservation(const std::string& path) {
    platform::DeleteFile(path);
}

bool CSendJobBase::TakeAnswer(const CSubmitResult& result, const std::string& refusal) {
    m_sendEnabled = true;
    if (result.kind == CSubmitResult::Kind::Accepted) {
        return true;
    }
    DropReservation(m_jobFilePath);
    switch (result.kind) {
    case CSubmitResult::Kind::Accepted:
        break;
    case CSubmitResult::Kind::NoReply:
    case CSubmitResult::Kind::NoError:
        // Pressing "Отправить" again could send the fax twice.
        m_prompt.MessageId(kMsgNoSubmitReply, MsgIcon::Warning);
        break;
    case CSubmitResult::Kind::NotSent:
        TellNotSent(m_prompt, result);
        break;
    case CSubmitResult::Kind::Refused:
        m_prompt.Message(ShownText(refusal), MsgIcon::None, MsgButtons::Ok);
        break;
    }
    return false;
}

void CSendJobBase::TakeListFields(std::int64_t now) {
    const CSettings& s = Settings();
    m_attempts = s.LastListAttempts;
    m_delay = s.LastListDelay;
    m_sendMode = s.LastListSendASAP == kSendAtTime ? kSendAtTime : kSendAtOnce;
    InitialSendTime(s.LastListSendTime, now, m_sendDate, m_sendTime);
    m_rememberPwd = s.RememberPwd;
    m_userName = s.UserID;
    m_password = s.RememberPwd ? s.UserPWD : std::string();
}

void CSendJobBase::PutListFields() {
    CSettings& s = Settings();
    s.UserID = m_userName;
    s.RememberPwd = m_rememberPwd;
    s.UserPWD = m_password;
    s.LastListAttempts = m_attempts;
    s.LastListDelay = m_delay;
    s.LastListSendASAP = m_sendMode;
    if (m_sendMode == kSendAtTime) {
        s.LastListSendTime = PickedSendTime();
    }
}

void CSendJobBase::SpinAttempts(int delta) {
    m_attempts = SpinStep(m_attempts, delta, 1, m_maxAttempts);
    Edited();
}

void CSendJobBase::SpinDelay(int delta) {
    m_delay = SpinStep(m_delay, delta, 5, 60);
    Edited();
}

void CSendJobBase::SetSendMode(int mode) {
    m_sendMode = mode == kSendAtTime ? kSendAtTime : kSendAtOnce;
    Edited();
}

bool CSendJobBase::ConfirmNotSentBefore(const std::string& image,
                                        const std::vector<std::string>& numbers) {
    constexpr unsigned kIdsSentBefore = 9463;
    const std::optional<CEarlierSend> earlier = m_records.EarlierSend(ImageDigest(image), numbers);
    if (!earlier) {
        return true;
    }
    return m_prompt.Message(FormatString(LoadString(kIdsSentBefore), earlier->number,
                                         ReportTime(earlier->time),
                                         ReportStateText(earlier->state)),
                            MsgIcon::Question, MsgButtons::YesNo) == MsgAnswer::Yes;
}
