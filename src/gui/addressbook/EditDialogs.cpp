#include "gui/addressbook/EditDialogs.h"

#include "app/Ports.h"
#include "gui/addressbook/AbkCommon.h"
#include "resources/Strings.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <QVBoxLayout>

using namespace abk;

namespace {

constexpr int kGuidRole = Qt::UserRole;

QTreeWidget* MakeEntryList(QWidget* parent, const char* objectName, bool withDetails) {
    auto* list = new QTreeWidget(parent);
    list->setObjectName(QLatin1String(objectName));
    list->setRootIsDecorated(false);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setAllColumnsShowFocus(true);
    list->setUniformRowHeights(true);
    if (withDetails) {
        list->setHeaderLabels(
            {Str(2009), Str(2010), Str(2011)}); // "Имя", "Фирма", "Контактное Лицо"
        for (int c = 0; c < 3; ++c) {
            list->setColumnWidth(c, 150);
        }
    } else {
        list->setHeaderHidden(true);
    }
    return list;
}

// The framework's standard message of an integer range check.
constexpr unsigned kIdsParseIntRange = 9430;

void RangeMessage(IPrompt& prompt) {
    prompt.Message(FormatString(LoadString(kIdsParseIntRange), std::to_string(kMinCountryCode),
                                std::to_string(kMaxCountryCode)),
                   MsgIcon::Stop, MsgButtons::Ok);
}

bool IsDeleteKey(QEvent* event) {
    return event->type() == QEvent::KeyPress &&
           static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete;
}

} // namespace

void FillEntryRows(QTreeWidget* list, const std::vector<CEntryRow>& rows, bool withDetails) {
    list->clear();
    QList<QTreeWidgetItem*> items;
    items.reserve(static_cast<qsizetype>(rows.size()));
    for (const CEntryRow& r : rows) {
        auto* item = new QTreeWidgetItem;
        item->setText(0, Q(r.entry->m_name));
        item->setIcon(0, r.isGroup ? GroupIcon() : ContactIcon());
        item->setData(0, kGuidRole, GuidBytes(r.guid));
        if (withDetails && r.entry->GetType() == kEntryTypeContact) {
            const auto* c = static_cast<const CContactEntry*>(r.entry);
            item->setText(1, Q(c->m_company));
            item->setText(2, Q(c->m_person));
        }
        items.push_back(item);
    }
    list->addTopLevelItems(items);
}

std::vector<Guid> SelectedGuids(QTreeWidget* list) {
    std::vector<Guid> out;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = list->topLevelItem(i);
        if (item->isSelected()) {
            out.push_back(GuidFrom(item->data(0, kGuidRole).toByteArray()));
        }
    }
    return out;
}

// --- contact ----------------------------------------------------------------------------

CContactDlg::CContactDlg(IPrompt& prompt, const CContactEntry* contact, QWidget* parent)
    : QDialog(parent), m_prompt(prompt), m_own(std::make_unique<CContactEdit>(contact)),
      m_edit(*m_own) {
    Build();
}

CContactDlg::CContactDlg(IPrompt& prompt, CContactEdit& edit, QWidget* parent)
    : QDialog(parent), m_prompt(prompt), m_edit(edit) {
    Build();
}

