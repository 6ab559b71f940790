#include "support/FaxsimProcess.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace testing_support {

ChildProcess::~ChildProcess() {
    Stop();
}

std::string FaxsimProcess::DefaultBinary() {
    if (const char* d = std::getenv("VELQUIN_BUILD_DIR")) {
        return std::string(d) + "/tools/faxsim/faxsim";
    }
    // A program of the build tree (build/X/tests/..., build/X/bench/...) finds it from its own
    // location.
    char self[4096];
    ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    std::string dir = n > 0 ? std::string(self, static_cast<std::size_t>(n)) : std::string();
    for (int up = 0; up < 4 && !dir.empty(); ++up) {
        dir = dir.substr(0, dir.rfind('/'));
        std::string candidate = dir + "/tools/faxsim/faxsim";
        if (::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
    }
    return "faxsim";
}

std::string ChildProcess::Start(std::vector<std::string> args, bool firstLine) {
    Stop();
    int out[2];
    if (args.empty() || ::pipe2(out, O_CLOEXEC) != 0) {
        return {};
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (firstLine) {
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    }
    std::vector<char*> argv;
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    int rc = posix_spawnp(&m_pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (rc != 0) {
        m_pid = -1;
        ::close(out[0]);
        return {};
    }
    // Give a slow machine a generous while to print it.
    std::string line;
    while (firstLine) {
        pollfd p{out[0], POLLIN, 0};
        if (::poll(&p, 1, 10000) <= 0) {
            break;
        }
        char c;
        if (::read(out[0], &c, 1) != 1 || c == '\n') {
            break;
        }
        line += c;
    }
    ::close(out[0]);
    return line;
}

std::optional<int> ChildProcess::Wait(int ms) {
    for (int waited = 0; m_pid > 0; waited += 20) {
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            return status;
        }
        if (waited >= ms) {
            break;
        }
        ::usleep(20000);
    }
    return std::nullopt;
}

void ChildProcess::Stop() {
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        int status = 0;
        while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
    m_pid = -1;
}

bool FaxsimProcess::Start(const std::vector<std::string>& args, const std::string& binary) {
    Stop();
    std::vector<std::string> argv{binary.empty() ? DefaultBinary() : binary};
    argv.insert(argv.end(), args.begin(), args.end());
    // The first line is "port N".
    const std::string line = m_child.Start(std::move(argv));
    if (line.rfind("port ", 0) != 0 || (m_port = std::atoi(line.c_str() + 5)) <= 0) {
        Stop();
        return false;
    }
    return true;
}

void FaxsimProcess::Stop() {
    m_child.Stop();
    m_port = 0;
}

std::string FaxsimProcess::HostPort() const {
    return "127.0.0.1:" + std::to_string(m_port);
}

std::string HttpGet(int port, const std::string& target) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return {};
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string reply;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
        std::string req = "GET " + target + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
        if (::send(fd, req.data(), req.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(req.size())) {
            char buf[4096];
            ssize_t n;
            while ((n = ::recv(fd, buf, sizeof buf, 0)) > 0) {
                reply.append(buf, static_cast<std::size_t>(n));
            }
        }
    }
    ::close(fd);
    return reply;
}

std::string StartPrivateBus(ChildProcess& bus, const std::string& dir) {
    std::ofstream(dir + "/bus.conf")
        << "<busconfig><type>session</type><listen>unix:tmpdir=" << dir << "</listen><servicedir>"
        << dir
        << "/services</servicedir><policy context=\"default\"><allow send_destination=\"*\" "
           "eavesdrop=\"true\"/><allow eavesdrop=\"true\"/><allow own=\"*\"/></policy>"
           "</busconfig>";
    return bus.Start(
        {"dbus-daemon", "--config-file=" + dir + "/bus.conf", "--nofork", "--print-address=1"});
}

} // namespace testing_support
