#include "sending/PhoneNumbers.h"

#include "addressbook/ContactEdit.h"

#include <algorithm>

namespace {

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

} // namespace

void KeepDigits(std::string& text) {
    text = DigitsOnly(text);
}

bool AddAreaPrefix(std::string& text, std::string_view areaPrefix) {
    if (!text.empty() && text.front() == '8') {
        return false;
    }
    text.insert(0, areaPrefix);
    return true;
}

std::string NumberOnLeavingField(std::string_view typed, std::string_view areaPrefix) {
    std::string number;
    NormalizeTypedNumber(typed, areaPrefix, number);
    return number;
}

bool NormalizeTypedNumber(std::string_view typed, std::string_view areaPrefix,
                          std::string& number) {
    number = DigitsOnly(typed);
    if (number.size() <= kMaxShortNumberDigits) {
        return false;
    }
    number = DiallingDigits(typed);
    AddAreaPrefix(number, areaPrefix);
    return true;
}

bool NumberFromListField(std::string_view field, std::string_view areaPrefix, std::string& number) {
    number = DiallingDigits(field);
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

namespace {

// Byte order of the lower-cased texts, without lower-casing copies.
int CompareNoCase(std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const auto x = static_cast<unsigned char>(LowerAscii(a[i]));
        const auto y = static_cast<unsigned char>(LowerAscii(b[i]));
        if (x != y) {
            return x < y ? -1 : 1;
        }
    }
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

constexpr std::size_t kAppenderBlock = 512;

} // namespace

CListAppender::CListAppender(std::vector<std::string>& lines) : m_lines(lines) {
    std::vector<std::uint32_t> order(m_lines.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        order[i] = static_cast<std::uint32_t>(i);
    }
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        return CompareNoCase(m_lines[a], m_lines[b]) < 0;
    });
    for (std::size_t i = 0; i < order.size(); i += kAppenderBlock) {
        const std::size_t end = std::min(order.size(), i + kAppenderBlock);
        m_blocks.emplace_back(order.begin() + static_cast<std::ptrdiff_t>(i),
                              order.begin() + static_cast<std::ptrdiff_t>(end));
    }
}

bool CListAppender::Add(std::string_view number, std::string_view label, bool& duplicateSeen) {
    auto below = [&](std::uint32_t line, std::string_view key) {
        return CompareNoCase(m_lines[line], key) < 0;
    };
    // The first line not below the number: a line that begins with the number lies there.
    auto block = std::lower_bound(m_blocks.begin(), m_blocks.end(), number,
                                  [&](const std::vector<std::uint32_t>& b, std::string_view key) {
                                      return below(b.back(), key);
                                  });
    std::vector<std::uint32_t>::iterator at;
    if (block == m_blocks.end()) {
        if (m_blocks.empty()) {
            m_blocks.emplace_back();
        }
        block = m_blocks.end() - 1;
        at = block->end();
    } else {
        at = std::lower_bound(block->begin(), block->end(), number, below);
        if (StartsWithNoCase(m_lines[*at], number)) {
            duplicateSeen = true;
            return false;
        }
    }
    std::string line(number);
    line += ' ';
    line += label;
    // "number label" takes the number's own place: every line between them would begin with it.
    block->insert(at, static_cast<std::uint32_t>(m_lines.size()));
    m_lines.push_back(std::move(line));
    if (block->size() >= 2 * kAppenderBlock) {
        std::vector<std::uint32_t> upper(block->begin() + kAppenderBlock, block->end());
        block->resize(kAppenderBlock);
        m_blocks.insert(block + 1, std::move(upper));
    }
    return true;
}
