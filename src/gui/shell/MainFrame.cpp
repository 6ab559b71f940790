#include "gui/shell/MainFrame.h"

#include "addressbook/AddrBook.h"
#include "app/Settings.h"
#include "app/ThreadControl.h"
#include "app/UserGuide.h"
#include "filters/ListFilter.h"
#include "gui/addressbook/AddrBookViews.h"
#include "gui/app/AboutDlg.h"
#include "gui/app/QtPrompt.h"
#include "gui/app/SettingsDlg.h"
#include "gui/app/SyncNotifier.h"
#include "gui/filters/FilterDlg.h"
#include "gui/sending/SendDlgBase.h"
#include "gui/shell/Commands.h"
#include "gui/shell/DocListViews.h"
#include "gui/shell/Profile.h"
#include "gui/shell/ProgressDlg.h"
#include "gui/shell/SentFaxView.h"
#include "platform/Files.h"
#include "platform/Process.h"
#include "store/FaxListModel.h"
#include "store/VelquinDoc.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QThread>
#include <QToolBar>
#include <QTreeWidget>
#include <algorithm>
#include <chrono>

namespace {

constexpr const char* kSettingsSection = "Settings";
constexpr const char* kBookSection = "Settings\\AddrBook";
constexpr unsigned kPageTitles[CMainFrame::kPageCount] = {ids::kTitleNew, ids::kTitleSent,
                                                          ids::kTitleSaved, ids::kTitleContacts};
const char* const kPageIcons[CMainFrame::kPageCount] = {"page-new", "page-sent", "page-saved",
                                                        "page-contacts"};
// Toolbar buttons per page; 0 is a separator.
const QList<int> kToolbarButtons[CMainFrame::kPageCount] = {
    {cmd::kDelete, 0, cmd::kSaveDocument, 0, cmd::kNewDocument, 0, cmd::kViewReadyFax, 0,
     cmd::kSendFax, cmd::kSendList, cmd::kSendPersonal, 0, cmd::kUserGuide},
    {cmd::kDelete, 0, cmd::kAddToNewFax, cmd::kViewFax, cmd::kResendUndelivered, 0,
     cmd::kDeliveryReport, cmd::kSynchronise, 0, cmd::kUserGuide},
    {cmd::kDelete, 0, cmd::kAddToNewFax, cmd::kViewFax, 0, cmd::kUserGuide},
    {cmd::kNewContact, cmd::kNewGroup, cmd::kNewBook, cmd::kDelete, 0, cmd::kProperties, 0,
     cmd::kImport, cmd::kOpenBook, cmd::kExport, 0, cmd::kUserGuide},
};
const char* const kToolbarNames[CMainFrame::kPageCount] = {"New", "Sent", "Saved", "Contacts"};
// The operations menu of each page.
const QList<int> kOperations[CMainFrame::kPageCount] = {
    {cmd::kSendFax, cmd::kSendList, cmd::kSendPersonal, 0, cmd::kViewReadyFax, cmd::kSaveDocument,
     cmd::kNewDocument, 0, cmd::kMoveUp, cmd::kMoveDown, 0, cmd::kDelete},
    {cmd::kViewFax, cmd::kAddToNewFax, cmd::kResendUndelivered, 0, cmd::kDeliveryReport,
     cmd::kSaveProof, cmd::kSynchronise, cmd::kFilter, 0, cmd::kDelete},
    {cmd::kViewFax, cmd::kAddToNewFax, 0, cmd::kDelete},
    {cmd::kNewContact, cmd::kNewGroup, cmd::kNewBook, 0, cmd::kProperties, cmd::kDelete, 0,
     cmd::kImport, cmd::kOpenBook, cmd::kExport},
};

std::int64_t SteadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// True when enough of `r` lies on one of the screens to be seen and taken with the mouse.
bool OnSomeScreen(const QRect& r) {
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect seen = screen->availableGeometry().intersected(r);
        if (seen.width() >= 100 && seen.height() >= 50) {
            return true;
        }
    }
    return false;
}

