#include "service/Transport.h"

#include <curl/curl.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <unistd.h>
#include <vector>

TransportSettings& TransportSettingsForTests() {
    static TransportSettings settings;
    return settings;
}

namespace {

using Clock = std::chrono::steady_clock;
// How often the wait looks at the abandon flag, the deadline and the idle limit.
constexpr int kCheckMs = 50;

void InitCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct CurlEasyDeleter {
    void operator()(CURL* h) const { curl_easy_cleanup(h); }
};
struct CurlMultiDeleter {
    void operator()(CURLM* m) const { curl_multi_cleanup(m); }
};
struct CurlListDeleter {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};

// The request as libcurl takes it: the request line's method, target and version, the header
// lines in order, and the body in three pieces.
struct CRequestParts {
    std::string method;
    std::string target;
    bool http10 = true;
    std::vector<std::string> headers;
    std::string_view bodyStart;
};

bool SplitRequest(std::string_view head, CRequestParts& parts) {
    const std::size_t end = head.find("\r\n\r\n");
    if (end == std::string_view::npos) {
        return false;
    }
    parts.bodyStart = head.substr(end + 4);
    std::string_view lines = head.substr(0, end + 2);
    std::size_t eol = lines.find("\r\n");
    const std::string_view first = lines.substr(0, eol);
    const std::size_t s1 = first.find(' ');
    const std::size_t s2 = first.rfind(' ');
    if (s1 == std::string_view::npos || s2 == s1) {
        return false;
    }
    parts.method = first.substr(0, s1);
    parts.target = first.substr(s1 + 1, s2 - s1 - 1);
    parts.http10 = first.substr(s2 + 1) == "HTTP/1.0";
    lines.remove_prefix(eol + 2);
    while (!lines.empty()) {
        eol = lines.find("\r\n");
        parts.headers.emplace_back(lines.substr(0, eol));
        lines.remove_prefix(eol + 2);
    }
    return true;
}

// One exchange's state, shared with libcurl's callbacks.
struct CExchange {
    // What is sent: the form's start, the document read while it goes, the tail.
    std::string_view bodyStart;
    int documentFd = -1;
    std::uint64_t documentSize = 0;
    std::string_view tail;
    std::uint64_t handed = 0; // bytes given to libcurl so far
    std::uint64_t total = 0;
    bool documentChanged = false;

    std::string reply;
    bool tooLong = false;
    Clock::time_point lastProgress = Clock::now();

    // Copies the next bytes of the body into `out`; the document is read at its offset.
    std::size_t Read(char* out, std::size_t room) {
        const std::uint64_t documentEnd = bodyStart.size() + documentSize;
        std::size_t n = 0;
        while (n < room && handed < total) {
            if (handed < bodyStart.size()) {
                const std::size_t k = std::min<std::size_t>(
                    room - n, bodyStart.size() - static_cast<std::size_t>(handed));
                std::copy_n(bodyStart.data() + handed, k, out + n);
                n += k;
                handed += k;
            } else if (handed < documentEnd) {
                const std::uint64_t at = handed - bodyStart.size();
                const std::size_t want =
                    static_cast<std::size_t>(std::min<std::uint64_t>(room - n, documentSize - at));
                const ssize_t got = ::pread(documentFd, out + n, want, static_cast<off_t>(at));
                if (got < 0 && errno == EINTR) {
                    continue;
                }
                if (got <= 0) {
                    documentChanged = true; // cut short or unreadable while it was sent
                    return CURL_READFUNC_ABORT;
                }
                n += static_cast<std::size_t>(got);
                handed += static_cast<std::uint64_t>(got);
            } else {
                const std::size_t from = static_cast<std::size_t>(handed - documentEnd);
                const std::size_t k = std::min(room - n, tail.size() - from);
                std::copy_n(tail.data() + from, k, out + n);
                n += k;
                handed += k;
            }
        }
        lastProgress = Clock::now();
        return n;
    }

