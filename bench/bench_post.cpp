// Submitting large documents: RequestFaxSend against faxsim on loopback, beside a plain
// loopback socket copy of the same bytes, so the figure reads as a ratio on any machine.
#include "service/FormPost.h"

// The process helper of the service tests, shared here rather than copied.
#include "support/FaxsimProcess.cpp"
#include "support/FaxsimProcess.h"

#include <benchmark/benchmark.h>

#include <openssl/evp.h>

#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <netinet/in.h>
#include <random>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr const char* kUser = "bench";
constexpr const char* kPassword = "bench-password";

std::string Md5(std::string_view a, std::string_view b) {
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned len = 0;
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    EVP_DigestInit_ex(ctx, EVP_md5(), nullptr);
    EVP_DigestUpdate(ctx, a.data(), a.size());
    EVP_DigestUpdate(ctx, b.data(), b.size());
    EVP_DigestFinal_ex(ctx, md, &len);
    EVP_MD_CTX_free(ctx);
    return std::string(reinterpret_cast<char*>(md), len);
}

struct Fixture {
    testing_support::FaxsimProcess sim;
    std::string dir;
    std::map<int, std::string> documents; // MB -> signed document path
    std::map<int, std::string> bytes;     // MB -> the same bytes

    Fixture() {
        char tmpl[] = "/tmp/velquin-bench-post-XXXXXX";
        dir = ::mkdtemp(tmpl) ? tmpl : "/tmp";
        if (!sim.Start({"--account", std::string(kUser) + ":" + kPassword})) {
            std::fprintf(stderr, "bench_post: cannot start %s\n",
                         testing_support::FaxsimProcess::DefaultBinary().c_str());
            std::exit(1);
        }
        std::mt19937 rng(42);
        for (int mb : {1, 10, 50}) {
            std::string content(static_cast<std::size_t>(mb) << 20, '\0');
            for (char& c : content) {
                c = static_cast<char>(rng() & 0xff);
            }
            // The trailer the send dialogs append: MD5(password, subject, address) and
            // MD5(password, content).
            content += Md5(kPassword, "subject123") + Md5(kPassword, content);
            std::string path = dir + "/doc" + std::to_string(mb) + ".tif";
            std::ofstream(path, std::ios::binary) << content;
            documents[mb] = path;
            bytes[mb] = std::move(content);
        }
    }
    ~Fixture() {
        sim.Stop();
        for (auto& [mb, path] : documents) {
            std::remove(path.c_str());
        }
        ::rmdir(dir.c_str());
    }
};

Fixture& TheFixture() {
    static Fixture f;
    return f;
}

void BM_RequestFaxSend(benchmark::State& state) {
    Fixture& f = TheFixture();
    int mb = static_cast<int>(state.range(0));
    SendFaxRequest request;
    request.documentPath = f.documents[mb];
    request.phoneNumber = "88121234567";
    request.description = "bench";
    request.attempts = 3;
    request.delay = 10;
    ServiceEndpoint endpoint{"127.0.0.1", f.sim.Port(), kUser, kPassword};
    for (auto _ : state) {
        ReplyTree tree = RequestFaxSend(request, endpoint);
        Dictionary* item = FindReplyPath(tree.get(), {"response", "data", "item"});
        if (item == nullptr) {
            state.SkipWithError("the service did not accept the fax");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(f.bytes[mb].size()));
}

// The same bytes through a loopback socket to a reader that answers once it has them all.
void BM_LoopbackCopy(benchmark::State& state) {
    Fixture& f = TheFixture();
    const std::string& data = f.bytes[static_cast<int>(state.range(0))];
    int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listener, 4) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        state.SkipWithError("no loopback listener");
        ::close(listener);
        return;
    }
    for (auto _ : state) {
        std::thread reader([listener] {
            int fd = ::accept(listener, nullptr, nullptr);
            std::string got;
            char buf[65536];
            ssize_t n;
            while ((n = ::recv(fd, buf, sizeof buf, 0)) > 0) {
                got.append(buf, static_cast<std::size_t>(n));
            }
            ::send(fd, "ok", 2, MSG_NOSIGNAL);
            ::close(fd);
            benchmark::DoNotOptimize(got.data());
        });
        int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
            std::size_t sent = 0;
            while (sent < data.size()) {
                ssize_t n = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
                if (n <= 0) {
                    break;
                }
                sent += static_cast<std::size_t>(n);
            }
            ::shutdown(fd, SHUT_WR);
            char ack[8];
            while (::recv(fd, ack, sizeof ack, 0) > 0) {
            }
        }
        ::close(fd);
        reader.join();
    }
    ::close(listener);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(data.size()));
}

BENCHMARK(BM_RequestFaxSend)
    ->Arg(1)
    ->Arg(10)
    ->Arg(50)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_LoopbackCopy)->Arg(1)->Arg(10)->Arg(50)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