// `r` made to fit the available part of the screen it is mostly on: a window larger than the
// screen would hide its status bar and buttons below the edge.
QRect FittedToScreen(const QRect& r) {
    const QScreen* screen = QGuiApplication::screenAt(r.center());
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    if (screen == nullptr) {
        return r;
    }
    // Room for the window manager's frame and title.
    const QRect room = screen->availableGeometry().adjusted(0, 0, -16, -40);
    QRect fitted(r.topLeft(), r.size().boundedTo(room.size()));
    fitted.moveLeft(std::clamp(fitted.left(), room.left(), room.right() - fitted.width() + 1));
    fitted.moveTop(std::clamp(fitted.top(), room.top(), room.bottom() - fitted.height() + 1));
    return fitted;
}

} // namespace

// --- frame ----------------------------------------------------------------------------------

CMainFrame::CMainFrame(CQtPrompt& prompt, QWidget* parent)
    : QMainWindow(parent), m_prompt(prompt), m_invoker(this) {
    setObjectName(QStringLiteral("mainFrame"));
    InitGuiResources();
    setWindowIcon(QIcon(QStringLiteral(":/icons/app.png")));
    setWindowTitle(Str(ids::kProductName));
    m_prompt.SetParent(this);
    m_sendHandler = [this](int, CFaxDocument&) {
        m_prompt.MessageId(ids::kNotYet, MsgIcon::Information);
    };
    CreateActions();
    CreateMenus();
    CreateToolBars();
    CreateStatusBar();

    std::vector<std::pair<QString, QString>> pages;
    for (int i = 0; i < kPageCount; ++i) {
        pages.emplace_back(Str(kPageTitles[i]), QLatin1String(kPageIcons[i]));
    }
    m_selector = new CSelector(pages, this);
    addDockWidget(Qt::LeftDockWidgetArea, m_selector);
    connect(m_selector, &CSelector::PageChosen, this, [this](int page) { SelectPage(page); });
    connect(m_selector, &QDockWidget::visibilityChanged, this, [this](bool) {
        if (!m_exiting) {
            m_actions[cmd::kNavigator]->setChecked(!m_selector->isHidden());
        }
    });
    m_fakeView = new CFakeView(this);
    setCentralWidget(m_fakeView);
    resize(FittedToScreen(QRect(0, 0, 1100, 680)).size());
    RestoreGeometry();

    CreateTray();
    m_syncTimer.setTimerType(Qt::VeryCoarseTimer);
    connect(&m_syncTimer, &QTimer::timeout, this, [this] { OnCommand(cmd::kSynchronise); });
    // A desktop opener that started but then failed (it has no program for the file) is told;
    // the look also collects the openers that have ended.
    m_openerTimer.setInterval(1000);
    connect(&m_openerTimer, &QTimer::timeout, this, [this] {
        if (m_doc != nullptr && !m_exiting && platform::ChildrenRunning()) {
            m_doc->Viewers().TellFailedOpeners();
        }
    });
    m_openerTimer.start();
    qApp->installEventFilter(this);
    ApplyTimerChange(
        m_timerRule.Start(Settings().AutoSyncronize, Settings().SyncronizationDelay, SteadyMs()));
}

CMainFrame::~CMainFrame() {
    m_invoker.BeginShutdown();
    // Closing the window from QWidget's destructor hides the docks: their signals must not
    // reach this half-destroyed frame.
    m_exiting = true;
    if (m_selector != nullptr) {
        m_selector->disconnect(this);
    }
}

