#include "GuiTestSupport.h"

#include "gui/app/AboutDlg.h"
#include "gui/app/QtPrompt.h"
#include "store/DocumentIntake.h"

#include <QWidget>
#include <gtest/gtest.h>

using gui_test::WaitFor;

namespace {

TEST(DialogsTest, FileDialogFiltersFromTheProgramsFilterString) {
    const QStringList f = CQtPrompt::QtFilters(kAddDocumentFilter);
    ASSERT_EQ(f.size(), 12);
    EXPECT_EQ(f.front(),
              QStringLiteral("Microsoft Word files (*.doc *.rtf *.txt *.wri *.log *.xml)"));
    EXPECT_EQ(f[4], QStringLiteral("Portable Document Format files (*.pdf)"));
    EXPECT_EQ(f.back(), QStringLiteral("Graphics Interchange Format image files (*.gif)"));
    EXPECT_EQ(CQtPrompt::QtFilters("Address book files (*.abk)|*.abk|"),
              QStringList{QStringLiteral("Address book files (*.abk)")});
    EXPECT_TRUE(CQtPrompt::QtFilters("").isEmpty());
}

TEST(DialogsTest, ScriptedPromptAnswersWithoutShowing) {
    CQtPrompt prompt;
    prompt.SetNextAnswer(MsgAnswer::No);
    prompt.SetNextFileName(std::string("/tmp/a.pdf"));
    prompt.SetNextFileName(std::nullopt);
    EXPECT_EQ(prompt.Message("Прервать?", MsgIcon::Question, MsgButtons::YesNo), MsgAnswer::No);
    EXPECT_EQ(prompt.AskOpenFile(kAddDocumentFilter, ""), std::optional<std::string>("/tmp/a.pdf"));
    EXPECT_EQ(prompt.AskOpenFile(kAddDocumentFilter, ""), std::nullopt);
    EXPECT_EQ(prompt.Asked(), std::vector<std::string>{"Прервать?"});
    EXPECT_EQ(prompt.LastFilters(), kAddDocumentFilter);
}

TEST(DialogsTest, FaderStepsInToOpaqueAndOutToTheEnd) {
    QWidget w;
    CFader fader(&w, 15, 25, 1);
    fader.FadeIn();
    EXPECT_EQ(fader.Alpha(), 0);
    EXPECT_TRUE(fader.Running());
    ASSERT_TRUE(WaitFor([&] { return !fader.Running(); }));
    EXPECT_EQ(fader.Alpha(), 255);
    bool out = false;
    QObject::connect(&fader, &CFader::FadedOut, [&] { out = true; });
    fader.FadeOut();
    EXPECT_EQ(fader.Alpha(), 255);
    ASSERT_TRUE(WaitFor([&] { return out; }));
    EXPECT_EQ(fader.Alpha(), 0);
    EXPECT_DOUBLE_EQ(w.windowOpacity(), 1.0); // the window is left opaque after a fade
}

} // namespace
