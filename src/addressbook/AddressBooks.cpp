#include "addressbook/AddressBooks.h"

#include "app/Ports.h"
#include "app/Settings.h"
#include "app/ThreadControl.h"
#include "platform/Encoding.h"
#include "platform/Files.h"
#include "resources/Strings.h"

#include <algorithm>
#include <cerrno>
#include <future>

namespace {

constexpr unsigned kIdsDefaultBook = 2018;
constexpr unsigned kIdsBookReadOnly = 9360;
constexpr unsigned kIdsBookTakesNoEdits = 9364;

// CThreadControl::busy while the loader reads.
constexpr int kLoaderBusy = 1;

// Worker ids of the loader, apart from those the registry hands out.
std::atomic<std::uint32_t> g_nextLoaderId{0x40000000u};

std::string ReadOnlyNote(const CAddrBook& book, const std::string& path) {
    return FormatString(LoadString(kIdsBookReadOnly), book.m_name, path);
}

// A save given up after its reason was told.
struct CToldError {};

void Tell(const std::function<void(const std::string&)>& onError, const std::string& text) {
    if (onError) {
        onError(text);
    }
}

} // namespace

CAddressBooks& AddressBooks() {
    static auto& books = *new CAddressBooks;
    return books;
}

// --- reading ----------------------------------------------------------------------------

CAddrBook* CAddressBooks::Find(const Guid& guid) const {
    for (const auto& book : m_books) {
        if (book->m_guid == guid) {
            return book.get();
        }
    }
    return nullptr;
}

CAddrBookEntry* CAddressBooks::FindEntry(const Guid& guid) const {
    for (const auto& book : m_books) {
        if (CAddrBookEntry* e = book->FindEntry(guid)) {
            return e;
        }
    }
    return nullptr;
}

// --- changes ----------------------------------------------------------------------------

CAddrBook* CAddressBooks::Add(std::unique_ptr<CAddrBook> book) {
    if (!book) {
        return nullptr;
    }
    m_books.push_back(std::move(book));
    CAddrBook* raw = m_books.back().get();
    Publish(CBookChange::Kind::Added, raw->m_guid);
    return raw;
}

void CAddressBooks::MakeCurrent(CAddrBook* book) {
    if (book == m_current) {
        return;
    }
    m_current = book;
    Publish(CBookChange::Kind::Current, book != nullptr ? book->m_guid : Guid{});
}

void CAddressBooks::Rename(CAddrBook& book, std::string name) {
    if (book.m_name == name) {
        return;
    }
    book.m_name = std::move(name);
    book.MarkChanged();
    Publish(CBookChange::Kind::Renamed, book.m_guid);
}

void CAddressBooks::Edited(const CAddrBook& book) {
    Publish(CBookChange::Kind::Edited, book.m_guid);
}

void CAddressBooks::Clear() {
    m_current = nullptr;
    m_books.clear();
    Publish(CBookChange::Kind::Reset, {});
}

CAddressBooks::List CAddressBooks::Release() {
    m_current = nullptr;
    List books = std::move(m_books);
    m_books.clear();
    return books;
}

void CAddressBooks::ApplyDefaultRule(bool tell) {
    if (m_books.empty()) {
        m_books.push_back(std::make_unique<CAddrBook>(std::string(LoadString(kIdsDefaultBook))));
        if (tell) {
            Publish(CBookChange::Kind::Added, m_books.back()->m_guid);
        }
    }
    if (m_current == nullptr && !m_books.empty()) {
        m_current = m_books.front().get();
        if (tell) {
            Publish(CBookChange::Kind::Current, m_current->m_guid);
        }
    }
}

std::string CAddressBooks::WhyReadOnly(const CAddrBook& book) {
    return book.IsReadOnly()
               ? FormatString(LoadString(kIdsBookTakesNoEdits), book.m_name, book.GetFilePath())
               : std::string();
}

bool CAddressBooks::RefuseEdit(const CAddrBook* book, IPrompt& prompt) {
    if (book == nullptr || !book->IsReadOnly()) {
        return false;
    }
    prompt.Message(WhyReadOnly(*book), MsgIcon::Warning, MsgButtons::Ok);
    return true;
}

