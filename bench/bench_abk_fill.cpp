// The address-book page with a book of 100,000 contacts: the loader reads it, the tree shows
// its groups and the list shows a group of all 100,000 members, while a 5 ms heartbeat timer
// on the GUI thread records the longest time the thread did not answer. Runs offscreen.
#include "addressbook/AddrBook.h"
#include "addressbook/AddressBooks.h"
#include "addressbook/BookRows.h"
#include "app/Settings.h"
#include "app/ThreadControl.h"
#include "gui/addressbook/AddrBookViews.h"
#include "gui/app/GuiInvoker.h"
#include "gui/app/QtPrompt.h"
#include "store/VelquinDoc.h"
#include "support/TestSupport.h"

#include "Heartbeat.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <memory>

namespace {

constexpr int kContacts = 100000;
constexpr int kGroups = 500;

// Handles events until `done` holds; false after `timeoutMs`.
template <class F> bool WaitFor(F done, int timeoutMs) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }
    return true;
}

// The main window's way with worker calls: each one runs on the GUI thread while the worker
// waits.
class CBenchFrame : public IFrame {
public:
    CBenchFrame() : m_invoker(&m_target) {}
    ~CBenchFrame() override { m_invoker.BeginShutdown(); }
    void ProgressStart(int) override {
        m_invoker.Run([] {});
    }
    void ProgressStep(int) override {
        m_invoker.Run([] {});
    }
    void ProgressEnd() override {
        m_invoker.Run([] {});
    }
    void SetStatusText(std::string_view) override {}
    bool RunOnGuiThread(const std::function<void()>& work) override { return m_invoker.Run(work); }
    void PostCommand(int) override {}
    void AddressBooksLoaded() override {} // the page hears the books' reset itself
    CAddrBookPage* page = nullptr;

private:
    QObject m_target;
    CGuiInvoker m_invoker;
};

struct CStore {
    testing_support::TempDir root;
    CStore() {
        testing_support::IsolateEnvironment(root.Path());
        Settings().DataDir = root / "data";
        std::filesystem::create_directories(Settings().DataDir);
        // One book: 100,000 contacts, 500 groups of 200 contacts, one group of them all, and
        // every tenth group inside the next one.
        auto book = std::make_unique<CAddrBook>("Большая книга");
        std::vector<Guid> contacts;
        for (int i = 0; i < kContacts; ++i) {
            auto c = std::make_unique<CContactEntry>(std::to_string(88120000000LL + i));
            c->m_company = "Фирма " + std::to_string(i % 977);
            c->m_person = "Лицо " + std::to_string(i);
            contacts.push_back(c->m_guid);
            book->AddEntry(std::move(c));
        }
        std::vector<CGroupEntry*> groups;
        for (int g = 0; g < kGroups; ++g) {
            auto group = std::make_unique<CGroupEntry>("Группа " + std::to_string(g));
            for (int i = 0; i < kContacts / kGroups; ++i) {
                group->m_members.push_back(contacts[static_cast<std::size_t>(g * 200 + i)]);
            }
            groups.push_back(group.get());
            book->AddEntry(std::move(group));
        }
        for (int g = 0; g + 1 < kGroups; g += 10) {
            groups[static_cast<std::size_t>(g + 1)]->m_members.push_back(
                groups[static_cast<std::size_t>(g)]->m_guid);
        }
        auto all = std::make_unique<CGroupEntry>("Все");
        all->m_members = contacts;
        book->AddEntry(std::move(all));
        AddressBooks().Add(std::move(book));
        AddressBooks().SaveAll(
            [](const std::string& e) { std::fprintf(stderr, "%s\n", e.c_str()); });
        AddressBooks().Clear();
    }
};

CStore& Store() {
    static CStore store;
    return store;
}

void BM_LoadTreeAndListOf100kContacts(benchmark::State& state) {
    Store();
    double worstGap = 0;
    for (auto _ : state) {
        CThreadControl::Instance().stopRequest = 0;
        CBenchFrame frame;
        CQtPrompt prompt;
        // The book itself is too large to list: the page may say so before the group is
        // chosen, and a box nobody answers would stop the run.
        prompt.SetNextAnswer(MsgAnswer::Ok);
        auto doc = std::make_unique<CVelquinDoc>(prompt, frame);
        auto* page = CreateAddressBookPage(*doc, frame, prompt, nullptr);
        frame.page = page;
        page->resize(900, 600);
        page->show();
        CHeartbeat beat;
        beat.Start();
        AddressBooks().StartLoader();
        if (!WaitFor([&] { return page->Tree()->RebuildsDone() >= 1; }, 120000)) {
            state.SkipWithError("the tree was not built");
            break;
        }
        QTreeWidgetItem* all = nullptr;
        const auto items =
            page->Tree()->findItems(QStringLiteral("Все"), Qt::MatchExactly | Qt::MatchRecursive);
        if (!items.isEmpty()) {
            all = items.front();
        }
        const int groupsShown =
            page->Tree()->topLevelItemCount() > 0 ? page->Tree()->topLevelItem(0)->childCount() : 0;
        if (all != nullptr) {
            page->Tree()->setCurrentItem(all);
        }
        if (!WaitFor([&] { return page->List()->FillsDone() >= 1 && !page->List()->Filling(); },
                     120000)) {
            state.SkipWithError("the list was not filled");
            break;
        }
        const double gap = beat.Stop();
        worstGap = std::max(worstGap, gap);
        state.counters["rows"] = page->List()->Model()->rowCount();
        state.counters["groups_in_tree"] = groupsShown;
        state.counters["max_gui_gap_ms"] = gap;
        delete page;
        (void)WaitFor([] { return CThreadControl::Instance().busy.load() == 0; }, 60000);
        doc.reset();
    }
    state.counters["worst_gui_gap_ms"] = worstGap;
}
BENCHMARK(BM_LoadTreeAndListOf100kContacts)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

// For comparison: the same rows handed to the view in one piece on the GUI thread.
void BM_ListRowsInOnePiece(benchmark::State& state) {
    Store();
    std::vector<CBookRow> rows;
    for (int i = 0; i < kContacts; ++i) {
        CBookRow r;
        r.name = std::to_string(88120000000LL + i);
        r.company = "Фирма";
        r.type = kEntryTypeContact;
        rows.push_back(std::move(r));
    }
    for (auto _ : state) {
        CEntryListModel model(false);
        QElapsedTimer t;
        t.start();
        model.SetRows(rows);
        benchmark::DoNotOptimize(model.rowCount());
        state.counters["gui_block_ms"] = static_cast<double>(t.nsecsElapsed()) / 1e6;
    }
}
BENCHMARK(BM_ListRowsInOnePiece)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// Sorting 100,000 rows by company: a header click, run on the GUI thread.
void BM_SortListOf100k(benchmark::State& state) {
    std::vector<CBookRow> rows;
    for (int i = 0; i < kContacts; ++i) {
        CBookRow r;
        r.name = std::to_string(88120000000LL + (i * 7919) % kContacts);
        r.company = "Фирма " + std::to_string((i * 31) % 977);
        r.type = kEntryTypeContact;
        rows.push_back(std::move(r));
    }
    for (auto _ : state) {
        state.PauseTiming();
        CEntryListModel model(false);
        model.SetRows(rows);
        state.ResumeTiming();
        model.Sort(CSortState{1, 1});
    }
}
BENCHMARK(BM_SortListOf100k)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

} // namespace

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
