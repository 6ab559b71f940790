#include "sending/TiffPages.h"
#include "TiffTestFiles.h"
#include "sending/FaxImage.h"
#include "support/TestSupport.h"

#include "platform/Files.h"

#include <gtest/gtest.h>
#include <tiffio.h>

using namespace sending_test;
using testing_support::TempDir;

namespace {

class TiffPagesTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_merge = m_dir / "Merge";
        ASSERT_EQ(platform::CreateDir(m_merge), 0);
    }
    std::string Write(const std::vector<std::uint8_t>& bytes, const std::string& name = "in.tif") {
        WriteBytes(m_dir / name, bytes);
        return m_dir / name;
    }
    // Split with the reference stderr of libtiff silenced; hostile files make it talk.
    CSplitResult QuietSplit(const std::string& path, int pages) {
        ::testing::internal::CaptureStderr();
        CSplitResult r = SplitPerRecipient(path, pages, m_merge, 7);
        ::testing::internal::GetCapturedStderr();
        return r;
    }
    static std::vector<CTiffBuilder::Page> Pages(int n, int extraEntries = 0) {
        std::vector<CTiffBuilder::Page> pages;
        for (int p = 0; p < n; ++p) {
            pages.push_back(CTiffBuilder::BilevelPage(PagePixels(p, 40, 12), 40, 12, extraEntries));
        }
        return pages;
    }
    TempDir m_dir;
    std::string m_merge;
};

TEST_F(TiffPagesTest, WrittenPageLayout) {
    // One page read and written again: kept tags only, resolutions and strip right after the
    // directory, PageNumber rewritten, no next directory.
    CTiffBuilder b(false);
    std::vector<CTiffBuilder::Page> pages = Pages(1, 3);
    pages[0].entries.push_back({305, 2, 6, 0, {'g', 's', ' ', '9', '.', 0}}); // Software: dropped
    const std::string in = Write(b.Build(pages));

    CTiffPageReader reader;
    std::string error;
    ASSERT_TRUE(reader.Open(in, error)) << error;
    CTiffPage page;
    std::uint32_t next = 1;
    ASSERT_TRUE(reader.ReadPage(reader.FirstDirectory(), page, next, error)) << error;
    EXPECT_EQ(next, 0u);
    EXPECT_EQ(page.entries.size(), 15u);
    page.index = 1;

    const std::string outPath = m_dir / "out.tmp";
    std::FILE* out = std::fopen(outPath.c_str(), "wb");
    std::uint64_t pos = 0;
    ASSERT_TRUE(WriteTiffHeader(out, pos));
    ASSERT_TRUE(WriteTiffPage(out, pos, page, false, 2));
    std::fclose(out);
    std::vector<std::uint8_t> o = ReadBytes(outPath);
    ASSERT_EQ(o.size(), pos);

    auto u16 = [&](std::size_t at) { return static_cast<unsigned>(o[at] | o[at + 1] << 8); };
    auto u32 = [&](std::size_t at) { return u16(at) | u16(at + 2) << 16; };
    ASSERT_EQ(u32(4), 8u);
    const unsigned n = u16(8);
    ASSERT_EQ(n, 15u);
    const unsigned base = 8 + 2 + 12 * n + 4;
    EXPECT_EQ(u32(10 + 12 * n), 0u); // last page
    std::map<unsigned, unsigned> value;
    for (unsigned i = 0; i < n; ++i) {
        value[u16(10 + 12 * i)] = u32(10 + 12 * i + 8);
    }
    EXPECT_EQ(value.count(305), 0u);
    EXPECT_EQ(value.count(65000), 0u);
    EXPECT_EQ(value[282], base);
    EXPECT_EQ(value[283], base + 8);
    EXPECT_EQ(value[273], base + 16);
    EXPECT_EQ(value[279], 60u); // 40x12 pixels, 5 bytes a row
    EXPECT_EQ(value[297], 2u * 65536 + 1);
    EXPECT_EQ(u32(base), 204u);
    EXPECT_EQ(u32(base + 4), 1u);
    EXPECT_EQ(u32(base + 8), 196u);
    EXPECT_EQ(o.size(), base + 16 + 60);
    std::vector<std::uint8_t> strip(o.begin() + base + 16, o.end());
    EXPECT_EQ(strip, PagePixels(0, 40, 12));
}