void CMainFrame::CreateActions() {
    const int ids[] = {cmd::kSettings,       cmd::kHideWindow,
                       cmd::kExit,           cmd::kToolbar,
                       cmd::kStatusBar,      cmd::kNavigator,
                       cmd::kSynchronise,    cmd::kUserGuide,
                       cmd::kAbout,          cmd::kDelete,
                       cmd::kSaveDocument,   cmd::kNewDocument,
                       cmd::kViewReadyFax,   cmd::kSendFax,
                       cmd::kSendList,       cmd::kSendPersonal,
                       cmd::kMoveUp,         cmd::kMoveDown,
                       cmd::kAddToNewFax,    cmd::kViewFax,
                       cmd::kDeliveryReport, cmd::kResendUndelivered,
                       cmd::kSaveProof,      cmd::kFilter,
                       cmd::kNewContact,     cmd::kNewGroup,
                       cmd::kNewBook,        cmd::kProperties,
                       cmd::kImport,         cmd::kOpenBook,
                       cmd::kExport};
    for (int id : ids) {
        auto* a = new QAction(CommandIcon(id), CommandText(id), this);
        a->setObjectName(QStringLiteral("cmd%1").arg(id));
        a->setToolTip(CommandTip(id));
        a->setStatusTip(CommandTip(id));
        a->setData(id);
        a->setIconVisibleInMenu(true);
        connect(a, &QAction::triggered, this, [this, id] { OnCommand(id); });
        m_actions.insert(id, a);
    }
    for (int id : {cmd::kToolbar, cmd::kStatusBar, cmd::kNavigator, cmd::kFilter}) {
        m_actions[id]->setCheckable(true);
    }
    m_actions[cmd::kToolbar]->setChecked(true);
    m_actions[cmd::kStatusBar]->setChecked(true);
    m_actions[cmd::kNavigator]->setChecked(true);
    m_actions[cmd::kSynchronise]->setShortcut(QKeySequence(Qt::Key_F5));
    m_actions[cmd::kSynchronise]->setShortcutContext(Qt::ApplicationShortcut);
    m_actions[cmd::kSynchronise]->setAutoRepeat(false); // a held key is one command
    // A shortcut works only while its action is on a visible widget: the window holds it, so
    // F5 synchronises from every page, not only while the sent faxes' toolbar shows.
    addAction(m_actions[cmd::kSynchronise]);
    // Moving a document in the list from the keyboard, as the toolbar's arrows do.
    m_actions[cmd::kMoveUp]->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Up));
    m_actions[cmd::kMoveDown]->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Down));
    m_actions[cmd::kExit]->setShortcut(QKeySequence::Quit);
    m_actions[cmd::kExit]->setMenuRole(QAction::QuitRole);
    m_actions[cmd::kSettings]->setMenuRole(QAction::PreferencesRole);
    m_actions[cmd::kAbout]->setMenuRole(QAction::AboutRole);
    m_actions[cmd::kUserGuide]->setShortcut(QKeySequence::HelpContents);
}

void CMainFrame::CreateMenus() {
    QMenuBar* bar = menuBar();
    QMenu* file = bar->addMenu(tr("&Файл"));
    file->setObjectName(QStringLiteral("menuFile"));
    file->addAction(m_actions[cmd::kSettings]);
    file->addSeparator();
    file->addAction(m_actions[cmd::kHideWindow]);
    file->addAction(m_actions[cmd::kExit]);
    QMenu* view = bar->addMenu(tr("&Просмотр"));
    view->setObjectName(QStringLiteral("menuView"));
    view->addAction(m_actions[cmd::kToolbar]);
    view->addAction(m_actions[cmd::kStatusBar]);
    view->addAction(m_actions[cmd::kNavigator]);
    m_opsMenu = bar->addMenu(tr("&Операции"));
    m_opsMenu->setObjectName(QStringLiteral("menuOperations"));
    connect(m_opsMenu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandUI);
    QMenu* help = bar->addMenu(tr("Помо&щь"));
    help->setObjectName(QStringLiteral("menuHelp"));
    help->addAction(m_actions[cmd::kAbout]);
    help->addAction(m_actions[cmd::kUserGuide]);
    for (int i = 0; i < kPageCount; ++i) {
        m_pageMenus[static_cast<std::size_t>(i)] = kOperations[i];
    }
}

void CMainFrame::CreateToolBars() {
    for (int i = 0; i < kPageCount; ++i) {
        auto* tb = new QToolBar(QLatin1String(kToolbarNames[i]), this);
        tb->setObjectName(QStringLiteral("toolbar%1").arg(QLatin1String(kToolbarNames[i])));
        tb->setIconSize(QSize(32, 28));
        tb->setToolButtonStyle(Qt::ToolButtonIconOnly);
        tb->setMovable(false);
        tb->toggleViewAction()->setVisible(false);
        for (int id : kToolbarButtons[i]) {
            if (id == 0) {
                tb->addSeparator();
            } else {
                tb->addAction(m_actions[id]);
            }
        }
        addToolBar(Qt::TopToolBarArea, tb);
        tb->hide();
        m_toolbars[static_cast<std::size_t>(i)] = tb;
    }
}

