#include "sending/SendJob.h"

#include "app/Archive.h"
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
    if (failure == ExchangeFailure::NotConnected) {
        r.kind = CSubmitResult::Kind::NotSent;
    }
    return r;
}

std::string NewJobFilePath(const std::string& imagePath) {
    return platform::ReplaceExtension(imagePath, ".FAX");
}

bool WriteNewJobFile(CFaxEntryBase& record, const std::string& path, IPrompt& prompt,
                     ISentRecords& records) {
    try {
        WriteArchiveFile(path, StoreRecord(record));
    } catch (const std::exception& e) {
        prompt.FileError(DescribeFileError(e, path));
        return false;
    }
    records.AddWritten(path, record);
    return true;
}

bool CSendJobBase::ReserveJobFile(CFaxEntryBase& record, const std::string& path) {
    m_recorded = false;
    try {
        WriteArchiveFile(path, StoreRecord(record));
    } catch (const std::exception& e) {
        m_prompt.FileError(DescribeFileError(e, path));
        return false;
    }
    return true;
}

bool CSendJobBase::RecordAccepted(CFaxEntryBase& record, const std::string& path,
                                  const std::string& jobIds) {
    const std::string bytes = StoreRecord(record);
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
    m_records.AddWritten(path, record);
    return true;
}

void CSendJobBase::DropReservation(const std::string& path) {
    platform::DeleteFile(path);
}

namespace {

// Length of the longest prefix of `s` of at most `max` bytes that does not cut a UTF-8
// character (at least one character, so the reader always moves on).
std::size_t PieceLength(std::string_view s, std::size_t max) {
    if (s.size() <= max) {
        return s.size();
    }
    std::size_t n = max;
    while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) {
        --n;
    }
    return n == 0 ? max : n;
}

bool IsControl(char c) {
    return static_cast<unsigned char>(c) < 32;
}

} // namespace

std::vector<std::string> ReadUserTextLines(const std::string& bytes, std::size_t maxBytes) {
    std::optional<std::string> unicode = platform::Utf16MarkedText(bytes);
    const std::string text = unicode ? std::move(*unicode) : platform::DecodeUserText(bytes);
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        std::string_view line(text.data() + pos,
                              (end == std::string::npos ? text.size() : end) - pos);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        do {
            std::size_t n = PieceLength(line, maxBytes);
            lines.emplace_back(line.substr(0, n));
            line.remove_prefix(n);
        } while (!line.empty());
        if (end == std::string::npos) {
            break;
        }
        pos = end + 1;
    }
    return lines;
}

CListLineFields SplitListLine(std::string_view line) {
    CListLineFields f;
    std::size_t i = 0;
    auto read = [&](std::string& out, bool semicolonEnds) {
        while (i < line.size() && !IsControl(line[i]) && !(semicolonEnds && line[i] == ';')) {
            out += line[i++];
        }
    };
    // Whatever ended a field separates it from the next: ';', or a tab in lists saved by
    // spreadsheets. A line end ends the line.
    auto next = [&] {
        if (i >= line.size() || line[i] == '\r' || line[i] == '\n') {
            return false;
        }
        ++i;
        while (i < line.size() && line[i] == ' ') {
            ++i;
        }
        return true;
    };
    read(f.number, true);
    if (next()) {
        read(f.second, true);
        if (next()) {
            read(f.third, false);
        }
    }
    return f;
}

void SplitRecipientLine(const std::string& line, std::string& number, std::string& label) {
    std::size_t blank = line.find(' ');
    if (blank == std::string::npos) {
        number = line;
        label.clear();
        return;
    }
    number = line.substr(0, blank);
    std::size_t start = line.find_first_not_of(' ', blank);
    label = start == std::string::npos ? std::string() : line.substr(start);
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