void CContactDlg::Build() {
    setObjectName(QStringLiteral("contactDlg"));
    setWindowTitle(tr("Данные о контакте"));
    auto* form = new QFormLayout;
    m_number = new QLineEdit(Q(m_edit.number), this);
    m_number->setObjectName(QStringLiteral("faxNumber"));
    m_company = new QLineEdit(Q(m_edit.company), this);
    m_company->setObjectName(QStringLiteral("company"));
    m_person = new QLineEdit(Q(m_edit.person), this);
    m_person->setObjectName(QStringLiteral("person"));

    auto* where = new QGroupBox(this);
    auto* whereLayout = new QGridLayout(where);
    m_inRussia = new QRadioButton(tr("Внутри России"), where);
    m_inRussia->setObjectName(QStringLiteral("inRussia"));
    m_abroad = new QRadioButton(tr("Вне России"), where);
    m_abroad->setObjectName(QStringLiteral("abroad"));
    (m_edit.domestic ? m_inRussia : m_abroad)->setChecked(true);
    m_countryLabel = new QLabel(tr("Код страны:"), where);
    m_countryLabel->setObjectName(QStringLiteral("countryCodeLabel"));
    m_country = new QLineEdit(QString::number(m_edit.countryCode), where);
    m_country->setObjectName(QStringLiteral("countryCode"));
    m_areaLabel = new QLabel(tr("Код области:"), where);
    m_areaLabel->setObjectName(QStringLiteral("areaCodeLabel"));
    m_area = new QLineEdit(Q(m_edit.areaCode), where);
    m_area->setObjectName(QStringLiteral("areaCode"));
    whereLayout->addWidget(m_inRussia, 0, 0);
    whereLayout->addWidget(m_abroad, 0, 1);
    whereLayout->addWidget(m_countryLabel, 1, 0);
    whereLayout->addWidget(m_country, 1, 1);
    whereLayout->addWidget(m_areaLabel, 2, 0);
    whereLayout->addWidget(m_area, 2, 1);

    form->addRow(where);
    form->addRow(Str(1009) + QLatin1Char(':'), m_number);
    form->addRow(Str(1010) + QLatin1Char(':'), m_company);
    form->addRow(Str(1011) + QLatin1Char(':'), m_person);
    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_buttons->setObjectName(QStringLiteral("buttons"));
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_buttons);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &CContactDlg::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &CContactDlg::reject);
    connect(m_number, &QLineEdit::textChanged, this, [this] { UpdateControls(); });
    connect(m_inRussia, &QRadioButton::toggled, this, [this] { UpdateControls(); });
    m_number->setMinimumWidth(220);
    UpdateControls();
}

void CContactDlg::UpdateControls() {
    m_edit.domestic = m_inRussia->isChecked();
    m_countryLabel->setVisible(m_edit.CountryCodeVisible());
    m_country->setVisible(m_edit.CountryCodeVisible());
    m_areaLabel->setVisible(m_edit.AreaCodeVisible());
    m_area->setVisible(m_edit.AreaCodeVisible());
    m_inRussia->setEnabled(m_edit.LocationEnabled());
    m_abroad->setEnabled(m_edit.LocationEnabled());
    m_edit.number = U(m_number->text());
    m_buttons->button(QDialogButtonBox::Ok)->setEnabled(m_edit.CanOk());
}

void CContactDlg::accept() {
    m_edit.number = U(m_number->text().trimmed());
    m_edit.company = U(m_company->text());
    m_edit.person = U(m_person->text());
    m_edit.areaCode = U(m_area->text().trimmed());
    m_edit.domestic = m_inRussia->isChecked();
    if (!m_edit.CanOk()) {
        return;
    }
    if (m_edit.IsNew()) {
        const std::optional<int> code = ParseCountryCode(U(m_country->text()));
        if (!code) {
            RangeMessage(m_prompt);
            m_country->setFocus();
            return;
        }
        m_edit.countryCode = *code;
    }
    if (!m_edit.Apply()) {
        RangeMessage(m_prompt);
        return;
    }
    QDialog::accept();
}

bool EditContact(IPrompt& prompt, CContactEntry& contact, QWidget* parent) {
    CContactDlg dlg(prompt, &contact, parent);
    if (RunDialog(dlg) != QDialog::Accepted) {
        return false;
    }
    dlg.Edit().CopyBackInto(contact);
    return true;
}

// --- group ------------------------------------------------------------------------------

CGroupDlg::CGroupDlg(CAddrBook* target, CGroupEntry& group, IPrompt& prompt, QWidget* parent)
    : QDialog(parent), m_prompt(prompt), m_own(std::make_unique<CGroupEdit>(target, group, prompt)),
      m_edit(*m_own) {
    Build();
}

CGroupDlg::CGroupDlg(CGroupEdit& edit, IPrompt& prompt, QWidget* parent)
    : QDialog(parent), m_prompt(prompt), m_edit(edit) {
    Build();
}

