// velquin-tool import-abk and export-abk, the same code paths as the import dialog and the
// export command, on a large Windows-1251 file.
#include "BookFixture.h"
#include "support/TestSupport.h"

#include "platform/Encoding.h"
#include "platform/Files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <sys/wait.h>
#include <tuple>

namespace {

using testing_support::TempDir;

int RunTool(const std::string& args, std::string& output) {
    std::string command =
        testing_support::BuildDir() + "/tools/velquin-tool/velquin-tool " + args + " 2>&1";
    output.clear();
    FILE* p = ::popen(command.c_str(), "r");
    if (p == nullptr) {
        return -1;
    }
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) {
        output.append(buf, n);
    }
    int status = ::pclose(p);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

using Record = std::tuple<std::string, std::string, std::string>; // number, company, person

// Lines of the export: "@g; " prefixes, then "number; company; person".
std::vector<Record> ExportRecords(const std::string& cp1251, std::size_t& grouped) {
    std::vector<Record> out;
    grouped = 0;
    const std::string text = platform::Cp1251ToUtf8(cp1251);
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find("\r\n", pos);
        EXPECT_NE(end, std::string::npos) << "every line ends with CR LF";
        if (end == std::string::npos) {
            break;
        }
        std::string line = text.substr(pos, end - pos);
        pos = end + 2;
        if (line[0] == '@') {
            ++grouped;
        }
        while (!line.empty() && line[0] == '@') {
            line.erase(0, line.find("; ") + 2);
        }
        std::size_t a = line.find("; ");
        std::size_t b = line.find("; ", a + 2);
        out.emplace_back(line.substr(0, a), line.substr(a + 2, b - a - 2), line.substr(b + 2));
    }
    return out;
}

TEST(AbkToolTest, HundredThousandLinesRoundTrip) {
    TempDir dir;
    testing_support::IsolateEnvironment(dir.Path());
    std::string text;
    std::vector<Record> expected;
    char number[32];
    for (int i = 0; i < 100000; ++i) {
        std::snprintf(number, sizeof number, "8-812-%03d-%02d-%02d", i / 10000, (i / 100) % 100,
                      i % 100);
        const std::string company = "Фирма \"Ромашка\" №" + std::to_string(i);
        const std::string person = i % 7 == 0 ? "" : "Иванов Пётр " + std::to_string(i);
        if (i % 10 < 4) {
            text += "@Группа " + std::to_string(i / 10) + ";";
        }
        text += std::string(number) + ";" + company + ";x;" + person + "\r\n";
        std::string digits;
        for (char c : std::string(number)) {
            if (c >= '0' && c <= '9') {
                digits += c;
            }
        }
        expected.emplace_back(digits, company, person);
    }
    const std::string in = dir / "in.txt";
    testing_support::WriteFile(in, platform::Utf8ToCp1251(text));
    const std::string bookFile = dir / "book.abk";
    std::string out;
    ASSERT_EQ(RunTool("import-abk --fields number,company,skip,person --separator ';' " + in + " " +
                          bookFile,
                      out),
              0)
        << out;
    EXPECT_NE(out.find("100000 records, 10000 groups"), std::string::npos) << out;
    ASSERT_EQ(RunTool("export-abk " + bookFile + " " + dir / "out.txt", out), 0) << out;

    std::size_t grouped = 0;
    std::vector<Record> got =
        ExportRecords(testing_support::ReadFileOrDie(dir / "out.txt"), grouped);
    EXPECT_EQ(grouped, 40000u);
    std::sort(expected.begin(), expected.end());
    std::sort(got.begin(), got.end());
    EXPECT_TRUE(got == expected);

    // A second import adds to the existing book.
    testing_support::WriteFile(in, "3520809;Extra\n");
    ASSERT_EQ(RunTool("import-abk --fields number,company " + in + " " + bookFile, out), 0);
    EXPECT_NE(out.find("'8812'"), std::string::npos) << "message 2044: " << out;
    ASSERT_EQ(RunTool("export-abk " + bookFile + " " + dir / "out.txt", out), 0);
    got = ExportRecords(testing_support::ReadFileOrDie(dir / "out.txt"), grouped);
    EXPECT_EQ(got.size(), 100001u);
    EXPECT_EQ(std::count(got.begin(), got.end(), Record{"88123520809", "Extra", ""}), 1);
}

TEST(AbkToolTest, GroupsSharingSubgroupsExportQuickly) {
    TempDir dir;
    testing_support::IsolateEnvironment(dir.Path());
    CAddrBook book("Shared");
    abk_test::AddSharedSubgroups(book, 40);
    const std::string bookFile = dir / "shared.abk";
    testing_support::WriteFile(bookFile, WriteBook(book));
    std::string out;
    ASSERT_EQ(RunTool("export-abk " + bookFile + " " + dir / "out.txt", out), 0) << out;
    std::size_t grouped = 0;
    std::vector<Record> got =
        ExportRecords(testing_support::ReadFileOrDie(dir / "out.txt"), grouped);
    EXPECT_EQ(got.size(), 2u * 2 * 39 + 2);
    EXPECT_EQ(grouped, got.size());
}

TEST(AbkToolTest, BadArgumentsAndFiles) {
    TempDir dir;
    testing_support::IsolateEnvironment(dir.Path());
    const std::string in = dir / "in.txt";
    testing_support::WriteFile(in, "88121111111\n");
    std::string out;
    EXPECT_NE(RunTool("import-abk --fields company,person " + in + " " + dir / "b.abk", out), 0);
    EXPECT_NE(out.find("Укажите позицию для поля 'Факс'"), std::string::npos) << out;
    EXPECT_NE(RunTool("import-abk --fields number,bogus " + in + " " + dir / "b.abk", out), 0);
    EXPECT_NE(
        RunTool("import-abk --fields number " + dir / "missing.txt" + " " + dir / "b.abk", out), 0);
    EXPECT_NE(out.find("Не могу открыть файл с данными"), std::string::npos) << out;
    EXPECT_FALSE(platform::PathExists(dir / "b.abk"));

    // A file that is not a book is neither read nor overwritten.
    testing_support::WriteFile(dir / "junk.abk", "junk");
    EXPECT_NE(RunTool("import-abk --fields number " + in + " " + dir / "junk.abk", out), 0);
    EXPECT_EQ(testing_support::ReadFileOrDie(dir / "junk.abk"), "junk");
    EXPECT_NE(RunTool("export-abk " + dir / "junk.abk " + dir / "o.txt", out), 0);
    // Nor is a book the reader could not read whole (a record of an unknown kind).
    CAddrBook partial("Part");
    const std::size_t firstTag = WriteBook(partial).size();
    partial.AddEntry(std::make_unique<CContactEntry>("88121111111"));
    std::string bytes = WriteBook(partial);
    bytes[firstTag] = 9;
    testing_support::WriteFile(dir / "part.abk", bytes);
    EXPECT_NE(RunTool("import-abk --fields number " + in + " " + dir / "part.abk", out), 0);
    EXPECT_NE(out.find("part.abk"), std::string::npos) << out;
    EXPECT_EQ(testing_support::ReadFileOrDie(dir / "part.abk"), bytes);
    EXPECT_NE(RunTool("export-abk " + dir / "nothere.abk " + dir / "o.txt", out), 0);
}

} // namespace