void CMainFrame::AddSentSearch() {
    QToolBar* bar = m_toolbars[1];
    auto* spacer = new QWidget(bar);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    bar->addWidget(spacer);
    m_sentSearch = new QLineEdit(bar);
    m_sentSearch->setObjectName(QStringLiteral("sentSearch"));
    m_sentSearch->setPlaceholderText(tr("Найти: номер, контакт, название, состояние"));
    m_sentSearch->setToolTip(
        tr("Показывает факсы, в номере, контакте, названии, состоянии или номере задания "
           "которых есть набранное (Ctrl+F)"));
    m_sentSearch->setClearButtonEnabled(true);
    m_sentSearch->setMinimumWidth(260);
    bar->addWidget(m_sentSearch);
    connect(m_sentSearch, &QLineEdit::textChanged, m_sentView, &CReceivedFaxTreeView::SetSearch);
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (now == m_sentSearch) {
            m_sentView->PrepareSearch();
        }
    });
    auto* find = new QAction(this);
    find->setShortcut(QKeySequence::Find);
    connect(find, &QAction::triggered, this, [this] {
        SelectPage(1);
        m_selector->SetCurrent(1);
        if (!m_toolbarVisible) {
            m_actions[cmd::kToolbar]->trigger();
        }
        m_sentSearch->setFocus(Qt::ShortcutFocusReason);
        m_sentSearch->selectAll();
    });
    addAction(find);
}

void CMainFrame::CreateStatusBar() {
    m_statusText = new QLabel(Str(ids::kIdleText), this);
    m_statusText->setObjectName(QStringLiteral("statusText"));
    statusBar()->addWidget(m_statusText, 1);
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("statusProgress"));
    m_progress->setMaximumWidth(220);
    m_progress->setTextVisible(false);
    m_progress->hide();
    statusBar()->addPermanentWidget(m_progress);
}

void CMainFrame::CreateTray() {
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        return;
    }
    m_tray = new QSystemTrayIcon(QIcon(QStringLiteral(":/icons/app.png")), this);
    m_tray->setObjectName(QStringLiteral("trayIcon"));
    m_tray->setToolTip(Str(ids::kProductName));
    auto* menu = new QMenu(this);
    QAction* show = menu->addAction(tr("Показать окно"), this, [this] { RestoreFromTray(); });
    show->setObjectName(QStringLiteral("trayShow"));
    menu->setDefaultAction(show);
    menu->addSeparator();
    menu->addAction(m_actions[cmd::kSettings]);
    menu->addSeparator();
    menu->addAction(m_actions[cmd::kExit]);
    m_tray->setContextMenu(menu);
    connect(m_tray, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                // Some trays report only a single click: it restores as well.
                if (reason == QSystemTrayIcon::DoubleClick || reason == QSystemTrayIcon::Trigger) {
                    RestoreFromTray();
                }
            });
    m_tray->show();
}