void CGroupDlg::Build() {
    setObjectName(QStringLiteral("groupDlg"));
    m_edit.Open();
    setWindowTitle(Q(m_edit.Title()));
    m_name = new QLineEdit(Q(m_edit.name), this);
    m_name->setObjectName(QStringLiteral("groupName"));
    m_members = MakeEntryList(this, "members", false);
    m_members->installEventFilter(this);
    m_count = new QLabel(this);
    m_count->setObjectName(QStringLiteral("memberCount"));
    m_add = new QPushButton(tr("Добавить в группу"), this);
    m_add->setObjectName(QStringLiteral("addToGroup"));
    m_newContact = new QPushButton(tr("Новый контакт"), this);
    m_newContact->setObjectName(QStringLiteral("newContact"));
    m_remove = new QPushButton(tr("Удалить"), this);
    m_remove->setObjectName(QStringLiteral("removeMember"));
    m_props = new QPushButton(tr("Свойства"), this);
    m_props->setObjectName(QStringLiteral("memberProperties"));
    for (QPushButton* b : {m_add, m_newContact, m_remove, m_props}) {
        b->setAutoDefault(false);
    }
    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_buttons->setObjectName(QStringLiteral("buttons"));

    auto* nameRow = new QHBoxLayout;
    nameRow->addWidget(new QLabel(tr("Название группы:"), this));
    nameRow->addWidget(m_name, 1);
    auto* side = new QVBoxLayout;
    side->addWidget(m_add);
    side->addWidget(m_newContact);
    side->addWidget(m_remove);
    side->addWidget(m_props);
    side->addStretch(1);
    auto* countRow = new QHBoxLayout;
    countRow->addWidget(new QLabel(tr("Количество членов группы:"), this));
    countRow->addWidget(m_count, 1);
    auto* middle = new QHBoxLayout;
    middle->addWidget(m_members, 1);
    middle->addLayout(side);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(nameRow);
    layout->addLayout(middle, 1);
    layout->addLayout(countRow);
    layout->addWidget(m_buttons);
    resize(520, 380);

    connect(m_buttons, &QDialogButtonBox::accepted, this, &CGroupDlg::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &CGroupDlg::reject);
    connect(m_add, &QPushButton::clicked, this, &CGroupDlg::OnAddToGroup);
    connect(m_newContact, &QPushButton::clicked, this, &CGroupDlg::OnNewContact);
    connect(m_remove, &QPushButton::clicked, this, &CGroupDlg::OnRemove);
    connect(m_props, &QPushButton::clicked, this, &CGroupDlg::OnProperties);
    connect(m_members, &QTreeWidget::itemSelectionChanged, this, &CGroupDlg::UpdateButtons);
    connect(m_members, &QTreeWidget::itemDoubleClicked, this, &CGroupDlg::OnProperties);
    connect(m_name, &QLineEdit::textChanged, this, &CGroupDlg::UpdateButtons);
    FillMembers();
    m_name->setFocus();
    m_name->selectAll();
}

CGroupDlg::~CGroupDlg() {
    if (!m_finished) {
        m_edit.Cancel();
    }
}

void CGroupDlg::FillMembers() {
    FillEntryRows(m_members, m_edit.Members(), false);
    m_count->setText(QString::number(m_members->topLevelItemCount()));
    UpdateButtons();
}

void CGroupDlg::UpdateButtons() {
    const bool selected = !m_members->selectedItems().isEmpty();
    m_remove->setEnabled(selected);
    m_props->setEnabled(selected);
    m_buttons->button(QDialogButtonBox::Ok)->setEnabled(!m_name->text().isEmpty());
}

void CGroupDlg::OnAddToGroup() {
    m_edit.name = U(m_name->text());
    m_edit.StoreName();
    CGroupEntry& group = m_edit.Group();
    CAddrBook* book = group.m_owner != nullptr ? group.m_owner : m_edit.Target();
    CSelectDlg select(book, group.m_members, m_prompt, this);
    if (RunDialog(select) == QDialog::Accepted) {
        m_edit.AddMembers(select.Result());
        FillMembers();
    }
}

void CGroupDlg::OnNewContact() {
    CContactDlg dlg(m_prompt, nullptr, this);
    if (RunDialog(dlg) == QDialog::Accepted) {
        m_edit.AddNewContact(dlg.Edit().MakeContact());
        FillMembers();
    }
}

void CGroupDlg::OnRemove() {
    m_edit.RemoveMembers(SelectedGuids(m_members));
    FillMembers();
}

