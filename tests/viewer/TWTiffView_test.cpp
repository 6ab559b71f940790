#include "ViewerWindow.h"
#include "support/TestSupport.h"

#include <QAction>
#include <QApplication>
#include <QListWidget>
#include <QTest>
#include <cstdint>
#include <gtest/gtest.h>
#include <tiffio.h>
#include <vector>

namespace {

struct PageSpec {
    std::uint32_t width;
    std::uint32_t height;
    float xres;
    float yres;
    int bits; // 1 (Group 4) or 8 (grey)
    std::uint16_t photometric;
};

// Writes a multi-page image; each page has a black square in its top-left corner.
void WriteFax(const std::string& path, const std::vector<PageSpec>& pages) {
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    ASSERT_NE(tif, nullptr);
    for (std::size_t p = 0; p < pages.size(); ++p) {
        const PageSpec& s = pages[p];
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, s.width);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, s.height);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, s.bits);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, s.photometric);
        TIFFSetField(tif, TIFFTAG_COMPRESSION,
                     s.bits == 1 ? COMPRESSION_CCITTFAX4 : COMPRESSION_NONE);
        TIFFSetField(tif, TIFFTAG_XRESOLUTION, s.xres);
        TIFFSetField(tif, TIFFTAG_YRESOLUTION, s.yres);
        TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, s.height);
        TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
        TIFFSetField(tif, TIFFTAG_PAGENUMBER, static_cast<std::uint16_t>(p),
                     static_cast<std::uint16_t>(pages.size()));
        std::size_t lineBytes = s.bits == 1 ? (s.width + 7) / 8 : s.width;
        for (std::uint32_t row = 0; row < s.height; ++row) {
            bool white = s.photometric == PHOTOMETRIC_MINISWHITE;
            std::vector<std::uint8_t> line(lineBytes, white ? 0x00 : 0xFF);
            if (row < 16) {
                for (std::size_t b = 0; b < (s.bits == 1 ? 2u : 16u); ++b) {
                    line[b] = white ? 0xFF : 0x00;
                }
            }
            ASSERT_GE(TIFFWriteScanline(tif, line.data(), row, 0), 0);
        }
        ASSERT_TRUE(TIFFWriteDirectory(tif));
    }
    TIFFClose(tif);
}

class ViewerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "viewer_test";
        static char* argv[] = {name, nullptr};
        s_app = new QApplication(argc, argv);
    }
    void SetUp() override {
        testing_support::IsolateEnvironment(m_dir.Path());
        m_fax = m_dir / "fax.tif";
        WriteFax(m_fax, {{1728, 2292, 204, 196, 1, PHOTOMETRIC_MINISWHITE},
                         {1728, 1146, 204, 98, 1, PHOTOMETRIC_MINISWHITE},
                         {400, 300, 100, 100, 8, PHOTOMETRIC_MINISBLACK}});
    }
    static QApplication* s_app;
    testing_support::TempDir m_dir;
    std::string m_fax;
};
QApplication* ViewerTest::s_app = nullptr;

} // namespace

TEST_F(ViewerTest, ReadsBilevelAndGreyPagesWithTheirResolutionAndColours) {
    CFaxImage image;
    QString error;
    ASSERT_TRUE(image.Open(QString::fromStdString(m_fax), error)) << error.toStdString();
    ASSERT_EQ(image.PageCount(), 3);
    for (int i = 0; i < 3; ++i) {
        FaxPage page = image.ReadPage(i);
        ASSERT_FALSE(page.image.isNull()) << i;
        // Black corner on white paper, whatever the photometric interpretation.
        EXPECT_EQ(qGray(page.image.pixel(0, 0)), 0) << i;
        EXPECT_EQ(qGray(page.image.pixel(page.image.width() - 1, page.image.height() - 1)), 255)
            << i;
    }
    EXPECT_DOUBLE_EQ(image.ReadPage(0).AspectRatio(), 204.0 / 196.0);
    EXPECT_DOUBLE_EQ(image.ReadPage(1).AspectRatio(), 204.0 / 98.0);
    EXPECT_TRUE(image.ReadPage(3).image.isNull());
    EXPECT_TRUE(image.ReadPage(-1).image.isNull());
}

