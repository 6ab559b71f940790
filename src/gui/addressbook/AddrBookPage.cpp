// The address-book page: the tree beside the entry list, the commands, the books' events.
#include "gui/addressbook/AddrBookViews.h"

#include "addressbook/BookCommands.h"
#include "addressbook/Export.h"
#include "app/Settings.h"
#include "app/ThreadControl.h"
#include "gui/addressbook/AbkCommon.h"
#include "gui/addressbook/EditDialogs.h"
#include "gui/addressbook/ImportDlg.h"
#include "gui/shell/Commands.h"
#include "gui/shell/Profile.h"
#include "resources/Strings.h"
#include "store/VelquinDoc.h"

#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMetaMethod>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <functional>

using namespace abk;

CAddrBookPage::CBookLock::CBookLock(CAddrBookPage& page) : m_page(page) {
    if (m_page.m_lockDepth++ == 0) {
        CThreadControl& control = CThreadControl::Instance();
        if (control.busy.load() == 2) {
            int expected = 0;
            control.stopRequest.compare_exchange_strong(expected, 1);
        }
        m_page.m_heldLock = std::unique_lock<std::mutex>(m_page.m_shared->mutex);
    }
}

CAddrBookPage::CBookLock::~CBookLock() {
    if (--m_page.m_lockDepth == 0) {
        m_page.m_heldLock.unlock();
    }
}

CAddrBookPage::CAddrBookPage(CVelquinDoc& doc, IFrame& frame, IPrompt& prompt, QWidget* parent)
    : QSplitter(Qt::Horizontal, parent), m_doc(doc), m_frame(frame), m_prompt(prompt),
      m_shared(std::make_shared<CFillShared>()) {
    setObjectName(QStringLiteral("addressBookPage"));
    m_tree = new CAddrBookTreeView(*this, this);
    m_list = new CAddrBookView(*this, this);
    setStretchFactor(1, 1);
    m_books = AddressBooks().Subscribe([this](const CBookChange& c) { OnBookChange(c); });
}

std::optional<int> CAddrBookPage::LaidOutTreeWidth() const {
    if (!m_laidOut || sizes().isEmpty()) {
        return std::nullopt;
    }
    return sizes().front();
}

void CAddrBookPage::showEvent(QShowEvent* event) {
    QSplitter::showEvent(event);
    m_laidOut = true; // the pending resize, and with it the layout, came before the show
}

CAddrBookPage::~CAddrBookPage() {
    m_books.Reset();
    // A worker still computing stops; one that has not begun finds the page gone.
    CThreadControl& control = CThreadControl::Instance();
    if (control.busy.load() == 2) {
        int expected = 0;
        control.stopRequest.compare_exchange_strong(expected, 1);
    }
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    m_shared->dead = true;
}

bool CAddrBookPage::HasContextMenuReceiver() const {
    static const QMetaMethod signal = QMetaMethod::fromSignal(&CAddrBookPage::ContextMenuWanted);
    return isSignalConnected(signal);
}

void CAddrBookPage::OnBookChange(const CBookChange& change) {
    using Kind = CBookChange::Kind;
    switch (change.kind) {
    case Kind::Reset:
    case Kind::Edited:
        m_tree->Rebuild();
        break;
    case Kind::Added:
        if (!m_showing) {
            m_tree->Rebuild();
        }
        break;
    case Kind::Removed:
    case Kind::EntryRemoved:
        m_list->ClearRows(); // its rows may be of what goes
        break;
    case Kind::Renamed:
    case Kind::Current:
        break; // the tree shows the name it gave, and the current book is its selection
    }
}

void CAddrBookPage::ShowOwnChange(const std::function<void()>& change) {
    m_showing = true;
    change();
    m_showing = false;
}

bool CAddrBookPage::CommandState(int id, bool& enabled, bool& checked) {
    checked = false;
    switch (id) {
    case cmd::kNewContact:
    case cmd::kNewGroup:
        enabled = CanRunNewEntryCommand();
        return true;
    case cmd::kImport:
        enabled = CurrentBook() == nullptr || !CurrentBook()->IsReadOnly();
        return true;
    case cmd::kOpenBook:
    case cmd::kNewBook:
        enabled = true;
        return true;
    case cmd::kExport: {
        CAddrBookEntry* e = m_tree->SelectedEntry();
        enabled = e != nullptr && e->GetType() == kEntryTypeBook;
        return true;
    }
    case cmd::kProperties:
        enabled =
            m_listActive ? m_list->SelectedRows().size() == 1 : m_tree->SelectedEntry() != nullptr;
        return true;
    case cmd::kDelete:
        enabled =
            m_listActive ? !m_list->SelectedRows().empty() : m_tree->SelectedEntry() != nullptr;
        return true;
    default:
        return false;
    }
}

bool CAddrBookPage::OnCommand(int id) {
    switch (id) {
    case cmd::kNewContact:
        OnNewContact();
        return true;
    case cmd::kNewGroup:
        OnNewGroup();
        return true;
    case cmd::kImport:
        OnImport();
        return true;
    case cmd::kOpenBook: {
        // The new book joins the list while no view worker walks it; its "added" rebuilds
        // the tree afterwards.
        CBookLock lock(*this);
        RunOpenBookCommand(m_prompt, &m_frame);
        return true;
    }
    case cmd::kNewBook:
        m_tree->OnNewBook();
        return true;
    case cmd::kExport:
        m_tree->OnExport();
        return true;
    case cmd::kProperties:
        m_listActive ? m_list->OnProperties() : m_tree->OnProperties();
        return true;
    case cmd::kDelete:
        m_listActive ? m_list->OnDelete() : m_tree->OnDelete();
        return true;
    default:
        return false;
    }
}

void CAddrBookPage::OnNewContact() {
    if (CAddressBooks::RefuseEdit(CurrentBook(), m_prompt)) {
        return;
    }
    CBookLock lock(*this);
    RunNewContactCommand(
        [this](CContactEdit& edit) {
            CContactDlg dlg(m_prompt, edit, this);
            return RunDialog(dlg) == QDialog::Accepted;
        },
        {});
}

void CAddrBookPage::OnNewGroup() {
    if (CAddressBooks::RefuseEdit(CurrentBook(), m_prompt)) {
        return;
    }
    CBookLock lock(*this);
    RunNewGroupCommand(m_prompt,
                       [this](CGroupEdit& edit) {
                           CGroupDlg dlg(edit, m_prompt, this);
                           return RunDialog(dlg) == QDialog::Accepted;
                       },
                       {});
}

void CAddrBookPage::OnImport() {
    if (CAddressBooks::RefuseEdit(CurrentBook(), m_prompt)) {
        return;
    }
    CImportDlg dlg(
        m_prompt, m_frame,
        [this](const std::function<void()>& work) {
            CBookLock lock(*this);
            work();
        },
        {}, this);
    RunDialog(dlg);
}

CAddrBookPage* CreateAddressBookPage(CVelquinDoc& doc, IFrame& frame, IPrompt& prompt,
                                     QWidget* parent) {
    return new CAddrBookPage(doc, frame, prompt, parent);
}