void CGroupDlg::OnProperties() {
    const std::vector<Guid> selected = SelectedGuids(m_members);
    QTreeWidgetItem* current = m_members->currentItem();
    Guid guid{};
    if (current != nullptr && current->isSelected()) {
        guid = GuidFrom(current->data(0, kGuidRole).toByteArray());
    } else if (!selected.empty()) {
        guid = selected.front();
    } else {
        return;
    }
    CAddrBookEntry* entry = m_edit.Resolve(guid);
    if (entry == nullptr) {
        return;
    }
    if (entry->GetType() == kEntryTypeContact) {
        EditContact(m_prompt, static_cast<CContactEntry&>(*entry), this);
    } else if (entry->GetType() == kEntryTypeGroup) {
        // A cancelled nested dialog restores its group itself.
        CGroupDlg nested(m_edit.Target(), static_cast<CGroupEntry&>(*entry), m_prompt, this);
        RunDialog(nested);
    }
    FillMembers();
}

void CGroupDlg::accept() {
    m_edit.name = U(m_name->text());
    if (!m_edit.Ok()) {
        return;
    }
    m_finished = true;
    QDialog::accept();
}

void CGroupDlg::reject() {
    if (!m_finished) {
        m_edit.Cancel();
        m_finished = true;
    }
    QDialog::reject();
}

