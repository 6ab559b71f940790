#include "addressbook/ContactEdit.h"
#include "addressbook/AddressBooks.h"

#include "app/Settings.h"

#include <cstdio>

std::string DigitsOnly(std::string_view text) {
    // KeepDigits lives with the sending rules, above this library; the rule is this small.
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c >= '0' && c <= '9') {
            out += c;
        }
    }
    return out;
}

std::string DiallingDigits(std::string_view text) {
    const std::size_t first = text.find_first_of("+0123456789");
    const bool abroad = first != std::string_view::npos && text[first] == '+';
    return abroad ? "810" + DigitsOnly(text) : DigitsOnly(text);
}

std::optional<int> ParseCountryCode(std::string_view text) {
    std::size_t b = 0;
    std::size_t e = text.size();
    while (b < e && (text[b] == ' ' || text[b] == '\t')) {
        ++b;
    }
    while (e > b && (text[e - 1] == ' ' || text[e - 1] == '\t')) {
        --e;
    }
    bool negative = false;
    if (b < e && (text[b] == '+' || text[b] == '-')) {
        negative = text[b] == '-';
        ++b;
    }
    if (b == e || e - b > 6) {
        return std::nullopt;
    }
    int value = 0;
    for (std::size_t i = b; i < e; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return std::nullopt;
        }
        value = value * 10 + (text[i] - '0');
    }
    if (negative) {
        value = -value;
    }
    if (value < kMinCountryCode || value > kMaxCountryCode) {
        return std::nullopt;
    }
    return value;
}

CContactEdit::CContactEdit(const CContactEntry* existing) : m_new(existing == nullptr) {
    if (existing != nullptr) {
        // A copy keeps the GUID and owner; the working values stay those of a new contact.
        m_working.CopyFrom(*existing);
        m_working.m_groups = existing->m_groups;
    }
    number = m_working.m_name;
    company = m_working.m_company;
    person = m_working.m_person;
    areaCode = m_working.m_areaCode;
    countryCode = m_working.m_countryCode;
    domestic = m_working.m_domestic != 0;
}

bool CContactEdit::Apply() {
    if (countryCode < kMinCountryCode || countryCode > kMaxCountryCode) {
        return false;
    }
    const std::string area = DigitsOnly(areaCode);
    const std::string local = DigitsOnly(number);
    const std::string dialled = DiallingDigits(number);
    m_working.m_domestic = domestic ? 1 : 0;
    if (!m_new || dialled.size() != local.size()) {
        // A number written with "+" is whole: its country and area are in it.
        m_working.m_name = dialled;
    } else if (domestic) {
        m_working.m_name = "8" + area + local;
    } else {
        m_working.m_name = "810" + std::to_string(countryCode) + area + local;
    }
    m_working.m_company = company;
    m_working.m_person = person;
    m_working.m_countryCode = countryCode;
    m_working.m_areaCode = area;
    Settings().LastAreaCode = area;
    return true;
}

void CContactEdit::CopyBackInto(CContactEntry& target) const {
    target.m_name = m_working.m_name;
    target.m_domestic = m_working.m_domestic;
    target.m_company = m_working.m_company;
    target.m_person = m_working.m_person;
    target.MarkChanged();
}

std::unique_ptr<CContactEntry> CContactEdit::MakeContact() const {
    auto c = std::make_unique<CContactEntry>();
    CopyBackInto(*c);
    c->m_countryCode = m_working.m_countryCode;
    c->m_areaCode = m_working.m_areaCode;
    return c;
}