CAddrBook* CAddressBooks::Open(const std::string& path,
                               const std::function<void(const std::string&)>& onError,
                               IFrame* frame, bool* alreadyLoaded) {
    if (alreadyLoaded != nullptr) {
        *alreadyLoaded = false;
    }
    std::string error;
    CBookReadHooks hooks;
    hooks.frame = frame;
    auto book = ReadBookFile(path, error, hooks);
    if (!error.empty()) {
        Tell(onError, error);
    }
    if (!book) {
        return nullptr;
    }
    if (CAddrBook* loaded = Find(book->m_guid)) {
        // A copy of a loaded book: the loaded one is the book the user works in, and it is
        // written to its own file.
        if (alreadyLoaded != nullptr) {
            *alreadyLoaded = true;
        }
        MakeCurrent(loaded);
        return loaded;
    }
    return Add(std::move(book));
}

bool CAddressBooks::Delete(const Guid& which,
                           const std::function<void(const std::string&)>& onError) {
    const Guid guid = which; // `which` may be the GUID of the entry about to go
    if (CAddrBook* book = Find(guid)) {
        std::lock_guard<std::mutex> fileLock(m_bookFileLock);
        // An older version saved a book read from another name under its GUID name too: both
        // go, or the other would bring the book back at the next start.
        const std::string path = book->GetFilePath();
        const std::string dir = platform::DirName(path);
        for (const std::string& file : {path, platform::JoinPath(dir, book->FileName())}) {
            const int error = platform::DeleteFile(file);
            if (error != 0 && error != ENOENT) {
                Tell(onError, DescribeFileError(CFileException(error, file, file), file));
                return false;
            }
        }
        m_deletedBooks.push_back(guid);
        Publish(CBookChange::Kind::Removed, guid);
        auto it = std::find_if(m_books.begin(), m_books.end(),
                               [&](const auto& b) { return b.get() == book; });
        m_books.erase(it);
        m_current = nullptr;
        if (!m_books.empty()) {
            MakeCurrent(m_books.front().get());
        }
        ApplyDefaultRule();
        return true;
    }
    const CAddrBookEntry* entry = FindEntry(guid);
    if (entry == nullptr) {
        return false;
    }
    CAddrBook* owner = entry->m_owner;
    const Guid bookGuid = owner->m_guid;
    Publish(CBookChange::Kind::EntryRemoved, bookGuid);
    if (entry->GetType() == kEntryTypeGroup) {
        // Groups of other books may list it too; its own book drops it with the entry.
        for (const auto& book : m_books) {
            if (book.get() != owner) {
                book->ForgetMember(guid);
            }
        }
    }
    owner->RemoveEntry(guid);
    return true;
}

// --- writing ----------------------------------------------------------------------------

std::string CAddressBooks::BytesToWrite(CAddrBook& book,
                                        const std::function<void(const std::string&)>& onError) {
    const std::string path = book.GetFilePath();
    const auto now = platform::StampOf(path);
    if (now && now != book.FileStampSeen()) {
        // Another program (velquin-tool import-abk, a copy by hand) wrote the file since it
        // was read: what it added is taken in, then this window's edits are written over it.
        std::string error;
        auto disk = ReadBookFile(path, error);
        if (disk && disk->IsReadOnly()) {
            error = ReadOnlyNote(*disk, path); // written over, its unknown records would go
        }
        if (!error.empty()) {
            Tell(onError, error);
            throw CToldError{}; // never over a file that could not be read whole
        }
        if (disk) {
            book.MergeFrom(*disk);
            book.SetFile(path, disk->FileStampSeen());
        }
    }
    return WriteBook(book);
}

void CAddressBooks::SaveAll(const std::function<void(const std::string&)>& onError,
                            bool onlyUnsaved) {
    AddressBookDir();
    for (const auto& book : m_books) {
        if (book->IsReadOnly()) {
            continue;
        }
        const std::string path = book->GetFilePath();
        if (onlyUnsaved && !book->HasUnsavedChanges() && platform::PathExists(path)) {
            continue;
        }
        std::lock_guard<std::mutex> fileLock(m_bookFileLock);
        try {
            std::string bytes = BytesToWrite(*book, onError);
            const std::uint64_t count = book->ChangeCount();
            WriteArchiveFile(path, bytes);
            book->SetFile(path, platform::StampOf(path));
            book->NoteSaved(count);
        } catch (const CToldError&) {
        } catch (const std::exception& e) {
            Tell(onError, DescribeFileError(e, path));
        }
    }
}

// --- the window's background work ---------------------------------------------------------

void CAddressBooks::Attach(IPrompt& prompt, IFrame& frame) {
    Detach();
    m_prompt = &prompt;
    m_frame = &frame;
    m_loader.reset();
    m_loadComplete = false;
    {
        std::lock_guard<std::mutex> lock(m_saveLock);
        m_saverStop = false;
        m_savePending = false;
    }
    m_saver = std::thread([this] { SaverMain(); });
    BookChangedNotifier() = [this](CAddrBook&) { BookChanged(); };
}

