// Fax store loading: 10,000 sent job files with their images plus 1,000 printed documents,
// and an address book of 100,000 contacts read and written.
#include "addressbook/AddrBook.h"
#include "app/Ports.h"
#include "app/Settings.h"
#include "platform/Files.h"
#include "platform/SysInfo.h"
#include "service/JobState.h"
#include "store/VelquinDoc.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

void Put(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

class CQuietFrame : public IFrame {
public:
    void ProgressStart(int) override {}
    void ProgressStep(int) override {}
    void ProgressEnd() override {}
    void SetStatusText(std::string_view) override {}
    bool RunOnGuiThread(const std::function<void()>& work) override {
        work();
        return true;
    }
    void PostCommand(int) override {}
    void AddressBooksLoaded() override {}
};

// One store for the whole run, removed at exit.
struct CStoreFixture {
    std::string root;
    CStoreFixture() {
        char tmpl[] = "/tmp/velquin-bench-XXXXXX";
        root = mkdtemp(tmpl);
        Settings().DataDir = root + "/data";
        Settings().FaxDir = root + "/fax";
        std::filesystem::create_directories(root + "/data/SentFaxes");
        std::filesystem::create_directories(root + "/fax");
        const std::string sent = root + "/data/SentFaxes/";
        for (int i = 0; i < 10000; ++i) {
            char stem[32];
            std::snprintf(stem, sizeof stem, "Fax%08X", 0x60000000 + i);
            std::unique_ptr<CFaxEntryBase> rec;
            if (i % 10 == 0) {
                auto list = std::make_unique<CGroupFaxEntry>("Рассылка " + std::to_string(i));
                list->m_recipients.resize(20);
                for (int r = 0; r < 20; ++r) {
                    list->m_recipients[r].m_faxId = 1000000000 + i * 20 + r;
                    list->m_recipients[r].m_recipient = "8812" + std::to_string(3000000 + r);
                }
                list->m_path = sent + stem + ".TIF";
                rec = std::move(list);
            } else {
                auto single = std::make_unique<CSingleFaxEntry>("Документ " + std::to_string(i));
                single->m_recipient = "88123520809";
                single->m_attempts.push_back({1, 0, 45, 1700000000});
                single->m_path = sent + stem + ".TIF";
                rec = std::move(single);
            }
            rec->m_time = 1700000000 + (i * 7919) % 10000;
            Put(sent + stem + ".fax", StoreRecord(*rec));
            Put(sent + stem + ".TIF", "");
        }
        for (int i = 0; i < 1000; ++i) {
            std::string stem = root + "/fax/print" + std::to_string(i);
            Put(stem + ".tif", "");
            Put(stem + ".tag", "Печать " + std::to_string(i) + "\r\n");
        }
    }
    ~CStoreFixture() { std::filesystem::remove_all(root); }
};

CStoreFixture& Store() {
    static CStoreFixture fixture;
    return fixture;
}

void BM_LoadStore10kJobs1kDocuments(benchmark::State& state) {
    Store();
    CQuietPrompt prompt;
    CQuietFrame frame;
    CVelquinDoc doc(prompt, frame);
    for (auto _ : state) {
        // Releasing the previous round's records is not part of loading.
        state.PauseTiming();
        doc.SentFaxes().Adopt({});
        doc.Printed().Adopt({});
        state.ResumeTiming();
        doc.SentFaxes().Load();
        doc.Printed().Load();
        benchmark::DoNotOptimize(doc.SentRecords().size());
    }
    if (doc.SentRecords().size() != 10000 || doc.Printed().Records().size() != 1000) {
        state.SkipWithError("store did not load completely");
    }
}
BENCHMARK(BM_LoadStore10kJobs1kDocuments)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// One status reply changing one entry among N sent faxes, as the GUI thread applies it: the
// cost must not grow with N. The entries have no image in SentFaxes, so no job file is
// written and only the owner's own work is measured.
void BM_OneStateChangeAmongSentFaxes(benchmark::State& state) {
    CQuietPrompt prompt;
    CSentFaxes sent(prompt);
    const int n = static_cast<int>(state.range(0));
    for (int i = 0; i < n; ++i) {
        auto e = std::make_unique<CSingleFaxEntry>("Счёт " + std::to_string(i));
        e->m_faxId = 1000000000 + i;
        e->m_path = "/nowhere/Fax" + std::to_string(i) + ".tif";
        sent.Add(std::move(e));
    }
    int told = 0;
    auto subscription = sent.Subscribe([&told](const CSentChange&) { ++told; });
    std::int32_t next = kJobStateDelivered;
    for (auto _ : state) {
        next = next == kJobStateDelivered ? kJobStateQueued : kJobStateDelivered;
        benchmark::DoNotOptimize(sent.ApplyJobStates({{1000000000 + n / 2, next}}));
    }
    if (told != static_cast<int>(state.iterations())) {
        state.SkipWithError("a change was not told");
    }
}
BENCHMARK(BM_OneStateChangeAmongSentFaxes)->Arg(1000)->Arg(100000)->Unit(benchmark::kMicrosecond);

struct CBookFixture {
    std::string path;
    std::string bytes;
    CBookFixture() {
        path = Store().root + "/big.abk";
        CAddrBook book("Большая книга");
        std::vector<Guid> some;
        for (int i = 0; i < 100000; ++i) {
            auto c = std::make_unique<CContactEntry>("8812" + std::to_string(3000000 + i));
            c->m_company = "ООО Компания " + std::to_string(i % 5000);
            c->m_person = "Иванов Иван " + std::to_string(i);
            if (i % 10 == 0) {
                some.push_back(c->m_guid);
            }
            book.AddEntry(std::move(c));
        }
        for (int g = 0; g < 100; ++g) {
            auto group = std::make_unique<CGroupEntry>("Группа " + std::to_string(g));
            for (int m = 0; m < 100; ++m) {
                group->m_members.push_back(some[(g * 100 + m) % some.size()]);
            }
            book.AddEntry(std::move(group));
        }
        bytes = WriteBook(book);
        Put(path, bytes);
    }
};

CBookFixture& Book() {
    static CBookFixture fixture;
    return fixture;
}

void BM_LoadBook100kContacts(benchmark::State& state) {
    const std::string& path = Book().path;
    for (auto _ : state) {
        std::string error;
        auto book = ReadBookFile(path, error);
        if (!book || book->Size() != 100100) {
            state.SkipWithError("book did not load");
            break;
        }
        benchmark::DoNotOptimize(book.get());
        // Freeing the book is not part of loading it.
        state.PauseTiming();
        book.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_LoadBook100kContacts)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

void BM_SaveBook100kContacts(benchmark::State& state) {
    std::string error;
    auto book = ReadBookFile(Book().path, error);
    const std::string out = Store().root + "/saved.abk";
    for (auto _ : state) {
        WriteArchiveFile(out, WriteBook(*book));
    }
}
BENCHMARK(BM_SaveBook100kContacts)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

} // namespace

BENCHMARK_MAIN();
