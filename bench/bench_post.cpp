// Submitting large documents. `BM_RequestFaxSend/N`: RequestFaxSend of a signed N MB document
// to a receiver in this program that only drains the socket and answers, timed beside a raw
// loopback send of the same request bytes (already in memory) to the same receiver, in the
// same iteration; `throughput_ratio` is the raw time over ours (target: at least 0.6).
// `BM_RequestFaxSendToFaxsim/N`: the same submission to faxsim, which parses the form and
// checks the signature, beside the same raw send: how much the simulator adds.
// `BM_ToolSendPeakRss`: the peak resident memory of `velquin-tool send` with a 200 MB document
// (target: under 40 MB), from the child's getrusage. Linux counts into a child's peak the peak
// of the process it was started from (its memory until exec), so this benchmark runs first,
// while this program is still small, and reports its own peak beside the child's: the child's
// figure is an upper bound.
#include "service/FormPost.h"

// The process helper of the service tests, shared here rather than copied.
#include "SimServer.h"
#include "support/FaxsimProcess.cpp"
#include "support/FaxsimProcess.h"

#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <netinet/in.h>
#include <poll.h>
#include <random>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

constexpr const char* kUser = "bench";
constexpr const char* kPassword = "bench-password";
constexpr const char* kReply =
    "HTTP/1.0 200 OK\r\nContent-Type: text/xml; charset=windows-1251\r\n\r\n"
    "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n<response><error code=\"0\" "
    "message=\"ok\" details=\"\"/><data><item id=\"5000001\"/></data></response>\r\n";

// Accepts connections on loopback; from each reads the head, then as many bytes as its
// Content-length says and the final CRLF, into one reused buffer, answers and closes.
class CDrainingReceiver {
public:
    CDrainingReceiver() {
        m_listen = faxsim::OpenListener(0, m_port);
        if (m_listen < 0) {
            std::fprintf(stderr, "bench_post: no loopback listener\n");
            std::exit(1);
        }
        m_thread = std::thread([this] { Serve(); });
    }
    ~CDrainingReceiver() {
        m_stop = true;
        m_thread.join();
        ::close(m_listen);
    }
    int Port() const { return m_port; }

private:
    void Serve() {
        std::vector<char> buffer(256 * 1024);
        while (!m_stop) {
            pollfd p{m_listen, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0) {
                continue;
            }
            int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) {
                continue;
            }
            std::string head;
            std::size_t want = 0;
            std::size_t got = 0;
            for (;;) {
                ssize_t n = ::recv(fd, buffer.data(), buffer.size(), 0);
                if (n <= 0) {
                    break;
                }
                got += static_cast<std::size_t>(n);
                if (want == 0) {
                    head.append(buffer.data(), static_cast<std::size_t>(n));
                    std::size_t end = head.find("\r\n\r\n");
                    if (end != std::string::npos) {
                        std::size_t at = head.find("Content-length: ");
                        want = end + 4 + 2 +
                               (at < end ? std::strtoull(head.c_str() + at + 16, nullptr, 10) : 0);
                        head.clear();
                    }
                }
                if (want != 0 && got >= want) {
                    break;
                }
            }
            ::send(fd, kReply, std::strlen(kReply), MSG_NOSIGNAL);
            ::close(fd);
        }
    }

    int m_listen = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

std::string TempDirectory(const char* name) {
    std::string tmpl = std::string("/tmp/velquin-bench-") + name + "-XXXXXX";
    if (::mkdtemp(tmpl.data()) == nullptr) {
        std::perror("mkdtemp");
        std::exit(1);
    }
    return tmpl;
}

// Pseudo-random bytes (a document compresses no better than a real fax image) and the
// signature trailer the send dialogs append, MD5(password, subject, address) and
// MD5(password, content).
void WriteDocument(const std::string& path, std::size_t bytes) {
    std::mt19937 rng(42);
    std::string block(1 << 20, '\0');
    for (char& c : block) {
        c = static_cast<char>(rng() & 0xff);
    }
    EVP_MD_CTX* md = EVP_MD_CTX_new();
    EVP_DigestInit_ex(md, EVP_md5(), nullptr);
    EVP_DigestUpdate(md, kPassword, std::strlen(kPassword));
    std::ofstream out(path, std::ios::binary);
    for (std::size_t done = 0; done < bytes; done += block.size()) {
        block[0] = static_cast<char>(done >> 20); // no two blocks alike
        const std::size_t n = std::min(block.size(), bytes - done);
        out.write(block.data(), static_cast<std::streamsize>(n));
        EVP_DigestUpdate(md, block.data(), n);
    }
    unsigned char trailer[2 * EVP_MAX_MD_SIZE];
    unsigned len = 0;
    const std::string words = std::string(kPassword) + "subject123";
    EVP_Digest(words.data(), words.size(), trailer, &len, EVP_md5(), nullptr);
    EVP_DigestFinal_ex(md, trailer + 16, &len);
    EVP_MD_CTX_free(md);
    out.write(reinterpret_cast<const char*>(trailer), 32);
}

struct Fixture {
    CDrainingReceiver receiver;
    testing_support::FaxsimProcess sim;
    std::string dir = TempDirectory("post");
    std::map<int, std::string> documents; // MB -> path

    Fixture() {
        if (!sim.Start({"--account", std::string(kUser) + ":" + kPassword})) {
            std::fprintf(stderr, "bench_post: cannot start %s\n",
                         testing_support::FaxsimProcess::DefaultBinary().c_str());
            std::exit(1);
        }
        for (int mb : {1, 10, 50}) {
            std::string path = dir + "/doc" + std::to_string(mb) + ".tif";
            WriteDocument(path, static_cast<std::size_t>(mb) << 20);
            documents[mb] = path;
        }
    }
    ~Fixture() {
        sim.Stop();
        std::filesystem::remove_all(dir);
    }
};