void CMainFrame::AttachDocument(CVelquinDoc& doc) {
    m_doc = &doc;
    m_sync = std::make_unique<CStatusSync>(doc);
    new CSyncNotifier(doc, m_tray, this); // the window owns it
    m_newFaxView = new CNewFaxView(doc, m_fakeView);
    m_newFaxView->SetSendHandler(
        [this](int command, CFaxDocument& d) { m_sendHandler(command, d); });
    m_sentView = new CReceivedFaxTreeView(doc, m_fakeView);
    m_savedView = new CSavedDocView(doc, m_fakeView);

    m_bookPage = CreateAddressBookPage(doc, *this, m_prompt, m_fakeView);
    m_bookPage->setObjectName(QStringLiteral("addressBookPage"));
    const int screenWidth = screen() != nullptr ? screen()->geometry().width() : 1024;
    const int left = profile::SplitterWidth(profile::ReadInt(kBookSection, QStringLiteral("Width")),
                                            screenWidth);
    m_bookPage->setSizes({left, std::max(300, width() - left)});

    m_fakeView->SetPage(0, m_newFaxView);
    m_fakeView->SetPage(1, m_sentView);
    m_fakeView->SetPage(2, m_savedView);
    m_fakeView->SetPage(3, m_bookPage);

    auto wire = [this](auto* view) {
        connect(view, &std::remove_pointer_t<decltype(view)>::SelectionChangedForCommands, this,
                &CMainFrame::UpdateCommandUI);
        connect(view, &std::remove_pointer_t<decltype(view)>::ContextMenuWanted, this,
                &CMainFrame::ShowContextMenu);
    };
    wire(m_newFaxView);
    wire(m_savedView);
    wire(m_sentView);
    wire(m_bookPage);
    AddSentSearch();

    SelectPage(0);
    m_selector->SetCurrent(0);
    // Every page listens now: the store may be read.
    doc.LoadStore();
}

void CMainFrame::SetSendHandler(std::function<void(int, CFaxDocument&)> handler) {
    m_sendHandler = std::move(handler);
}

CPageView* CMainFrame::ActiveView() const {
    switch (m_currentPage) {
    case 0:
        return m_newFaxView;
    case 1:
        return m_sentView;
    case 2:
        return m_savedView;
    case 3:
        return m_bookPage;
    default:
        return nullptr;
    }
}

bool CMainFrame::SelectPage(int index) {
    if (index >= kPageCount || !m_fakeView->SelectPage(index)) {
        return false;
    }
    if (index != m_currentPage) {
        if (m_currentPage >= 0) {
            m_toolbars[static_cast<std::size_t>(m_currentPage)]->hide();
        }
        m_toolbars[static_cast<std::size_t>(index)]->setVisible(m_toolbarVisible);
    }
    setWindowTitle(Str(kPageTitles[index]) + QStringLiteral(" - ") + Str(ids::kProductName));
    m_opsMenu->clear();
    for (int id : m_pageMenus[static_cast<std::size_t>(index)]) {
        if (id == 0) {
            m_opsMenu->addSeparator();
        } else {
            m_opsMenu->addAction(m_actions[id]);
        }
    }
    m_currentPage = index;
    m_selector->SetCurrent(index);
    if (QWidget* w = m_fakeView->currentWidget()) {
        w->setFocus();
    }
    UpdateCommandUI();
    return true;
}

void CMainFrame::UpdateCommandUI() {
    CPageView* view = ActiveView();
    static const int kPageCommands[] = {cmd::kDelete,
                                        cmd::kSaveDocument,
                                        cmd::kNewDocument,
                                        cmd::kViewReadyFax,
                                        cmd::kSendFax,
                                        cmd::kSendList,
                                        cmd::kSendPersonal,
                                        cmd::kMoveUp,
                                        cmd::kMoveDown,
                                        cmd::kAddToNewFax,
                                        cmd::kViewFax,
                                        cmd::kDeliveryReport,
                                        cmd::kResendUndelivered,
                                        cmd::kSaveProof,
                                        cmd::kFilter,
                                        cmd::kNewContact,
                                        cmd::kNewGroup,
                                        cmd::kNewBook,
                                        cmd::kProperties,
                                        cmd::kImport,
                                        cmd::kOpenBook,
                                        cmd::kExport};
    for (int id : kPageCommands) {
        bool enabled = false, checked = false;
        if (view == nullptr || !view->CommandState(id, enabled, checked)) {
            enabled = false;
            checked = false;
        }
        m_actions[id]->setEnabled(enabled);
        if (m_actions[id]->isCheckable()) {
            m_actions[id]->setChecked(checked);
        }
    }
    m_actions[cmd::kSynchronise]->setEnabled(true);
    m_actions[cmd::kToolbar]->setChecked(m_toolbarVisible);
    m_actions[cmd::kStatusBar]->setChecked(statusBar()->isVisible() || isHidden());
}

