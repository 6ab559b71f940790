#include "app/Settings.h"
#include "service/FormPost.h"

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
    std::string host;
    int port = 80;
    SplitHostPort(endpoint.hostPort, host, port);
    std::optional<std::string> bytes =
        BuildFaxSendRequest(request, endpoint.userId, endpoint.password, HostHeader(host, port));
    if (!bytes) {
        return {};
    }
    return Exchange(*bytes, host, port);
}

ReplyTree RequestFaxStatus(std::int32_t serverId, const ServiceEndpoint& endpoint) {
    std::string host;
    int port = 80;
    SplitHostPort(endpoint.hostPort, host, port);
    std::string bytes =
        BuildFaxStatusRequest(serverId, endpoint.userId, endpoint.password, HostHeader(host, port));
    return Exchange(bytes, host, port);
}

ServiceEndpoint ApiEndpointFromSettings() {
    const CSettings& s = Settings();
    ServiceEndpoint e;
    e.hostPort = s.ApiHost.empty() ? std::string(kDefaultApiHost) : s.ApiHost;
    e.userId = s.UserID;
    e.password = s.UserPWD;
    return e;
}

ReplyTree RequestFaxSend(const SendFaxRequest& request) {
    return RequestFaxSend(request, ApiEndpointFromSettings());
}

ReplyTree RequestFaxStatus(std::int32_t serverId) {
    return RequestFaxStatus(serverId, ApiEndpointFromSettings());
}
