#include "store/VelquinDoc.h"

#include "app/DirWatcher.h"
#include "app/Settings.h"
#include "app/StorePaths.h"
#include "app/ThreadControl.h"
#include "platform/Sync.h"
#include "resources/Strings.h"
#include "store/Trace.h"

namespace {

constexpr unsigned kIdsStopBookWork = 106;
constexpr unsigned kIdsReadingStore = 9422;

} // namespace

CVelquinDoc::CVelquinDoc(IPrompt& prompt, IFrame& frame, CStatusWorkers::CSteps steps)
    : m_prompt(prompt), m_frame(frame), m_printed(prompt, [] { return Settings().FaxDir; }),
      m_saved(prompt, [] { return StorePath(kSavedFolder); }),
      m_received(
          prompt, [] { return StorePath(kReceivedFolder); }, &ReadReceivedFaxes),
      m_exitEvent(platform::CreateNamedEvent(kExitEventName)),
      m_status(m_sentFaxes, std::move(steps)) {
    // A signal left over from an earlier document must not stop the new directory watcher.
    m_exitEvent->Reset();
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
    if (m_loadStarted) {
        return; // the reader may have ended already: joinable() cannot tell
    }
    m_loadStarted = true;
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

void CVelquinDoc::StopWorkers() {
    m_status.Stop();
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