void CMainFrame::OnCommand(int id) {
    switch (id) {
    case cmd::kSettings:
        OnSettings();
        return;
    case cmd::kHideWindow:
        OnHideWindow();
        return;
    case cmd::kExit:
        OnExit();
        return;
    case cmd::kToolbar:
        m_toolbarVisible = !m_toolbarVisible;
        if (m_currentPage >= 0) {
            m_toolbars[static_cast<std::size_t>(m_currentPage)]->setVisible(m_toolbarVisible);
        }
        UpdateCommandUI();
        return;
    case cmd::kStatusBar:
        statusBar()->setVisible(!statusBar()->isVisible());
        m_actions[cmd::kStatusBar]->setChecked(statusBar()->isVisible());
        return;
    case cmd::kNavigator:
        m_selector->setVisible(m_selector->isHidden());
        m_actions[cmd::kNavigator]->setChecked(!m_selector->isHidden());
        return;
    case cmd::kSynchronise:
        OnSynchronise();
        return;
    case cmd::kUserGuide:
        OnUserGuide();
        return;
    case cmd::kAbout:
        OnAbout();
        return;
    case cmd::kFilter:
        OnFilter();
        UpdateCommandUI();
        return;
    case cmd::kReloadPrinted:
        ReloadPrinted();
        return;
    default:
        break;
    }
    if (CPageView* view = ActiveView()) {
        bool enabled = false, checked = false;
        if (view->CommandState(id, enabled, checked) && enabled) {
            view->OnCommand(id);
        }
    }
    UpdateCommandUI();
}

void CMainFrame::ShowContextMenu(const QPoint& pos, int defaultCommand) {
    UpdateCommandUI();
    m_opsMenu->setDefaultAction(m_actions.value(defaultCommand, nullptr));
    m_opsMenu->exec(pos);
    m_opsMenu->setDefaultAction(nullptr);
}

// --- commands ------------------------------------------------------------------------------

void CMainFrame::OnSynchronise() {
    if (!m_sync) {
        return;
    }
    // Progress only for a window the user can see; a timer run while hidden works silently.
    if (isVisible() && !isMinimized()) {
        CSyncProgress progress(this);
        m_sync->Synchronise(&progress);
    } else {
        m_sync->Synchronise(nullptr);
    }
}

void CMainFrame::ApplyTimerChange(const CTimerChange& change) {
    if (change.stop) {
        m_syncTimer.stop();
    }
    if (change.start) {
        m_syncTimer.start(static_cast<int>(change.periodMs));
    }
}

void CMainFrame::RestartSyncTimer(bool oldAuto, int oldDelay) {
    const CSettings& s = Settings();
    ApplyTimerChange(m_timerRule.SettingsChanged(oldAuto, oldDelay, s.AutoSyncronize,
                                                 s.SyncronizationDelay, SteadyMs()));
}

void CMainFrame::OnSettings() {
    const bool oldAuto = Settings().AutoSyncronize;
    const int oldDelay = Settings().SyncronizationDelay;
    CSettingsDlg dlg(this, &m_prompt);
    if (dlg.exec() == QDialog::Accepted) {
        RestartSyncTimer(oldAuto, oldDelay);
    }
}

void CMainFrame::OnFilter() {
    CPageView* view = ActiveView();
    CListFilter* filter = view != nullptr ? view->Filter() : nullptr;
    if (filter == nullptr || m_doc == nullptr) {
        return;
    }
    CFilterDlg dlg(*filter, this);
    if (dlg.exec() != QDialog::Accepted) {
        return;
    }
    std::int32_t kind = 0, datum = 0;
    dlg.Filter().GetFilter(kind, datum);
    filter->SetFilter(kind, datum);
    view->StoreFilter();
}

void CMainFrame::OnAbout() {
    CAboutDlg dlg(this);
    connect(&dlg, &CAboutDlg::LinkWanted, this, [this](const QString& address) {
        if (m_doc != nullptr) {
            m_doc->Viewers().OpenOutside(address.toStdString());
        }
    });
    dlg.exec();
}

void CMainFrame::OnUserGuide() {
    if (m_doc != nullptr) {
        m_doc->Viewers().OpenOutside(
            UserGuidePath(Settings().ProgDir, QLocale().language() != QLocale::Russian));
    }
}