Fixture& TheFixture() {
    static Fixture f;
    return f;
}

using Clock = std::chrono::steady_clock;

// The raw reference: `bytes` sent through a plain loopback socket, the reply read to the end.
bool RawSend(int port, const std::string& bytes) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    for (std::size_t sent = 0; ok && sent < bytes.size();) {
        ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        ok = n > 0;
        sent += ok ? static_cast<std::size_t>(n) : 0;
    }
    char reply[512];
    while (ok && ::recv(fd, reply, sizeof reply, 0) > 0) {
    }
    ::close(fd);
    return ok;
}

// Runs a program with `args` and the environment `env` added; its exit status and peak
// resident memory in KiB.
int Spawn(const std::vector<std::string>& args, const std::vector<std::string>& env,
          long& maxRssKb) {
    std::vector<std::string> environment = env;
    for (char** e = environ; *e != nullptr; ++e) {
        environment.emplace_back(*e);
    }
    std::vector<char*> argv, envp;
    for (const std::string& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    for (const std::string& e : environment) {
        envp.push_back(const_cast<char*>(e.c_str()));
    }
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    int status = -1;
    if (::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) == 0) {
        rusage ru{};
        ::wait4(pid, &status, 0, &ru);
        maxRssKb = ru.ru_maxrss;
    }
    posix_spawn_file_actions_destroy(&actions);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void BM_ToolSendPeakRss(benchmark::State& state) {
    const char* build = std::getenv("VELQUIN_BUILD_DIR");
    const std::string tool = std::string(build ? build : ".") + "/tools/velquin-tool/velquin-tool";
    if (::access(tool.c_str(), X_OK) != 0) {
        state.SkipWithError(("no " + tool + " (set VELQUIN_BUILD_DIR)").c_str());
        return;
    }
    CDrainingReceiver& receiver = TheFixture().receiver;
    const std::string dir = TempDirectory("send");
    const std::vector<std::string> env = {"VELQUIN_REGISTRY_DIR=" + dir + "/registry",
                                          "HOME=" + dir, "XDG_CONFIG_HOME=" + dir + "/config",
                                          "XDG_RUNTIME_DIR=" + dir};
    std::ofstream(dir + "/pw") << kPassword << "\n";
    const std::string document = dir + "/doc.tif";
    WriteDocument(document, std::size_t{200} << 20);
    long rss = 0;
    if (Spawn({tool, "setup", "--create", "--fax-dir", dir + "/fax", "--data-dir", dir + "/data",
               "--api-host", "127.0.0.1:" + std::to_string(receiver.Port()), "--user", kUser,
               "--password-file", dir + "/pw"},
              env, rss) != 0) {
        state.SkipWithError("velquin-tool setup failed");
        std::filesystem::remove_all(dir);
        return;
    }
    long worst = 0;
    for (auto _ : state) {
        if (Spawn({tool, "send", "--to", "3520809", document}, env, rss) != 0) {
            state.SkipWithError("velquin-tool send failed");
            break;
        }
        worst = std::max(worst, rss);
    }
    rusage self{};
    ::getrusage(RUSAGE_SELF, &self);
    state.counters["peak_rss_MB"] = static_cast<double>(worst) / 1024.0;
    state.counters["bench_rss_MB"] = static_cast<double>(self.ru_maxrss) / 1024.0;
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_ToolSendPeakRss)->Iterations(3)->Unit(benchmark::kMillisecond);

// Our submission to the service on `servicePort`, beside the raw send to the receiver.
void SubmitBesideRawSend(benchmark::State& state, int servicePort) {
    Fixture& f = TheFixture();
    const int mb = static_cast<int>(state.range(0));
    SendFaxRequest request;
    request.documentPath = f.documents[mb];
    request.phoneNumber = "88121234567";
    request.description = "bench";
    request.attempts = 3;
    request.delay = 10;
    const int port = f.receiver.Port();
    ServiceEndpoint endpoint{"127.0.0.1", servicePort, kUser, kPassword};
    const std::string bytes =
        *BuildFaxSendRequest(request, kUser, kPassword, "127.0.0.1:" + std::to_string(port));
    double ours = 0;
    double raw = 0;
    for (auto _ : state) {
        auto t0 = Clock::now();
        if (!RawSend(port, bytes)) {
            state.SkipWithError("the raw send failed");
            break;
        }
        auto t1 = Clock::now();
        ReplyTree tree = RequestFaxSend(request, endpoint);
        auto t2 = Clock::now();
        if (FindReplyPath(tree.get(), {"response", "data", "item"}) == nullptr) {
            state.SkipWithError("the submission was not accepted");
            break;
        }
        const double t = std::chrono::duration<double>(t2 - t1).count();
        raw += std::chrono::duration<double>(t1 - t0).count();
        ours += t;
        state.SetIterationTime(t);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes.size()));
    state.counters["raw_ms"] = 1e3 * raw / static_cast<double>(state.iterations());
    state.counters["throughput_ratio"] = raw / ours;
}
void BM_RequestFaxSend(benchmark::State& state) {
    SubmitBesideRawSend(state, TheFixture().receiver.Port());
}
BENCHMARK(BM_RequestFaxSend)
    ->Arg(1)
    ->Arg(10)
    ->Arg(50)
    ->UseManualTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);

void BM_RequestFaxSendToFaxsim(benchmark::State& state) {
    SubmitBesideRawSend(state, TheFixture().sim.Port());
}
BENCHMARK(BM_RequestFaxSendToFaxsim)
    ->Arg(1)
    ->Arg(10)
    ->Arg(50)
    ->UseManualTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
