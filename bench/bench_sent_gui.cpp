// The sent-faxes page of the real window, on screen, with 1,000 to 100,000 sent faxes (lists and
// personalised mailings among them): rebuilding its rows, one entry's state change, and F5
// against an in-process status responder while a 5 ms heartbeat timer on the GUI thread
// records the longest time the thread did not answer. The F5 run is set beside the same status
// exchanges made without the GUI. Runs offscreen.
#include "gui/GuiTestSupport.h"
#include "gui/shell/Commands.h"
#include "platform/Files.h"
#include "service/FormPost.h"
#include "store/FaxListModel.h"
#include "store/FaxRecords.h"

#include "Heartbeat.h"
#include "SimServer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <time.h>
#include <unistd.h>
#include <unordered_set>

namespace {

constexpr std::int32_t kFirstFaxId = 1000000;

// Processor time of the calling thread: the GUI thread's own work, not the workers'.
double ThreadCpuMs() {
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// An in-process stand-in of the service's status query: one connection per request, as the
// client makes them; every asked job is "delivered".
class CStatusResponder {
public:
    CStatusResponder() {
        m_listen = faxsim::OpenListener(0, m_port);
        if (m_listen < 0 || ::pipe(m_stop) != 0) {
            std::abort();
        }
        m_thread = std::thread([this] { Main(); });
    }
    ~CStatusResponder() {
        const char c = 0;
        [[maybe_unused]] auto n = ::write(m_stop[1], &c, 1);
        m_thread.join();
        ::close(m_listen);
        ::close(m_stop[0]);
        ::close(m_stop[1]);
    }
    int Port() const { return m_port; }

private:
    void Main() {
        for (;;) {
            pollfd fds[2] = {{m_listen, POLLIN, 0}, {m_stop[0], POLLIN, 0}};
            if (::poll(fds, 2, -1) < 0 || (fds[1].revents & POLLIN) != 0) {
                return;
            }
            const int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0) {
                Answer(fd);
                ::close(fd);
            }
        }
    }
    static void Answer(int fd) {
        std::string request;
        char buf[4096];
        std::size_t need = std::string::npos;
        while (request.size() < need) {
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n <= 0) {
                return;
            }
            request.append(buf, static_cast<std::size_t>(n));
            const std::size_t head = request.find("\r\n\r\n");
            if (head != std::string::npos && need == std::string::npos) {
                const std::size_t at = request.find("Content-length: ");
                need = head + 4 +
                       (at != std::string::npos && at < head
                            ? std::strtoul(request.c_str() + at + 16, nullptr, 10)
                            : 0);
            }
        }
        std::size_t at = request.find("faxid", request.find("\r\n\r\n"));
        at = at == std::string::npos ? at : request.find_first_of("0123456789", at);
        const std::string id =
            at == std::string::npos
                ? "0"
                : request.substr(at, request.find_first_not_of("0123456789", at) - at);
        const std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
                                "<response><data><item id=\"" +
                                id + "\" jobstatus=\"2\"/></data></response>\r\n";
        const std::string reply = "HTTP/1.0 200 OK\r\nContent-Type: text/xml; charset=utf-8\r\n"
                                  "Content-Length: " +
                                  std::to_string(xml.size()) + "\r\n\r\n" + xml;
        [[maybe_unused]] auto n = ::write(fd, reply.data(), reply.size());
    }

    int m_listen = -1;
    int m_stop[2] = {-1, -1};
    int m_port = 0;
    std::thread m_thread;
};

// The real program on a store of `count` sent faxes, all queued: one in ten a list of 20
// numbers, one in ten a personalised mailing of 10 recipients, the rest single faxes (the
// images hard links to one file), answered by the responder. One at a time: the program is
// one per user.
struct CProgram {
    CStatusResponder responder;
    gui_test::CGuiFixture f;
    int count;
    std::vector<std::int32_t> queried; // every job id a synchronisation asks about

