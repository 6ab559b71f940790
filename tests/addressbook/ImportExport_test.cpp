#include "BookFixture.h"

#include "addressbook/AddressBooks.h"
#include "addressbook/Export.h"
#include "addressbook/Import.h"
#include "app/ThreadControl.h"
#include "platform/Encoding.h"

#include <random>

namespace {

using abk_test::BookFixture;
using testing_support::FakeFrame;
using testing_support::FakePrompt;

CFieldMap MapOf(std::vector<int> input) {
    CImportFields f;
    f.SetInput(std::move(input));
    return f.FieldMap();
}

CImportOptions Options(std::vector<int> input, bool ignore = true) {
    CImportOptions o;
    o.map = MapOf(std::move(input));
    o.ignoreInvalid = ignore;
    o.areaPrefix = "8812";
    return o;
}

std::vector<CImportRow> Parse(std::string_view text, const CImportOptions& o,
                              CImportResult* result = nullptr) {
    std::vector<CImportRow> rows;
    CImportResult r = ParseImportText(text, o, rows);
    if (result != nullptr) {
        *result = r;
    }
    return rows;
}

TEST(ImportFieldsTest, MovesBetweenTheLists) {
    CImportFields f;
    EXPECT_EQ(f.Available(), (std::vector<int>{1, 2, 3, 100}));
    ASSERT_TRUE(f.MoveToInput(1));    // company
    ASSERT_TRUE(f.MoveToInput(2));    // skip stays available
    ASSERT_TRUE(f.MoveToInput(2));    // skip again
    ASSERT_TRUE(f.MoveToInput(0, 1)); // number before the first skip
    EXPECT_EQ(f.Input(), (std::vector<int>{2, 1, 100, 100}));
    EXPECT_EQ(f.Available(), (std::vector<int>{3, 100}));
    ASSERT_TRUE(f.MoveToAvailable(0)); // company back to the end
    ASSERT_TRUE(f.MoveToAvailable(1)); // a skip vanishes
    EXPECT_EQ(f.Input(), (std::vector<int>{1, 100}));
    EXPECT_EQ(f.Available(), (std::vector<int>{3, 100, 2}));
    EXPECT_FALSE(f.MoveToInput(7));
    EXPECT_FALSE(f.MoveToAvailable(-1));
    CFieldMap map = f.FieldMap();
    EXPECT_EQ(map.codes, std::vector<int>{1});
    EXPECT_EQ(map.positions, std::vector<int>{0});
}

TEST(ImportFieldsTest, ChecksBeforeReading) {
    EXPECT_EQ(CheckImportFields(MapOf({100, 100}), ";"), 1013u);
    EXPECT_EQ(CheckImportFields(MapOf({2, 3}), ";"), 1014u);
    EXPECT_EQ(CheckImportFields(MapOf({1}), ""), 1015u);
    EXPECT_EQ(CheckImportFields(MapOf({100, 1}), ";"), 0u);
    EXPECT_EQ(CheckImportPath("a.txt"), 1016u);
    EXPECT_EQ(CheckImportPath("/a.txt"), 0u);
    EXPECT_EQ(ImportFieldText(kFieldSkip), "-- пропустить поле --");
}

TEST(ImportParseTest, FieldsNumbersAndPrefix) {
    CImportResult r;
    auto rows = Parse("Firm;x;8-812-352-08-09\n", Options({2, 100, 1}), &r);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].number, "88123520809");
    EXPECT_EQ(rows[0].company, "Firm");
    EXPECT_FALSE(r.prefixed);

    rows = Parse("+7 495 123 45 67\n", Options({1}), &r);
    EXPECT_EQ(rows.at(0).number, "81074951234567");
    EXPECT_FALSE(r.prefixed);

    rows = Parse("3520809;  Acme Ltd \t;  Ivan \r\n", Options({1, 2, 3}), &r);
    EXPECT_EQ(rows.at(0).number, "88123520809");
    EXPECT_EQ(rows[0].company, "Acme Ltd");
    EXPECT_EQ(rows[0].person, "Ivan");
    EXPECT_TRUE(r.prefixed);
    EXPECT_EQ(ImportPrefixedMessage().find("'8812'") != std::string::npos, true);

    // Only a leading plus means "abroad".
    rows = Parse("+49+30 1234\n", Options({1}));
    EXPECT_EQ(rows.at(0).number, "81049301234");
}

