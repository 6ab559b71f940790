#pragma once
// The contact, group, member-selection and book properties dialogs, bound to the editing rules
// of the address-book core.
#include "addressbook/ContactEdit.h"
#include "addressbook/GroupEdit.h"

#include <QDialog>
#include <memory>
#include <vector>

class IPrompt;
class QCheckBox;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTreeWidget;
class QTreeWidgetItem;

class CContactDlg : public QDialog {
    Q_OBJECT
public:
    // `contact` null: a new contact.
    CContactDlg(IPrompt& prompt, const CContactEntry* contact, QWidget* parent = nullptr);
    // Bound to an edit its caller owns (the document's new-contact command).
    CContactDlg(IPrompt& prompt, CContactEdit& edit, QWidget* parent = nullptr);

    CContactEdit& Edit() { return m_edit; }
    void accept() override;

private:
    void UpdateControls();

    void Build();

    IPrompt& m_prompt;
    std::unique_ptr<CContactEdit> m_own;
    CContactEdit& m_edit;
    QLineEdit* m_number;
    QLineEdit* m_company;
    QLineEdit* m_person;
    QRadioButton* m_inRussia;
    QRadioButton* m_abroad;
    QLabel* m_countryLabel;
    QLineEdit* m_country;
    QLabel* m_areaLabel;
    QLineEdit* m_area;
    QDialogButtonBox* m_buttons;
};

// Opens the contact dialog on an existing contact and copies the values back on OK.
bool EditContact(IPrompt& prompt, CContactEntry& contact, QWidget* parent);

class CGroupDlg : public QDialog {
    Q_OBJECT
public:
    CGroupDlg(CAddrBook* target, CGroupEntry& group, IPrompt& prompt, QWidget* parent = nullptr);
    // Bound to an edit its caller owns (the document's new-group command).
    CGroupDlg(CGroupEdit& edit, IPrompt& prompt, QWidget* parent = nullptr);
    ~CGroupDlg() override;

    CGroupEdit& Edit() { return m_edit; }
    void accept() override;
    void reject() override;

    void OnAddToGroup();
    void OnNewContact();
    void OnRemove();
    void OnProperties();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FillMembers();
    void UpdateButtons();

    void Build();

    IPrompt& m_prompt;
    std::unique_ptr<CGroupEdit> m_own;
    CGroupEdit& m_edit;
    bool m_finished = false;
    QLineEdit* m_name;
    QTreeWidget* m_members;
    QLabel* m_count;
    QPushButton* m_add;
    QPushButton* m_newContact;
    QPushButton* m_remove;
    QPushButton* m_props;
    QDialogButtonBox* m_buttons;
};

class CSelectDlg : public QDialog {
    Q_OBJECT
public:
    CSelectDlg(CAddrBook* target, const std::vector<Guid>& initial, IPrompt& prompt,
               QWidget* parent = nullptr);
    ~CSelectDlg() override;

    CSelectEdit& Edit() { return m_edit; }
    const std::vector<Guid>& Result() const { return m_result; }
    void accept() override;
    void reject() override;

    void OnChoose();
    void OnNewContact();
    void OnProperties();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FillBook();
    void FillSelection();
    void OnSearch(const QString& text);
    void UpdateButtons();

    IPrompt& m_prompt;
    CSelectEdit m_edit;
    std::vector<Guid> m_result;
    bool m_finished = false;
    QLineEdit* m_search;
    QTreeWidget* m_book;
    QTreeWidget* m_selection;
    QCheckBox* m_showNumbers;
    QPushButton* m_newContact;
    QPushButton* m_props;
    QPushButton* m_choose;
};

class CAddrBookPropDlg : public QDialog {
    Q_OBJECT
public:
    CAddrBookPropDlg(CAddrBook& book, QWidget* parent = nullptr);
    void accept() override;

private:
    CAddrBook& m_book;
    CBookProps m_props;
    QLineEdit* m_name;
};

// Rows of a member or selection list: text, image by type, the GUID as item data.
void FillEntryRows(QTreeWidget* list, const std::vector<CEntryRow>& rows, bool withDetails);
std::vector<Guid> SelectedGuids(QTreeWidget* list);