    explicit CProgram(int n) : count(n) {
        const std::string dir = f.SentDir();
        std::filesystem::create_directories(dir);
        const std::string image = dir + "/image.tif";
        const std::int64_t now = CurrentTime();
        for (int i = 0; i < n; ++i) {
            // A file takes some 65,000 links: a fresh one for each 50,000 faxes.
            if (i % 50000 == 0) {
                std::filesystem::remove(image);
                testing_support::WriteFile(image, "II*\0fake");
            }
            char stem[32];
            std::snprintf(stem, sizeof stem, "doc%08x", i);
            const std::string path = dir + "/" + stem + ".tif";
            std::unique_ptr<CFaxEntryBase> e;
            if (i % 10 == 0) {
                auto list = std::make_unique<CGroupFaxEntry>("Рассылка " + std::to_string(i));
                list->m_listId = kFirstFaxId + i;
                list->m_status = 1;
                list->m_recipients.resize(20);
                for (int r = 0; r < 20; ++r) {
                    list->m_recipients[r].m_status = 1;
                    list->m_recipients[r].m_recipient = "8812" + std::to_string(3000000 + r);
                }
                list->m_path = path;
                queried.push_back(list->m_listId);
                e = std::move(list);
            } else if (i % 10 == 5) {
                auto personal = std::make_unique<CPersonalFaxEntry>("Письма " + std::to_string(i));
                personal->m_status = 1;
                personal->m_recipients.resize(10);
                for (int r = 0; r < 10; ++r) {
                    CAttachFaxEntry& to = personal->m_recipients[r];
                    to.m_faxId = kFirstFaxId + n + i * 10 + r;
                    to.m_status = 1;
                    to.m_recipient = "8812" + std::to_string(4000000 + r);
                    to.m_path = path;
                    queried.push_back(to.m_faxId);
                }
                personal->m_path = path;
                e = std::move(personal);
            } else {
                auto single = std::make_unique<CSingleFaxEntry>("Письмо " + std::to_string(i));
                single->m_faxId = kFirstFaxId + i;
                single->m_status = 1;
                single->m_recipient = "88125550101";
                single->m_path = path;
                queried.push_back(single->m_faxId);
                e = std::move(single);
            }
            e->m_time = now - n + i;
            std::filesystem::create_hard_link(image, path);
            testing_support::WriteFile(dir + "/" + stem + ".fax", StoreRecord(*e));
        }
        std::filesystem::remove(image);
        f.apiHost = "127.0.0.1:" + std::to_string(responder.Port());
        f.password = "secret";
        f.Start();
        f.Frame().resize(1000, 700);
        f.Frame().SelectPage(1);
        View().expand(View().Root());
    }
    CReceivedFaxTreeView& View() { return *f.Frame().SentView(); }
};

std::unique_ptr<CProgram> g_program;

CProgram& Program(int count) {
    if (!g_program || g_program->count != count) {
        g_program.reset(); // the previous store and its window go first
        g_program = std::make_unique<CProgram>(count);
    }
    return *g_program;
}

void BM_SentListRebuild(benchmark::State& state) {
    CProgram& p = Program(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        p.View().Rebuild();
        p.View().viewport()->repaint();
    }
    if (p.View().Model().EntryCount() != p.count) {
        state.SkipWithError("not every fax was listed");
    }
}

void BM_OneStateChangeShown(benchmark::State& state) {
    CProgram& p = Program(static_cast<int>(state.range(0)));
    const std::int32_t id = kFirstFaxId + p.count / 2 + 1; // a single fax
    std::int32_t next = 3;
    for (auto _ : state) {
        // The change of one entry: its job file written, its row told and painted.
        if (p.f.Doc().SentFaxes().ApplyJobStates({{id, next}}) != 1) {
            state.SkipWithError("the state did not change");
            break;
        }
        p.View().viewport()->repaint();
        next = next == 3 ? 6 : 3;
    }
}

