#include "service/FormPost.h"

#include "platform/Encoding.h"

#include <openssl/evp.h>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <limits>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

ServiceTimeouts& ServiceTimeoutSettings() {
    static ServiceTimeouts timeouts;
    return timeouts;
}

namespace {
thread_local const std::atomic<bool>* t_abandon = nullptr;
// How often a wait looks at the abandon flag.
constexpr int kAbandonCheckMs = 50;
} // namespace

CAbandonRequests::CAbandonRequests(const std::atomic<bool>& flag) : m_previous(t_abandon) {
    t_abandon = &flag;
}

CAbandonRequests::~CAbandonRequests() {
    t_abandon = m_previous;
}

namespace {

const std::string kDelimiterLine = std::string("--") + kFormBoundary + "\r\n";

void AppendPartHeader(std::string& body, std::string_view name) {
    body += kDelimiterLine;
    body += "Content-Disposition: form-data; name=\"";
    body += name;
    body += "\"\r\n";
}

void AppendTextPart(std::string& body, std::string_view name, std::string_view value) {
    AppendPartHeader(body, name);
    body += "\r\n";
    body += value;
    body += "\r\n";
    body += kDelimiterLine;
}

void AppendIntPart(std::string& body, std::string_view name, std::int32_t value) {
    AppendTextPart(body, name, std::to_string(value));
}

// Copies the file into a file part; returns the number of file bytes copied. A file that cannot
// be opened contributes no bytes.
std::size_t AppendFilePart(std::string& body, std::string_view name, const std::string& path) {
    body += kDelimiterLine;
    body += "Content-Disposition: form-data; name=\"";
    body += name;
    body += "\"; filename=\"";
    body += platform::Utf8ToCp1251(path);
    body += "\"\r\n\r\n";
    std::size_t copied = 0;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        struct stat st {};
        if (fstat(fileno(f), &st) == 0 && st.st_size > 0) {
            body.reserve(body.size() + static_cast<std::size_t>(st.st_size) + 256);
        }
        char buf[65536];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
            body.append(buf, n);
            copied += n;
        }
        std::fclose(f);
    }
    body += "\r\n";
    body += kDelimiterLine;
    return copied;
}

std::string BuildRequest(std::string_view script, std::string_view host, const std::string& body) {
    std::string req;
    req.reserve(body.size() + 512);
    req += "POST /api/";
    req += script;
    req += " HTTP/1.0\r\n";
    req += "Host: ";
    req += host;
    req += "\r\n";
    req += "User-agent: Tarnwell Velquin\r\n";
    req += "Content-type: multipart/form-data, boundary=";
    req += kFormBoundary;
    req += "\r\n";
    req += "Content-length: " + std::to_string(body.size()) + "\r\n";
    req += "Connection: close\r\n";
    req += "\r\n";
    req += body;
    req += "\r\n";
    return req;
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

using Clock = std::chrono::steady_clock;

class CSocket {
public:
    CSocket() = default;
    explicit CSocket(int fd) : m_fd(fd) {}
    CSocket(const CSocket&) = delete;
    CSocket& operator=(const CSocket&) = delete;
    ~CSocket() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    int Fd() const { return m_fd; }

private:
    int m_fd = -1;
};

// One exchange's limits: each wait ends after idleMs without progress, and at the latest at
// the exchange's deadline.
struct CExchangeLimits {
    Clock::time_point deadline;
    ExchangeFailure failure = ExchangeFailure::None;
};

// Waits until `fd` is ready for `events`; false on time-out, abandon or error.
bool WaitReady(int fd, short events, int timeoutMs, CExchangeLimits& limits) {
    auto deadline = std::min(Clock::now() + std::chrono::milliseconds(timeoutMs), limits.deadline);
    for (;;) {
        if (t_abandon != nullptr && t_abandon->load()) {
            limits.failure = ExchangeFailure::Abandoned;
            return false;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() < 0) {
            limits.failure = ExchangeFailure::TimedOut;
            return false;
        }
        int slice = static_cast<int>(std::min<long long>(left.count(), 1 << 30));
        if (t_abandon != nullptr) {
            slice = std::min(slice, kAbandonCheckMs);
        }
        pollfd p{fd, events, 0};
        int r = ::poll(&p, 1, slice);
        if (r > 0) {
            return true; // errors surface on the following call
        }
        if (r < 0 && errno != EINTR) {
            limits.failure = ExchangeFailure::Unreachable;
            return false;
        }
    }
}

bool ResolveIpv4(const std::string& host, in_addr& addr) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &list) != 0 || list == nullptr) {
        return false;
    }
    addr = reinterpret_cast<sockaddr_in*>(list->ai_addr)->sin_addr;
    ::freeaddrinfo(list);
    return true;
}