TEST_F(ViewerTest, StepsThroughPagesAndStopsAtTheEnds) {
    CViewerWindow window;
    window.show();
    ASSERT_TRUE(window.OpenFile(QString::fromStdString(m_fax), false));
    auto* list = window.findChild<QListWidget*>(QStringLiteral("pageList"));
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->count(), 3);
    EXPECT_EQ(window.CurrentPage(), 0);
    window.PreviousPage();
    EXPECT_EQ(window.CurrentPage(), 0);
    window.NextPage();
    window.NextPage();
    EXPECT_EQ(window.CurrentPage(), 2);
    window.NextPage();
    EXPECT_EQ(window.CurrentPage(), 2);
    EXPECT_EQ(list->currentRow(), 2);
    auto* previous = window.findChild<QAction*>(QStringLiteral("Предыдущая"));
    ASSERT_NE(previous, nullptr);
    previous->trigger(); // the toolbar button and Page Up

    EXPECT_EQ(window.CurrentPage(), 1);
    list->setCurrentRow(0); // a click on the first thumbnail
    EXPECT_EQ(window.CurrentPage(), 0);
}

TEST_F(ViewerTest, StandardAndFinePagesShowAtTheSameSizeAndRotate) {
    CViewerWindow window;
    window.show();
    ASSERT_TRUE(window.OpenFile(QString::fromStdString(m_fax), false));
    window.SetFitWidth(false);
    while (window.Zoom() < 1.0) {
        window.ZoomIn();
    }
    while (window.Zoom() > 1.0) {
        window.ZoomOut();
    }
    double zoom = window.Zoom();
    QSize fine = window.DisplayedSize();
    window.NextPage();
    QSize standard = window.DisplayedSize();
    // 1146 rows at 98 dpi cover the same paper as 2292 rows at 196 dpi.
    EXPECT_EQ(fine, standard);
    EXPECT_NEAR(fine.height(), 2292 * 204.0 / 196.0 * zoom, 1.0);
    window.RotateRight();
    EXPECT_EQ(window.DisplayedSize(), standard.transposed());
    window.RotateLeft();
    window.RotateLeft();
    EXPECT_EQ(window.Rotation(), 270);
    window.SetFitWidth(true);
    EXPECT_TRUE(window.FitWidth());
    EXPECT_LT(window.DisplayedSize().width(), standard.height());
}

TEST_F(ViewerTest, SavesEveryPageAsPdf) {
    CViewerWindow window;
    ASSERT_TRUE(window.OpenFile(QString::fromStdString(m_fax), false));
    std::string pdf = m_dir / "fax.pdf";
    ASSERT_TRUE(window.SaveAsPdf(QString::fromStdString(pdf)));
    std::string bytes = testing_support::ReadFileOrDie(pdf);
    ASSERT_EQ(bytes.rfind("%PDF", 0), 0u);
    std::size_t pages = 0;
    for (std::size_t at = bytes.find("/Type /Page\n"); at != std::string::npos;
         at = bytes.find("/Type /Page\n", at + 1)) {
        ++pages;
    }
    EXPECT_EQ(pages, 3u);
    EXPECT_FALSE(window.SaveAsPdf(QString::fromStdString(m_dir / "missing-dir/x.pdf")));
}

TEST_F(ViewerTest, BadFilesAreRefusedWithoutCrashing) {
    CViewerWindow window;
    testing_support::WriteFile(m_dir / "text.tif", "not an image at all");
    EXPECT_FALSE(window.OpenFile(QString::fromStdString(m_dir / "text.tif"), false));
    EXPECT_FALSE(window.OpenFile(QString::fromStdString(m_dir / "absent.tif"), false));
    EXPECT_EQ(window.PageCount(), 0);
    window.NextPage();
    EXPECT_EQ(window.CurrentPage(), -1);

    // A cut file: whatever pages remain readable show, the others are blank.
    std::string bytes = testing_support::ReadFileOrDie(m_fax);
    testing_support::WriteFile(m_dir / "cut.tif", bytes.substr(0, bytes.size() / 2));
    window.OpenFile(QString::fromStdString(m_dir / "cut.tif"), false);
    for (int i = 0; i < 4; ++i) {
        window.NextPage();
    }
    EXPECT_LE(window.CurrentPage(), 2);
}

TEST_F(ViewerTest, ShowsTheDocumentsTitleAndClosesFromTheKeyboard) {
    for (auto key : {QKeySequence(Qt::CTRL | Qt::Key_W), QKeySequence(Qt::Key_Escape)}) {
        CViewerWindow window;
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        ASSERT_TRUE(
            window.OpenFile(QString::fromStdString(m_fax), false, QStringLiteral("Договор № 15")));
        EXPECT_EQ(window.windowTitle(), QStringLiteral("Договор № 15 - TWTiffView"));
        QTest::keySequence(&window, key);
        EXPECT_FALSE(window.isVisible()) << key.toString().toStdString();
    }
    CViewerWindow untitled;
    ASSERT_TRUE(untitled.OpenFile(QString::fromStdString(m_fax), false));
    EXPECT_EQ(untitled.windowTitle(), QStringLiteral("fax.tif - TWTiffView"));
}
