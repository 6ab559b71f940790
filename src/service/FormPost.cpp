#include "service/FormPost.h"

#include "service/Transport.h"

#include "platform/Encoding.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

ServiceTimeouts& ServiceTimeoutSettings() {
    static ServiceTimeouts timeouts;
    return timeouts;
}

namespace {
thread_local const std::atomic<bool>* t_abandon = nullptr;
} // namespace

const std::atomic<bool>* AbandonFlagOfThisThread() {
    return t_abandon;
}

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

void AppendFilePartHeader(std::string& body, std::string_view name, const std::string& path) {
    body += kDelimiterLine;
    body += "Content-Disposition: form-data; name=\"";
    body += name;
    body += "\"; filename=\"";
    body += platform::Utf8ToCp1251(path);
    body += "\"\r\n\r\n";
}

// What closes a file part after its bytes.
const std::string kFilePartEnd = "\r\n" + kDelimiterLine;
// What follows the body, not counted in its length.
constexpr std::string_view kRequestEnd = "\r\n";

// Copies a small file (the phone list) into a file part. A file that cannot be opened
// contributes no bytes.
void AppendFilePart(std::string& body, std::string_view name, const std::string& path) {
    AppendFilePartHeader(body, name, path);
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        char buf[65536];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
            body.append(buf, n);
        }
        std::fclose(f);
    }
    body += kFilePartEnd;
}

// The request line and headers of a form whose body has `bodyLength` bytes.
std::string RequestHead(std::string_view script, std::string_view host, std::uint64_t bodyLength) {
    std::string req;
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
    req += "Content-length: " + std::to_string(bodyLength) + "\r\n";
    req += "Connection: close\r\n";
    req += "\r\n";
    return req;
}

std::string BuildRequest(std::string_view script, std::string_view host, const std::string& body) {
    std::string req = RequestHead(script, host, body.size());
    req += body;
    req += kRequestEnd;
    return req;
}

// Closes a file or socket descriptor when it goes.
class CFileDescriptor {
public:
    CFileDescriptor() = default;
    CFileDescriptor(const CFileDescriptor&) = delete;
    CFileDescriptor& operator=(const CFileDescriptor&) = delete;
    ~CFileDescriptor() { Reset(-1); }
    void Reset(int fd) {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
        m_fd = fd;
    }
    int Fd() const { return m_fd; }

private:
    int m_fd = -1;
};

// A submission as it goes on the wire: `head` (the request line, the headers and the form up
// to the document's bytes), the document's `documentSize` bytes read from its file while they
// are sent, and `tail`. The document is never held in memory whole.
struct CUpload {
    std::string head;
    CFileDescriptor document;
    std::uint64_t documentSize = 0;
    std::string tail;
};