void CAddressBooks::Detach() {
    WaitForLoader();
    {
        std::lock_guard<std::mutex> lock(m_saveLock);
        m_saverStop = true;
    }
    m_saveWake.notify_all();
    if (m_saver.joinable()) {
        m_saver.join();
    }
    BookChangedNotifier() = nullptr;
}

void CAddressBooks::SetSaveDelay(std::chrono::milliseconds delay) {
    std::lock_guard<std::mutex> lock(m_saveLock);
    m_saveDelay = delay;
}

void CAddressBooks::BookChanged() {
    std::lock_guard<std::mutex> lock(m_saveLock);
    // Called for every committed change (an import makes thousands): only the first one of a
    // burst wakes the saver, the others move its time on, though never past a few delays
    // after the first, so steady editing is saved too.
    const auto now = std::chrono::steady_clock::now();
    if (!m_savePending) {
        m_savePending = true;
        m_firstUnsaved = now;
        m_saveWake.notify_all();
    }
    m_saveDue = std::min(now + m_saveDelay, m_firstUnsaved + 5 * m_saveDelay);
}

void CAddressBooks::ScheduleRetry() {
    std::lock_guard<std::mutex> lock(m_saveLock);
    if (!m_saverStop && !m_savePending) {
        m_savePending = true;
        m_firstUnsaved = std::chrono::steady_clock::now();
        m_saveDue = m_firstUnsaved + 5 * m_saveDelay;
    }
}

void CAddressBooks::SaverMain() {
    std::unique_lock<std::mutex> lock(m_saveLock);
    for (;;) {
        m_saveWake.wait(lock, [this] { return m_saverStop || m_savePending; });
        while (!m_saverStop && std::chrono::steady_clock::now() < m_saveDue) {
            m_saveWake.wait_until(lock, m_saveDue);
        }
        if (m_saverStop) {
            return;
        }
        m_savePending = false;
        lock.unlock();
        SaveChangedBooks();
        lock.lock();
    }
}

// The books are serialised on the GUI thread (which alone changes them) and their bytes
// written here; a book counts as saved only once its write went through.
void CAddressBooks::SaveChangedBooks() {
    struct CBookBytes {
        Guid guid;
        std::string path;
        std::string bytes;
        std::uint64_t count = 0;
        std::optional<platform::FileStamp> seen;
        std::optional<platform::FileStamp> written;
        bool done = false;
    };
    std::vector<CBookBytes> work;
    std::vector<std::string> errors;
    auto onError = [&errors](const std::string& e) { errors.push_back(e); };
    std::size_t deletionsSeen = 0;
    const bool ran = m_frame->RunOnGuiThread([&] {
        deletionsSeen = m_deletedBooks.size(); // appended on this thread only
        AddressBookDir();
        for (const auto& book : m_books) {
            if (book->IsReadOnly() || !book->HasUnsavedChanges()) {
                continue;
            }
            try {
                std::string bytes = BytesToWrite(*book, onError);
                work.push_back({book->m_guid,
                                book->GetFilePath(),
                                std::move(bytes),
                                book->ChangeCount(),
                                book->FileStampSeen(),
                                {},
                                false});
            } catch (const CToldError&) {
                // the book stays unsaved
            }
        }
    });
    if (!ran) {
        // The GUI is closing (its close writes the books) or was asked to: try again later.
        ScheduleRetry();
        return;
    }
    bool retry = !errors.empty();
    for (CBookBytes& b : work) {
        std::lock_guard<std::mutex> fileLock(m_bookFileLock);
        if (std::find(m_deletedBooks.begin() + static_cast<std::ptrdiff_t>(deletionsSeen),
                      m_deletedBooks.end(), b.guid) != m_deletedBooks.end()) {
            continue; // deleted with its file meanwhile
        }
        const auto now = platform::StampOf(b.path);
        if (now && now != b.seen) {
            retry = true; // written by another program meanwhile: taken in at the next round
            continue;
        }
        try {
            WriteArchiveFile(b.path, b.bytes);
            b.written = platform::StampOf(b.path);
            b.done = true;
        } catch (const std::exception& e) {
            errors.push_back(DescribeFileError(e, b.path));
            retry = true;
        }
    }
    m_frame->RunOnGuiThread([&] {
        for (const CBookBytes& b : work) {
            CAddrBook* book = b.done ? Find(b.guid) : nullptr;
            if (book != nullptr) {
                book->SetFile(b.path, b.written);
                book->NoteSaved(b.count);
            }
        }
        for (const std::string& e : errors) {
            m_prompt->FileError(e);
        }
    });
    if (retry) {
        ScheduleRetry();
    }
}

