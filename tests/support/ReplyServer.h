#pragma once
// A stand-in service on loopback that answers every request with canned bytes: replies the
// simulator would never give (other encodings, cut replies, error pages) and replies that
// trickle in one byte at a time. Header-only so that every test folder can use it.
#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace testing_support {

class CReplyServer {
public:
    // Each request gets the next of `replies`; the last one answers all further requests.
    // With `trickleMs` > 0 the reply goes out one byte every `trickleMs` milliseconds.
    explicit CReplyServer(std::vector<std::string> replies, int trickleMs = 0)
        : m_replies(std::move(replies)), m_trickleMs(trickleMs) {
        m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (m_listen >= 0 && ::bind(m_listen, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
            ::listen(m_listen, 8) == 0 &&
            ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&a), &len) == 0) {
            m_port = ntohs(a.sin_port);
            m_thread = std::thread([this] { Serve(); });
        }
    }
    ~CReplyServer() {
        m_stop = true;
        if (m_thread.joinable()) {
            m_thread.join();
        }
        if (m_listen >= 0) {
            ::close(m_listen);
        }
    }
    CReplyServer(const CReplyServer&) = delete;
    CReplyServer& operator=(const CReplyServer&) = delete;

    int Port() const { return m_port; }
    std::string HostPort() const { return "127.0.0.1:" + std::to_string(m_port); }
    int Requests() const { return m_requests.load(); }
    // The bytes of every request received so far.
    std::vector<std::string> Received() {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_received;
    }

private:
    bool WaitFor(int fd, short events) {
        while (!m_stop) {
            pollfd p{fd, events, 0};
            int r = ::poll(&p, 1, 20);
            if (r > 0) {
                return true;
            }
            if (r < 0 && errno != EINTR) {
                return false;
            }
        }
        return false;
    }

    // The whole request: the head, then as many body bytes as Content-length says (and the
    // client's final CRLF when it comes with them).
    std::string ReadRequest(int fd) {
        std::string in;
        char buf[4096];
        std::size_t want = std::string::npos;
        while (want == std::string::npos || in.size() < want) {
            if (!WaitFor(fd, POLLIN)) {
                break;
            }
            ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0) {
                break;
            }
            in.append(buf, static_cast<std::size_t>(n));
            std::size_t head = in.find("\r\n\r\n");
            if (want == std::string::npos && head != std::string::npos) {
                std::size_t at = in.find("Content-length: ");
                std::size_t length =
                    at != std::string::npos && at < head ? std::stoul(in.substr(at + 16)) : 0;
                want = head + 4 + length;
            }
        }
        return in;
    }

    void Answer(int fd, const std::string& reply) {
        std::size_t sent = 0;
        while (sent < reply.size() && !m_stop) {
            std::size_t n = m_trickleMs > 0 ? 1 : reply.size() - sent;
            ssize_t w = ::send(fd, reply.data() + sent, n, MSG_NOSIGNAL);
            if (w <= 0) {
                return; // the client gave up
            }
            sent += static_cast<std::size_t>(w);
            if (m_trickleMs > 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(m_trickleMs));
            }
        }
    }

    void Serve() {
        while (WaitFor(m_listen, POLLIN)) {
            int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) {
                continue;
            }
            std::string request = ReadRequest(fd);
            std::size_t k = static_cast<std::size_t>(m_requests.load());
            {
                std::lock_guard<std::mutex> lock(m_lock);
                m_received.push_back(std::move(request));
            }
            ++m_requests;
            if (!m_replies.empty()) {
                Answer(fd, m_replies[std::min(k, m_replies.size() - 1)]);
            }
            // Closing with request bytes unread would reset the connection and could cost the
            // client the reply: wait for its own close.
            ::shutdown(fd, SHUT_WR);
            char rest[256];
            for (int i = 0; i < 100 && WaitFor(fd, POLLIN) && ::recv(fd, rest, sizeof rest, 0) > 0;
                 ++i) {
            }
            ::close(fd);
        }
    }

    std::vector<std::string> m_replies;
    int m_trickleMs;
    int m_listen = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_requests{0};
    std::mutex m_lock;
    std::vector<std::string> m_received;
    std::thread m_thread;
};

} // namespace testing_support
