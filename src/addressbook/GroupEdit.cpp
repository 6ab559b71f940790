#include "addressbook/GroupEdit.h"
#include "addressbook/AddressBooks.h"

#include "app/Ports.h"
#include "resources/Strings.h"

#include <algorithm>

bool CheckRepetition(const std::vector<Guid>& guids, GuidEntryMap& visited, IPrompt& prompt) {
    // Depth-first in member order, like the recursive rule, but on an explicit stack: a loaded
    // book may nest groups arbitrarily deep.
    struct Frame {
        const std::vector<Guid>* list;
        std::size_t next;
    };
    std::vector<Frame> stack{{&guids, 0}};
    while (!stack.empty()) {
        Frame& f = stack.back();
        if (f.next >= f.list->size()) {
            stack.pop_back();
            continue;
        }
        const Guid& guid = (*f.list)[f.next++];
        CAddrBookEntry* e = FindEntryInAllBooks(guid);
        if (e == nullptr || e->GetType() != kEntryTypeGroup) {
            continue;
        }
        if (visited.count(e->m_guid) != 0) {
            const std::string groupName = e->GetName();
            prompt.Message(FormatString(LoadString(kMsgGroupRepeated), groupName, groupName),
                           MsgIcon::None, MsgButtons::Ok);
            return false;
        }
        visited.emplace(e->m_guid, e);
        stack.push_back({&static_cast<CGroupEntry*>(e)->m_members, 0});
    }
    return true;
}

// --- pending contacts -------------------------------------------------------------------

CContactEntry* CGroupDlgBase::AddPending(std::unique_ptr<CContactEntry> contact) {
    if (!contact) {
        return nullptr;
    }
    m_pending.push_back(std::move(contact));
    return m_pending.back().get();
}

CContactEntry* CGroupDlgBase::FindPending(const Guid& guid) const {
    for (const auto& c : m_pending) {
        if (c->m_guid == guid) {
            return c.get();
        }
    }
    return nullptr;
}

void CGroupDlgBase::CommitPending() {
    if (m_target != nullptr) {
        for (auto& c : m_pending) {
            m_target->AddEntry(std::move(c));
        }
    }
    m_pending.clear();
}

void CGroupDlgBase::DiscardPending() {
    m_pending.clear();
}

CAddrBookEntry* CGroupDlgBase::Resolve(const Guid& guid) const {
    if (CContactEntry* c = FindPending(guid)) {
        return c;
    }
    return FindEntryInAllBooks(guid);
}

std::vector<CEntryRow> CGroupDlgBase::Rows(const std::vector<Guid>& guids) const {
    std::vector<CEntryRow> rows;
    rows.reserve(guids.size());
    for (const Guid& g : guids) {
        if (CAddrBookEntry* e = Resolve(g)) {
            rows.push_back({g, e, e->GetType() == kEntryTypeGroup});
        }
    }
    return rows;
}

// --- group dialog -----------------------------------------------------------------------

CGroupEdit::CGroupEdit(CAddrBook* target, CGroupEntry& group, IPrompt& prompt)
    : CGroupDlgBase(target), name(group.m_name), m_group(group), m_backup(group), m_prompt(prompt) {
}

void CGroupEdit::Open() {
    if (name.empty()) {
        name = LoadString(kIdsNewGroupName);
    }
}

std::string CGroupEdit::Title() const {
    return FormatString(LoadString(kIdsGroupTitle), name);
}

void CGroupEdit::Link(const Guid& member) {
    if (auto* c = dynamic_cast<CContactEntry*>(Resolve(member))) {
        c->m_groups.push_back(m_group.m_guid);
    }
}

void CGroupEdit::Unlink(const Guid& member) {
    if (auto* c = dynamic_cast<CContactEntry*>(Resolve(member))) {
        auto it = std::find(c->m_groups.begin(), c->m_groups.end(), m_group.m_guid);
        if (it != c->m_groups.end()) {
            c->m_groups.erase(it);
        }
    }
}