TEST(ImportParseTest, GroupLinesShiftOnlyTheirOwnFields) {
    auto rows = Parse("@Partners;88123520809;Firm\n"
                      "@@Clients  \t;;Dropped\n"
                      "84951234567;Plain\n",
                      Options({1, 2}));
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].group, "Partners");
    EXPECT_EQ(rows[0].number, "88123520809");
    EXPECT_EQ(rows[0].company, "Firm");
    EXPECT_EQ(rows[1].group, "");
    EXPECT_EQ(rows[1].number, "84951234567");
    EXPECT_EQ(rows[1].company, "Plain");

    // Without the ignore flag an empty number becomes the prefix alone.
    CImportResult r;
    rows = Parse("@G;;x\n", Options({1, 2}, false), &r);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].group, "G");
    EXPECT_EQ(rows[0].number, "8812");
    EXPECT_EQ(rows[0].company, "x");
    EXPECT_TRUE(r.prefixed);
}

TEST(ImportParseTest, FieldLimitsAndControlCharacters) {
    const std::string longCompany(300, 'c');
    auto rows = Parse("8812;" + longCompany + ";Pe\x01rson\n", Options({1, 2, 3}));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].company, std::string(255, 'c'));
    EXPECT_EQ(rows[0].person, "Pe");

    // 255 bytes of a UTF-8 file never end inside a character.
    std::string cyr;
    for (int i = 0; i < 200; ++i) {
        cyr += "Ж";
    }
    rows = Parse("8812;" + cyr + "\n", Options({1, 2}));
    EXPECT_EQ(rows.at(0).company.size(), 254u);
    EXPECT_TRUE(platform::IsValidUtf8(rows[0].company));

    // The same text in Windows-1251 is 200 bytes: all of it is kept.
    rows = Parse("8812;" + platform::Utf8ToCp1251(cyr) + "\n", Options({1, 2}));
    EXPECT_EQ(rows.at(0).company, cyr);
}

TEST(ImportParseTest, LongLinesContinueAsNextLine) {
    // 511 bytes form a line; the rest is read as a line of its own.
    std::string line = "88121111111;" + std::string(499, 'x') + "84952222222;Tail\n";
    ASSERT_EQ(line.size(), 511u + 17u);
    auto rows = Parse(line, Options({1, 2}));
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].number, "88121111111");
    EXPECT_EQ(rows[1].number, "84952222222");
    EXPECT_EQ(rows[1].company, "Tail");
}

TEST(ImportParseTest, Windows1251AndUtf8Input) {
    const std::string utf8 = "88121111111;Фирма;Иван\n";
    auto rows = Parse(utf8, Options({1, 2, 3}));
    EXPECT_EQ(rows.at(0).company, "Фирма");
    rows = Parse(platform::Utf8ToCp1251(utf8), Options({1, 2, 3}));
    EXPECT_EQ(rows.at(0).company, "Фирма");
    EXPECT_EQ(rows.at(0).person, "Иван");

    // A byte order mark does not hide the group of the first line.
    rows = Parse("\xEF\xBB\xBF@Группа;88121111111;Фирма\n", Options({1, 2}));
    EXPECT_EQ(rows.at(0).group, "Группа");

    // A Cyrillic separator in a Windows-1251 file.
    CImportOptions o = Options({1, 2});
    o.separator = U'Ж';
    rows = Parse(platform::Utf8ToCp1251("88121111111ЖФирма\n"), o);
    EXPECT_EQ(rows.at(0).company, "Фирма");
}

