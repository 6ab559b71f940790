#pragma once
// The address-book page on a document of its own, with a recording frame and the Qt prompt
// answering from a script, under a temporary fax store.
#include "addressbook/AddrBook.h"
#include "app/Settings.h"
#include "app/ThreadControl.h"
#include "gui/addressbook/AbkCommon.h"
#include "gui/addressbook/AddrBookViews.h"
#include "gui/app/GuiInvoker.h"
#include "gui/app/QtPrompt.h"
#include "platform/SysInfo.h"
#include "store/VelquinDoc.h"
#include "support/TestSupport.h"

#include <QObject>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace abk_gui_test {

// A frame on the GUI thread that remembers its status texts and progress calls.
class CRecordingFrame : public IFrame {
public:
    CRecordingFrame() : m_invoker(&m_target) {}
    ~CRecordingFrame() override { m_invoker.BeginShutdown(); }
    void ProgressStart(int) override { ++progressStarts; }
    void ProgressStep(int) override { ++progressSteps; }
    void ProgressEnd() override { ++progressEnds; }
    void SetStatusText(std::string_view text) override { statusTexts.emplace_back(text); }
    bool RunOnGuiThread(const std::function<void()>& work) override { return m_invoker.Run(work); }
    // As the program does before closing the document: a worker's call (the book saver's)
    // no longer waits for the GUI thread, which is about to wait for the worker.
    void StopGuiCalls() { m_invoker.BeginShutdown(); }
    void ResumeGuiCalls() { m_invoker.Resume(); }
    void PostCommand(int) override {}
    void AddressBooksLoaded() override { ++booksLoaded; }

    std::vector<std::string> statusTexts;
    int progressStarts = 0, progressSteps = 0, progressEnds = 0, booksLoaded = 0;

private:
    QObject m_target;
    CGuiInvoker m_invoker;
};

class AbkGuiTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Makes the page (shown) once the books are in place.
    void MakePage();
    CAddrBook* AddBook(const std::string& name);
    CContactEntry* AddContact(CAddrBook* book, const std::string& number,
                              const std::string& company = {}, const std::string& person = {});
    CGroupEntry* AddGroup(CAddrBook* book, const std::string& name,
                          const std::vector<CAddrBookEntry*>& members = {});
    // Waits for the tree to be rebuilt `count` times in all.
    bool WaitTree(int count);
    bool WaitList(int count);
    QTreeWidgetItem* FindTreeItem(const std::string& text);
    // Writes the books, forgets them and loads them back with the document's loader.
    void SaveAndReload();

    testing_support::TempDir m_root;
    CRecordingFrame m_frame;
    CQtPrompt m_prompt;
    std::unique_ptr<CVelquinDoc> m_doc;
    CAddrBookPage* m_page = nullptr;
};

QList<QTreeWidgetItem*> AllItems(QTreeWidget* tree);

} // namespace abk_gui_test