bool CGroupDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_members && IsDeleteKey(event)) {
        if (!m_members->selectedItems().isEmpty()) {
            OnRemove();
        }
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

// --- selection --------------------------------------------------------------------------

CSelectDlg::CSelectDlg(CAddrBook* target, const std::vector<Guid>& initial, IPrompt& prompt,
                       QWidget* parent)
    : QDialog(parent), m_prompt(prompt), m_edit(target, initial) {
    setObjectName(QStringLiteral("selectDlg"));
    setWindowTitle(tr("Укажите состав группы"));
    m_search = new QLineEdit(this);
    m_search->setObjectName(QStringLiteral("search"));
    m_book = MakeEntryList(this, "bookList", true);
    m_selection = MakeEntryList(this, "selectionList", false);
    m_selection->installEventFilter(this);
    m_showNumbers = new QCheckBox(tr("Показывать номера"), this);
    m_showNumbers->setObjectName(QStringLiteral("showNumbers"));
    m_showNumbers->setChecked(true);
    m_newContact = new QPushButton(tr("Новый контакт"), this);
    m_newContact->setObjectName(QStringLiteral("newContact"));
    m_props = new QPushButton(tr("Свойства"), this);
    m_props->setObjectName(QStringLiteral("entryProperties"));
    m_choose = new QPushButton(tr("&Выбрать -->"), this);
    m_choose->setObjectName(QStringLiteral("choose"));
    for (QPushButton* b : {m_newContact, m_props, m_choose}) {
        b->setAutoDefault(false);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName(QStringLiteral("buttons"));

    auto* searchRow = new QHBoxLayout;
    searchRow->addWidget(new QLabel(tr("Поиск:"), this));
    searchRow->addWidget(m_search, 1);
    searchRow->addWidget(m_showNumbers);
    auto* middle = new QVBoxLayout;
    middle->addStretch(1);
    middle->addWidget(m_choose);
    middle->addWidget(m_newContact);
    middle->addWidget(m_props);
    middle->addStretch(1);
    auto* lists = new QHBoxLayout;
    lists->addWidget(m_book, 3);
    lists->addLayout(middle);
    lists->addWidget(m_selection, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(searchRow);
    layout->addLayout(lists, 1);
    layout->addWidget(buttons);
    resize(760, 420);

    connect(buttons, &QDialogButtonBox::accepted, this, &CSelectDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CSelectDlg::reject);
    connect(m_choose, &QPushButton::clicked, this, &CSelectDlg::OnChoose);
    connect(m_newContact, &QPushButton::clicked, this, &CSelectDlg::OnNewContact);
    connect(m_props, &QPushButton::clicked, this, &CSelectDlg::OnProperties);
    connect(m_book, &QTreeWidget::itemDoubleClicked, this, &CSelectDlg::OnChoose);
    connect(m_book, &QTreeWidget::itemSelectionChanged, this, &CSelectDlg::UpdateButtons);
    connect(m_search, &QLineEdit::textChanged, this, &CSelectDlg::OnSearch);
    connect(m_showNumbers, &QCheckBox::toggled, this, [this](bool on) {
        m_edit.showNumbers = on;
        FillBook();
    });
    FillBook();
    FillSelection();
}

CSelectDlg::~CSelectDlg() {
    if (!m_finished) {
        m_edit.Cancel();
    }
}

void CSelectDlg::FillBook() {
    std::vector<CEntryRow> rows = m_edit.BookRows();
    FillEntryRows(m_book, rows, true);
    UpdateButtons();
}

void CSelectDlg::FillSelection() {
    FillEntryRows(m_selection, m_edit.SelectionRows(), false);
}

void CSelectDlg::OnSearch(const QString& text) {
    const int row = CSelectEdit::FindRow(m_edit.BookRows(), U(text));
    if (row < 0 || row >= m_book->topLevelItemCount()) {
        return;
    }
    QTreeWidgetItem* item = m_book->topLevelItem(row);
    m_book->clearSelection();
    m_book->setCurrentItem(item);
    item->setSelected(true);
    m_book->scrollToItem(item);
}

void CSelectDlg::UpdateButtons() {
    const bool selected = !m_book->selectedItems().isEmpty();
    m_props->setEnabled(selected);
    m_choose->setEnabled(selected);
}

void CSelectDlg::OnChoose() {
    m_edit.Choose(SelectedGuids(m_book));
    FillSelection();
}

void CSelectDlg::OnNewContact() {
    CContactDlg dlg(m_prompt, nullptr, this);
    if (RunDialog(dlg) == QDialog::Accepted) {
        m_edit.AddNewContact(dlg.Edit().MakeContact());
        FillSelection();
    }
}

void CSelectDlg::OnProperties() {
    QTreeWidgetItem* item = m_book->currentItem();
    if (item == nullptr || !item->isSelected()) {
        const auto selected = m_book->selectedItems();
        if (selected.isEmpty()) {
            return;
        }
        item = selected.front();
    }
    CAddrBookEntry* entry = m_edit.Resolve(GuidFrom(item->data(0, kGuidRole).toByteArray()));
    if (entry == nullptr) {
        return;
    }
    if (entry->GetType() == kEntryTypeContact) {
        EditContact(m_prompt, static_cast<CContactEntry&>(*entry), this);
    } else if (entry->GetType() == kEntryTypeGroup) {
        CGroupDlg nested(m_edit.Target(), static_cast<CGroupEntry&>(*entry), m_prompt, this);
        RunDialog(nested);
    }
    FillBook();
    FillSelection();
}

void CSelectDlg::accept() {
    m_result = m_edit.Ok();
    m_finished = true;
    QDialog::accept();
}

void CSelectDlg::reject() {
    if (!m_finished) {
        m_edit.Cancel();
        m_finished = true;
    }
    QDialog::reject();
}

bool CSelectDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_selection && IsDeleteKey(event)) {
        m_edit.Unselect(SelectedGuids(m_selection));
        FillSelection();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

// --- book properties --------------------------------------------------------------------

CAddrBookPropDlg::CAddrBookPropDlg(CAddrBook& book, QWidget* parent)
    : QDialog(parent), m_book(book), m_props(book) {
    setObjectName(QStringLiteral("bookPropDlg"));
    setWindowTitle(tr("Адресная Книга"));
    m_name = new QLineEdit(Q(m_props.name), this);
    m_name->setObjectName(QStringLiteral("bookName"));
    m_name->setMinimumWidth(260);
    auto* contacts = new QLabel(Q(m_props.ContactsText()), this);
    contacts->setObjectName(QStringLiteral("contactCount"));
    auto* groups = new QLabel(Q(m_props.GroupsText()), this);
    groups->setObjectName(QStringLiteral("groupCount"));
    auto* form = new QFormLayout;
    form->addRow(tr("Название:"), m_name);
    form->addRow(tr("Контактов:"), contacts);
    form->addRow(tr("Групп:"), groups);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &CAddrBookPropDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CAddrBookPropDlg::reject);
}

void CAddrBookPropDlg::accept() {
    m_props.name = U(m_name->text());
    m_props.ApplyTo(m_book);
    QDialog::accept();
}
