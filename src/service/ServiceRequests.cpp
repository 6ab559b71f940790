#include "app/Settings.h"
#include "service/FormPost.h"

ServiceEndpoint ApiEndpointFromSettings() {
    const CSettings& s = Settings();
    ServiceEndpoint e;
    SplitHostPort(s.ApiHost.empty() ? std::string(kDefaultApiHost) : s.ApiHost, e.host, e.port);
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
