#pragma once
// The real program window on a temporary fax store, for GUI tests.
#include "gui/app/VelquinGui.h"
#include "gui/shell/MainFrame.h"
#include "gui/shell/SentFaxView.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QTreeWidget>
#include <functional>
#include <memory>
#include <string>

namespace gui_test {

// Handles events until `done` holds or `timeoutMs` passed; the result of `done`.
bool WaitFor(const std::function<bool()>& done, int timeoutMs = 10000);

// Writes a printed document (image and name file) into `dir`; the image path.
std::string WritePrintedDocument(const std::string& dir, const std::string& stem,
                                 const std::string& title);

// Selects the row of `item` with a mouse click, as a user does.
// Types `text` key by key into `widget`; unlike QTest::keyClicks, letters outside Latin-1 too.
void TypeText(QWidget* widget, const QString& text);
// Clicks the button of command `id` on the toolbar of `page`, as a user does.
void ClickToolButton(CMainFrame& frame, int page, int id);
void ClickItem(QTreeWidget& view, QTreeWidgetItem* item);
void ClickItem(QTreeView& view, const QModelIndex& index);

// The sent-fax tree as a user reads it: row `row` under `parent` (the root's entries when no
// parent is given), the number of such rows, and a cell's text.
QModelIndex SentRow(CReceivedFaxTreeView& view, int row, const QModelIndex& parent = {});
int SentRowCount(CReceivedFaxTreeView& view, const QModelIndex& parent = {});
QString CellText(const QModelIndex& index, int column = 0);

class CGuiFixture {
public:
    CGuiFixture();
    ~CGuiFixture();

    // Writes the settings key (plus `extra` Name=value pairs of strings/dwords set by the
    // caller afterwards through Settings()) and starts the program.
    void Start(bool showWindow = true);
    void Stop();

    std::string FaxDir() const { return m_dir / "fax"; }
    std::string DataDir() const { return m_dir / "data"; }
    std::string SentDir() const { return m_dir / "data/SentFaxes"; }
    const testing_support::TempDir& Dir() const { return m_dir; }

    CVelquinGui& Gui() { return *m_gui; }
    CMainFrame& Frame() { return *m_gui->MainFrame(); }
    CVelquinDoc& Doc() { return *m_gui->Document(); }
    CQtPrompt& Prompt() { return m_gui->Prompt(); }

    // Settings written into the key before start (string values).
    std::string apiHost = "127.0.0.1:9";
    std::string userId = "demo";
    std::string password;
    // Runs on the program object before its start (e.g. to replace the status steps).
    std::function<void(CVelquinGui&)> beforeStart;
    bool writeSettings = true; // false: a first start, without a settings key

private:
    testing_support::TempDir m_dir;
    std::unique_ptr<CVelquinGui> m_gui;
};

} // namespace gui_test
