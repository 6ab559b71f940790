#include "store/VelquinDoc.h"

#include "app/Settings.h"
#include "app/ThreadControl.h"
#include "platform/Encoding.h"
#include "platform/Files.h"
#include "platform/Process.h"
#include "platform/Sync.h"
#include "resources/Strings.h"
#include "service/FormPost.h"
#include "store/Trace.h"

#include <algorithm>
#include <cerrno>
#include <future>

namespace {

constexpr unsigned kIdsStopBookWork = 106;
constexpr unsigned kIdsViewerNotStarted = 9402;
constexpr unsigned kIdsOpenerNotStarted = 9403;
constexpr unsigned kIdsReadingStore = 9422;

// Replies applied on the GUI thread at once: some 10 ms of its time.
constexpr std::size_t kMaxReplyBatch = 1000;

bool IsTiffName(const std::string& path) {
    const std::string ext = platform::AsciiLower(platform::Extension(path));
    return ext == ".tif" || ext == ".tiff";
}

std::string StoreSubdir(const char* name) {
    return platform::JoinPath(Settings().DataDir, name);
}

} // namespace

CVelquinDoc::CVelquinDoc(IPrompt& prompt, IFrame& frame, CStatusSteps steps)
    : m_prompt(prompt), m_frame(frame), m_steps(std::move(steps)),
      m_printed(prompt, [] { return Settings().FaxDir; }), m_saved(prompt, &SavedDir),
      m_received(prompt, &ReceivedDir, &ReadReceivedFaxes) {
    m_exitEvent = platform::CreateNamedEvent(kExitEventName);
    m_answerEvent = platform::CreateNamedEvent(kAnswerEventName);
    m_stateEvent = platform::CreateNamedEvent(kStateEventName);
    // A signal left over from an earlier document must not stop the new workers.
    m_exitEvent->Reset();
    m_answerEvent->Reset();
    m_stateEvent->Reset();
    m_queryThread = std::thread([this] { QueryWorker(); });
    m_replyThread = std::thread([this] { ReplyWorker(); });
    AddressBooks().Attach(m_prompt, m_frame);
    StoreTrace("Document constructor");
}

CVelquinDoc::~CVelquinDoc() {
    StopWorkers();
    WaitForStore();
    AddressBooks().Detach();
    AddressBooks().Clear();
}

void CVelquinDoc::LoadStore() {
    AddressBooks().StartLoader();
    if (m_storeReader.joinable()) {
        return;
    }
    // The window shows at once; with 100,000 sent faxes the reading takes a while.
    m_frame.SetStatusText(LoadString(kIdsReadingStore));
    struct CStoreRead {
        CSentStore sent;
        CFolderRead<CFaxDocument> printed, saved;
        CFolderRead<CReceivedFax> received;
    };
    // Where to read is taken here: the settings belong to the GUI thread.
    m_storeReader = std::thread([this, sent = CSentStoreOptions::FromSettings(),
                                 printed = m_printed.Directory(), saved = m_saved.Directory(),
                                 received = m_received.Directory()] {
        auto read = std::make_shared<CStoreRead>();
        read->sent = CSentFaxes::Read(sent);
        read->printed = ReadDocuments(printed);
        read->saved = ReadDocuments(saved);
        read->received = ReadReceivedFaxes(received);
        // Nothing is handed over once shutdown began: the lists are not needed any more.
        m_frame.RunOnGuiThread([this, read] {
            m_sentFaxes.Adopt(std::move(read->sent));
            m_printed.Adopt(std::move(read->printed));
            m_saved.Adopt(std::move(read->saved));
            m_received.Adopt(std::move(read->received));
            m_storeLoaded = true;
            if (!AddressBooks().LoaderBusy()) {
                m_frame.SetStatusText({}); // else the book loader's text stays until it ends
            }
        });
    });
}

void CVelquinDoc::WaitForStore() {
    if (m_storeReader.joinable()) {
        m_storeReader.join();
    }
}

// --- loading ----------------------------------------------------------------------------

std::string CVelquinDoc::SentDir() {
    return StoreSubdir("SentFaxes");
}
std::string CVelquinDoc::ReceivedDir() {
    return StoreSubdir("ReceivedFaxes");
}
std::string CVelquinDoc::SavedDir() {
    return StoreSubdir("SavedFiles");
}

void CVelquinDoc::ReportFileError(const std::exception& e, const std::string& path) {
    m_prompt.FileError(DescribeFileError(e, path));
}