// Opens the document and lays out the request around it; false when the document is
// missing, empty, no regular file or too large for the 32-bit length header.
bool PrepareFaxSend(const SendFaxRequest& request, std::string_view userId,
                    std::string_view password, std::string_view host, CUpload& upload) {
    if (request.documentPath.empty()) {
        return false;
    }
    upload.document.Reset(::open(request.documentPath.c_str(), O_RDONLY | O_CLOEXEC));
    const int document = upload.document.Fd();
    struct stat st {};
    if (document < 0 || ::fstat(document, &st) != 0 || S_ISDIR(st.st_mode) || st.st_size <= 0) {
        return false;
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
    AppendFilePartHeader(body, "userfile", request.documentPath);
    const std::uint64_t size = static_cast<std::uint64_t>(st.st_size);
    const std::uint64_t bodyLength = body.size() + size + kFilePartEnd.size();
    // The length header is a 32-bit number on the wire.
    if (bodyLength > static_cast<std::uint64_t>(std::numeric_limits<int>::max())) {
        return false;
    }
    upload.head = RequestHead(kFaxSendScript, host, bodyLength) + body;
    upload.documentSize = size;
    upload.tail = kFilePartEnd + std::string(kRequestEnd);
    return true;
}

// Reads exactly `size` bytes at `offset`; false on an error or a file cut short.
bool ReadAt(int fd, char* buffer, std::size_t size, std::uint64_t offset) {
    while (size > 0) {
        ssize_t n = ::pread(fd, buffer, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        buffer += n;
        size -= static_cast<std::size_t>(n);
        offset += static_cast<std::uint64_t>(n);
    }
    return true;
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
    CUpload upload;
    if (!PrepareFaxSend(request, userId, password, host, upload)) {
        return std::nullopt;
    }
    std::string bytes = upload.head;
    bytes.resize(upload.head.size() + static_cast<std::size_t>(upload.documentSize));
    if (!ReadAt(upload.document.Fd(), bytes.data() + upload.head.size(),
                static_cast<std::size_t>(upload.documentSize), 0)) {
        return std::nullopt;
    }
    bytes += upload.tail;
    return bytes;
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

namespace {

CExchangeTarget TargetOf(const ServiceEndpoint& endpoint) {
    return {endpoint.https, endpoint.host,      endpoint.port,
            endpoint.proxy, endpoint.proxyUser, endpoint.proxyPassword};
}

} // namespace

std::optional<std::string> ExchangeRequest(const std::string& host, int port,
                                           std::string_view request, ExchangeFailure* failure) {
    CExchangeTarget target;
    target.host = host;
    target.port = port;
    return ExchangeThrough(target, request, -1, 0, {}, failure);
}

namespace {

// The document type declaration in the prolog that begins at `at` (the XML declaration), as
// offset and length; length 0 when there is none or it does not end. `text` is lower-cased.
std::pair<std::size_t, std::size_t> DoctypeDeclaration(std::string_view text, std::size_t at) {
    auto skipPast = [&](std::size_t from, std::string_view end) {
        std::size_t e = text.find(end, from);
        return e == std::string_view::npos ? e : e + end.size();
    };
    std::size_t i = skipPast(at, "?>");
    while (i != std::string_view::npos && i < text.size()) {
        const std::string_view rest = text.substr(i);
        if (rest[0] == ' ' || rest[0] == '\t' || rest[0] == '\r' || rest[0] == '\n') {
            ++i;
        } else if (rest.starts_with("<!--")) {
            i = skipPast(i + 4, "-->");
        } else if (rest.starts_with("<?")) {
            i = skipPast(i + 2, "?>");
        } else if (rest.starts_with("<!doctype")) {
            break;
        } else {
            return {0, 0};
        }
    }
    if (i == std::string_view::npos || i >= text.size()) {
        return {0, 0};
    }
    // Its end: the first '>' outside quoted literals and the internal subset.
    char quote = 0;
    bool subset = false;
    for (std::size_t j = i + 9; j < text.size();) {
        const char c = text[j];
        const std::string_view rest = text.substr(j);
        if (quote != 0) {
            quote = c == quote ? 0 : quote;
        } else if (subset && (rest.starts_with("<!--") || rest.starts_with("<?"))) {
            j = skipPast(j + 2, rest[1] == '!' ? "-->" : "?>");
            continue;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '[' || c == ']') {
            subset = c == '[';
        } else if (c == '>' && !subset) {
            return {i, j + 1 - i};
        }
        ++j;
    }
    return {0, 0};
}

} // namespace

ReplyTree ReplyToTree(std::string reply) {
    if (reply.empty()) {
        return {};
    }
    std::string lowered = platform::AsciiLower(reply);
    std::size_t at = lowered.find("<?xml");
    if (at == std::string::npos) {
        return {};
    }
    // The declaration's keywords are upper case in XML; its names mean nothing to the tree.
    if (auto [from, length] = DoctypeDeclaration(lowered, at); length != 0) {
        lowered.replace(from, length, reply, from, length);
        lowered.replace(from + 2, 7, "DOCTYPE");
    }
    reply = std::move(lowered);
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

namespace {} // namespace

ReplyTree RequestFaxSend(const SendFaxRequest& request, const ServiceEndpoint& endpoint,
                         ExchangeFailure* failure) {
    CUpload upload;
    if (!PrepareFaxSend(request, endpoint.userId, endpoint.password,
                        HostHeaderOf(endpoint.https, endpoint.host, endpoint.port), upload)) {
        return {};
    }
    std::optional<std::string> reply =
        ExchangeThrough(TargetOf(endpoint), upload.head, upload.document.Fd(), upload.documentSize,
                        upload.tail, failure);
    return reply ? ReplyToTree(std::move(*reply)) : ReplyTree{};
}

ReplyTree RequestFaxStatus(std::int32_t serverId, const ServiceEndpoint& endpoint,
                           ExchangeFailure* failure) {
    const std::string bytes =
        BuildFaxStatusRequest(serverId, endpoint.userId, endpoint.password,
                              HostHeaderOf(endpoint.https, endpoint.host, endpoint.port));
    std::optional<std::string> reply =
        ExchangeThrough(TargetOf(endpoint), bytes, -1, 0, {}, failure);
    return reply ? ReplyToTree(std::move(*reply)) : ReplyTree{};
}