// Files in the other shapes spreadsheets and editors write: UTF-16 with its byte-order mark
// ("Unicode text"), and UTF-8 with a stray byte, which is read as Windows-1251 as before but
// flagged, and read right once the user picks UTF-8.
TEST(ImportParseTest, Utf16AndDamagedUtf8) {
    const std::string text = "88121111111;Фирма;Иван\r\n88122222222;Лютик;Пётр\r\n";
    const std::u16string units = platform::Utf8ToUtf16(text);
    std::string le = "\xFF\xFE", be = "\xFE\xFF";
    for (char16_t u : units) {
        le += {static_cast<char>(u & 0xFF), static_cast<char>(u >> 8)};
        be += {static_cast<char>(u >> 8), static_cast<char>(u & 0xFF)};
    }
    for (const std::string& file : {le, be}) {
        auto rows = Parse(file, Options({1, 2, 3}));
        ASSERT_EQ(rows.size(), 2u);
        EXPECT_EQ(rows[1].company, "Лютик");
        EXPECT_EQ(rows[1].person, "Пётр");
    }

    const std::string damaged = "88121111111;Фирма;Иван\xE9\r\n88122222222;Лютик;Пётр\r\n";
    CImportResult result;
    auto rows = Parse(damaged, Options({1, 2, 3}), &result);
    EXPECT_TRUE(result.uncertain);
    EXPECT_NE(rows.at(1).company, "Лютик");
    CImportOptions utf8 = Options({1, 2, 3});
    utf8.encoding = ImportEncoding::Utf8;
    rows = Parse(damaged, utf8, &result);
    EXPECT_FALSE(result.uncertain);
    EXPECT_EQ(rows.at(0).person, "Иван?");
    EXPECT_EQ(rows.at(1).company, "Лютик");

    // Windows-1251 text is not mistaken for damaged UTF-8, and can be chosen outright.
    Parse(platform::Utf8ToCp1251(text + "@Группа;88123333333;Ёлка «Зима» №5\r\n"),
          Options({1, 2, 3}), &result);
    EXPECT_FALSE(result.uncertain);
    CImportOptions cp1251 = Options({1, 2, 3});
    cp1251.encoding = ImportEncoding::Cp1251;
    EXPECT_EQ(Parse(platform::Utf8ToCp1251(text), cp1251).at(0).company, "Фирма");
}

TEST(ImportParseTest, HostileInputNeverBreaksTheReader) {
    std::mt19937 rng(7);
    std::string binary(1 << 20, '\0');
    for (char& c : binary) {
        c = static_cast<char>(rng());
    }
    std::vector<CImportRow> rows;
    ParseImportText(binary, Options({1, 2, 3}, false), rows);
    for (const CImportRow& r : rows) {
        EXPECT_LE(r.company.size(), 255u * 3);
        EXPECT_EQ(r.number.find_first_not_of("0123456789"), std::string::npos);
    }

    rows = Parse(std::string(100000, ';'), Options({1, 2}));
    EXPECT_TRUE(rows.empty());
    rows = Parse(std::string(100000, '@'), Options({1, 2}, false));
    EXPECT_EQ(rows.size(), (100000u + 510) / 511);
    EXPECT_EQ(rows.at(0).group, "");
    rows = Parse(std::string(2000000, '7'), Options({1}));
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows[0].number, "8812" + std::string(255, '7'));
}

// The dialog side of the reader, recorded.
class FakeImportDialog : public IImportDialog {
public:
    bool GetPreview() override { return preview; }
    std::string GetPath() override { return path; }
    std::string GetSeparator() override { return ";"; }
    bool GetIgnoreFlag() override { return true; }
    CFieldMap GetFieldMap() override { return MapOf({1, 2, 3}); }
    void ProgressStart(std::uint64_t total) override { progressTotal = total; }
    void ProgressStep(std::uint64_t position) override { lastStep = position; }
    void ProgressEnd() override { ++progressEnds; }
    void RowsAdded(std::vector<CImportRow>&& batch, std::size_t read) override {
        for (auto& r : batch) {
            rows.push_back(std::move(r));
        }
        recordsRead = read;
        ++batches;
    }
    void OpenFailed() override { ++openFailed; }
    void Finished(bool p, bool notStopped) override {
        ++finished;
        prefixed = p;
        complete = notStopped;
    }

