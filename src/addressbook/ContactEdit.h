#pragma once
// The rules of the contact dialog: a working contact, the number composed from its parts for a
// new contact, and the copy back into the book.
#include "addressbook/AddrBook.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>

constexpr int kMinCountryCode = 0;
constexpr int kMaxCountryCode = 999;

// Keeps the ASCII digits of `text`, in order.
std::string DigitsOnly(std::string_view text);
// The digits of a number as dialled: a "+" before the first digit means abroad and becomes
// "810"; every other character goes. The one rule for numbers typed, imported or read from
// lists, so that a number is dialled the same wherever it came from.
std::string DiallingDigits(std::string_view text);

// The country code edit: an integer from 0 to 999 (surrounding blanks allowed); nullopt
// otherwise.
std::optional<int> ParseCountryCode(std::string_view text);

class CContactEdit {
public:
    // `existing` null: a new contact (country code from the locale, area code LastAreaCode).
    explicit CContactEdit(const CContactEntry* existing = nullptr);

    bool IsNew() const { return m_new; }

    // Which controls the dialog shows and enables.
    bool CountryCodeVisible() const { return m_new && !domestic; }
    bool AreaCodeVisible() const { return m_new; }
    bool LocationEnabled() const { return m_new; }
    bool CanOk() const { return !number.empty(); }

    // OK pressed: false (nothing changed) when the country code is outside 0..999. Otherwise
    // the working contact gets the composed number, the flag, company and person, and the
    // entered area code becomes LastAreaCode.
    bool Apply();

    const CContactEntry& Working() const { return m_working; }
    // Number, domestic flag, company and person into the edited contact (its book is then
    // changed).
    void CopyBackInto(CContactEntry& target) const;
    // A new contact made from the working one (its own fresh GUID, no owner).
    std::unique_ptr<CContactEntry> MakeContact() const;

    // The dialog's data (UTF-8), initialised from the working contact.
    std::string number;
    std::string company;
    std::string person;
    std::string areaCode;
    int countryCode = 0;
    bool domestic = true;

private:
    CContactEntry m_working;
    bool m_new;
};