void CMainFrame::OnHideWindow() {
    if (m_tray == nullptr) {
        // Without a tray a hidden window could not be brought back: it goes to the taskbar.
        showMinimized();
        return;
    }
    m_wasMaximized = isMaximized();
    hide();
    // The first time only: a window that vanished on close looks as if the program ended.
    if (profile::ReadInt(kSettingsSection, QStringLiteral("TrayHintShown")) != 1) {
        profile::WriteInt(kSettingsSection, QStringLiteral("TrayHintShown"), 1);
        m_tray->showMessage(Str(ids::kProductName),
                            tr("Velquin продолжает работать и следит за факсами. Окно вернёт "
                               "щелчок по значку; выход — «Выход» в его меню."),
                            QSystemTrayIcon::Information);
    }
}

void CMainFrame::RestoreFromTray() {
    if (isHidden()) {
        if (m_wasMaximized) {
            showMaximized();
        } else {
            show();
        }
    }
    if (isMinimized()) {
        setWindowState(windowState() & ~Qt::WindowMinimized); // maximised stays maximised
    }
    raise();
    activateWindow();
}

void CMainFrame::ReloadPrinted() {
    if (m_doc == nullptr) {
        return;
    }
    m_doc->Printed().Load();
    if (Settings().AutoShowOnPrint) {
        RestoreFromTray();
        SelectPage(0);
    }
}

void CMainFrame::OnExit() {
    Exit(true);
}

void CMainFrame::EndSession() {
    if (m_exiting) {
        return;
    }
    m_prompt.SetUnattended(true);
    // A submission in flight is waited for and its reply recorded: the service may have the
    // fax already. Then the dialog closes as Cancel would and the ending goes on.
    for (CSendDlgBase* dlg : findChildren<CSendDlgBase*>()) {
        if (dlg->Busy()) {
            connect(
                dlg, &CSendDlgBase::SendFinished, this,
                [this, dlg] {
                    if (dlg->isVisible()) { // not accepted: the dialog stayed open
                        dlg->reject();
                    }
                    QTimer::singleShot(0, this, [this] { EndSession(); });
                },
                Qt::SingleShotConnection);
            return;
        }
    }
    Exit(false);
}