// --- the loader ---------------------------------------------------------------------------

void CAddressBooks::StartLoader() {
    if (m_loader || m_frame == nullptr) {
        return;
    }
    CThreadControl& control = CThreadControl::Instance();
    m_loaderBusy = true;
    control.busy = kLoaderBusy;
    m_loaderId = g_nextLoaderId++;
    // The thread waits until it is registered, as the original's was created suspended.
    auto registered = std::make_shared<std::promise<void>>();
    std::shared_future<void> go = registered->get_future().share();
    // The folder is found here: the settings belong to the GUI thread.
    m_loader = std::make_shared<std::thread>(
        [this, go, prompt = m_prompt, frame = m_frame, dir = AddressBookDir()] {
            go.wait();
            LoaderMain(*prompt, *frame, dir);
        });
    control.Register(m_loaderId, m_loader, 1);
    registered->set_value();
}

void CAddressBooks::LoaderMain(IPrompt& prompt, IFrame& frame, const std::string& dir) {
    CThreadControl& control = CThreadControl::Instance();
    auto closing = [&control] { return control.stopRequest.load() == 2; };

    std::vector<std::unique_ptr<CAddrBook>> books;
    std::vector<std::string> notes; // per book: why it is read-only, or ""
    std::vector<std::string> errors;
    bool cutShort = false;
    if (!dir.empty()) {
        platform::CDirIndex index(dir);
        for (const platform::DirEntry* file : platform::MatchingFiles(index, "*.abk")) {
            if (closing()) {
                cutShort = true;
                break;
            }
            CBookReadHooks hooks;
            hooks.frame = &frame;
            hooks.stopRequested = closing;
            hooks.cutShort = &cutShort;
            std::string error;
            auto book = ReadBookFile(platform::JoinPath(dir, file->name), error, hooks);
            if (!error.empty()) {
                errors.push_back(std::move(error));
            }
            if (!book) {
                continue;
            }
            // Two files of one book (a copy, or the GUID-named file an older version wrote
            // beside the one it read): the one written last is the book, the other is left.
            auto same = std::find_if(books.begin(), books.end(),
                                     [&](const auto& b) { return b->m_guid == book->m_guid; });
            if (same != books.end()) {
                const auto mtime = [](const CAddrBook& b) {
                    return b.FileStampSeen() ? b.FileStampSeen()->mtimeNs : 0;
                };
                if (mtime(*book) > mtime(**same)) {
                    notes[static_cast<std::size_t>(same - books.begin())] =
                        book->IsReadOnly() && !cutShort ? ReadOnlyNote(*book, book->GetFilePath())
                                                        : std::string();
                    *same = std::move(book);
                }
                continue;
            }
            notes.push_back(book->IsReadOnly() && !cutShort
                                ? ReadOnlyNote(*book, book->GetFilePath())
                                : std::string());
            books.push_back(std::move(book));
        }
    }
    // The books were built here; the GUI thread takes them over and reports the errors.
    const bool handedOver = frame.RunOnGuiThread([&] {
        for (const std::string& e : errors) {
            prompt.FileError(e);
        }
        for (std::size_t i = 0; i < books.size(); ++i) {
            if (Find(books[i]->m_guid) != nullptr) {
                continue; // opened meanwhile
            }
            if (!notes[i].empty()) {
                prompt.Message(notes[i], MsgIcon::Warning, MsgButtons::Ok);
            }
            m_books.push_back(std::move(books[i]));
        }
        ApplyDefaultRule(false);
        m_loadComplete = !cutShort;
        // The loader is done with the books: a view worker the reset starts runs at once.
        control.Unregister(m_loaderId);
        control.busy = 0;
        // Told before the loader counts as done: whoever waits for that sees the loader's
        // status text gone first, not replacing a later one.
        frame.AddressBooksLoaded();
        m_loaderBusy = false;
        Publish(CBookChange::Kind::Reset, {});
    });
    books.clear();
    control.Unregister(m_loaderId);
    int busy = kLoaderBusy; // not a view worker's mark, when the hand-over did not run
    control.busy.compare_exchange_strong(busy, 0);
    if (!handedOver) {
        frame.AddressBooksLoaded();
    }
    m_loaderBusy = false;
}

void CAddressBooks::WaitForLoader() {
    if (m_loader && m_loader->joinable()) {
        m_loader->join();
    }
}