// --- commands ---------------------------------------------------------------------------

void CVelquinDoc::ReloadPrintedDocuments() {
    m_printed.Load();
}

bool CVelquinDoc::AddDocument() {
    auto path = m_prompt.AskOpenFile(kAddDocumentFilter, "");
    if (!path) {
        return false;
    }
    std::string failed;
    if (const int error = m_printed.AddFile(*path, std::nullopt, &failed)) {
        m_prompt.FileError(NotAddedText(*path, error, failed));
        return false;
    }
    return true;
}

void CVelquinDoc::SaveBooks() {
    AddressBooks().SaveAll([this](const std::string& error) { m_prompt.FileError(error); });
}

void CVelquinDoc::RemovePrintedDocument(const std::string& imagePath) {
    m_printed.RemoveImage(imagePath);
}

namespace {
// The name the viewer shows for a record's image: the document's or the sent entry's title.
std::string TitleOf(const CAttach& record) {
    const auto* entry = dynamic_cast<const CFaxEntryBase*>(&record);
    return entry != nullptr ? entry->m_title : std::string();
}
} // namespace

bool CVelquinDoc::ShowFile(const CAttach& record) {
    return ShowPath(record.m_path, TitleOf(record));
}

bool CVelquinDoc::ShowSentFile(const CAttach& record) {
    return ShowPath(SentFilePath(record.StoreName()), TitleOf(record));
}

std::string CVelquinDoc::SentFilePath(const std::string& storedPath) {
    return storedPath.empty() ? std::string() : FileInStore(SentDir(), storedPath);
}

bool CVelquinDoc::ShowPath(const std::string& path, const std::string& title) {
    if (path.empty()) {
        return false;
    }
    // The own viewer shows fax images only; a document added as it was (a PDF, a picture)
    // goes to the program the desktop opens it with.
    if (!Settings().UseOwnViewer || !IsTiffName(path)) {
        return OpenOutside(path);
    }
    if (!platform::PathExists(path)) {
        ReportFileError(CFileException(ENOENT, path, path), path);
        return false;
    }
    const std::string viewer = OwnViewerPath();
    std::vector<std::string> argv = {viewer, path};
    if (!title.empty()) {
        argv.insert(argv.begin() + 1, {"--title", title});
    }
    if (!platform::StartProgram(argv)) {
        m_prompt.FileError(FormatString(LoadString(kIdsViewerNotStarted), path, viewer));
        return false;
    }
    return true;
}

bool CVelquinDoc::OpenOutside(const std::string& target, std::string_view shownName) {
    if (target.empty()) {
        return false;
    }
    // The opener runs detached and cannot tell about a missing file: it is looked for here.
    if (target.find("://") == std::string::npos && !platform::PathExists(target)) {
        ReportFileError(CFileException(ENOENT, target, target), target);
        return false;
    }
    if (!platform::ShellOpen(target)) {
        m_prompt.FileError(FormatString(LoadString(kIdsOpenerNotStarted),
                                        shownName.empty() ? target : shownName,
                                        platform::ShellOpener()));
        return false;
    }
    return true;
}

void CVelquinDoc::ForwardToNewFax(const std::string& title, const std::string& imagePath,
                                  const CSingleFaxEntry* record) {
    if (imagePath.empty()) {
        return;
    }
    std::string newTitle;
    if (!title.empty()) {
        newTitle = FormatString("FW: %s", title);
    } else if (record != nullptr) {
        newTitle = FormatString("FW: Fax on %s", record->m_recipient);
    }
    std::string failed;
    if (const int error = m_printed.AddFile(imagePath, newTitle, &failed)) {
        ReportFileError(CFileException(error, failed, failed), failed);
    }
}

// --- status workers ---------------------------------------------------------------------

void CVelquinDoc::QueueStatusQuery(std::int32_t id) {
    m_unanswered.fetch_add(1);
    {
        std::lock_guard<std::mutex> lock(m_queryLock);
        m_queries.push_back(id);
    }
    m_stateEvent->Set();
}

void CVelquinDoc::SetStatusEndpoint(ServiceEndpoint endpoint) {
    std::lock_guard<std::mutex> lock(m_queryLock);
    m_queryEndpoint = std::move(endpoint);
}

void CVelquinDoc::QueueStatusReply(StatusReply reply) {
    {
        std::lock_guard<std::mutex> lock(m_replyLock);
        m_replies.push_back(std::move(reply));
    }
    m_answerEvent->Set();
}

