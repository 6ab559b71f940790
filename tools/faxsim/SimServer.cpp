#include "SimServer.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <list>
#include <memory>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace faxsim {

namespace {

constexpr std::size_t kMaxHead = 64 * 1024;
constexpr std::size_t kMaxBody = 512u << 20;
constexpr int kIdleMs = 15000;

bool WaitIn(int fd, int ms, const std::atomic<bool>& stop) {
    while (ms > 0 && !stop.load()) {
        pollfd p{fd, POLLIN, 0};
        int slice = ms < 100 ? ms : 100;
        int r = ::poll(&p, 1, slice);
        if (r > 0) {
            return true;
        }
        if (r < 0 && errno != EINTR) {
            return false;
        }
        ms -= slice;
    }
    return false;
}

// Appends what arrives within `ms`; false on close, error or time-out.
bool ReadSome(int fd, std::string& buf, int ms, const std::atomic<bool>& stop) {
    if (!WaitIn(fd, ms, stop)) {
        return false;
    }
    char chunk[65536];
    ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
    if (n <= 0) {
        return false;
    }
    buf.append(chunk, static_cast<std::size_t>(n));
    return true;
}

void SendAll(int fd, std::string_view data) {
    std::size_t sent = 0;
    while (sent < data.size()) {
        ssize_t n = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            if (n < 0 && errno == EINTR) {
                continue;
            }
            return;
        }
        sent += static_cast<std::size_t>(n);
    }
}

void Pause(int ms, const std::atomic<bool>& stop) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!stop.load() && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

void HandleConnection(CFaxService& service, int fd, const std::atomic<bool>& stop) {
    std::string buf;
    std::size_t headEnd;
    while ((headEnd = buf.find("\r\n\r\n")) == std::string::npos) {
        if (buf.size() > kMaxHead || !ReadSome(fd, buf, kIdleMs, stop)) {
            return;
        }
    }
    HttpRequest request;
    if (!ParseHttpHead(std::string_view(buf).substr(0, headEnd), request)) {
        SendAll(fd, HttpResponse(400, "Bad Request", "text/plain", "bad request\n"));
        return;
    }
    std::size_t length = 0;
    if (const std::string* cl = request.Header("Content-length")) {
        char* end = nullptr;
        unsigned long long v = std::strtoull(cl->c_str(), &end, 10);
        if (end == cl->c_str() || *end != '\0' || v > kMaxBody) {
            SendAll(fd, HttpResponse(413, "Too Large", "text/plain", "bad length\n"));
            return;
        }
        length = static_cast<std::size_t>(v);
    }
    // The body is read into one buffer of its announced size, no copy of it made on the way;
    // a submission's document is digested while it arrives.
    std::string body = buf.substr(std::min(buf.size(), headEnd + 4));
    buf.clear();
    body.reserve(length + 2);
    std::optional<CDocumentDigester> digester;
    if (request.method == "POST" && request.target == "/api/fax.send.api.php") {
        digester.emplace([&service](std::string_view user) { return service.PasswordOf(user); });
        digester->Feed(std::string_view(body).substr(0, length));
    }
    while (body.size() < length) {
        if (!ReadSome(fd, body, kIdleMs, stop)) {
            return;
        }
        if (digester) {
            digester->Feed(std::string_view(body).substr(0, length));
        }
    }
    // The client follows the body with a CRLF that the length does not count; take it so that
    // closing does not reset the connection under the reply.
    if (request.method == "POST") {
        while (body.size() < length + 2 && ReadSome(fd, body, 200, stop)) {
        }
    }
    body.resize(length);
    request.body = std::move(body);
    if (digester) {
        request.documentDigest = digester->Result();
    }
    Reply reply = service.Handle(request, static_cast<std::int64_t>(std::time(nullptr)));
    switch (reply.fault) {
    case Fault::Delay:
        Pause(reply.delayMs, stop);
        break;
    case Fault::Hang:
        while (!stop.load()) {
            if (WaitIn(fd, 100, stop)) {
                char c[256];
                if (::recv(fd, c, sizeof c, 0) <= 0) {
                    return; // the client gave up
                }
            }
        }
        return;
    case Fault::Cut: {
        SendAll(fd, std::string_view(reply.bytes).substr(0, reply.bytes.size() / 2));
        linger l{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
        return;
    }
    default:
        break;
    }
    SendAll(fd, reply.bytes);
    ::shutdown(fd, SHUT_WR);
    // Let the client close first so that nothing it still sends turns into a reset.
    std::string drain;
    while (drain.size() < (1u << 20) && ReadSome(fd, drain, 2000, stop)) {
    }
}

struct Connection {
    std::thread thread;
    std::atomic<bool> done{false};
};

} // namespace

int OpenListener(int port, int& boundPort) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return -1;
    }
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 64) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        ::close(fd);
        return -1;
    }
    boundPort = ntohs(addr.sin_port);
    return fd;
}

void Serve(CFaxService& service, int listenFd, int stopFd, const std::atomic<bool>& stop) {
    std::list<std::unique_ptr<Connection>> connections;
    auto reap = [&](bool all) {
        for (auto it = connections.begin(); it != connections.end();) {
            if (all || (*it)->done.load()) {
                (*it)->thread.join();
                it = connections.erase(it);
            } else {
                ++it;
            }
        }
    };
    while (!stop.load()) {
        pollfd p[2] = {{listenFd, POLLIN, 0}, {stopFd, POLLIN, 0}};
        int r = ::poll(p, stopFd >= 0 ? 2 : 1, 200);
        reap(false);
        if (r < 0 && errno != EINTR) {
            break;
        }
        if (r <= 0) {
            continue;
        }
        if (stopFd >= 0 && (p[1].revents & POLLIN) != 0) {
            break;
        }
        if ((p[0].revents & POLLIN) == 0) {
            continue;
        }
        int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        auto conn = std::make_unique<Connection>();
        Connection* c = conn.get();
        c->thread = std::thread([&service, fd, c, &stop] {
            HandleConnection(service, fd, stop);
            ::close(fd);
            c->done.store(true);
        });
        connections.push_back(std::move(conn));
    }
    reap(true);
}

} // namespace faxsim
