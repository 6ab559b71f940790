#pragma once
// The program's single document: holds the owners of the store's lists (each announces its own
// changes) and starts and ends the work of the books' owner (AddressBooks()).
#include "addressbook/AddressBooks.h"
#include "app/DirWatcher.h" // kExitEventName, shared with the directory watcher
#include "app/Ports.h"
#include "service/FormPost.h"
#include "store/Documents.h"
#include "store/FaxRecords.h"
#include "store/SentFaxes.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace platform {
class CEvent;
class CDirIndex;
struct DirEntry;
} // namespace platform

constexpr const char* kAnswerEventName = "check.answer.event";
constexpr const char* kStateEventName = "check.document.state.event";

class CVelquinDoc {
public:
    // A reply of the status query (the service's reply tree), possibly empty.
    using StatusReply = std::shared_ptr<void>;
    // The work of the two status workers; filled in by the status synchronisation.
    struct CStatusSteps {
        // On the query worker, with the service address and account the GUI thread handed over.
        std::function<StatusReply(std::int32_t id, const ServiceEndpoint& endpoint)> query;
        // On the reply applier, with every reply that came since its last call.
        std::function<void(CVelquinDoc&, std::vector<StatusReply>)> apply;
    };

    CVelquinDoc(IPrompt& prompt, IFrame& frame, CStatusSteps steps = {});
    ~CVelquinDoc();
    CVelquinDoc(const CVelquinDoc&) = delete;
    CVelquinDoc& operator=(const CVelquinDoc&) = delete;

    // Starts the book loader and the reading of every list of the store on a worker; the
    // owners take what it read on the GUI thread, the status bar saying so meanwhile.
    void LoadStore();
    // True once the owners hold what the store reader read.
    bool StoreLoaded() const { return m_storeLoaded.load(); }
    // Waits for the store reader to end (it has handed over its lists, or shutdown began).
    void WaitForStore();

    // Store directories.
    static std::string SentDir();
    static std::string ReceivedDir();
    static std::string SavedDir();

    // Commands.
    void ReloadPrintedDocuments(); // 1026
    bool AddDocument();            // 32819
    // Writes every book, telling each failure.
    void SaveBooks();

    // Removes the printed document whose image is `imagePath` (its files, and its row when
    // listed). Sending keeps the path, not the record: a reload of FaxDir while the send
    // dialog was open replaces every record.
    void RemovePrintedDocument(const std::string& imagePath);
    // Opens the image for viewing (a TIFF in the own viewer when it is chosen, any other
    // file with the desktop's program); the caller clears the unread mark. A file that is
    // not there or a viewer that does not start is reported naming the file: false.
    bool ShowFile(const CAttach& record);
    // The same for a sent record's file, found by its name in SentFaxes.
    bool ShowSentFile(const CAttach& record);
    // Opens a file or an address ("scheme://...") with the desktop's program; a missing
    // file or an opener that does not start is reported naming the target, or `shownName`
    // when the target is not fit to show: false.
    bool OpenOutside(const std::string& target, std::string_view shownName = {});
    // Where a sent record's stored path is in SentFaxes now; "" when it names no file.
    static std::string SentFilePath(const std::string& storedPath);
    // Copies a document into FaxDir as a new printed document titled from `title` (or the
    // record's recipient), under a stem no document there uses; never overwrites.
    void ForwardToNewFax(const std::string& title, const std::string& imagePath,
                         const CSingleFaxEntry* record);

    // Status workers' queues.
    void QueueStatusQuery(std::int32_t id);
    // Where the queries queued from now on go (GUI thread): the worker never reads the settings,
    // which a send's completion may change meanwhile.
    void SetStatusEndpoint(ServiceEndpoint endpoint);
    void QueueStatusReply(StatusReply reply);
    std::size_t PendingQueries();
    // Queries queued whose replies are not applied yet: a round of synchronisation in flight.
    std::size_t Unanswered() const { return m_unanswered.load(); }

    bool BookLoaderBusy() const { return AddressBooks().LoaderBusy(); }

    // Closing. CanCloseFrame asks message 106 while the loader runs (false: stay open);
    // without `mayAsk` (the session ends) the loader is stopped as on "Да". It does not wait
    // for the loader: the GUI keeps handling events until BookLoaderBusy() is false.
    // OnCloseDocument stops the background book saver, writes the books (unless their loading
    // was cut short; read-only books never) and the job files of sent faxes changed in place.
    bool CanCloseFrame(bool mayAsk = true);
    void OnCloseDocument();
    // For the end of the process: closes `doc` and keeps it and the address books in memory,
    // reachable, instead of freeing them. With 100,000 sent faxes and as many contacts that is
    // a million small blocks, whose freeing one by one takes longer than all the rest of the
    // exit; the process end gives the memory back at once.
    static void CloseForProcessEnd(std::unique_ptr<CVelquinDoc> doc);

    // The owners of the store's lists; SentRecords() is the sent faxes' list.
    CSentFaxes& SentFaxes() { return m_sentFaxes; }
    SentList& SentRecords() { return m_sentFaxes.Entries(); }
    CDocuments& Printed() { return m_printed; }
    CDocuments& Saved() { return m_saved; }
    CReceivedFaxes& Received() { return m_received; }
    IPrompt& Prompt() { return m_prompt; }

private:
    void QueryWorker();
    void ReplyWorker();
    void StopWorkers();
    void ReportFileError(const std::exception& e, const std::string& path);
    bool ShowPath(const std::string& path, const std::string& title);

    IPrompt& m_prompt;
    IFrame& m_frame;
    CStatusSteps m_steps;

    CSentFaxes m_sentFaxes{m_prompt};
    CDocuments m_printed;
    CDocuments m_saved;
    CReceivedFaxes m_received;

    std::shared_ptr<platform::CEvent> m_exitEvent;
    std::shared_ptr<platform::CEvent> m_answerEvent;
    std::shared_ptr<platform::CEvent> m_stateEvent;
    std::mutex m_queryLock;
    std::deque<std::int32_t> m_queries;
    ServiceEndpoint m_queryEndpoint; // under m_queryLock
    std::mutex m_replyLock;
    std::deque<StatusReply> m_replies;
    std::atomic<bool> m_stopping{false};
    std::atomic<std::size_t> m_unanswered{0};
    std::thread m_queryThread;
    std::thread m_replyThread;

    std::thread m_storeReader;
    std::atomic<bool> m_storeLoaded{false};

    bool m_closed = false;
};