// F5 with the window showing, until every fax is delivered, beside the same exchanges made
// one after another without the GUI.
void BM_SynchroniseWithHeartbeat(benchmark::State& state) {
    CProgram& p = Program(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        std::unordered_set<std::string> delivered;
        auto counting = p.f.Doc().SentFaxes().Subscribe([&](const CSentChange& c) {
            if (c.kind == CSentChange::Kind::Changed && c.entry != nullptr &&
                EntryState(*c.entry) == 2) {
                delivered.insert(c.key);
            }
        });
        CHeartbeat heartbeat;
        heartbeat.Start();
        QElapsedTimer clock;
        clock.start();
        const double guiCpuBefore = ThreadCpuMs();
        p.f.Frame().OnCommand(cmd::kSynchronise);
        const bool done = gui_test::WaitFor(
            [&] { return delivered.size() == static_cast<std::size_t>(p.count); }, 3600 * 1000);
        const double syncMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        const double guiCpuMs = ThreadCpuMs() - guiCpuBefore;
        const double pause = heartbeat.Stop();
        const double pauseAt = heartbeat.MaxPauseAtMs();
        if (!done) {
            state.SkipWithError("not every fax was delivered");
            break;
        }
        const ServiceEndpoint endpoint{"127.0.0.1", p.responder.Port(), "demo", "secret"};
        clock.restart();
        for (const std::int32_t id : p.queried) {
            benchmark::DoNotOptimize(RequestFaxStatus(id, endpoint));
        }
        const double bareMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        state.counters["sync_ms"] = syncMs;
        state.counters["bare_exchanges_ms"] = bareMs;
        state.counters["ratio"] = syncMs / bareMs;
        state.counters["gui_thread_cpu_ms"] = guiCpuMs;
        state.counters["longest_gui_pause_ms"] = pause;
        state.counters["it_began_at_ms"] = pauseAt;
    }
}

// Typing into the search field with the page showing: each key a real key event, the rows
// filtered and painted. The field is clicked first and the first key comes 300 ms later, as a
// person types; the entries' search texts are made while the window waits, and what is not
// made by then waits for the first key. Each round starts from a fresh list (a rebuild).
void BM_SearchKeystroke(benchmark::State& state) {
    CProgram& p = Program(static_cast<int>(state.range(0)));
    auto* search = p.f.Frame().findChild<QLineEdit*>(QStringLiteral("sentSearch"));
    if (search == nullptr) {
        state.SkipWithError("no search field");
        return;
    }
    const QString typed = QStringLiteral("Письмо 12");
    std::vector<double> keys; // every key of every round
    int found = 0;
    for (auto _ : state) {
        state.PauseTiming();
        p.View().Rebuild();
        QTest::mouseClick(search, Qt::LeftButton);
        QTest::qWait(300);
        state.ResumeTiming();
        auto timed = [&](const auto& press) {
            QElapsedTimer clock;
            clock.start();
            press();
            p.View().viewport()->repaint();
            keys.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
        };
        for (QChar c : typed) {
            timed([&] { gui_test::TypeText(search, QString(c)); });
        }
        found = p.View().Model().EntryCount();
        for (qsizetype i = 0; i < typed.size(); ++i) {
            timed([&] { QTest::keyClick(search, Qt::Key_Backspace); });
        }
        if (found == 0 || p.View().Model().EntryCount() != p.count) {
            state.SkipWithError("the search found nothing or did not give every fax back");
            return;
        }
    }
    std::sort(keys.begin(), keys.end());
    state.counters["median_key_ms"] = keys[keys.size() / 2];
    state.counters["p95_key_ms"] = keys[keys.size() * 95 / 100];
    state.counters["slowest_key_ms"] = keys.back();
    state.counters["keys"] = static_cast<double>(keys.size());
    state.counters["rows_found"] = found;
}

// One program per store size, so the store is written once for the benchmarks that share it.
BENCHMARK(BM_SentListRebuild)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OneStateChangeShown)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SynchroniseWithHeartbeat)->Arg(10000)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SentListRebuild)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OneStateChangeShown)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SynchroniseWithHeartbeat)->Arg(100000)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SearchKeystroke)->Arg(100000)->Iterations(3)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_program.reset(); // the last program ends before the application goes
    return 0;
}