bool ConnectWithin(int fd, const sockaddr_in& to, int timeoutMs, CExchangeLimits& limits) {
    int r = ::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    if (r == 0) {
        return true;
    }
    if (errno != EINPROGRESS && errno != EINTR) {
        return false;
    }
    if (!WaitReady(fd, POLLOUT, timeoutMs, limits)) {
        return false;
    }
    int err = 0;
    socklen_t len = sizeof err;
    return ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err == 0;
}

bool SendAll(int fd, std::string_view data, int idleMs, CExchangeLimits& limits) {
    std::size_t sent = 0;
    while (sent < data.size()) {
        ssize_t n = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!WaitReady(fd, POLLOUT, idleMs, limits)) {
                return false;
            }
            continue;
        }
        limits.failure = ExchangeFailure::Unreachable;
        return false;
    }
    return true;
}

// Reads until the peer closes. A reset ends the reply where it got to; a time-out or an
// over-long reply fails it.
bool ReadUntilClosed(int fd, std::string& reply, int idleMs, CExchangeLimits& limits) {
    char buf[259];
    for (;;) {
        // A reply that keeps arriving never waits, so the deadline is checked here too.
        if (Clock::now() > limits.deadline) {
            limits.failure = ExchangeFailure::TimedOut;
            return false;
        }
        ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n > 0) {
            if (reply.size() + static_cast<std::size_t>(n) > kMaxReplyBytes) {
                limits.failure = ExchangeFailure::TooLong;
                return false;
            }
            reply.append(buf, static_cast<std::size_t>(n));
            continue;
        }
        if (n == 0) {
            return true;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            if (!WaitReady(fd, POLLIN, idleMs, limits)) {
                return false;
            }
            continue;
        }
        return true;
    }
}

} // namespace

std::string PasswordDigest(std::string_view password) {
    if (password.empty()) {
        return {};
    }
    std::string bytes = platform::Utf8ToCp1251(password);
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), md, &len, EVP_md5(), nullptr) != 1) {
        return {};
    }
    std::string hex;
    char two[3];
    for (unsigned i = 0; i < len; ++i) {
        std::snprintf(two, sizeof two, "%02x", md[i]);
        hex += two;
    }
    return hex;
}

std::optional<std::string> BuildFaxSendRequest(const SendFaxRequest& request,
                                               std::string_view userId, std::string_view password,
                                               std::string_view host) {
    if (!FileExists(request.documentPath)) {
        return std::nullopt;
    }
    std::string body;
    AppendTextPart(body, "username", platform::Utf8ToCp1251(userId));
    AppendTextPart(body, "password", PasswordDigest(password));
    if (!request.phoneNumber.empty()) {
        AppendTextPart(body, "Phone", platform::Utf8ToCp1251(request.phoneNumber));
    }
    if (!request.phoneListPath.empty()) {
        AppendFilePart(body, "item_csv", request.phoneListPath);
    }
    AppendIntPart(body, "Attempts", request.attempts);
    AppendIntPart(body, "Delay", request.delay);
    AppendTextPart(body, "Descr", platform::Utf8ToCp1251(request.description));
    std::size_t copied = AppendFilePart(body, "userfile", request.documentPath);
    // The length header is a 32-bit number on the wire.
    if (copied == 0 || body.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
        return std::nullopt;
    }
    return BuildRequest(kFaxSendScript, host, body);
}

