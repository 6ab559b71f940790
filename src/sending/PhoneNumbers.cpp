#include "sending/PhoneNumbers.h"

#include <algorithm>

namespace {

bool IsAsciiDigit(char c) {
    return c >= '0' && c <= '9';
}

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return LowerAscii(x) == LowerAscii(y);
           });
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualNoCase(text.substr(0, prefix.size()), prefix);
}

std::string LowerAsciiCopy(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), LowerAscii);
    return out;
}

std::string DigitsOf(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (IsAsciiDigit(c)) {
            out.push_back(c);
        }
    }
    return out;
}

} // namespace

void KeepDigits(std::string& text) {
    text = DigitsOf(text);
}

bool AddAreaPrefix(std::string& text, std::string_view areaPrefix) {
    if (!text.empty() && text.front() == '8') {
        return false;
    }
    text.insert(0, areaPrefix);
    return true;
}

std::string NumberOnLeavingField(std::string_view typed, std::string_view areaPrefix) {
    std::string number = DigitsOf(typed);
    if (number.size() > kMaxShortNumberDigits) {
        AddAreaPrefix(number, areaPrefix);
    }
    return number;
}

bool NormalizeTypedNumber(std::string_view typed, std::string_view areaPrefix,
                          std::string& number) {
    number = DigitsOf(typed);
    if (number.size() <= kMaxShortNumberDigits) {
        return false;
    }
    AddAreaPrefix(number, areaPrefix);
    return true;
}

bool NumberFromListField(std::string_view field, std::string_view areaPrefix, std::string& number) {
    number = DigitsOf(field);
    return AddAreaPrefix(number, areaPrefix);
}

bool IsDuplicateTypedNumber(const std::vector<std::string>& lines, std::string_view number) {
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& line) { return EqualNoCase(line, number); });
}

bool IsDuplicateListNumber(const std::vector<std::string>& lines, std::string_view number) {
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& line) { return StartsWithNoCase(line, number); });
}

bool AddTypedNumber(std::vector<std::string>& lines, std::string_view number) {
    if (IsDuplicateTypedNumber(lines, number)) {
        return false;
    }
    lines.emplace_back(number);
    return true;
}

CListAppender::CListAppender(std::vector<std::string>& lines) : m_lines(lines) {
    for (const std::string& line : m_lines) {
        m_lower.insert(LowerAsciiCopy(line));
    }
}

bool CListAppender::Add(std::string_view number, std::string_view label, bool& duplicateSeen) {
    const std::string key = LowerAsciiCopy(number);
    auto first = m_lower.lower_bound(key);
    if (first != m_lower.end() && std::string_view(*first).substr(0, key.size()) == key) {
        duplicateSeen = true;
        return false;
    }
    std::string line(number);
    line += ' ';
    line += label;
    m_lower.insert(LowerAsciiCopy(line));
    m_lines.push_back(std::move(line));
    return true;
}
