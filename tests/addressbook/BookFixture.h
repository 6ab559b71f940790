#pragma once
// A clean process-wide book list, default settings and a fixed telephone country code for
// the editing, import and export tests.
#include "addressbook/AddrBook.h"
#include "addressbook/AddressBooks.h"
#include "app/Settings.h"
#include "platform/SysInfo.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace abk_test {

// `levels` levels of two groups, each holding both groups of the next level (no cycle: 2^levels
// paths from the top), the two groups of the last level one contact each.
inline void AddSharedSubgroups(CAddrBook& book, int levels) {
    std::vector<Guid> next;
    for (int i = 0; i < 2; ++i) {
        auto c = std::make_unique<CContactEntry>("8812000000" + std::to_string(i));
        next.push_back(c->m_guid);
        book.AddEntry(std::move(c));
    }
    for (int level = levels; level >= 1; --level) {
        std::vector<Guid> these;
        for (int i = 0; i < 2; ++i) {
            auto g = std::make_unique<CGroupEntry>("L" + std::to_string(level) + "abc"[i]);
            g->m_members = level == levels ? std::vector<Guid>{next[i]} : next;
            these.push_back(g->m_guid);
            book.AddEntry(std::move(g));
        }
        next = these;
    }
    book.FixGroupLists();
}

// A chain of `depth` groups "G0" (returned), "G1", ..., each holding the next; G0 also holds
// a contact numbered `top` first and the last group one numbered `bottom` (when not empty).
// 100,000 levels overflow the stack of any walk that recurses.
inline CGroupEntry* AddGroupChain(CAddrBook& book, int depth, const std::string& top,
                                  const std::string& bottom) {
    auto contact = [&book](const std::string& number) {
        auto c = std::make_unique<CContactEntry>(number);
        std::vector<Guid> guid{c->m_guid};
        book.AddEntry(std::move(c));
        return guid;
    };
    std::vector<Guid> next = bottom.empty() ? std::vector<Guid>{} : contact(bottom);
    const std::vector<Guid> first = top.empty() ? std::vector<Guid>{} : contact(top);
    CGroupEntry* group = nullptr;
    for (int i = depth - 1; i >= 0; --i) {
        auto g = std::make_unique<CGroupEntry>("G" + std::to_string(i));
        g->m_members = i == 0 ? first : std::vector<Guid>{};
        g->m_members.insert(g->m_members.end(), next.begin(), next.end());
        next = {g->m_guid};
        group = g.get();
        book.AddEntry(std::move(g));
    }
    book.FixGroupLists();
    return group;
}

class BookFixture : public ::testing::Test {
protected:
    void SetUp() override {
        testing_support::IsolateEnvironment(root.Path());
        Settings() = CSettings{};
        Settings().DataDir = root / "data";
        platform::SetTelephoneCountryCodeForTest(7);
        AddressBooks().Clear();
        AddressBooks().MakeCurrent(nullptr);
        AddressBooks().Add(std::make_unique<CAddrBook>("Book"));
        book = AddressBooks().back();
        AddressBooks().MakeCurrent(book);
    }
    void TearDown() override {
        AddressBooks().MakeCurrent(nullptr);
        AddressBooks().Clear();
        platform::SetTelephoneCountryCodeForTest(std::nullopt);
        Settings() = CSettings{};
    }

    CContactEntry* AddContact(const std::string& number, const std::string& company = {},
                              const std::string& person = {}, CAddrBook* into = nullptr) {
        auto c = std::make_unique<CContactEntry>(number);
        c->m_company = company;
        c->m_person = person;
        CContactEntry* raw = c.get();
        (into ? into : book)->AddEntry(std::move(c));
        return raw;
    }
    CGroupEntry* AddGroup(const std::string& name, std::vector<CAddrBookEntry*> members = {},
                          CAddrBook* into = nullptr) {
        auto g = std::make_unique<CGroupEntry>(name);
        CGroupEntry* raw = g.get();
        for (CAddrBookEntry* m : members) {
            g->m_members.push_back(m->m_guid);
            if (auto* c = dynamic_cast<CContactEntry*>(m)) {
                c->m_groups.push_back(g->m_guid);
            }
        }
        (into ? into : book)->AddEntry(std::move(g));
        return raw;
    }

    testing_support::TempDir root;
    CAddrBook* book = nullptr;
};

} // namespace abk_test