    bool preview = true;
    std::string path;
    std::vector<CImportRow> rows;
    std::uint64_t progressTotal = 0, lastStep = 0;
    std::size_t recordsRead = 0;
    int progressEnds = 0, batches = 0, openFailed = 0, finished = 0;
    bool prefixed = false, complete = false;
};

class ImportReaderTest : public BookFixture {};

TEST_F(ImportReaderTest, ReadsAFileInBatchesAndReports) {
    std::string text;
    for (int i = 0; i < 1000; ++i) {
        text += (i == 500 ? "1234567" : "8812" + std::to_string(1000000 + i)) + ";Firm;P\n";
    }
    FakeImportDialog dlg;
    dlg.path = root / "in.txt";
    testing_support::WriteFile(dlg.path, text);
    RunImportReader(dlg, {});
    EXPECT_EQ(dlg.rows.size(), 1000u);
    EXPECT_EQ(dlg.recordsRead, 1000u);
    EXPECT_GT(dlg.batches, 1);
    EXPECT_EQ(dlg.progressTotal, text.size());
    EXPECT_EQ(dlg.lastStep, text.size());
    EXPECT_EQ(dlg.progressEnds, 1);
    EXPECT_EQ(dlg.finished, 1);
    EXPECT_TRUE(dlg.prefixed);
    EXPECT_TRUE(dlg.complete);
    EXPECT_EQ(dlg.rows[500].number, "88121234567");
}

TEST_F(ImportReaderTest, MissingFileAndStopRequest) {
    FakeImportDialog missing;
    missing.path = root / "missing.txt";
    RunImportReader(missing, {});
    EXPECT_EQ(missing.openFailed, 1);
    EXPECT_EQ(missing.finished, 0);
    EXPECT_EQ(missing.progressEnds, 0);

    FakeImportDialog dir;
    dir.path = root.Path();
    RunImportReader(dir, {});
    EXPECT_EQ(dir.openFailed, 1);

    FakeImportDialog stopped;
    stopped.path = root / "in.txt";
    testing_support::WriteFile(stopped.path, "88121111111\n88122222222\n88123333333\n");
    int lines = 0;
    RunImportReader(stopped, [&] { return ++lines > 2; });
    EXPECT_EQ(stopped.rows.size(), 2u);
    EXPECT_EQ(stopped.finished, 1);
    EXPECT_FALSE(stopped.complete);

    FakeImportDialog noPreview;
    noPreview.preview = false;
    RunImportReader(noPreview, {});
    EXPECT_EQ(noPreview.finished, 1);
    EXPECT_FALSE(noPreview.complete);
}

TEST_F(ImportReaderTest, PreviewRowsAreRemoved) {
    std::vector<CImportRow> rows(5);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        rows[i].number = std::to_string(i);
    }
    RemovePreviewRows(rows, {3, 0, 3, 99});
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].number, "1");
    EXPECT_EQ(rows[2].number, "4");
}

class ImportCommitTest : public BookFixture {};

TEST_F(ImportCommitTest, RowsBecomeContactsAndGroups) {
    std::vector<CImportRow> rows = {
        {"G1", "1", "A", "a"}, {"G1", "2", "B", "b"}, {"", "3", "C", "c"},
        {"G2", "4", "D", "d"}, {"G1", "5", "E", "e"},
    };
    FakeFrame frame;
    EXPECT_EQ(CommitImport(rows, *book, &frame), 3u);
    EXPECT_EQ(frame.progressStarts, 1);
    EXPECT_EQ(frame.progressEnds, 1);
    int contacts = 0, groups = 0;
    CountEntries(*book, contacts, groups);
    EXPECT_EQ(contacts, 5);
    EXPECT_EQ(groups, 3) << "G1 met again after G2 starts a second G1";
    std::vector<std::pair<std::string, std::size_t>> seen;
    book->ForEachEntry([&](CAddrBookEntry& e) {
        if (auto* g = dynamic_cast<CGroupEntry*>(&e)) {
            seen.emplace_back(g->m_name, g->m_members.size());
            for (const Guid& m : g->m_members) {
                auto* c = dynamic_cast<CContactEntry*>(book->FindEntry(m));
                ASSERT_NE(c, nullptr);
                EXPECT_EQ(c->m_groups, std::vector<Guid>{g->m_guid});
                EXPECT_EQ(c->m_domestic, 1);
            }
        }
    });
    EXPECT_EQ(seen,
              (std::vector<std::pair<std::string, std::size_t>>{{"G1", 2}, {"G2", 1}, {"G1", 1}}));
}

