#pragma once
// The HTTP exchange under the form posts, through libcurl: the request's head and form are built
// by the caller exactly as they go on the wire; this takes them apart into what libcurl needs to
// send the same bytes (request line, headers in their order, body streamed from the document)
// and gives back the reply as it came: the status and header lines, then the body.
#include "service/FormPost.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Where the exchange goes: the service (plain or TLS) and, optionally, the proxy to reach it
// through; without one, libcurl follows http_proxy, https_proxy and no_proxy.
struct CExchangeTarget {
    bool https = false;
    std::string host; // a name, an IPv4 address or an IPv6 address without brackets
    int port = 80;
    std::string proxy{}; // "host:port"
    std::string proxyUser{};
    std::string proxyPassword{};
};

// Process-wide transport choices that tests change: a CA bundle to verify servers against
// instead of the system's store ("" = the system's).
struct TransportSettings {
    std::string caFile;
};
TransportSettings& TransportSettingsForTests();

// Sends `head` (request line, headers, blank line and the start of the body), then
// `documentSize` bytes of the file `documentFd` (none when -1), then `tail`, and reads the reply
// until the server ends it. nullopt on any failure, with the reason in `failure` when given.
std::optional<std::string> ExchangeThrough(const CExchangeTarget& target, std::string_view head,
                                           int documentFd, std::uint64_t documentSize,
                                           std::string_view tail, ExchangeFailure* failure);

// The flag of the CAbandonRequests alive on this thread, if any.
const std::atomic<bool>* AbandonFlagOfThisThread();

// "host", "host:port", "[v6]:port", "v6" or any of these after "http://" or "https://" (port 443
// then, else 80). false with nothing set for an empty host or a port outside 1..65535.
bool ParseServiceAddress(std::string_view text, bool& https, std::string& host, int& port);

// "host:port" or "[v6]:port" with the port written and no scheme: a proxy's address.
bool IsProxyAddress(std::string_view text);

// The Host header's value: the host (bracketed when IPv6) and the port unless it is the
// scheme's own.
std::string HostHeaderOf(bool https, const std::string& host, int port);
