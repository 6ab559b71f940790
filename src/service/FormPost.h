#pragma once
// The form-post client: each request is one HTTP/1.0 multipart POST over a fresh connection
// (libcurl's, see service/Transport.h), read until the server ends it; the XML found in the reply
// becomes a reply tree.
#include "service/ReplyTree.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// One fax submission. Texts and paths are UTF-8.
struct SendFaxRequest {
    std::string documentPath;  // "userfile"; must exist and not be empty
    std::string phoneListPath; // "item_csv"; left out when empty
    std::string description;   // "Descr"; always sent
    std::string phoneNumber;   // "Phone"; left out when empty
    std::int32_t attempts = 0; // "Attempts"
    std::int32_t delay = 0;    // "Delay"
};

// Where a request goes and whose it is. `password` is the plain password (UTF-8); only its
// digest is sent.
struct ServiceEndpoint {
    std::string host; // an IPv6 address without brackets
    int port = 80;
    std::string userId;
    std::string password;
    bool https{};
    // The proxy ("host:port") and its credentials; without one, libcurl follows http_proxy,
    // https_proxy and no_proxy.
    std::string proxy{};
    std::string proxyUser{};
    std::string proxyPassword{};
};

// Limits of one exchange. A time-out fails the request like any other error.
struct ServiceTimeouts {
    int connectMs = 20000;
    int idleMs = 60000; // longest wait for any progress while sending or reading
    // Longest a whole exchange may take, so a reply trickling in byte by byte cannot hold it
    // for ever; a request grows it by `msPerMegabyte` for every MiB it sends (a submission
    // carries its document).
    int exchangeMs = 120000;
    int msPerMegabyte = 60000;
};
// The process-wide limits; tests shorten them before starting requests.
ServiceTimeouts& ServiceTimeoutSettings();

// While one lives, requests made on its thread give up soon after `flag` is set instead of
// waiting out the time-outs, so closing the program does not wait for a silent service. For
// status queries only: a submission cut off this way might still have been accepted.
class CAbandonRequests {
public:
    explicit CAbandonRequests(const std::atomic<bool>& flag);
    ~CAbandonRequests();
    CAbandonRequests(const CAbandonRequests&) = delete;
    CAbandonRequests& operator=(const CAbandonRequests&) = delete;

private:
    const std::atomic<bool>* m_previous;
};

constexpr const char* kFaxSendScript = "fax.send.api.php";
constexpr const char* kFaxCheckScript = "fax.check.api.php";
constexpr const char* kFormBoundary = "------------56CDD882";
// A reply longer than this is no service reply; reading stops and the request fails.
constexpr std::size_t kMaxReplyBytes = 8u << 20;

// The password field: MD5 of the password's Windows-1251 bytes as 32 lower-case hex digits,
// or "" for an empty password.
std::string PasswordDigest(std::string_view password);

// Whole request bytes (header, blank line, body, final CRLF). `host` is the Host header value.
// Submission: nullopt when the document is missing or empty (nothing would be sent).
std::optional<std::string> BuildFaxSendRequest(const SendFaxRequest& request,
                                               std::string_view userId, std::string_view password,
                                               std::string_view host);
std::string BuildFaxStatusRequest(std::int32_t serverId, std::string_view userId,
                                  std::string_view password, std::string_view host);

// Why an exchange gave no reply.
enum class ExchangeFailure {
    None,
    NotConnected, // resolve or connect failed: nothing reached the server
    Unreachable,  // sending failed, or the document changed while it was sent
    TimedOut,     // no progress within idleMs, or the whole exchange over its deadline
    Abandoned,    // the abandon flag of CAbandonRequests was set
    TooLong,      // more than kMaxReplyBytes
    ProxyRefused, // the proxy refused the request for want of a right user and password (407)
    Certificate,  // the server's certificate failed verification: nothing sent
};

// The deadline of a whole exchange that sends `requestBytes` bytes, in milliseconds.
long long ExchangeDeadlineMs(const ServiceTimeouts& limits, std::size_t requestBytes);

// Sends the whole `request` (as built above) to `host` over plain HTTP, reads until the server
// ends the reply. nullopt on any failure (resolve, connect, send, time-out, over-long reply), with
// the reason in `failure` when given. A connection reset while reading keeps what arrived.
std::optional<std::string> ExchangeRequest(const std::string& host, int port,
                                           std::string_view request,
                                           ExchangeFailure* failure = nullptr);

// Lower-cases the reply (ASCII) except a document type declaration, takes it from the first
// "<?xml" on, strips trailing LF then CR and builds the tree. Empty when there is no reply or no
// XML declaration.
ReplyTree ReplyToTree(std::string reply);

// The two requests against an explicit endpoint. A submission gives why its exchange failed in
// `failure` when given (None when a reply came, readable or not).
ReplyTree RequestFaxSend(const SendFaxRequest& request, const ServiceEndpoint& endpoint,
                         ExchangeFailure* failure = nullptr);
ReplyTree RequestFaxStatus(std::int32_t serverId, const ServiceEndpoint& endpoint,
                           ExchangeFailure* failure = nullptr);

// The ApiHost setting ("host", "host:port", "[v6]:port", after "https://" for TLS) and the
// proxy setting with the credentials of the settings record
// (UserID and the password entered in this run); read on the GUI thread or in a tool, and
// handed to the workers.
ServiceEndpoint ApiEndpointFromSettings();
