#include "sending/PhoneListFile.h"

#include "platform/Encoding.h"
#include "platform/Files.h"
#include "sending/PhoneNumbers.h"

#include <algorithm>

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

void ForEachUserTextLine(
    std::string bytes, std::size_t maxBytes,
    const std::function<bool(std::string_view line, std::size_t done, std::size_t total)>& each) {
    std::optional<std::string> unicode = platform::Utf16MarkedText(bytes);
    const std::string text = unicode ? std::move(*unicode) : platform::DecodeUserText(bytes);
    std::string().swap(bytes); // assigning an empty string would keep the buffer
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
            if (!each(line.substr(0, n), pos, text.size())) {
                return;
            }
            line.remove_prefix(n);
        } while (!line.empty());
        if (end == std::string::npos) {
            break;
        }
        pos = end + 1;
    }
}

std::vector<std::string> ReadUserTextLines(const std::string& bytes, std::size_t maxBytes) {
    std::vector<std::string> lines;
    ForEachUserTextLine(bytes, maxBytes, [&](std::string_view line, std::size_t, std::size_t) {
        lines.emplace_back(line);
        return true;
    });
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

namespace {
constexpr std::size_t kProgressEveryLines = 4096;
}

bool ReadPhoneListFile(const std::string& path, const std::string& areaPrefix,
                       std::vector<std::string>& lines, bool& duplicateSeen,
                       const ListReadProgress& progress, bool* cancelled) {
    std::string bytes;
    if (platform::ReadFile(path, bytes) != 0) {
        return false;
    }
    const std::size_t before = lines.size();
    // Room for every line at once: growing would hold the old array beside the new.
    lines.reserve(before + static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n')) +
                  1);
    bool duplicate = false;
    bool stopped = false;
    CListAppender list(lines);
    std::size_t i = 0;
    ForEachUserTextLine(std::move(bytes), kListLinePiece,
                        [&](std::string_view line, std::size_t done, std::size_t total) {
                            if (progress && i++ % kProgressEveryLines == 0 &&
                                !progress(done, total)) {
                                stopped = true;
                                return false;
                            }
                            CListLineFields f = SplitListLine(line);
                            std::string number;
                            NumberFromListField(f.number, areaPrefix, number);
                            list.Add(number, f.third, duplicate);
                            return true;
                        });
    if (stopped) {
        lines.resize(before);
        if (cancelled != nullptr) {
            *cancelled = true;
        }
        return true;
    }
    duplicateSeen = duplicateSeen || duplicate;
    return true;
}

bool ReadRecipientFile(const std::string& path, const std::string& areaPrefix,
                       std::vector<std::string>& lines, bool& completed) {
    std::string bytes;
    if (platform::ReadFile(path, bytes) != 0) {
        return false;
    }
    for (const std::string& line : ReadUserTextLines(bytes, kListLinePiece)) {
        CListLineFields f = SplitListLine(line);
        std::string number;
        if (NumberFromListField(f.number, areaPrefix, number)) {
            completed = true;
        }
        lines.push_back(number + " " + f.second + " " + f.third);
    }
    return true;
}
