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
