// faxsim: the fax service on loopback, for tests and demos. Prints "port N" as its first line.
#include "FaxSim.h"
#include "SimServer.h"
#include "VelquinVersion.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

std::atomic<bool> g_stop{false};
int g_stopPipe[2] = {-1, -1};

void OnSignal(int) {
    g_stop.store(true);
    char c = 1;
    [[maybe_unused]] ssize_t n = ::write(g_stopPipe[1], &c, 1);
}

const char kUsage[] =
    "usage: faxsim [OPTIONS]\n"
    "  --port N                   listen on 127.0.0.1:N (default: an ephemeral port)\n"
    "  --config FILE              read settings from FILE (lines: account USER PASSWORD "
    "[BALANCE],\n"
    "                             deliver-after-queries N, deliver-after-seconds N, fail-suffix "
    "S,\n"
    "                             encoding utf-8|windows-1251, fault NAME, delay-ms N)\n"
    "  --account USER:PASSWORD[:BALANCE]\n"
    "  --deliver-after-queries N  status queries that still answer 4 (default 1)\n"
    "  --deliver-after-seconds N  or final this long after submission (default 0: off)\n"
    "  --fail-suffix DIGITS       numbers ending so are not delivered (default 000)\n"
    "  --encoding utf-8|windows-1251\n"
    "  --fault none|delay|cut|http500|notxml|malformed|hang   for every API reply\n"
    "  --delay-ms N               wait of the delay fault (default 3000)\n"
    "  --jobs FILE                keep the jobs in FILE across runs\n"
    "  --help                     show this text\n"
    "  --version                  show the version\n"
    "GET /__control?fault=NAME[&count=N][&delay=MS] sets a fault for the next N API replies.\n";

bool NeedValue(int i, int argc, const char* opt) {
    if (i + 1 >= argc) {
        std::fprintf(stderr, "faxsim: %s needs a value\n%s", opt, kUsage);
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    // Ends with the test or demo that started it.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    pid_t parent = ::getppid();

    faxsim::Config config;
    int port = 0;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (a == "--version") {
            std::printf("faxsim %s\n", kVelquinVersion);
            return 0;
        }
        if (a == "--port" || a == "--config" || a == "--account" ||
            a == "--deliver-after-queries" || a == "--deliver-after-seconds" ||
            a == "--fail-suffix" || a == "--encoding" || a == "--fault" || a == "--delay-ms" ||
            a == "--jobs") {
            if (!NeedValue(i, argc, a.c_str())) {
                return 2;
            }
            std::string v = argv[++i];
            bool ok = true;
            if (a == "--port") {
                port = std::atoi(v.c_str());
            } else if (a == "--config") {
                std::string error;
                ok = faxsim::LoadConfigFile(v, config, error);
                if (!ok) {
                    std::fprintf(stderr, "faxsim: %s\n", error.c_str());
                    return 2;
                }
            } else if (a == "--account") {
                faxsim::Account acc;
                ok = faxsim::ParseAccountSpec(v, acc);
                config.accounts.push_back(acc);
            } else if (a == "--deliver-after-queries") {
                config.deliverAfterQueries = std::atoi(v.c_str());
            } else if (a == "--deliver-after-seconds") {
                config.deliverAfterSeconds = std::atoi(v.c_str());
            } else if (a == "--fail-suffix") {
                config.failSuffix = v;
            } else if (a == "--encoding") {
                ok = v == "utf-8" || v == "windows-1251";
                config.utf8Replies = v == "utf-8";
            } else if (a == "--fault") {
                auto f = faxsim::FaultFromName(v);
                ok = f.has_value();
                config.fault = f.value_or(faxsim::Fault::None);
            } else if (a == "--delay-ms") {
                config.delayMs = std::atoi(v.c_str());
            } else if (a == "--jobs") {
                config.jobsFile = v;
            }
            if (!ok) {
                std::fprintf(stderr, "faxsim: bad value for %s: %s\n", a.c_str(), v.c_str());
                return 2;
            }
            continue;
        }
        std::fprintf(stderr, "faxsim: unknown option %s\n%s", a.c_str(), kUsage);
        return 2;
    }

    if (::pipe2(g_stopPipe, O_CLOEXEC) != 0) {
        std::perror("faxsim: pipe");
        return 1;
    }
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGINT, &sa, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
    if (::getppid() != parent) {
        return 0; // the parent ended before the death signal was armed
    }

    int bound = 0;
    int listenFd = faxsim::OpenListener(port, bound);
    if (listenFd < 0) {
        std::fprintf(stderr, "faxsim: cannot listen on 127.0.0.1:%d: %s\n", port,
                     std::strerror(errno));
        return 1;
    }
    std::printf("port %d\n", bound);
    std::fflush(stdout);

    faxsim::CFaxService service(config);
    faxsim::Serve(service, listenFd, g_stopPipe[0], g_stop);
    ::close(listenFd);
    return 0;
}