TEST_F(TiffPagesTest, FiftyEntriesPassFiftyOneFailTheWholeSplit) {
    CTiffBuilder b(false);
    const std::string ok = Write(b.Build(Pages(2, 50 - 15)), "ok.tif");
    CSplitResult r = QuietSplit(ok, 1);
    EXPECT_EQ(r.error, SplitError::None) << r.detail;
    EXPECT_EQ(r.parts, 2);

    // The second page of the second part is damaged: no part of the run is made after the
    // first, and the result says why.
    std::vector<CTiffBuilder::Page> pages = Pages(4);
    pages[3] = CTiffBuilder::BilevelPage(PagePixels(3, 40, 12), 40, 12, 51 - 15);
    const std::string bad = Write(b.Build(pages), "bad.tif");
    EXPECT_EQ(CountPages(bad), 4);
    r = QuietSplit(bad, 2);
    EXPECT_EQ(r.error, SplitError::DamagedPage);
    EXPECT_EQ(r.parts, 1);
    EXPECT_FALSE(platform::PathExists(SplitPartPath(m_merge, r.baseName, 2)));
    EXPECT_NE(r.detail.find("51"), std::string::npos) << r.detail;
}

TEST_F(TiffPagesTest, BigEndianInputIsReadCorrectly) {
    CTiffBuilder b(true);
    std::vector<CTiffBuilder::Page> pages = Pages(3);
    // Out-of-line values must be swapped too: BitsPerSample written as a two-value array.
    pages[0].entries.push_back({65100, 3, 4, 0, {0, 1, 0, 2, 0, 3, 0, 4}});
    const std::string in = Write(b.Build(pages));
    EXPECT_EQ(CountPages(in), 3);

    CSplitResult r = QuietSplit(in, 3);
    ASSERT_EQ(r.error, SplitError::None) << r.detail;
    ASSERT_EQ(r.parts, 1);
    const std::string part = SplitPartPath(m_merge, r.baseName, 1);
    TIFF* t = TIFFOpen(part.c_str(), "r");
    ASSERT_NE(t, nullptr);
    for (int p = 0; p < 3; ++p) {
        ASSERT_TRUE(TIFFSetDirectory(t, static_cast<tdir_t>(p)));
        uint32_t w = 0, h = 0;
        uint16_t compression = 0, pn = 0, total = 0, unit = 0;
        float xres = 0, yres = 0;
        TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &w);
        TIFFGetField(t, TIFFTAG_IMAGELENGTH, &h);
        TIFFGetField(t, TIFFTAG_COMPRESSION, &compression);
        TIFFGetField(t, TIFFTAG_PAGENUMBER, &pn, &total);
        TIFFGetField(t, TIFFTAG_RESOLUTIONUNIT, &unit);
        TIFFGetField(t, TIFFTAG_XRESOLUTION, &xres);
        TIFFGetField(t, TIFFTAG_YRESOLUTION, &yres);
        EXPECT_EQ(w, 40u);
        EXPECT_EQ(h, 12u);
        EXPECT_EQ(compression, COMPRESSION_CCITTFAX4);
        EXPECT_EQ(pn, p);
        EXPECT_EQ(total, 3);
        EXPECT_EQ(unit, RESUNIT_INCH);
        EXPECT_FLOAT_EQ(xres, 204.0f);
        EXPECT_FLOAT_EQ(yres, 196.0f);
    }
    TIFFClose(t);
    for (int p = 0; p < 3; ++p) {
        EXPECT_EQ(ReadPixels(part, p), PagePixels(p, 40, 12));
    }
}

TEST_F(TiffPagesTest, EveryTruncationIsAnErrorNeverACrash) {
    CTiffBuilder b(false);
    const std::vector<std::uint8_t> whole = b.Build(Pages(2));
    for (std::size_t len = 0; len < whole.size(); ++len) {
        const std::string in =
            Write(std::vector<std::uint8_t>(whole.begin(), whole.begin() + len), "cut.tif");
        EXPECT_EQ(CountPages(in), 0) << len;
        CSplitResult r = QuietSplit(in, 1);
        EXPECT_NE(r.error, SplitError::None) << len;
    }
    EXPECT_EQ(CountPages(Write(whole)), 2);
}