bool CGroupEdit::AddMembers(const std::vector<Guid>& selection) {
    GuidEntryMap visited{{m_group.m_guid, &m_group}};
    if (!CheckRepetition(selection, visited, m_prompt)) {
        return false;
    }
    for (const Guid& g : selection) {
        if (g == m_group.m_guid || std::find(m_group.m_members.begin(), m_group.m_members.end(),
                                             g) != m_group.m_members.end()) {
            continue;
        }
        Link(g);
        m_group.m_members.push_back(g);
    }
    return true;
}

CContactEntry* CGroupEdit::AddNewContact(std::unique_ptr<CContactEntry> contact) {
    CContactEntry* c = AddPending(std::move(contact));
    if (c != nullptr) {
        // Kept in step at once, so an export before the next load writes it inside the group.
        c->m_groups.push_back(m_group.m_guid);
        m_group.m_members.push_back(c->m_guid);
    }
    return c;
}

void CGroupEdit::RemoveMembers(const std::vector<Guid>& selected) {
    for (const Guid& g : selected) {
        auto it = std::find(m_group.m_members.begin(), m_group.m_members.end(), g);
        if (it == m_group.m_members.end()) {
            continue;
        }
        m_group.m_members.erase(it);
        Unlink(g);
    }
}

bool CGroupEdit::Ok() {
    if (name.empty()) {
        return false;
    }
    m_group.m_name = name;
    CommitPending();
    m_group.MarkChanged(); // a new group is not in a book yet: filing it marks the book
    return true;
}

void CGroupEdit::Cancel() {
    // Contacts added or removed meanwhile learnt or forgot the group: put their group lists
    // back in step with the restored member list.
    std::vector<Guid> touched = m_group.m_members;
    touched.insert(touched.end(), m_backup.m_members.begin(), m_backup.m_members.end());
    for (const Guid& g : touched) {
        auto* c = dynamic_cast<CContactEntry*>(Resolve(g));
        if (c == nullptr) {
            continue;
        }
        std::erase(c->m_groups, m_group.m_guid);
        if (std::find(m_backup.m_members.begin(), m_backup.m_members.end(), g) !=
            m_backup.m_members.end()) {
            c->m_groups.push_back(m_group.m_guid);
        }
    }
    m_group.m_name = m_backup.m_name;
    m_group.m_members = m_backup.m_members;
    DiscardPending();
}

// --- selection dialog -------------------------------------------------------------------

std::vector<CEntryRow> CSelectEdit::BookRows() const {
    std::vector<CEntryRow> rows;
    if (Target() == nullptr) {
        return rows;
    }
    Target()->ForEachEntry([&](CAddrBookEntry& e) {
        const int type = e.GetType();
        if (type == kEntryTypeGroup || (type == kEntryTypeContact && showNumbers)) {
            rows.push_back({e.m_guid, &e, type == kEntryTypeGroup});
        }
    });
    return rows;
}

int CSelectEdit::FindRow(const std::vector<CEntryRow>& rows, std::string_view text) {
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].entry != nullptr && rows[i].entry->m_name.find(text) != std::string::npos) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void CSelectEdit::Choose(const std::vector<Guid>& guids) {
    for (const Guid& g : guids) {
        if (std::find(m_selection.begin(), m_selection.end(), g) == m_selection.end()) {
            m_selection.push_back(g);
        }
    }
}

void CSelectEdit::Unselect(const std::vector<Guid>& guids) {
    for (const Guid& g : guids) {
        std::erase(m_selection, g);
    }
}

CContactEntry* CSelectEdit::AddNewContact(std::unique_ptr<CContactEntry> contact) {
    CContactEntry* c = AddPending(std::move(contact));
    if (c != nullptr) {
        m_selection.push_back(c->m_guid);
    }
    return c;
}

const std::vector<Guid>& CSelectEdit::Ok() {
    CommitPending();
    return m_selection;
}

// --- book properties --------------------------------------------------------------------

void CBookProps::ApplyTo(CAddrBook& book) const {
    AddressBooks().Rename(book, name); // an empty name is accepted
}

CBookProps::CBookProps(const CAddrBook& book) : name(book.m_name) {
    CountEntries(book, contacts, groups);
}
