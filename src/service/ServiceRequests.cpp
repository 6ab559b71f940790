#include "app/Settings.h"
#include "service/FormPost.h"
#include "service/Transport.h"

ServiceEndpoint ApiEndpointFromSettings() {
    const CSettings& s = Settings();
    ServiceEndpoint e;
    if (!ParseServiceAddress(s.ApiHost, e.https, e.host, e.port)) {
        ParseServiceAddress(kDefaultApiHost, e.https, e.host, e.port);
    }
    e.userId = s.UserID;
    e.password = s.UserPWD;
    e.proxy = s.ProxyHost;
    e.proxyUser = s.ProxyUser;
    e.proxyPassword = s.ProxyPassword;
    return e;
}
