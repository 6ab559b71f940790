// Files dragged from a file manager onto the new faxes: the drop events a desktop sends.
#include "GuiTestSupport.h"

#include "app/Settings.h"
#include "gui/shell/DocListViews.h"
#include "platform/Files.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QTest>
#include <QUrl>
#include <gtest/gtest.h>

using gui_test::CGuiFixture;
using gui_test::WaitFor;

namespace {

// Drags `paths` over the view as a file manager does with Shift held (it offers copy or move and
// proposes move) and drops them in its middle: the view must answer copy, or the file manager
// deletes the originals. False when the view refused the drag.
bool DropFiles(QWidget* target, const QStringList& paths) {
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& p : paths) {
        urls << QUrl::fromLocalFile(p);
    }
    data.setUrls(urls);
    const QPoint at = target->rect().center();
    const Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction;
    QDragEnterEvent enter(at, offered, &data, Qt::LeftButton, Qt::ShiftModifier);
    enter.setDropAction(Qt::MoveAction);
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted()) {
        return false;
    }
    EXPECT_EQ(enter.dropAction(), Qt::CopyAction);
    QDragMoveEvent move(at, offered, &data, Qt::LeftButton, Qt::ShiftModifier);
    move.setDropAction(Qt::MoveAction);
    QApplication::sendEvent(target, &move);
    EXPECT_TRUE(move.isAccepted());
    QDropEvent drop(QPointF(at), offered, &data, Qt::LeftButton, Qt::ShiftModifier);
    drop.setDropAction(Qt::MoveAction);
    QApplication::sendEvent(target, &drop);
    EXPECT_TRUE(drop.isAccepted());
    EXPECT_EQ(drop.dropAction(), Qt::CopyAction);
    return true;
}

} // namespace

TEST(NewFaxDropTest, DroppedFilesBecomeNewFaxesWithoutOverwritingAndTheRestIsRefused) {
    if (!platform::PathExists("/usr/bin/gs")) {
        GTEST_SKIP() << "Ghostscript is not installed";
    }
    CGuiFixture f;
    // A document waiting under the stem the dropped fax image has.
    const std::string waiting = gui_test::WritePrintedDocument(f.FaxDir(), "scan", "Ожидающий");
    f.Start();
    Settings().ProgDir = testing_support::BuildDir() + "/tools/velquin-tool/";
    const std::string in = f.Dir() / "dropped";
    std::string out;
    ASSERT_EQ(testing_support::RunShell(
                  "mkdir " + in + " && cd " + in +
                      " && gs -q -sDEVICE=tiffg4 -o scan.tif -c showpage"
                      " && gs -q -sDEVICE=pdfwrite -o 'Квартальный отчёт.pdf' -c "
                      "'/Helvetica findfont 20 scalefont setfont 72 700 moveto (A) show showpage "
                      "showpage' && printf '%%PDF-1.4 cut' > cut.pdf && printf x > notes.xyz",
                  out),
              0)
        << out;
    const std::string waitingBytes = testing_support::ReadFileOrDie(waiting);
    f.Prompt().SetNextAnswer(MsgAnswer::Ok);
    f.Prompt().SetNextAnswer(MsgAnswer::Ok);

    CNewFaxView* view = f.Frame().NewFaxView();
    // A drag of nothing the view takes is refused before the drop.
    EXPECT_FALSE(DropFiles(view->viewport(), {QString::fromStdString(in + "/notes.xyz")}));
    EXPECT_TRUE(DropFiles(view->viewport(), {QString::fromStdString(in + "/scan.tif"),
                                             QString::fromStdString(in + "/Квартальный отчёт.pdf"),
                                             QString::fromStdString(in + "/cut.pdf"),
                                             QString::fromStdString(in + "/notes.xyz")}));

    // The fax image as it is, beside the waiting one; the PDF through the fax printer.
    QStringList titles;
    ASSERT_TRUE(WaitFor([&] {
        titles.clear();
        for (int i = 0; i < view->topLevelItemCount(); ++i) {
            titles << view->topLevelItem(i)->text(0);
        }
        return titles.size() == 3 && !titles.contains(QString());
    })) << titles.join(QLatin1Char('|')).toStdString();
    titles.sort();
    EXPECT_EQ(titles, (QStringList{QStringLiteral("scan"), QStringLiteral("Квартальный отчёт"),
                                   QStringLiteral("Ожидающий")}));
    EXPECT_EQ(testing_support::ReadFileOrDie(waiting), waitingBytes);
    EXPECT_EQ(testing_support::ReadFileOrDie(f.FaxDir() + "/scan_2.tif"),
              testing_support::ReadFileOrDie(in + "/scan.tif"));

    // The cut PDF and the unknown file say why they were not taken.
    ASSERT_TRUE(WaitFor([&] { return f.Prompt().Asked().size() == 2; }));
    std::string asked = f.Prompt().Asked()[0] + "\n" + f.Prompt().Asked()[1];
    EXPECT_NE(asked.find(in + "/notes.xyz нельзя сделать факсом"), std::string::npos) << asked;
    EXPECT_NE(asked.find("Факс-принтер не смог сделать факс из " + in + "/cut.pdf"),
              std::string::npos)
        << asked;

    // Delete leaves the next row selected, so that Delete goes on deleting.
    Settings().ConfirmDeleteItem = false;
    gui_test::ClickItem(*view, view->topLevelItem(1));
    QTest::keyClick(view, Qt::Key_Delete);
    ASSERT_EQ(view->topLevelItemCount(), 2);
    ASSERT_EQ(view->selectedItems().size(), 1);
    EXPECT_EQ(view->selectedItems().front(), view->topLevelItem(1));
    QTest::keyClick(view, Qt::Key_Delete);
    EXPECT_EQ(view->topLevelItemCount(), 1);
}