TEST_F(ImportCommitTest, ThreeRowsTwoGroupsLastOneFiled) {
    std::vector<CImportRow> rows = {{"G1", "1", "", ""}, {"G1", "2", "", ""}, {"G2", "3", "", ""}};
    EXPECT_EQ(CommitImport(rows, *book), 2u);
    EXPECT_EQ(book->Size(), 5u);
}

TEST_F(ImportCommitTest, WithoutACurrentBookTheDefaultBookTakesTheRows) {
    AddressBooks().Clear();
    AddressBooks().MakeCurrent(nullptr);
    int changed = 0;
    CommitImportToCurrentBook({{"", "1", "", ""}}, nullptr, [&] { ++changed; });
    ASSERT_EQ(AddressBooks().size(), 1u);
    EXPECT_EQ(CurrentBook()->m_name, "Мои Контакты");
    EXPECT_EQ(CurrentBook()->Size(), 1u);
    EXPECT_EQ(changed, 1);
}

class ExportTest : public BookFixture {};

TEST_F(ExportTest, LineShapesAndNesting) {
    CContactEntry* plain = AddContact("88121111111", "Firm", "Person");
    CContactEntry* moscow = AddContact("84951234567", "Firm", "Person");
    CGroupEntry* inner = AddGroup("Moscow", {moscow});
    CGroupEntry* outer = AddGroup("Clients", {inner});
    outer->m_members.push_back(platform::NewGuid()); // deleted member: skipped
    AddGroup("Empty");
    (void)plain;
    EXPECT_EQ(ExportBookText(*book), "88121111111; Firm; Person\r\n"
                                     "@Moscow; 84951234567; Firm; Person\r\n"
                                     "@Clients; @Moscow; 84951234567; Firm; Person\r\n");
}

TEST_F(ExportTest, GroupedBookWritesOnlyGroupLinesAndLoopsEnd) {
    CContactEntry* a = AddContact("1", "A", "a");
    CContactEntry* b = AddContact("2", "B", "b");
    CGroupEntry* g = AddGroup("G", {a, b});
    g->m_members.push_back(g->m_guid); // a damaged book: the group contains itself
    EXPECT_EQ(ExportBookText(*book), "@G; 1; A; a\r\n@G; 2; B; b\r\n");
}

TEST_F(ExportTest, ContactsOfDeletedGroupsAreWrittenAgain) {
    // "Clients" holds a contact and the nested group "Moscow" with two more; a group of another
    // book lists "Clients". Both groups go, one from the tree, the other from the list.
    CContactEntry* a = AddContact("1", "A", "a");
    CContactEntry* b = AddContact("2", "B", "b");
    CContactEntry* c = AddContact("3", "C", "c");
    CGroupEntry* moscow = AddGroup("Moscow", {b, c});
    CGroupEntry* clients = AddGroup("Clients", {a, moscow});
    AddressBooks().Add(std::make_unique<CAddrBook>("Other"));
    CGroupEntry* foreign = AddGroup("Foreign", {clients}, AddressBooks().back());
    const Guid moscowGuid = moscow->m_guid;

    AddressBooks().Delete(clients->m_guid);
    EXPECT_TRUE(foreign->m_members.empty());
    EXPECT_EQ(ExportBookText(*book), "1; A; a\r\n@Moscow; 2; B; b\r\n@Moscow; 3; C; c\r\n");
    ASSERT_TRUE(book->RemoveEntry(moscowGuid));
    EXPECT_EQ(ExportBookText(*book), "1; A; a\r\n2; B; b\r\n3; C; c\r\n");
    // The file says the same as the export.
    auto reread = ReadBook(WriteBook(*book));
    ASSERT_NE(reread, nullptr);
    EXPECT_EQ(ExportBookText(*reread), ExportBookText(*book));
}

