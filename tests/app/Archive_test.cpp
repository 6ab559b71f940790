#include "app/Archive.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Bytes(std::initializer_list<int> b) {
    std::string s;
    for (int c : b) {
        s.push_back(static_cast<char>(c));
    }
    return s;
}

TEST(ArchiveTest, IntegersAreLittleEndian) {
    CArchive ar;
    ar.WriteU16(0x1234);
    ar.WriteI32(-2);
    ar.WriteI64(0x0102030405060708LL);
    EXPECT_EQ(ar.Buffer(), Bytes({0x34, 0x12, 0xFE, 0xFF, 0xFF, 0xFF, 8, 7, 6, 5, 4, 3, 2, 1}));

    CArchive in(ar.Buffer());
    EXPECT_EQ(in.ReadU16(), 0x1234);
    EXPECT_EQ(in.ReadI32(), -2);
    EXPECT_EQ(in.ReadI64(), 0x0102030405060708LL);
    EXPECT_EQ(in.Remaining(), 0u);
}

TEST(ArchiveTest, TextPrefixesByLength) {
    struct Case {
        std::size_t length;
        std::string prefix;
    };
    const Case cases[] = {
        {0, Bytes({0})},
        {254, Bytes({254})},
        {255, Bytes({255, 255, 0})},
        {65533, Bytes({255, 0xFD, 0xFF})},
        {65534, Bytes({255, 0xFF, 0xFF, 0xFE, 0xFF, 0, 0})},
        {70000, Bytes({255, 0xFF, 0xFF, 0x70, 0x11, 0x01, 0})},
    };
    for (const Case& c : cases) {
        std::string text(c.length, 'a');
        CArchive ar;
        ar.WriteString(text);
        ASSERT_EQ(ar.Buffer().size(), c.prefix.size() + c.length) << c.length;
        EXPECT_EQ(ar.Buffer().substr(0, c.prefix.size()), c.prefix) << c.length;
        CArchive in(ar.Buffer());
        EXPECT_EQ(in.ReadString(), text) << c.length;
        EXPECT_EQ(in.Remaining(), 0u);
    }
}

TEST(ArchiveTest, CyrillicIsWrittenInTheCodePage) {
    CArchive ar;
    ar.WriteString("Мои");
    EXPECT_EQ(ar.Buffer(), Bytes({3, 0xCC, 0xEE, 0xE8}));
    CArchive in(ar.Buffer());
    EXPECT_EQ(in.ReadString(), "Мои");
}

TEST(ArchiveTest, TextOutsideTheCodePageUsesUtf16Form) {
    const std::string text = "a€中"; // the euro sign is in 1251, the ideograph is not
    CArchive ar;
    ar.WriteString(text);
    EXPECT_EQ(ar.Buffer(), Bytes({255, 0xFE, 0xFF, 3, 'a', 0, 0xAC, 0x20, 0x2D, 0x4E}));
    CArchive in(ar.Buffer());
    EXPECT_EQ(in.ReadString(), text);
}

TEST(ArchiveTest, ReadsUtf16FormWithLongLength) {
    std::string data = Bytes({255, 0xFE, 0xFF, 255, 0x00, 0x01});
    for (int i = 0; i < 256; ++i) {
        data += Bytes({0x2F, 0x04}); // "Я"
    }
    CArchive in(data);
    std::string text = in.ReadString();
    EXPECT_EQ(text.size(), 512u);
    EXPECT_EQ(text.substr(0, 2), "Я");
}

TEST(ArchiveTest, TruncatedAndHostileInputThrowsBeforeAllocating) {
    const std::string cases[] = {
        Bytes({5, 'a', 'b'}),                             // text shorter than its prefix
        Bytes({255, 0x10}),                               // prefix cut
        Bytes({255, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F}), // 2 GB claimed
        Bytes({255, 0xFE, 0xFF, 255, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), // 8 GB of units
        Bytes({255, 0xFE, 0xFF, 4, 'a', 0}),       // fewer units than claimed
        Bytes({255, 0xFE, 0xFF, 255, 0xFE, 0xFF}), // marker twice
    };
    for (const std::string& c : cases) {
        CArchive in(c);
        EXPECT_THROW(in.ReadString(), CArchiveException);
    }
    CArchive shortInt(Bytes({1, 2, 3}));
    EXPECT_THROW(shortInt.ReadI32(), CArchiveException);
    CArchive empty(std::string_view{});
    EXPECT_THROW(empty.ReadU16(), CArchiveException);
}

TEST(ArchiveTest, FileErrorsNameTheFile) {
    try {
        ReadArchiveFile("/nonexistent/dir/job.fax");
        FAIL();
    } catch (const CFileException& e) {
        EXPECT_EQ(e.GetPath(), "/nonexistent/dir/job.fax");
        EXPECT_NE(DescribeFileError(e, e.GetPath()).find("job.fax"), std::string::npos);
    }
    EXPECT_THROW(WriteArchiveFile("/nonexistent/dir/job.fax", "x"), CFileException);
}

} // namespace
