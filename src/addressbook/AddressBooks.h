#pragma once
// The books' one owner: holds every loaded book and the current one, is the only code that adds,
// removes, renames, makes current or marks edited a book, and tells each change to its
// subscribers keyed by the book's GUID. It loads the books on a thread of its own and writes
// changed books in the background, each to the file it was read from.
#include "addressbook/AddrBook.h"
#include "app/Events.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class IPrompt;
class IFrame;

// Changed books are written this long after the last committed edit: a burst of edits makes
// one save, and a crash loses at most the last moments of work.
constexpr std::chrono::milliseconds kBookSaveDelay{2000};

struct CBookChange {
    enum class Kind {
        Reset,        // the loader handed over the books: rebuild from the list
        Added,        // a book joined the list
        Removed,      // a book and its file are gone
        EntryRemoved, // an entry of the book went (its list rows are stale)
        Renamed,      // the book's name changed
        Edited,       // entries of the book were added or changed
        Current,      // the book became the current one
    };
    Kind kind = Kind::Reset;
    Guid key; // the book's GUID (none for Reset)
};

class CAddressBooks {
public:
    using List = std::vector<std::unique_ptr<CAddrBook>>;
    using CSubscription = CEventChannel<CBookChange>::CSubscription;

    // Reading: load order, then creation order.
    List::const_iterator begin() const { return m_books.begin(); }
    List::const_iterator end() const { return m_books.end(); }
    std::size_t size() const { return m_books.size(); }
    bool empty() const { return m_books.empty(); }
    CAddrBook* operator[](std::size_t i) const { return m_books[i].get(); }
    CAddrBook* front() const { return m_books.front().get(); }
    CAddrBook* back() const { return m_books.back().get(); }
    CAddrBook* Current() const { return m_current; }
    CAddrBook* Find(const Guid& guid) const;
    CAddrBookEntry* FindEntry(const Guid& guid) const;

    [[nodiscard]] CSubscription Subscribe(std::function<void(const CBookChange&)> handler) {
        return m_changes.Subscribe(std::move(handler));
    }

    // Changes (the GUI thread in the program).
    CAddrBook* Add(std::unique_ptr<CAddrBook> book);
    void MakeCurrent(CAddrBook* book);
    void Rename(CAddrBook& book, std::string name);
    // Entries of `book` were added or changed by an edit that is committed.
    void Edited(const CAddrBook& book);
    // Forgets every book (no file is touched).
    void Clear();
    // Hands the books over unfreed, for the end of the process to give back at once.
    List Release();
    // Creates "Мои Контакты" when there is no book; makes the first book current when none is.
    // Told unless `tell` is false (the loader's hand-over tells one reset instead).
    void ApplyDefaultRule(bool tell = true);
    // Why `book` takes no edits ("" when it does): a book read only in part.
    static std::string WhyReadOnly(const CAddrBook& book);
    // Refuses an edit of a read-only `book`, telling the reason: true when refused.
    static bool RefuseEdit(const CAddrBook* book, IPrompt& prompt);

    // Reads a book file and adds the book. A book already loaded (same GUID) is made current
    // instead and `alreadyLoaded` set. Failures go to `onError`.
    CAddrBook* Open(const std::string& path, const std::function<void(const std::string&)>& onError,
                    IFrame* frame = nullptr, bool* alreadyLoaded = nullptr);
    // Deletes a book with its file, or an entry of any book (a group's GUID leaves every member
    // and group list). A book file that cannot be deleted keeps the book: false, told to
    // `onError`.
    bool Delete(const Guid& guid, const std::function<void(const std::string&)>& onError = {});
    // Writes every book that is not read-only, each to its file; a file another program changed
    // since it was read is read again and this window's edits applied over it. With
    // `onlyUnsaved`, only books with unsaved edits or without a file yet. Each failure goes to
    // `onError` and leaves the book unsaved.
    void SaveAll(const std::function<void(const std::string&)>& onError, bool onlyUnsaved = false);

    // The window's background work: the saver starts with Attach, the loader with StartLoader;
    // Detach joins both (the books stay).
    void Attach(IPrompt& prompt, IFrame& frame);
    void Detach();
    void StartLoader();
    bool LoaderBusy() const { return m_loaderBusy.load(); }
    void WaitForLoader();
    // True once a full load was handed over (a cut-short load is never written back).
    bool LoadComplete() const { return m_loadComplete; }
    void SetSaveDelay(std::chrono::milliseconds delay);

private:
    void Publish(CBookChange::Kind kind, const Guid& key) { m_changes.Publish({kind, key}); }
    void LoaderMain(IPrompt& prompt, IFrame& frame, const std::string& dir);
    void BookChanged();
    void SaverMain();
    void SaveChangedBooks();
    void ScheduleRetry();
    // Serialises `book` for writing; first takes in what another program wrote to its file.
    std::string BytesToWrite(CAddrBook& book,
                             const std::function<void(const std::string&)>& onError);

    List m_books;
    CAddrBook* m_current = nullptr;
    CEventChannel<CBookChange> m_changes;

    IPrompt* m_prompt = nullptr;
    IFrame* m_frame = nullptr;

    std::shared_ptr<std::thread> m_loader;
    std::uint32_t m_loaderId = 0;
    std::atomic<bool> m_loaderBusy{false};
    bool m_loadComplete = false;

    std::mutex m_saveLock;
    std::condition_variable m_saveWake;
    std::chrono::milliseconds m_saveDelay = kBookSaveDelay;
    std::chrono::steady_clock::time_point m_saveDue;
    std::chrono::steady_clock::time_point m_firstUnsaved;
    bool m_savePending = false;
    bool m_saverStop = false;
    std::thread m_saver;
    // Held while the saver writes a book file and while a book is deleted, so a save taken
    // before the delete cannot bring the file back.
    std::mutex m_bookFileLock;
    std::vector<Guid> m_deletedBooks; // appended under m_bookFileLock
};

// The process' books. Never destroyed: an exit() from elsewhere (Qt's, when the display goes)
// runs the exit handlers first, and the books are saved from one of them.
CAddressBooks& AddressBooks();
inline CAddrBook* CurrentBook() {
    return AddressBooks().Current();
}
inline CAddrBook* FindBook(const Guid& guid) {
    return AddressBooks().Find(guid);
}
inline CAddrBookEntry* FindEntryInAllBooks(const Guid& guid) {
    return AddressBooks().FindEntry(guid);
}
