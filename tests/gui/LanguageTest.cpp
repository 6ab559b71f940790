// The interface language: English on a desktop that is not Russian, Russian on a Russian one,
// chosen as the program chooses it at start; and translations that cover every text.
#include "GuiTestSupport.h"

#include "app/Ports.h"
#include "app/Settings.h"
#include "filters/ListFilter.h"
#include "gui/app/Language.h"
#include "gui/filters/FilterDlg.h"
#include "gui/shell/Commands.h"
#include "gui/shell/DocListViews.h"
#include "resources/Strings.h"

#include <QAction>
#include <QFile>
#include <QHeaderView>
#include <QListWidget>
#include <QMenuBar>
#include <QRegularExpression>
#include <QTest>
#include <QXmlStreamReader>
#include <gtest/gtest.h>
#include <map>

using gui_test::CGuiFixture;

namespace {

// What a user of the new-faxes page sees, and the question a delete asks.
struct CSeen {
    QString title;
    QStringList pages;
    QString menus; // their titles, each ended by "|"
    QString column;
    QString sendTip;
    QString filterTitle;
    std::string deleteQuestion;
};

CSeen StartAndLook() {
    CGuiFixture f;
    gui_test::WritePrintedDocument(f.FaxDir(), "d1", "Invoice 15");
    f.Start();
    CMainFrame& frame = f.Frame();
    CSeen seen;
    seen.title = frame.windowTitle();
    QListWidget* nav = frame.findChild<QListWidget*>(QStringLiteral("navigatorList"));
    for (int i = 0; nav != nullptr && i < nav->count(); ++i) {
        seen.pages << nav->item(i)->text();
    }
    for (QAction* a : frame.menuBar()->actions()) {
        seen.menus += a->text() + QLatin1Char('|');
    }
    CNewFaxView* view = frame.NewFaxView();
    seen.column = view->headerItem()->text(0);
    seen.sendTip = frame.Action(cmd::kSendFax)->toolTip();
    CFilterDlg filter(CListFilter{}, &frame);
    seen.filterTitle = filter.windowTitle();

    Settings().ConfirmDeleteItem = true;
    EXPECT_EQ(view->topLevelItemCount(), 1);
    gui_test::ClickItem(*view, view->topLevelItem(0));
    f.Prompt().SetNextAnswer(MsgAnswer::No);
    QTest::keyClick(view, Qt::Key_Delete);
    if (!f.Prompt().Asked().empty()) {
        seen.deleteQuestion = f.Prompt().Asked().back();
    }
    return seen;
}

// Leaves the program's own language (Russian) for the tests that follow.
struct CLanguageGuard {
    ~CLanguageGuard() { InstallLanguage(QLocale(QLocale::Russian, QLocale::Russia)); }
};

TEST(LanguageTest, EnglishOnAnyDesktopButARussianOne) {
    CLanguageGuard guard;
    // A German desktop: the program has no German, so English it is, dates included.
    ASSERT_EQ(InstallLanguage(QLocale(QLocale::German, QLocale::Germany)),
              EInterfaceLanguage::English);
    EXPECT_EQ(QLocale().language(), QLocale::English);
    const CSeen english = StartAndLook();
    EXPECT_TRUE(english.title.startsWith(QStringLiteral("New Faxes")))
        << english.title.toStdString();
    EXPECT_EQ(english.pages,
              (QStringList{"New Faxes", "Sent Faxes", "Saved Documents", "Address Book"}));
    EXPECT_EQ(english.menus, QStringLiteral("&File|&View|&Operations|&Help|"));
    EXPECT_EQ(english.column, QStringLiteral("Printed document"));
    EXPECT_EQ(english.sendTip, QStringLiteral("Send fax"));
    EXPECT_EQ(english.filterTitle, QStringLiteral("List view filter"));
    EXPECT_EQ(english.deleteQuestion, "Are you sure you want to delete the item?");

    // "C" (no locale set at all) is not Russian either; a Russian desktop keeps the program as
    // it always was.
    EXPECT_EQ(LanguageFor(QLocale::c()), EInterfaceLanguage::English);
    ASSERT_EQ(InstallLanguage(QLocale(QLocale::Russian, QLocale::Ukraine)),
              EInterfaceLanguage::Russian);
    EXPECT_EQ(QLocale().language(), QLocale::Russian);
    const CSeen russian = StartAndLook();
    EXPECT_TRUE(russian.title.startsWith(QStringLiteral("Новые Факсы")));
    EXPECT_EQ(russian.menus, QStringLiteral("&Файл|&Просмотр|&Операции|Помо&щь|"));
    EXPECT_EQ(russian.column, QStringLiteral("Напечатанный документ"));
    EXPECT_EQ(russian.filterTitle, QStringLiteral("Фильтр для просмотра списка"));
    EXPECT_EQ(russian.deleteQuestion, "Вы уверены, что хотите удалить элемент?");
}

// The placeholders a text hands to its formatting: %s/%d of the string table, in order, or %1...
// of QString::arg, which may take them in any order.
std::string Placeholders(const QString& text, bool anyOrder = false) {
    static const QRegularExpression kPlaceholder(QStringLiteral("%[sd1-9]"));
    QStringList found;
    for (const QRegularExpressionMatch& m : kPlaceholder.globalMatch(text)) {
        found << m.captured();
    }
    if (anyOrder) {
        found.sort();
    }
    return found.join(QLatin1Char(' ')).toStdString();
}

bool HasCyrillic(const QString& text) {
    static const QRegularExpression kCyrillic(QStringLiteral("[\\x{0400}-\\x{04FF}]"));
    return text.contains(kCyrillic);
}

TEST(LanguageTest, EveryTextHasAFinishedTranslationWithItsPlaceholders) {
    CLanguageGuard guard;
    ASSERT_EQ(InstallLanguage(QLocale(QLocale::English, QLocale::UnitedKingdom)),
              EInterfaceLanguage::English);
    // The string table through the built translation: every Russian text comes out English,
    // with its arguments and its line breaks (a command's name and tip) where they were.
    for (unsigned id : StringIds()) {
        const QString source = QString::fromUtf8(SourceString(id));
        const std::string_view loaded = LoadString(id);
        const QString shown =
            QString::fromUtf8(loaded.data(), static_cast<qsizetype>(loaded.size()));
        SCOPED_TRACE(id);
        EXPECT_FALSE(HasCyrillic(shown)) << shown.toStdString();
        EXPECT_EQ(Placeholders(shown), Placeholders(source));
        EXPECT_EQ(shown.count(QLatin1Char('\n')), source.count(QLatin1Char('\n')));
    }

    // The interface's own texts, as the translation file holds them.
    QFile ts(QStringLiteral(VELQUIN_SOURCE_DIR "/translations/velquin_en.ts"));
    ASSERT_TRUE(ts.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&ts);
    QString context;
    QString source;
    int messages = 0;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) {
            continue;
        }
        if (xml.name() == QLatin1String("name")) {
            context = xml.readElementText();
        } else if (xml.name() == QLatin1String("source")) {
            source = xml.readElementText();
        } else if (xml.name() == QLatin1String("translation")) {
            const QString type = xml.attributes().value(QLatin1String("type")).toString();
            const QString text = xml.readElementText();
            SCOPED_TRACE((context + QLatin1Char('|') + source).toStdString());
            EXPECT_TRUE(type.isEmpty()) << type.toStdString();
            EXPECT_FALSE(text.isEmpty());
            EXPECT_FALSE(HasCyrillic(text)) << text.toStdString();
            EXPECT_EQ(Placeholders(text, true), Placeholders(source, true));
            ++messages;
        }
    }
    ASSERT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_GT(messages, static_cast<int>(StringIds().size()));
}

} // namespace