std::string BuildFaxStatusRequest(std::int32_t serverId, std::string_view userId,
                                  std::string_view password, std::string_view host) {
    std::string body;
    AppendTextPart(body, "username", platform::Utf8ToCp1251(userId));
    AppendTextPart(body, "password", PasswordDigest(password));
    AppendIntPart(body, "faxid", serverId);
    return BuildRequest(kFaxCheckScript, host, body);
}

long long ExchangeDeadlineMs(const ServiceTimeouts& limits, std::size_t requestBytes) {
    return limits.exchangeMs +
           static_cast<long long>(requestBytes) * limits.msPerMegabyte / (1 << 20);
}

std::optional<std::string> ExchangeRequest(const std::string& host, int port,
                                           std::string_view request, ExchangeFailure* failure) {
    const ServiceTimeouts settings = ServiceTimeoutSettings();
    CExchangeLimits limits;
    limits.deadline =
        Clock::now() + std::chrono::milliseconds(ExchangeDeadlineMs(settings, request.size()));
    std::optional<std::string> reply = [&]() -> std::optional<std::string> {
        in_addr addr{};
        if (port <= 0 || port > 65535 || !ResolveIpv4(host, addr)) {
            limits.failure = ExchangeFailure::Unreachable;
            return std::nullopt;
        }
        CSocket sock(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        if (sock.Fd() < 0) {
            limits.failure = ExchangeFailure::Unreachable;
            return std::nullopt;
        }
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(static_cast<std::uint16_t>(port));
        to.sin_addr = addr;
        if (!ConnectWithin(sock.Fd(), to, settings.connectMs, limits) ||
            !SendAll(sock.Fd(), request, settings.idleMs, limits)) {
            if (limits.failure == ExchangeFailure::None) {
                limits.failure = ExchangeFailure::Unreachable;
            }
            return std::nullopt;
        }
        std::string bytes;
        if (!ReadUntilClosed(sock.Fd(), bytes, settings.idleMs, limits)) {
            return std::nullopt;
        }
        return bytes;
    }();
    if (failure != nullptr) {
        *failure = reply ? ExchangeFailure::None : limits.failure;
    }
    return reply;
}

ReplyTree ReplyToTree(std::string reply) {
    if (reply.empty()) {
        return {};
    }
    reply = platform::AsciiLower(reply);
    std::size_t at = reply.find("<?xml");
    if (at == std::string::npos) {
        return {};
    }
    std::string_view xml(reply);
    xml.remove_prefix(at);
    while (!xml.empty() && xml.back() == '\n') {
        xml.remove_suffix(1);
    }
    while (!xml.empty() && xml.back() == '\r') {
        xml.remove_suffix(1);
    }
    return ParseReplyXml(xml);
}

namespace {

ReplyTree Exchange(const std::string& request, const std::string& host, int port) {
    std::optional<std::string> reply = ExchangeRequest(host, port, request);
    if (!reply) {
        return {};
    }
    return ReplyToTree(std::move(*reply));
}

// The Host header names the resolved host, with the port when it is not the default one.
std::string HostHeader(const std::string& host, int port) {
    return port == 80 ? host : host + ":" + std::to_string(port);
}

} // namespace

ReplyTree RequestFaxSend(const SendFaxRequest& request, const ServiceEndpoint& endpoint) {
    const std::string& host = endpoint.host;
    int port = endpoint.port;
    std::optional<std::string> bytes =
        BuildFaxSendRequest(request, endpoint.userId, endpoint.password, HostHeader(host, port));
    if (!bytes) {
        return {};
    }
    return Exchange(*bytes, host, port);
}

ReplyTree RequestFaxStatus(std::int32_t serverId, const ServiceEndpoint& endpoint) {
    const std::string& host = endpoint.host;
    int port = endpoint.port;
    std::string bytes =
        BuildFaxStatusRequest(serverId, endpoint.userId, endpoint.password, HostHeader(host, port));
    return Exchange(bytes, host, port);
}
