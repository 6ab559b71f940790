#include "GuiTestSupport.h"

#include "app/Settings.h"
#include "app/ThreadControl.h"
#include "gui/addressbook/AddrBookViews.h"
#include "platform/Encoding.h"
#include "platform/Registry.h"

#include <QElapsedTimer>
#include <QTest>
#include <QToolBar>
#include <filesystem>
#include <gtest/gtest.h>

namespace gui_test {

bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs) {
            return done();
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QTest::qWait(10);
    }
    return true;
}

std::string WritePrintedDocument(const std::string& dir, const std::string& stem,
                                 const std::string& title) {
    const std::string image = dir + "/" + stem + ".tif";
    testing_support::WriteFile(dir + "/" + stem + ".tag", platform::Utf8ToCp1251(title));
    testing_support::WriteFile(image, "II*\0fake image");
    return image;
}

void ClickToolButton(CMainFrame& frame, int page, int id) {
    QWidget* button = frame.PageToolBar(page)->widgetForAction(frame.Action(id));
    ASSERT_NE(button, nullptr) << id;
    ASSERT_TRUE(button->isVisible() && button->isEnabled()) << id;
    QTest::mouseClick(button, Qt::LeftButton);
}

void TypeText(QWidget* widget, const QString& text) {
    for (QChar c : text) {
        QTest::sendKeyEvent(QTest::Click, widget, static_cast<Qt::Key>(c.toUpper().unicode()),
                            QString(c), Qt::NoModifier);
    }
}

void ClickItem(QTreeWidget& view, QTreeWidgetItem* item) {
    ASSERT_NE(item, nullptr);
    view.scrollToItem(item);
    QTest::mouseClick(view.viewport(), Qt::LeftButton, Qt::NoModifier,
                      view.visualItemRect(item).center());
}

void ClickItem(QTreeView& view, const QModelIndex& index) {
    ASSERT_TRUE(index.isValid());
    view.scrollTo(index);
    QTest::mouseClick(view.viewport(), Qt::LeftButton, Qt::NoModifier,
                      view.visualRect(index).center());
}

QModelIndex SentRow(CReceivedFaxTreeView& view, int row, const QModelIndex& parent) {
    return view.Model().index(row, 0, parent.isValid() ? parent : view.Root());
}

int SentRowCount(CReceivedFaxTreeView& view, const QModelIndex& parent) {
    return view.Model().rowCount(parent.isValid() ? parent : view.Root());
}

QString CellText(const QModelIndex& index, int column) {
    return index.siblingAtColumn(column).data().toString();
}

CGuiFixture::CGuiFixture() {
    testing_support::IsolateEnvironment(m_dir.Path());
    std::filesystem::create_directories(FaxDir());
    std::filesystem::create_directories(DataDir());
}

CGuiFixture::~CGuiFixture() {
    Stop();
}

void CGuiFixture::Start(bool showWindow) {
    if (writeSettings) {
        platform::CRegKey key;
        ASSERT_EQ(key.Create(platform::Hive::LocalMachine, kMainKey), 0);
        auto str = [&](const char* name, const std::string& v) {
            key.SetValue(name, platform::RegType::String, platform::RegStringZ(v));
        };
        str("ProgDir", m_dir.Path());
        str("FaxDir", FaxDir());
        str("DataDir", DataDir());
        str("ApiHost", apiHost);
        str("WebHost", apiHost);
        str("UserID", userId);
        ASSERT_EQ(key.Close(), 0);
    }
    ResetSettingsForTest();
    CThreadControl::Instance().stopRequest = 0;
    CThreadControl::Instance().busy = 0;
    m_gui = std::make_unique<CVelquinGui>();
    if (beforeStart) {
        beforeStart(*m_gui);
    }
    // A file name parameter starts the window hidden.
    std::vector<std::string> args;
    if (!showWindow) {
        args.push_back("some-file.tif");
    }
    ASSERT_EQ(m_gui->Start(args), CVelquinApp::StartResult::Running);
    if (writeSettings) {
        Settings().UserPWD = password;
    }
    // The store is loaded once its lists were handed over and the address-book page has shown
    // the books the loader handed over (which also puts the idle text back in the status bar).
    ASSERT_TRUE(WaitFor([this] {
        const CAddrBookPage* page = m_gui->MainFrame()->AddressBookPage();
        return m_gui->Document()->StoreLoaded() && !AddressBooks().LoaderBusy() &&
               page->Tree()->RebuildsDone() > 0 && !page->Tree()->Building();
    }));
}

void CGuiFixture::Stop() {
    if (m_gui) {
        m_gui->Shutdown();
        m_gui.reset();
    }
}

} // namespace gui_test
