// Address book import of a 100,000-line Windows-1251 file: the reader alone, and the reader
// followed by the commit into a book (target: under 1 s together). Export of the result.
#include "addressbook/AddressBooks.h"
#include "addressbook/Export.h"
#include "addressbook/Import.h"
#include "app/Ports.h"
#include "platform/Encoding.h"
#include "platform/Files.h"
#include "platform/SysInfo.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace {

constexpr int kLines = 100000;

std::string MakeFile() {
    std::string text;
    char number[32];
    for (int i = 0; i < kLines; ++i) {
        std::snprintf(number, sizeof number, "8 (812) %03d-%02d-%02d", i / 10000, (i / 100) % 100,
                      i % 100);
        if (i % 10 < 4) {
            text += "@Группа " + std::to_string(i / 10) + ";";
        }
        text += std::string(number) + ";ООО \"Ромашка\" " + std::to_string(i) +
                ";x;Иванов Пётр Сергеевич\r\n";
    }
    return platform::Utf8ToCp1251(text);
}

std::string MakeTempDir() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr ? tmp : "/tmp") + "/bench_import.XXXXXX";
    return ::mkdtemp(pattern.data()) != nullptr ? pattern : std::string("/tmp");
}

struct Fixture {
    Fixture() : dir(MakeTempDir()), path(dir + "/import.txt") {
        platform::AtomicWriteFile(path, MakeFile());
        platform::SetTelephoneCountryCodeForTest(7);
    }
    ~Fixture() {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    std::string dir;
    std::string path;
};

Fixture& Shared() {
    static Fixture f;
    return f;
}

class CBenchDialog : public IImportDialog {
public:
    explicit CBenchDialog(std::string path) : m_path(std::move(path)) {}
    bool GetPreview() override { return true; }
    std::string GetPath() override { return m_path; }
    std::string GetSeparator() override { return ";"; }
    bool GetIgnoreFlag() override { return true; }
    CFieldMap GetFieldMap() override {
        CImportFields f;
        f.SetInput({kFieldNumber, kFieldCompany, kFieldSkip, kFieldPerson});
        return f.FieldMap();
    }
    void ProgressStart(std::uint64_t) override {}
    void ProgressStep(std::uint64_t) override {}
    void ProgressEnd() override {}
    void RowsAdded(std::vector<CImportRow>&& batch, std::size_t) override {
        for (auto& r : batch) {
            rows.push_back(std::move(r));
        }
    }
    void OpenFailed() override {}
    void Finished(bool, bool) override {}
    std::vector<CImportRow> rows;

private:
    std::string m_path;
};

void BM_ImportReader(benchmark::State& state) {
    Fixture& f = Shared();
    for (auto _ : state) {
        CBenchDialog dlg(f.path);
        RunImportReader(dlg, {});
        if (dlg.rows.size() != kLines) {
            state.SkipWithError("wrong row count");
        }
        state.PauseTiming();
        dlg.rows.clear();
        dlg.rows.shrink_to_fit();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kLines);
}
BENCHMARK(BM_ImportReader)->Unit(benchmark::kMillisecond);

void BM_ImportReadAndCommit(benchmark::State& state) {
    Fixture& f = Shared();
    for (auto _ : state) {
        CBenchDialog dlg(f.path);
        RunImportReader(dlg, {});
        auto book = std::make_unique<CAddrBook>("Bench");
        CommitImport(dlg.rows, *book);
        if (book->Size() != kLines + kLines / 10) {
            state.SkipWithError("wrong entry count");
        }
        state.PauseTiming();
        book.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kLines);
}
BENCHMARK(BM_ImportReadAndCommit)->Unit(benchmark::kMillisecond);

void BM_ExportBook(benchmark::State& state) {
    Fixture& f = Shared();
    CBenchDialog dlg(f.path);
    RunImportReader(dlg, {});
    AddressBooks().Add(std::make_unique<CAddrBook>("Bench"));
    CAddrBook& book = *AddressBooks().back();
    CommitImport(dlg.rows, book);
    CQuietPrompt prompt;
    const std::string out = f.dir + "/export.txt";
    for (auto _ : state) {
        ExportBook(book, out, prompt, nullptr);
    }
    AddressBooks().Clear();
    state.SetItemsProcessed(state.iterations() * kLines);
}
BENCHMARK(BM_ExportBook)->Unit(benchmark::kMillisecond);

// Reference: the GUIDs a commit of the file needs (one per contact and group).
void BM_NewGuidsForCommit(benchmark::State& state) {
    for (auto _ : state) {
        for (int i = 0; i < kLines + kLines / 10; ++i) {
            benchmark::DoNotOptimize(platform::NewGuid());
        }
    }
}
BENCHMARK(BM_NewGuidsForCommit)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
