#pragma once
// The program's single document, the composition root of the store: it holds the owners of the
// store's lists (each announces its own changes), the status workers and the viewers, reads the
// store once the window is up, and ends the work of the books' owner (AddressBooks()) at close.
#include "addressbook/AddressBooks.h"
#include "app/Ports.h"
#include "store/Documents.h"
#include "store/SentFaxes.h"
#include "store/StatusWorkers.h"
#include "store/Viewers.h"

#include <atomic>
#include <memory>
#include <thread>

namespace platform {
class CEvent;
}

class CVelquinDoc {
public:
    CVelquinDoc(IPrompt& prompt, IFrame& frame, CStatusWorkers::CSteps steps = {});
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

    // Closing. CanCloseFrame asks message 106 while the loader runs (false: stay open);
    // without `mayAsk` (the session ends) the loader is stopped as on "Да". It does not wait
    // for the loader: the GUI keeps handling events until AddressBooks().LoaderBusy() is false.
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
    const SentList& SentRecords() const { return m_sentFaxes.Entries(); }
    CDocuments& Printed() { return m_printed; }
    CDocuments& Saved() { return m_saved; }
    CReceivedFaxes& Received() { return m_received; }
    IPrompt& Prompt() { return m_prompt; }
    CStatusWorkers& Status() { return m_status; }
    CViewers& Viewers() { return m_viewers; }

private:
    void StopWorkers();

    IPrompt& m_prompt;
    IFrame& m_frame;

    CSentFaxes m_sentFaxes{m_prompt};
    CDocuments m_printed;
    CDocuments m_saved;
    CReceivedFaxes m_received;
    CViewers m_viewers{m_prompt};
    // Set once the document's workers are gone: the directory watcher ends on it.
    std::shared_ptr<platform::CEvent> m_exitEvent;
    CStatusWorkers m_status;

    std::thread m_storeReader;
    bool m_loadStarted = false;
    std::atomic<bool> m_storeLoaded{false};

    bool m_closed = false;
};