TEST_F(TiffPagesTest, LoopingDirectoriesAreRefused) {
    CTiffBuilder b(false);
    std::vector<std::uint8_t> bytes = b.Build(Pages(2));
    // Point the last page's next-directory field back at the first directory.
    std::copy(bytes.begin() + 4, bytes.begin() + 8, bytes.end() - 4);
    const std::string in = Write(bytes);
    EXPECT_EQ(CountPages(in), 0);
    CSplitResult r = QuietSplit(in, 1);
    EXPECT_EQ(r.error, SplitError::DamagedPage);
    r = QuietSplit(in, 100);
    EXPECT_EQ(r.error, SplitError::DamagedPage);
    EXPECT_EQ(r.parts, 0);
}

TEST_F(TiffPagesTest, AbsurdCountsAndOffsetsAreRefusedBeforeAllocating) {
    CTiffBuilder b(false);
    auto withEntry = [&](std::uint16_t tag, std::uint16_t type, std::uint32_t count,
                         std::uint32_t value) {
        std::vector<CTiffBuilder::Page> pages = Pages(1);
        for (auto& e : pages[0].entries) {
            if (e.tag == tag) {
                e = {tag, type, count, value, {}};
            }
        }
        std::vector<std::uint8_t> bytes = b.Build(pages);
        // Build() fills strip and resolution values in; put the hostile one back.
        std::size_t dir = 0;
        for (std::size_t at = bytes.size() - 4 - 12 * pages[0].entries.size();
             at + 4 < bytes.size(); at += 12) {
            if ((bytes[at] | bytes[at + 1] << 8) == tag) {
                dir = at;
            }
        }
        bytes[dir + 4] = static_cast<std::uint8_t>(count);
        bytes[dir + 5] = static_cast<std::uint8_t>(count >> 8);
        bytes[dir + 6] = static_cast<std::uint8_t>(count >> 16);
        bytes[dir + 7] = static_cast<std::uint8_t>(count >> 24);
        bytes[dir + 8] = static_cast<std::uint8_t>(value);
        bytes[dir + 9] = static_cast<std::uint8_t>(value >> 8);
        bytes[dir + 10] = static_cast<std::uint8_t>(value >> 16);
        bytes[dir + 11] = static_cast<std::uint8_t>(value >> 24);
        return Write(bytes);
    };
    struct Case {
        const char* what;
        std::uint16_t tag, type;
        std::uint32_t count, value;
    } cases[] = {
        {"strip length near 4 GiB", 279, 4, 1, 0xFFFFFFF0u},
        {"strip offset past the end", 273, 4, 1, 0x7FFFFFFFu},
        {"a billion strips", 273, 4, 0x40000000u, 8},
        {"strip counts not matching offsets", 279, 4, 2, 8},
        {"resolution offset past the end", 282, 5, 1, 0xFFFFFFF0u},
        {"kept tag with a huge array", 258, 3, 0x7FFFFFFFu, 8},
    };
    for (const Case& c : cases) {
        const std::string in = withEntry(c.tag, c.type, c.count, c.value);
        CSplitResult r = QuietSplit(in, 1);
        EXPECT_EQ(r.error, SplitError::DamagedPage) << c.what << ": " << r.detail;
        // libtiff repairs some of these itself (as tiffcp does); it must only survive them.
        ::testing::internal::CaptureStderr();
        CopyPages(in, m_dir / "out.tif", false);
        ::testing::internal::GetCapturedStderr();
    }

    // A directory offset outside the file, and one inside the header.
    std::vector<std::uint8_t> bytes = b.Build(Pages(1));
    bytes[4] = 0xF0;
    bytes[5] = bytes[6] = bytes[7] = 0xFF;
    EXPECT_EQ(CountPages(Write(bytes)), 0);
    EXPECT_EQ(QuietSplit(m_dir / "in.tif", 1).error, SplitError::DamagedPage);
    bytes[4] = 4;
    bytes[5] = bytes[6] = bytes[7] = 0;
    EXPECT_EQ(CountPages(Write(bytes)), 0);
    EXPECT_EQ(QuietSplit(m_dir / "in.tif", 1).error, SplitError::DamagedPage);
}

