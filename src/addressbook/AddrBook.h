#pragma once
// Address books of contacts and groups, identified by GUIDs, and their ".abk" file form.
#include "app/Archive.h"
#include "platform/Files.h"
#include "platform/SysInfo.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

class IFrame;

using platform::Guid;

class CAddrBook;

struct GuidHash {
    std::size_t operator()(const Guid& g) const noexcept;
};

constexpr std::uint16_t kAbkMagic = 10129;

// Entry types (also the record tags of the file).
constexpr int kEntryTypeBase = 0;
constexpr int kEntryTypeContact = 1;
constexpr int kEntryTypeGroup = 2;
constexpr int kEntryTypeBook = 3;

void WriteGuid(CArchive& ar, const Guid& g);
Guid ReadGuid(CArchive& ar);

// Progress and stop hooks for reading a book (all optional).
struct CBookReadHooks {
    IFrame* frame = nullptr;
    std::function<bool()> stopRequested;
    bool* cutShort = nullptr; // set when reading stopped at a stop request
};

// Told of every committed change of a book (on the thread that made it, the GUI thread in the
// program): the books' owner schedules the book's save. Empty in tools and most tests.
using BookChangedHook = std::function<void(CAddrBook&)>;
BookChangedHook& BookChangedNotifier();

// Selects the constructors used while reading a file: the GUID and the working values are
// about to be overwritten, so none are made.
struct LoadingTag {};

class CAddrBookEntry {
public:
    explicit CAddrBookEntry(std::string name = {});
    explicit CAddrBookEntry(LoadingTag) {}
    virtual ~CAddrBookEntry() = default;

    virtual int GetType() const { return kEntryTypeBase; }
    std::string GetName() const { return m_name; }
    // The entry's line in the export text (UTF-8).
    virtual void ExportText(std::string& out) const;
    // The common part: GUID, then name.
    virtual void Serialize(CArchive& ar);

    // Owner, name and GUID.
    void CopyFrom(const CAddrBookEntry& other);
    // An edit of this entry was committed: its book has unsaved changes.
    void MarkChanged();

    CAddrBook* m_owner = nullptr;
    std::string m_name;
    Guid m_guid;

protected:
    CAddrBookEntry(const CAddrBookEntry&) = default;
    CAddrBookEntry& operator=(const CAddrBookEntry&) = default;
};

class CContactEntry : public CAddrBookEntry {
public:
    // A new contact: country code from the locale, area code from the LastAreaCode setting.
    explicit CContactEntry(std::string number = {});
    explicit CContactEntry(LoadingTag t) : CAddrBookEntry(t) {}
    CContactEntry(const CContactEntry&) = default;
    CContactEntry& operator=(const CContactEntry&) = default;

    int GetType() const override { return kEntryTypeContact; }
    void ExportText(std::string& out) const override;
    void Serialize(CArchive& ar) override;
    // Also domestic flag, company and contact person.
    void CopyFrom(const CContactEntry& other);

    std::vector<Guid> m_groups;
    int m_countryCode = 0;
    std::string m_areaCode;
    std::string m_company;
    std::string m_person;
    std::uint8_t m_domestic = 1;
};

class CGroupEntry : public CAddrBookEntry {
public:
    explicit CGroupEntry(std::string name = {}) : CAddrBookEntry(std::move(name)) {}
    explicit CGroupEntry(LoadingTag t) : CAddrBookEntry(t) {}
    CGroupEntry(const CGroupEntry&) = default;
    CGroupEntry& operator=(const CGroupEntry&) = default;

    int GetType() const override { return kEntryTypeGroup; }
    void Serialize(CArchive& ar) override;
    // Every member line, nested groups' names as prefixes (defined with the export).
    void ExportText(std::string& out) const override;
    // Also the member list.
    void CopyFrom(const CGroupEntry& other);

    std::vector<Guid> m_members;
};

class CAddrBook : public CAddrBookEntry {
public:
    // A new book: unsaved until its first save.
    explicit CAddrBook(std::string name = {}) : CAddrBookEntry(std::move(name)), m_changes(1) {}
    explicit CAddrBook(LoadingTag t) : CAddrBookEntry(t) {}
    CAddrBook(const CAddrBook&) = delete;
    CAddrBook& operator=(const CAddrBook&) = delete;

    int GetType() const override { return kEntryTypeBook; }

