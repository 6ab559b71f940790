#pragma once
// The import dialog: the two field lists, the reader on an address-book worker filling the
// preview, pruning and committing the preview into the current book. (The reader's header
// stays out of this one: its message constants share names with the send jobs'.)
#include "app/Ports.h"
#include "gui/app/GuiInvoker.h"

#include <QDialog>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class CImportFields;
struct CImportRow;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QTreeWidget;

class CImportDlg : public QDialog {
    Q_OBJECT
public:
    // `withBooksLocked` runs the commit while no view worker reads the books; `booksChanged`
    // tells the views afterwards.
    CImportDlg(IPrompt& prompt, IFrame& frame,
               std::function<void(const std::function<void()>&)> withBooksLocked,
               std::function<void()> booksChanged, QWidget* parent = nullptr);
    ~CImportDlg() override;

    const CImportFields& Fields() const;
    const std::vector<CImportRow>& Rows() const;
    bool Reading() const { return m_reading; }

    void OnToInput();        // "<--"
    void OnToAvailable();    // "-->"
    void OnLoadFile();       // "Загрузить файл..."
    void OnEncodingChosen(); // a file already read is read again in the chosen encoding
    void OnRemoveRows();     // "Удалить"
    void accept() override;  // "Импорт"
    void reject() override;  // "Закрыть"

private:
    class CReaderPort;
    void FillFieldLists(int inputCurrent, int availableCurrent);
    void SetControlsEnabled(bool enabled);
    void UpdateButtons();
    void ReaderDone();
    // Empties the preview and checks the field order (its message shown); false: no reading.
    bool ClearPreview();
    void StartReading();

    IPrompt& m_prompt;
    IFrame& m_frame;
    std::function<void(const std::function<void()>&)> m_withBooksLocked;
    std::function<void()> m_booksChanged;
    struct CData;
    std::unique_ptr<CData> m_data;
    CImportFields& m_fields;
    std::vector<CImportRow>& m_rows;
    std::string m_path;
    std::uint64_t m_total = 0;
    bool m_reading = false;
    bool m_closeWhenDone = false;
    bool m_uncertain = false; // the reading said the encoding may be wrong
    CGuiInvoker m_invoker;
    std::unique_ptr<CReaderPort> m_port;

    QListWidget* m_available;
    QListWidget* m_input;
    QPushButton* m_toInput;
    QPushButton* m_toAvailable;
    QLineEdit* m_separator;
    QCheckBox* m_ignore;
    QComboBox* m_encoding;
    QLineEdit* m_records;
    QPushButton* m_load;
    QTreeWidget* m_preview;
    QPushButton* m_remove;
    QPushButton* m_import;
    QPushButton* m_close;
    QProgressBar* m_progress;
};