TEST_F(TiffPagesTest, EmptyStripIsReadAsEmpty) {
    // A page whose only strip has no bytes (found by fuzzing: the empty read was handed a
    // null buffer). It is read as an empty strip; the rewrite may refuse it, never crash.
    CTiffBuilder b(false);
    std::vector<CTiffBuilder::Page> pages = Pages(2);
    pages[0].strip.clear();
    const std::string in = Write(b.Build(pages));
    CTiffPageReader reader;
    std::string error;
    ASSERT_TRUE(reader.Open(in, error)) << error;
    CTiffPage page;
    std::uint32_t next = 0;
    ASSERT_TRUE(reader.ReadPage(reader.FirstDirectory(), page, next, error)) << error;
    EXPECT_EQ(page.stripLengths, std::vector<std::uint32_t>{0});
    EXPECT_TRUE(page.strips.empty());
    EXPECT_NE(next, 0u);
    QuietSplit(in, 1);
}

TEST_F(TiffPagesTest, RewriteRefusesRowsNoPageHas) {
    // A header claiming rows of half a gigabyte (found by fuzzing with a worse one: 7.7 GB
    // were asked for one row) is refused before any row is allocated.
    CTiffBuilder b(false);
    std::vector<CTiffBuilder::Page> pages = Pages(1);
    for (auto& e : pages[0].entries) {
        if (e.tag == 256) { // ImageWidth
            e = {256, 4, 1, 0xFFFFFFF0u, {}};
        }
    }
    const std::string in = Write(b.Build(pages));
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(CopyPages(in, m_dir / "out.tif", false));
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("too long for a fax page"),
              std::string::npos);
    EXPECT_FALSE(platform::PathExists(m_dir / "out.tif"));
}

TEST_F(TiffPagesTest, PagesSharingOneStripCannotMultiplyMemory) {
    // Directories that all point at the same big strip: a part may not hold more strip bytes
    // than the file has, however many pages it claims.
    CTiffBuilder b(false);
    std::vector<CTiffBuilder::Page> pages = {
        CTiffBuilder::BilevelPage(PagePixels(0, 800, 400), 800, 400)};
    std::vector<std::uint8_t> bytes = b.Build(pages);
    const std::size_t dirAt = bytes[4] | bytes[5] << 8 | bytes[6] << 16;
    const std::vector<std::uint8_t> dir(bytes.begin() + static_cast<std::ptrdiff_t>(dirAt),
                                        bytes.end());
    for (int copies = 0; copies < 9; ++copies) {
        const std::size_t newAt = bytes.size();
        for (int i = 0; i < 4; ++i) {
            bytes[newAt - 4 + i] = static_cast<std::uint8_t>(newAt >> (8 * i));
        }
        bytes.insert(bytes.end(), dir.begin(), dir.end());
    }
    const std::string in = Write(bytes);
    EXPECT_EQ(CountPages(in), 10);
    EXPECT_EQ(QuietSplit(in, 1).error, SplitError::None); // one page at a time fits
    CSplitResult r = QuietSplit(in, 10);
    EXPECT_EQ(r.error, SplitError::DamagedPage);
    EXPECT_EQ(r.parts, 0);
}

} // namespace

namespace {

TEST(TiffPagesMutationTest, RandomlyDamagedFilesNeverCrash) {
    // Flip bytes of a sound two-page file (mostly in the directories, where damage matters)
    // and push each result through every reader; only errors may come out.
    TempDir dir;
    const std::string merge = dir / "Merge";
    ASSERT_EQ(platform::CreateDir(merge), 0);
    CTiffBuilder b(false);
    std::vector<CTiffBuilder::Page> pages;
    for (int p = 0; p < 2; ++p) {
        pages.push_back(CTiffBuilder::BilevelPage(PagePixels(p, 24, 6), 24, 6));
    }
    const std::vector<std::uint8_t> sound = b.Build(pages);
    std::uint32_t seed = 12345;
    auto next = [&] {
        seed = seed * 1103515245u + 12345u;
        return seed >> 8;
    };
    const std::string path = dir / "m.tif";
    for (int round = 0; round < 300; ++round) {
        std::vector<std::uint8_t> bytes = sound;
        int flips = 1 + static_cast<int>(next() % 4);
        for (int f = 0; f < flips; ++f) {
            std::size_t at = next() % bytes.size();
            bytes[at] = static_cast<std::uint8_t>((next() % 3 == 0) ? 0xFF : next());
        }
        WriteBytes(path, bytes);
        CountPages(path);
        ::testing::internal::CaptureStderr();
        SplitPerRecipient(path, 1, merge, round);
        CopyPages(path, dir / "c.tif", false);
        ::testing::internal::GetCapturedStderr();
    }
}

} // namespace
