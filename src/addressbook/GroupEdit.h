#pragma once
// The rules of the group dialog, the member-selection dialog and the book properties dialog.
// The Qt dialogs bind their controls to these classes.
#include "addressbook/AddrBook.h"

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

class IPrompt;

constexpr unsigned kIdsNewGroupName = 177;   // "<Новая группа>"
constexpr unsigned kIdsGroupTitle = 2008;    // "Свойства %s"
constexpr unsigned kMsgGroupRepeated = 2012; // both %s: the group met twice

using GuidEntryMap = std::unordered_map<Guid, CAddrBookEntry*, GuidHash>;

// The recursive check against nested repetition: every group reached through `guids` (at any
// depth) must not be in `visited` yet; each one met is added. On the first repetition message
// 2012 is shown with that group's name and false returned.
bool CheckRepetition(const std::vector<Guid>& guids, GuidEntryMap& visited, IPrompt& prompt);

// A row of a member or selection list.
struct CEntryRow {
    Guid guid;
    CAddrBookEntry* entry = nullptr;
    bool isGroup = false;
};

// Contacts created inside a group or selection dialog, filed into the target book on OK and
// destroyed on cancel.
class CGroupDlgBase {
public:
    explicit CGroupDlgBase(CAddrBook* target) : m_target(target) {}
    ~CGroupDlgBase() { DiscardPending(); }
    CGroupDlgBase(const CGroupDlgBase&) = delete;
    CGroupDlgBase& operator=(const CGroupDlgBase&) = delete;

    CAddrBook* Target() const { return m_target; }
    CContactEntry* AddPending(std::unique_ptr<CContactEntry> contact);
    CContactEntry* FindPending(const Guid& guid) const;
    std::size_t PendingCount() const { return m_pending.size(); }
    // Puts every pending contact into the target book (destroyed when there is none).
    void CommitPending();
    void DiscardPending();

    // A pending contact first, then FindEntryInAllBooks.
    CAddrBookEntry* Resolve(const Guid& guid) const;
    // Resolved rows of `guids` in order; unresolved ones are left out.
    std::vector<CEntryRow> Rows(const std::vector<Guid>& guids) const;

private:
    CAddrBook* m_target;
    std::vector<std::unique_ptr<CContactEntry>> m_pending;
};

// The group dialog: edits the group in place and keeps a backup to restore on cancel.
class CGroupEdit : public CGroupDlgBase {
public:
    CGroupEdit(CAddrBook* target, CGroupEntry& group, IPrompt& prompt);

    CGroupEntry& Group() { return m_group; }
    const CGroupEntry& Backup() const { return m_backup; }

    // Opening: an empty name becomes "<Новая группа>".
    void Open();
    std::string Title() const;
    bool CanOk() const { return !name.empty(); }
    std::vector<CEntryRow> Members() const { return Rows(m_group.m_members); }

    // "Добавить в группу" before the selection dialog runs: the name edit goes into the group.
    void StoreName() { m_group.m_name = name; }
    // The selection came back with OK: the repetition check, then each new member is appended
    // (the group itself and present members skipped) and contacts learn the group. False,
    // adding nothing, when the check refused.
    bool AddMembers(const std::vector<Guid>& selection);
    // "Новый контакт": the contact becomes pending and a member.
    CContactEntry* AddNewContact(std::unique_ptr<CContactEntry> contact);
    // "Удалить": the first occurrence of each GUID leaves the member list.
    void RemoveMembers(const std::vector<Guid>& selected);

    // OK: false while the name is empty. Sets the name and files the pending contacts.
    bool Ok();
    // Not OK: destroys the pending contacts and restores the group (name, members) from the
    // backup, with the group lists of the contacts involved.
    void Cancel();

    std::string name;

private:
    void Unlink(const Guid& member);
    void Link(const Guid& member);

    CGroupEntry& m_group;
    CGroupEntry m_backup;
    IPrompt& m_prompt;
};

// The member-selection dialog.
class CSelectEdit : public CGroupDlgBase {
public:
    CSelectEdit(CAddrBook* target, const std::vector<Guid>& initial)
        : CGroupDlgBase(target), m_selection(initial) {}

    // The target book's entries: groups always, contacts while "Показывать номера" is ticked.
    std::vector<CEntryRow> BookRows() const;
    std::vector<CEntryRow> SelectionRows() const { return Rows(m_selection); }
    // Index in `rows` of the first whose name contains `text` (case-sensitive); -1 for none.
    static int FindRow(const std::vector<CEntryRow>& rows, std::string_view text);

    // "&Выбрать -->": appends the GUIDs not yet selected.
    void Choose(const std::vector<Guid>& guids);
    // Delete key in the selection list.
    void Unselect(const std::vector<Guid>& guids);
    // "Новый контакт": pending and selected.
    CContactEntry* AddNewContact(std::unique_ptr<CContactEntry> contact);

    // OK: files the pending contacts; the selection is the result.
    const std::vector<Guid>& Ok();
    void Cancel() { DiscardPending(); }
    const std::vector<Guid>& Selection() const { return m_selection; }

    bool showNumbers = true;

private:
    std::vector<Guid> m_selection;
};

// The book properties dialog.
struct CBookProps {
    explicit CBookProps(const CAddrBook& book);
    void ApplyTo(CAddrBook& book) const;
    std::string name;
    int contacts = 0;
    int groups = 0;
    std::string ContactsText() const { return std::to_string(contacts); }
    std::string GroupsText() const { return std::to_string(groups); }
};