    // Takes ownership; sets the owner; marks the book changed. An entry already filed under the
    // same GUID leaves the map but stays alive (something may still point at it) until the
    // book goes.
    void AddEntry(std::unique_ptr<CAddrBookEntry> entry);
    CAddrBookEntry* FindEntry(const Guid& guid) const;
    // Removes and destroys the entry; false when the book has none with that GUID. A removed
    // group also leaves the member and group lists of this book, so its contacts are no
    // longer taken for grouped ones (the export writes them again).
    bool RemoveEntry(const Guid& guid);
    // Takes `guid` out of every group's member list and every contact's group list; true when
    // a list changed (the book is then marked changed).
    bool ForgetMember(const Guid& guid);

    // Edits not yet written: each committed change counts one up.
    void NoteChange();
    bool HasUnsavedChanges() const { return m_changes != m_savedChanges; }
    std::uint64_t ChangeCount() const { return m_changes; }
    // The book's bytes as of change `count` are on disk.
    void NoteSaved(std::uint64_t count) {
        m_savedChanges = count;
        if (count == m_changes) {
            m_removedSinceSave.clear();
        }
    }
    // Only part of the file could be read (a record the reader does not know, or a stop
    // request): writing it would cut the file short, so it is never written.
    bool IsReadOnly() const { return m_readOnly; }
    std::size_t Size() const { return m_index.size(); }

    // Entries in the order they were added.
    template <class F> void ForEachEntry(F&& f) const {
        for (CAddrBookEntry* e : m_order) {
            if (e != nullptr) {
                f(*e);
            }
        }
    }
    std::vector<CAddrBookEntry*> Entries() const;

    // GUID text + ".abk", the name a new book is saved under.
    std::string FileName() const;
    // Where the book is written: the file it was read from, else DataDir + "/AddressBook/" +
    // FileName().
    std::string GetFilePath() const;
    // The file the book was read from (or last written to) and that file's stamp then: a file
    // whose stamp differs was changed by another program since and is never written over blind.
    void SetFile(std::string path, std::optional<platform::FileStamp> stamp) {
        m_filePath = std::move(path);
        m_fileStamp = stamp;
    }
    const std::optional<platform::FileStamp>& FileStampSeen() const { return m_fileStamp; }
    // Takes in the entries of `disk` (the book's file as another program left it) that this
    // book lacks and did not remove since its last save; this book's own edits win.
    void MergeFrom(const CAddrBook& disk);

    // The whole book after the magic: GUID, name, count, the tagged records.
    void Serialize(CArchive& ar) override;
    // The count and the tagged records, then the group-list fix-up.
    void ReadEntries(CArchive& ar, const CBookReadHooks& hooks);
    // Rebuilds every contact's group list from the groups of this book.
    void FixGroupLists();

private:
    struct Slot {
        std::unique_ptr<CAddrBookEntry> entry;
        std::size_t order = 0;
    };
    void Compact();

    std::unordered_map<Guid, Slot, GuidHash> m_index;
    std::vector<CAddrBookEntry*> m_order; // null where an entry was removed
    std::size_t m_holes = 0;
    std::vector<std::unique_ptr<CAddrBookEntry>> m_replaced;
    std::uint64_t m_changes = 0;
    std::uint64_t m_savedChanges = 0;
    bool m_readOnly = false;
    std::string m_filePath;
    std::optional<platform::FileStamp> m_fileStamp;
    std::unordered_set<Guid, GuidHash> m_removedSinceSave;

    void Insert(std::unique_ptr<CAddrBookEntry> entry);
};

// Counts of a book's contacts and groups.
void CountEntries(const CAddrBook& book, int& contacts, int& groups);

// What a walk over a group does with what it meets (each may be left empty).
struct CGroupWalk {
    // Before a group's members are walked (the root's too); false leaves the group out.
    std::function<bool(const CGroupEntry&)> enter;
    // After its last member.
    std::function<void(const CGroupEntry&)> leave;
    // Each member that is no group; false ends the walk.
    std::function<bool(const CAddrBookEntry&)> member;
};
// Walks what `root` reaches through all books, depth-first in member order, on a stack of its
// own: a book may nest groups tens of thousands deep. Each group is entered at most once per
// walk, so a group that contains itself or subgroups shared by several groups end the walk.
void WalkGroup(const CGroupEntry& root, const CGroupWalk& walk);

// DataDir/AddressBook, created (with DataDir) when missing; "" when that fails.
std::string AddressBookDir();

// Reads one ".abk" file image. nullptr for a wrong magic; throws on a damaged file. A record
// tag other than 1 or 2 ends the book there.
std::unique_ptr<CAddrBook> ReadBook(std::string_view bytes, const CBookReadHooks& hooks = {});
std::string WriteBook(CAddrBook& book);

// Reads one file; errors are described in `error` (empty when none).
std::unique_ptr<CAddrBook> ReadBookFile(const std::string& path, std::string& error,
                                        const CBookReadHooks& hooks = {});