// A chain of 100,000 groups: the walk keeps its own stack; groups that write nothing are not
// walked again for each group above them (hours); the text of a chain that does is bounded.
TEST_F(ExportTest, ADeepChainOfGroupsIsWalkedWithoutRecursionAndBounded) {
    abk_test::AddGroupChain(*book, 100'000, "1", "");
    EXPECT_EQ(ExportBookText(*book), "@G0; 1; ; \r\n");

    AddressBooks().Add(std::make_unique<CAddrBook>("Deep"));
    CAddrBook& deep = *AddressBooks().back();
    const CGroupEntry* top = abk_test::AddGroupChain(deep, 100'000, "", "2");
    std::string line;
    ExportEntryText(*top, line);
    EXPECT_EQ(line.substr(0, 10), "@G0; @G1; ");
    EXPECT_EQ(line.substr(line.size() - 16), "@G99999; 2; ; \r\n");
    bool tooLarge = false;
    EXPECT_LE(ExportBookText(deep, {}, {}, 1 << 20, &tooLarge).size(), (1u << 20) + line.size());
    EXPECT_TRUE(tooLarge);
}

TEST_F(ExportTest, GroupsSharingSubgroupsAreWalkedOncePerGroupAndTheTextIsBounded) {
    abk_test::AddSharedSubgroups(*book, 40);
    const std::string text = ExportBookText(*book);
    // Each of the 80 groups writes each group below it once: the two contacts once each
    // (once for the two groups of the last level).
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2 * 2 * 39 + 2);
    EXPECT_LT(text.size(), 200u * 1024);
    EXPECT_NE(text.find("@L39b; @L40a; 88120000000; ; \r\n@L39b; @L40b; 88120000001; ; \r\n"),
              std::string::npos);

    // Past the limit the text ends, and the export says so and writes nothing.
    bool tooLarge = false;
    const std::string cut = ExportBookText(*book, {}, {}, 1000, &tooLarge);
    EXPECT_TRUE(tooLarge);
    EXPECT_LT(cut.size(), 2000u);
}

TEST_F(ExportTest, WritesWindows1251WithProgressAndReportsFileErrors) {
    AddContact("88121111111", "Фирма", "Иван");
    FakePrompt prompt;
    FakeFrame frame;
    const std::string path = root / "out.txt";
    ASSERT_TRUE(ExportBook(*book, path, prompt, &frame));
    EXPECT_EQ(testing_support::ReadFileOrDie(path),
              platform::Utf8ToCp1251("88121111111; Фирма; Иван\r\n"));
    EXPECT_EQ(frame.progressStarts, 1);
    EXPECT_EQ(frame.progressEnds, 1);
    auto status = frame.StatusTexts();
    ASSERT_EQ(status.size(), 2u);
    EXPECT_EQ(status[0], "Экспорт базы данных в текстовый файл...");
    EXPECT_EQ(status[1], "");
    EXPECT_TRUE(prompt.fileErrors.empty());

    EXPECT_FALSE(ExportBook(*book, root / "no/such/dir/out.txt", prompt, &frame));
    ASSERT_EQ(prompt.fileErrors.size(), 1u);
    EXPECT_NE(prompt.fileErrors[0].find("out.txt"), std::string::npos);
    EXPECT_EQ(ExportFileFilter(), "Text files (*.txt)|*.txt||");
}

TEST_F(ExportTest, ExportReadsBackThroughImport) {
    CContactEntry* c = AddContact("84951234567", "Firm", "Person");
    AddGroup("Clients", {c});
    std::vector<CImportRow> rows =
        Parse(platform::Utf8ToCp1251(ExportBookText(*book)), Options({1, 2, 3}));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].group, "Clients");
    EXPECT_EQ(rows[0].number, "84951234567");
    EXPECT_EQ(rows[0].company, "Firm");
    EXPECT_EQ(rows[0].person, "Person");
}

} // namespace