    bool Take(const char* data, std::size_t size) {
        if (reply.size() + size > kMaxReplyBytes) {
            tooLong = true;
            return false;
        }
        reply.append(data, size);
        lastProgress = Clock::now();
        return true;
    }
};

std::size_t ReadBody(char* out, std::size_t size, std::size_t count, void* exchange) {
    return static_cast<CExchange*>(exchange)->Read(out, size * count);
}

std::size_t TakeReply(char* data, std::size_t size, std::size_t count, void* exchange) {
    return static_cast<CExchange*>(exchange)->Take(data, size * count) ? size * count : 0;
}

std::string UrlOf(const CExchangeTarget& target, const std::string& path) {
    return std::string(target.https ? "https://" : "http://") +
           HostHeaderOf(target.https, target.host, target.port) + path;
}

// Why a finished transfer gave no reply; None when what arrived is the reply.
ExchangeFailure FailureOf(CURLcode code, CURL* h, const CExchange& x,
                          const CExchangeTarget& target) {
    long status = 0;
    long connectStatus = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_getinfo(h, CURLINFO_HTTP_CONNECTCODE, &connectStatus);
    // The service tells its errors in XML, never by these codes. Some proxies (tinyproxy)
    // answer wrong credentials with 401 rather than 407.
    if (status == 407 || connectStatus == 407 ||
        (!target.proxyUser.empty() && (status == 401 || connectStatus == 401))) {
        return ExchangeFailure::ProxyRefused;
    }
    switch (code) {
    case CURLE_OK:
        return ExchangeFailure::None;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
        return ExchangeFailure::Certificate;
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_URL_MALFORMAT:
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
    case CURLE_SSL_CONNECT_ERROR: // the handshake failed: no byte of the request went out
        return ExchangeFailure::NotConnected;
    case CURLE_OPERATION_TIMEDOUT: {
        curl_off_t connected = 0;
        curl_easy_getinfo(h, CURLINFO_CONNECT_TIME_T, &connected);
        return connected > 0 ? ExchangeFailure::TimedOut : ExchangeFailure::NotConnected;
    }
    case CURLE_WRITE_ERROR:
        return x.tooLong ? ExchangeFailure::TooLong : ExchangeFailure::Unreachable;
    case CURLE_PARTIAL_FILE:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
        // The server ended the connection early or reset it: once the whole request went,
        // what arrived before is the reply, as a reply cut short is read as far as it came.
        return x.handed == x.total ? ExchangeFailure::None : ExchangeFailure::Unreachable;
    default:
        return ExchangeFailure::Unreachable;
    }
}

} // namespace

std::optional<std::string> ExchangeThrough(const CExchangeTarget& target, std::string_view head,
                                           int documentFd, std::uint64_t documentSize,
                                           std::string_view tail, ExchangeFailure* failure) {
    auto fail = [&](ExchangeFailure why) -> std::optional<std::string> {
        if (failure != nullptr) {
            *failure = why;
        }
        return std::nullopt;
    };
    CRequestParts parts;
    if (target.port <= 0 || target.port > 65535 || target.host.empty() ||
        !SplitRequest(head, parts)) {
        return fail(ExchangeFailure::NotConnected);
    }
    InitCurlOnce();
    const std::unique_ptr<CURL, CurlEasyDeleter> easy(curl_easy_init());
    const std::unique_ptr<CURLM, CurlMultiDeleter> multi(curl_multi_init());
    if (!easy || !multi) {
        return fail(ExchangeFailure::NotConnected);
    }
    CURL* h = easy.get();
    CExchange x;
    x.bodyStart = parts.bodyStart;
    x.documentFd = documentFd;
    x.documentSize = documentFd >= 0 ? documentSize : 0;
    x.tail = tail;
    x.total = x.bodyStart.size() + x.documentSize + tail.size();

    // The headers go out as built, in their order; libcurl adds none of its own ("Accept:"
    // and "Expect:" with no value remove the ones it would add).
    curl_slist* list = nullptr;
    for (const std::string& line : parts.headers) {
        list = curl_slist_append(list, line.c_str());
    }
    list = curl_slist_append(list, "Accept:");
    list = curl_slist_append(list, "Expect:");
    const std::unique_ptr<curl_slist, CurlListDeleter> headers(list);

    const ServiceTimeouts limits = ServiceTimeoutSettings();
    const std::string url = UrlOf(target, parts.target);
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_PATH_AS_IS, 1L);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_HTTP09_ALLOWED, 1L);
    curl_easy_setopt(h, CURLOPT_HTTP_VERSION,
                     parts.http10 ? CURL_HTTP_VERSION_1_0 : CURL_HTTP_VERSION_1_1);
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limits.connectMs));
    curl_easy_setopt(h, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, TakeReply);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, &x);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, TakeReply);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &x);
    if (x.total > 0) {
        curl_easy_setopt(h, CURLOPT_POST, 1L);
        curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(x.total));
        curl_easy_setopt(h, CURLOPT_READFUNCTION, ReadBody);
        curl_easy_setopt(h, CURLOPT_READDATA, &x);
        curl_easy_setopt(h, CURLOPT_UPLOAD_BUFFERSIZE, 512L * 1024);
        if (parts.method != "POST") {
            curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, parts.method.c_str());
        }
    } else if (parts.method != "GET") {
        curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, parts.method.c_str());
    }
    if (!TransportSettingsForTests().caFile.empty()) {
        curl_easy_setopt(h, CURLOPT_CAINFO, TransportSettingsForTests().caFile.c_str());
    }
    if (!target.proxy.empty()) {
        const std::string proxy = "http://" + target.proxy;
        curl_easy_setopt(h, CURLOPT_PROXY, proxy.c_str());
        if (!target.proxyUser.empty()) {
            curl_easy_setopt(h, CURLOPT_PROXYUSERNAME, target.proxyUser.c_str());
            curl_easy_setopt(h, CURLOPT_PROXYPASSWORD, target.proxyPassword.c_str());
            curl_easy_setopt(h, CURLOPT_PROXYAUTH, static_cast<long>(CURLAUTH_BASIC));
        }
    }

    const auto deadline =
        Clock::now() +
        std::chrono::milliseconds(ExchangeDeadlineMs(limits, static_cast<std::size_t>(x.total)));
    const auto idle = std::chrono::milliseconds(limits.idleMs);
    const std::atomic<bool>* abandon = AbandonFlagOfThisThread();
    curl_multi_add_handle(multi.get(), h);
    ExchangeFailure why = ExchangeFailure::None;
    bool connected = false;
    for (int running = 1;;) {
        if (curl_multi_perform(multi.get(), &running) != CURLM_OK) {
            why = ExchangeFailure::Unreachable;
            break;
        }
        if (running == 0) {
            break;
        }
        const auto now = Clock::now();
        if (abandon != nullptr && abandon->load()) {
            why = ExchangeFailure::Abandoned;
            break;
        }
        if (!connected) {
            // The connection's own limit covers the time until it stands.
            curl_off_t at = 0;
            curl_easy_getinfo(h, CURLINFO_CONNECT_TIME_T, &at);
            connected = at > 0;
            x.lastProgress = connected ? now : x.lastProgress;
        }
        if (now > deadline || (connected && now - x.lastProgress > idle)) {
            why = connected ? ExchangeFailure::TimedOut : ExchangeFailure::NotConnected;
            break;
        }
        curl_multi_poll(multi.get(), nullptr, 0, kCheckMs, nullptr);
    }
    if (why == ExchangeFailure::None) {
        int left = 0;
        CURLcode code = CURLE_OK;
        while (CURLMsg* msg = curl_multi_info_read(multi.get(), &left)) {
            if (msg->msg == CURLMSG_DONE) {
                code = msg->data.result;
            }
        }
        why = x.documentChanged ? ExchangeFailure::Unreachable : FailureOf(code, h, x, target);
    }
    curl_multi_remove_handle(multi.get(), h);
    if (why != ExchangeFailure::None) {
        return fail(why);
    }
    if (failure != nullptr) {
        *failure = ExchangeFailure::None;
    }
    return std::move(x.reply);
}