std::size_t CVelquinDoc::PendingQueries() {
    std::lock_guard<std::mutex> lock(m_queryLock);
    return m_queries.size();
}

void CVelquinDoc::QueryWorker() {
    const CAbandonRequests abandon(m_stopping); // the close joins this thread
    for (;;) {
        int which =
            platform::WaitForAny({m_exitEvent.get(), m_stateEvent.get()}, platform::kInfinite);
        if (m_stopping.load() || which == 0) {
            return;
        }
        if (which != 1) {
            continue; // a failed wait counts as a wake-up without a signal
        }
        for (;;) {
            std::int32_t id = 0;
            ServiceEndpoint endpoint;
            {
                std::lock_guard<std::mutex> lock(m_queryLock);
                if (m_queries.empty()) {
                    break;
                }
                id = m_queries.front();
                m_queries.pop_front();
                endpoint = m_queryEndpoint;
            }
            if (m_stopping.load()) {
                return;
            }
            QueueStatusReply(m_steps.query ? m_steps.query(id, endpoint) : StatusReply());
        }
    }
}

void CVelquinDoc::ReplyWorker() {
    for (;;) {
        int which =
            platform::WaitForAny({m_exitEvent.get(), m_answerEvent.get()}, platform::kInfinite);
        if (m_stopping.load() || which == 0) {
            return;
        }
        if (which != 1) {
            continue;
        }
        for (;;) {
            // What came meanwhile goes over in one batch, but never so much at once that the
            // window would stop answering while it applies them.
            std::vector<StatusReply> batch;
            std::size_t taken = 0;
            {
                std::lock_guard<std::mutex> lock(m_replyLock);
                if (m_replies.empty()) {
                    break;
                }
                taken = std::min(m_replies.size(), kMaxReplyBatch);
                const std::size_t take = taken;
                for (std::size_t i = 0; i < take; ++i) {
                    if (m_replies[i]) { // a failed query has nothing to apply
                        batch.push_back(std::move(m_replies[i]));
                    }
                }
                m_replies.erase(m_replies.begin(),
                                m_replies.begin() + static_cast<std::ptrdiff_t>(take));
            }
            if (m_stopping.load()) {
                return;
            }
            if (!batch.empty() && m_steps.apply) {
                m_steps.apply(*this, std::move(batch));
            }
            m_unanswered.fetch_sub(taken);
        }
    }
}

void CVelquinDoc::StopWorkers() {
    if (m_stopping.exchange(true)) {
        return;
    }
    // Each worker is woken through its own event, so the shared exit event is left for the
    // directory watcher: it is set once the document's workers are gone.
    m_stateEvent->Set();
    m_answerEvent->Set();
    if (m_queryThread.joinable()) {
        m_queryThread.join();
    }
    if (m_replyThread.joinable()) {
        m_replyThread.join();
    }
    m_stateEvent->Reset();
    m_answerEvent->Reset();
    m_exitEvent->Set();
}

// --- closing ----------------------------------------------------------------------------

bool CVelquinDoc::CanCloseFrame(bool mayAsk) {
    if (mayAsk && AddressBooks().LoaderBusy()) {
        if (m_prompt.MessageId(kIdsStopBookWork, MsgIcon::Question, MsgButtons::YesNo) !=
            MsgAnswer::Yes) {
            return false;
        }
    }
    StopWorkers();
    CThreadControl::Instance().stopRequest = 2;
    return true;
}

void CVelquinDoc::OnCloseDocument() {
    if (m_closed) {
        return;
    }
    m_closed = true;
    StopWorkers();
    WaitForStore();
    AddressBooks().Detach();
    // Books whose loading was cut short would overwrite the full files: they are not written.
    // An unchanged book is not written again: an exit costs nothing for a large book.
    if (AddressBooks().LoadComplete()) {
        AddressBooks().SaveAll([this](const std::string& error) { m_prompt.FileError(error); },
                               true);
    }
    m_sentFaxes.SaveTouched();
}

void CVelquinDoc::CloseForProcessEnd(std::unique_ptr<CVelquinDoc> doc) {
    doc->OnCloseDocument();
    struct CKept {
        std::unique_ptr<CVelquinDoc> doc;
        std::vector<std::unique_ptr<CAddrBook>> books;
    };
    static auto* kept = new std::vector<CKept>();
    kept->push_back({std::move(doc), AddressBooks().Release()});
}