void CMainFrame::Exit(bool mayAsk) {
    if (m_doc != nullptr) {
        // CanCloseFrame joins the status workers on this thread: a worker waiting for the
        // GUI must be let go first. When message 106 is asked, that happens on "Да" only, so
        // "Нет" leaves everything running.
        if (mayAsk && AddressBooks().LoaderBusy()) {
            m_prompt.SetAnswerHook([this](MsgAnswer a) {
                if (a == MsgAnswer::Yes) {
                    m_invoker.BeginShutdown();
                }
            });
        } else {
            m_invoker.BeginShutdown();
        }
        const bool close = m_doc->CanCloseFrame(mayAsk);
        m_prompt.SetAnswerHook({});
        if (!close) {
            if (!m_exiting) { // the session may have ended while the question was open
                m_invoker.Resume();
            }
            return;
        }
        // The book loader notices the stop request between books; the window keeps working
        // until it has.
        if (AddressBooks().LoaderBusy()) {
            QEventLoop loop;
            QTimer poll;
            connect(&poll, &QTimer::timeout, &loop, [&] {
                if (!AddressBooks().LoaderBusy()) {
                    loop.quit();
                }
            });
            poll.start(20);
            loop.exec();
        }
    }
    m_exiting = true;
    close();
    Q_EMIT QuitRequested();
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (m_exiting) {
        event->accept();
        return;
    }
    event->ignore();
    OnHideWindow();
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
    // A key the X server repeats (held down, or left down after a press whose release went to
    // another window) comes as release/press pairs sharing one timestamp, which Qt does not
    // always mark as repeats. A held F5 is one command: its repeats never reach the shortcut.
    if (event->type() == QEvent::KeyRelease || event->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_F5) {
            if (event->type() == QEvent::KeyRelease) {
                m_syncKeyReleasedAt = key->timestamp();
            } else if (key->isAutoRepeat() ||
                       (key->timestamp() != 0 && key->timestamp() == m_syncKeyReleasedAt)) {
                event->accept();
                return true;
            }
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void CMainFrame::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (m_layoutRestored) {
        return;
    }
    m_layoutRestored = true;
    // After the first layout pass, so that the width sticks.
    QTimer::singleShot(0, this, [this] {
        auto r = profile::ReadRect(kSettingsSection, "Selector");
        if (r && profile::ReadInt(kSettingsSection, QStringLiteral("SelectorFloating")) == 1 &&
            OnSomeScreen(*r)) {
            m_selector->setFloating(true);
            m_selector->setGeometry(*r);
            return;
        }
        resizeDocks({m_selector}, {r ? r->width() : 150}, Qt::Horizontal);
    });
}

void CMainFrame::RestoreGeometry() {
    // A window kept on a screen that is no longer there comes up where it is seen.
    if (auto r = profile::ReadRect(kSettingsSection, "Window"); r && OnSomeScreen(*r)) {
        setGeometry(FittedToScreen(*r)); // kept on a larger screen than this one
    }
    if (profile::ReadInt(kSettingsSection, QStringLiteral("Maximized")) == 1) {
        m_wasMaximized = true;
        setWindowState(windowState() | Qt::WindowMaximized);
    }
}

void CMainFrame::Shutdown() {
    m_invoker.BeginShutdown();
    ApplyTimerChange(m_timerRule.Stop());
    m_syncTimer.stop();
    if (m_layoutRestored && m_selector != nullptr) {
        const QRect g = m_selector->geometry();
        profile::WriteRect(kSettingsSection, "Selector", g);
        profile::WriteInt(kSettingsSection, QStringLiteral("SelectorFloating"),
                          m_selector->isFloating() ? 1 : 0);
        // The size and place the window has when it is neither maximised nor minimised.
        profile::WriteRect(kSettingsSection, "Window", normalGeometry());
        profile::WriteInt(kSettingsSection, QStringLiteral("Maximized"),
                          (isHidden() ? m_wasMaximized : isMaximized()) ? 1 : 0);
    }
    // A page never shown was never laid out: its width is not one the user chose.
    if (const auto width = m_bookPage != nullptr ? m_bookPage->LaidOutTreeWidth() : std::nullopt) {
        profile::WriteInt(kBookSection, QStringLiteral("Width"), *width);
    }
    if (m_sentView != nullptr) {
        m_sentView->SaveColumnWidths();
    }
    if (m_tray != nullptr) {
        m_tray->hide();
    }
}

// --- frame port ------------------------------------------------------------------------------

void CMainFrame::OnGui(std::function<void()> work) {
    if (QThread::currentThread() == thread()) {
        work();
    } else {
        m_invoker.Post(std::move(work));
    }
}

void CMainFrame::ProgressStart(int upper) {
    OnGui([this, upper] {
        m_progress->setRange(0, std::max(0, upper));
        m_progress->setValue(0);
        m_progress->show();
    });
}

void CMainFrame::ProgressStep(int /*position*/) {
    OnGui([this] {
        if (CThreadControl::Instance().stopRequest.load() != 0) {
            return;
        }
        m_progress->setValue(std::min(m_progress->maximum(), m_progress->value() + 1));
    });
}

void CMainFrame::ProgressEnd() {
    OnGui([this] {
        if (CThreadControl::Instance().stopRequest.load() != 0) {
            return;
        }
        m_progress->hide();
    });
}

void CMainFrame::SetStatusText(std::string_view text) {
    OnGui([this, t = std::string(text)] {
        m_statusText->setText(t.empty() ? Str(ids::kIdleText) : Q(t));
    });
}

bool CMainFrame::RunOnGuiThread(const std::function<void()>& work) {
    return m_invoker.Run(work);
}

void CMainFrame::PostCommand(int commandId) {
    m_invoker.Post([this, commandId] { OnCommand(commandId); });
}

void CMainFrame::AddressBooksLoaded() {
    OnGui([this] {
        m_statusText->setText(Str(ids::kIdleText)); // the loader's own text is done
    });
}
