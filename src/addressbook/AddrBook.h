#pragma once
// Address books of contacts and groups, identified by GUIDs, and their ".abk" file form.
#include "app/Archive.h"
#include "platform/SysInfo.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

class IFrame;

using platform::Guid;

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

class CAddrBook;

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
    explicit CAddrBook(std::string name = {}) : CAddrBookEntry(std::move(name)) {}
    explicit CAddrBook(LoadingTag t) : CAddrBookEntry(t) {}
    CAddrBook(const CAddrBook&) = delete;
    CAddrBook& operator=(const CAddrBook&) = delete;

    int GetType() const override { return kEntryTypeBook; }

    // Takes ownership; sets the owner. An entry already filed under the same GUID leaves the
    // map but stays alive (something may still point at it) until the book goes.
    void AddEntry(std::unique_ptr<CAddrBookEntry> entry);
    CAddrBookEntry* FindEntry(const Guid& guid) const;
    // Removes and destroys the entry; false when the book has none with that GUID.
    bool RemoveEntry(const Guid& guid);
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

    // GUID text + ".abk", the name the book is saved under.
    std::string FileName() const;
    // DataDir + "/AddressBook/" + FileName().
    std::string GetFilePath() const;
    int DeleteFile() const;

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
};

// Counts of a book's contacts and groups.
void CountEntries(const CAddrBook& book, int& contacts, int& groups);

// The process-wide list of books (load order, then creation order) and the current book.
std::vector<std::unique_ptr<CAddrBook>>& AddressBooks();
CAddrBook*& CurrentBook();
CAddrBookEntry* FindEntryInAllBooks(const Guid& guid);
// Creates "Мои Контакты" when there is no book; makes the first book current when none is.
void ApplyDefaultBookRule();

// DataDir/AddressBook, created (with DataDir) when missing; "" when that fails.
std::string AddressBookDir();

// Reads one ".abk" file image. nullptr for a wrong magic; throws on a damaged file. A record
// tag other than 1 or 2 ends the book there.
std::unique_ptr<CAddrBook> ReadBook(std::string_view bytes, const CBookReadHooks& hooks = {});
std::string WriteBook(CAddrBook& book);

// Reads one file; errors are described in `error` (empty when none).
std::unique_ptr<CAddrBook> ReadBookFile(const std::string& path, std::string& error,
                                        const CBookReadHooks& hooks = {});

// Reads a file and appends the book to AddressBooks(); failures go to `onError`.
CAddrBook* LoadBook(const std::string& path, const std::function<void(const std::string&)>& onError,
                    IFrame* frame = nullptr);
// Writes every book to its file atomically; each failure goes to `onError`, the rest go on.
void SaveAllBooks(const std::function<void(const std::string&)>& onError);
// Deletes a book (with its file) or an entry of any book. `clearViews` runs first.
void DeleteEntry(const Guid& guid, const std::function<void()>& clearViews);