bool ParseServiceAddress(std::string_view text, bool& https, std::string& host, int& port) {
    bool tls = false;
    if (text.starts_with("https://")) {
        tls = true;
        text.remove_prefix(8);
    } else if (text.starts_with("http://")) {
        text.remove_prefix(7);
    }
    while (!text.empty() && text.back() == '/') {
        text.remove_suffix(1);
    }
    std::string_view name = text;
    std::string_view portText;
    if (text.starts_with('[')) {
        const std::size_t close = text.find(']');
        if (close == std::string_view::npos) {
            return false;
        }
        name = text.substr(1, close - 1);
        const std::string_view rest = text.substr(close + 1);
        if (!rest.empty() && !rest.starts_with(':')) {
            return false;
        }
        portText = rest.empty() ? rest : rest.substr(1);
    } else if (const std::size_t colon = text.rfind(':');
               colon != std::string_view::npos && text.find(':') == colon) {
        // One colon: a port. More: an IPv6 address written without brackets and without one.
        name = text.substr(0, colon);
        portText = text.substr(colon + 1);
    }
    int number = tls ? 443 : 80;
    if (!portText.empty()) {
        number = 0;
        for (char c : portText) {
            if (c < '0' || c > '9' || number > 65535) {
                return false;
            }
            number = number * 10 + (c - '0');
        }
    }
    if (name.empty() || number <= 0 || number > 65535) {
        return false;
    }
    https = tls;
    host = name;
    port = number;
    return true;
}

bool IsProxyAddress(std::string_view text) {
    bool https = false;
    std::string host;
    int port = 0;
    if (text.find("://") != std::string_view::npos ||
        !ParseServiceAddress(text, https, host, port)) {
        return false;
    }
    const std::size_t colon = text.rfind(':');
    const std::size_t close = text.rfind(']');
    return colon != std::string_view::npos &&
           (close == std::string_view::npos ? text.find(':') == colon : colon > close);
}

std::string HostHeaderOf(bool https, const std::string& host, int port) {
    const std::string name = host.find(':') != std::string::npos ? "[" + host + "]" : host;
    return port == (https ? 443 : 80) ? name : name + ":" + std::to_string(port);
}
