#pragma once
// The main window: the navigator, the four pages, a toolbar and an operations menu per page,
// the status bar with its progress bar, the tray icon and the synchronisation timer. It is
// also the frame port the workers talk to.
#include "app/Ports.h"
#include "gui/app/GuiInvoker.h"
#include "gui/shell/FakeView.h"
#include "gui/shell/Selector.h"
#include "store/StatusSync.h"

#include <QMainWindow>
#include <QMap>
#include <QTimer>
#include <functional>
#include <memory>

class CVelquinDoc;
class CQtPrompt;
class CPageView;
class CNewFaxView;
class CSavedDocView;
class CReceivedFaxTreeView;
class CAddrBookPage;
class CFaxDocument;
class QAction;
class QLabel;
class QMenu;
class QProgressBar;
class QSplitter;
class QSystemTrayIcon;
class QLineEdit;
class QToolBar;
class QTreeWidget;

class CMainFrame : public QMainWindow, public IFrame {
    Q_OBJECT
public:
    static constexpr int kPageCount = 4;

    explicit CMainFrame(CQtPrompt& prompt, QWidget* parent = nullptr);
    ~CMainFrame() override;

    // Creates the pages on the document; each view reports itself ready.
    void AttachDocument(CVelquinDoc& doc);

    // Page selection (the original's WM_USER+100): false when the page does not exist.
    bool SelectPage(int index);
    int CurrentPage() const { return m_currentPage; }

    // Commands.
    QAction* Action(int id) const { return m_actions.value(id, nullptr); }
    void OnCommand(int id);
    void UpdateCommandUI();
    QMenu* OperationsMenu() const { return m_opsMenu; }
    QToolBar* PageToolBar(int page) const { return m_toolbars[static_cast<std::size_t>(page)]; }
    CPageView* ActiveView() const;

    // Where the send commands go; by default a "not yet" notice.
    void SetSendHandler(std::function<void(int command, CFaxDocument& document)> handler);

    void OnSynchronise();
    void OnSettings();
    void OnFilter();
    void OnAbout();
    void OnUserGuide();
    void OnExit();
    // The session ends (SIGTERM at logout or shutdown): as Exit, without asking anything,
    // since nobody is there to answer; a book load under way is stopped as on "Да".
    void EndSession();
    void OnHideWindow();
    // Shows the window again, as it was (maximised or not), and brings it forward.
    void RestoreFromTray();
    void ReloadPrinted(); // command 1026

    bool IsSynchronising() const { return m_sync && m_sync->Running(); }
    const QTimer& SyncTimer() const { return m_syncTimer; }
    void RestartSyncTimer(bool oldAuto, int oldDelay);
    bool HasTray() const { return m_tray != nullptr; }
    bool ExitRequested() const { return m_exiting; }

    // The end: stops waiting workers, stores the layout, stops the timer, removes the tray.
    void Shutdown();
    // The display is gone: workers stop waiting on the window, which is never touched again.
    void AbandonWindow() { m_invoker.BeginShutdown(); }

    CNewFaxView* NewFaxView() const { return m_newFaxView; }
    CSavedDocView* SavedDocView() const { return m_savedView; }
    CReceivedFaxTreeView* SentView() const { return m_sentView; }
    CAddrBookPage* AddressBookPage() const { return m_bookPage; }
    CSelector* Selector() const { return m_selector; }
    CFakeView* FakeView() const { return m_fakeView; }
    QProgressBar* ProgressBar() const { return m_progress; }
    QLabel* StatusLabel() const { return m_statusText; }

    // IFrame.
    void ProgressStart(int upper) override;
    void ProgressStep(int position) override;
    void ProgressEnd() override;
    void SetStatusText(std::string_view text) override;
    bool RunOnGuiThread(const std::function<void()>& work) override;
    void PostCommand(int commandId) override;
    void AddressBooksLoaded() override;

Q_SIGNALS:
    // Exit was confirmed: the application should quit.
    void QuitRequested();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateActions();
    void CreateMenus();
    void CreateToolBars();
    void CreateStatusBar();
    // The search field on the sent faxes' toolbar, and Ctrl+F to reach it from any page.
    void AddSentSearch();
    void CreateTray();
    void ShowContextMenu(const QPoint& pos, int defaultCommand);
    void OnGui(std::function<void()> work);
    void ApplyTimerChange(const CTimerChange& change);
    void Exit(bool mayAsk);
    void RestoreGeometry();

    CQtPrompt& m_prompt;
    CVelquinDoc* m_doc = nullptr;
    CGuiInvoker m_invoker;
    QMap<int, QAction*> m_actions;
    std::array<QToolBar*, kPageCount> m_toolbars{};
    std::array<QList<int>, kPageCount> m_pageMenus;
    QMenu* m_opsMenu = nullptr;
    CSelector* m_selector = nullptr;
    CFakeView* m_fakeView = nullptr;
    CNewFaxView* m_newFaxView = nullptr;
    CSavedDocView* m_savedView = nullptr;
    CReceivedFaxTreeView* m_sentView = nullptr;
    QLineEdit* m_sentSearch = nullptr;
    CAddrBookPage* m_bookPage = nullptr;
    QLabel* m_statusText = nullptr;
    QProgressBar* m_progress = nullptr;
    QSystemTrayIcon* m_tray = nullptr;
    QTimer m_syncTimer;
    QTimer m_openerTimer;
    int m_currentPage = -1;
    bool m_toolbarVisible = true;
    std::unique_ptr<CStatusSync> m_sync;
    CSyncTimer m_timerRule;
    bool m_exiting = false;
    bool m_wasMaximized = false;
    bool m_layoutRestored = false;
    std::uint64_t m_syncKeyReleasedAt = 0; // the X timestamp of F5's last release
    std::function<void(int, CFaxDocument&)> m_sendHandler;
};
