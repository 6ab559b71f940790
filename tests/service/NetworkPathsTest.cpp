// The ways an office reaches the service, each through a real program on loopback: tinyproxy as
// the office proxy (with and without a password), socat as a TLS front with a test CA and as a
// listener on IPv6's loopback, all in front of a canned service.
#include "platform/Encoding.h"
#include "service/Transport.h"
#include "support/FaxsimProcess.h"
#include "support/ReplyServer.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <cstdlib>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

using testing_support::CReplyServer;
using testing_support::TempDir;

const std::string kTls = VELQUIN_SOURCE_DIR "/tests/data/tls/";
const std::string kReply = "HTTP/1.0 200 OK\r\n\r\n<?xml version=\"1.0\"?><response><error "
                           "code=\"0\" message=\"\"/><data><item id=\"7\" jobstatus=\"2\"/>"
                           "</data></response>";

int FreePort(int family = AF_INET) {
    const int fd = ::socket(family, SOCK_STREAM, 0);
    sockaddr_in6 a{};
    a.sin6_family = static_cast<sa_family_t>(family);
    if (family == AF_INET6) {
        a.sin6_addr = in6addr_loopback;
    }
    socklen_t len = family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), len) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0) {
        port = ntohs(a.sin6_port); // the port is at the same place in both forms
    }
    ::close(fd);
    return port;
}

// A program listening on `port` of `host` once started; false when it never listens.
bool StartListener(testing_support::ChildProcess& child, std::vector<std::string> argv,
                   const std::string& host, int port) {
    child.Start(std::move(argv), false);
    for (int i = 0; i < 200; ++i) {
        CExchangeTarget probe;
        probe.host = host;
        probe.port = port;
        ExchangeFailure why = ExchangeFailure::None;
        ExchangeThrough(probe, "GET /probe HTTP/1.0\r\n\r\n", -1, 0, {}, &why);
        if (why != ExchangeFailure::NotConnected) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    return false;
}

bool StartProxy(testing_support::ChildProcess& child, const TempDir& dir, int port,
                const std::string& auth) {
    const std::string conf = dir / ("tinyproxy-" + std::to_string(port) + ".conf");
    testing_support::WriteFile(conf, "Port " + std::to_string(port) +
                                         "\nListen 127.0.0.1\nAllow 127.0.0.1\nTimeout 30\n"
                                         "LogLevel Critical\n" +
                                         (auth.empty() ? "" : "BasicAuth " + auth + "\n"));
    return StartListener(child, {"tinyproxy", "-d", "-c", conf}, "127.0.0.1", port);
}

// The body as far as Content-length says: a proxy does not pass on the client's final CRLF.
std::string BodyOf(const std::string& request) {
    const std::size_t end = request.find("\r\n\r\n");
    const std::string head = platform::AsciiLower(request.substr(0, end));
    const std::size_t length = head.find("\r\ncontent-length: ");
    if (end == std::string::npos || length == std::string::npos) {
        return {};
    }
    return request.substr(end + 4, std::stoul(head.substr(length + 18)));
}

// A submission and a status query, their bodies as the service got them.
std::vector<std::string> SendAndAsk(const ServiceEndpoint& e, const std::string& doc,
                                    CReplyServer& server, ExchangeFailure& sendWhy) {
    SendFaxRequest r;
    r.documentPath = doc;
    r.phoneNumber = "88121234567";
    r.description = "Счёт";
    const std::size_t before = server.Received().size();
    RequestFaxSend(r, e, &sendWhy);
    EXPECT_TRUE(FindReplyPath(RequestFaxStatus(7, e).get(), {"response", "data", "item"}));
    std::vector<std::string> bodies;
    const std::vector<std::string> got = server.Received();
    for (std::size_t i = before; i < got.size(); ++i) {
        bodies.push_back(BodyOf(got[i]));
    }
    return bodies;
}

class NetworkPaths : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* v : {"http_proxy", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY",
                              "no_proxy", "NO_PROXY"}) {
            ::unsetenv(v);
        }
        std::string image(300 * 1024, 'i');
        image += "\r\n--------------56CDD882\r\n";
        testing_support::WriteFile(m_doc, image);
    }
    void TearDown() override {
        TransportSettingsForTests() = {};
        ::unsetenv("http_proxy");
    }
    TempDir m_dir;
    std::string m_doc = m_dir / "doc.tif";
    CReplyServer m_service{std::vector<std::string>{kReply}};
};

TEST_F(NetworkPaths, ThroughAProxyTheServiceGetsTheSameBodiesAndARefusalIsToldAsSuch) {
    ServiceEndpoint direct{"127.0.0.1", m_service.Port(), "u", "secret"};
    ExchangeFailure why = ExchangeFailure::Unreachable;
    const std::vector<std::string> expected = SendAndAsk(direct, m_doc, m_service, why);
    ASSERT_EQ(expected.size(), 2u);
    ASSERT_EQ(why, ExchangeFailure::None);

    testing_support::ChildProcess guarded;
    testing_support::ChildProcess open;
    const int guardedPort = FreePort();
    const int openPort = FreePort();
    if (!StartProxy(guarded, m_dir, guardedPort, "clerk s3cret") ||
        !StartProxy(open, m_dir, openPort, "")) {
        GTEST_SKIP() << "tinyproxy cannot be started here";
    }
    ServiceEndpoint viaProxy = direct;
    viaProxy.proxy = "127.0.0.1:" + std::to_string(guardedPort);
    viaProxy.proxyUser = "clerk";
    viaProxy.proxyPassword = "s3cret";
    EXPECT_TRUE(SendAndAsk(viaProxy, m_doc, m_service, why) == expected);
    EXPECT_EQ(why, ExchangeFailure::None);

    // Without the password, or with a wrong one, nothing reaches the service.
    const int served = m_service.Requests();
    for (const std::string& password : {std::string(), std::string("wrong")}) {
        viaProxy.proxyPassword = password;
        viaProxy.proxyUser = password.empty() ? "" : "clerk";
        ExchangeFailure statusWhy = ExchangeFailure::None;
        EXPECT_FALSE(RequestFaxStatus(7, viaProxy, &statusWhy));
        EXPECT_EQ(statusWhy, ExchangeFailure::ProxyRefused);
    }
    EXPECT_EQ(m_service.Requests(), served);

    // The environment's proxy serves when the settings name none.
    ::setenv("http_proxy", ("http://127.0.0.1:" + std::to_string(openPort)).c_str(), 1);
    EXPECT_TRUE(SendAndAsk(direct, m_doc, m_service, why) == expected);
    open.Stop();
    EXPECT_FALSE(RequestFaxStatus(7, direct)) << "the request must have gone to the proxy";
}

TEST_F(NetworkPaths, HttpsIsVerifiedAgainstTheCaAndIpv6LoopbackIsReached) {
    testing_support::ChildProcess tls;
    const int tlsPort = FreePort();
    const std::string upstream = "TCP4:127.0.0.1:" + std::to_string(m_service.Port());
    if (!StartListener(tls,
                       {"socat",
                        "OPENSSL-LISTEN:" + std::to_string(tlsPort) +
                            ",bind=127.0.0.1,reuseaddr,fork,verify=0,cert=" + kTls +
                            "server.pem,key=" + kTls + "server.key",
                        upstream},
                       "127.0.0.1", tlsPort)) {
        GTEST_SKIP() << "socat cannot be started here";
    }
    ServiceEndpoint e;
    ASSERT_TRUE(ParseServiceAddress("https://localhost:" + std::to_string(tlsPort) + "/", e.https,
                                    e.host, e.port));
    EXPECT_TRUE(e.https);
    e.userId = "u";
    TransportSettingsForTests().caFile = kTls + "ca.pem";
    ExchangeFailure why = ExchangeFailure::Unreachable;
    EXPECT_TRUE(FindReplyPath(RequestFaxStatus(7, e, &why).get(), {"response", "data", "item"}));
    EXPECT_EQ(why, ExchangeFailure::None);
    EXPECT_NE(m_service.Received().back().find("Host: localhost:" + std::to_string(tlsPort)),
              std::string::npos);

    // A server whose certificate the trusted CA did not sign is refused before any byte goes.
    const int served = m_service.Requests();
    TransportSettingsForTests().caFile = kTls + "other-ca.pem";
    EXPECT_FALSE(RequestFaxStatus(7, e, &why));
    EXPECT_EQ(why, ExchangeFailure::Certificate);
    EXPECT_EQ(m_service.Requests(), served);

    testing_support::ChildProcess v6;
    const int v6Port = FreePort(AF_INET6);
    if (v6Port == 0 ||
        !StartListener(
            v6, {"socat", "TCP6-LISTEN:" + std::to_string(v6Port) + ",bind=[::1],fork", upstream},
            "::1", v6Port)) {
        GTEST_SKIP() << "no IPv6 loopback here";
    }
    ServiceEndpoint six;
    ASSERT_TRUE(
        ParseServiceAddress("[::1]:" + std::to_string(v6Port), six.https, six.host, six.port));
    EXPECT_EQ(six.host, "::1");
    EXPECT_TRUE(FindReplyPath(RequestFaxStatus(7, six).get(), {"response", "data", "item"}));
    EXPECT_NE(m_service.Received().back().find("Host: [::1]:" + std::to_string(v6Port)),
              std::string::npos);
}

} // namespace

namespace {

TEST(ServiceAddressTest, SchemesPortsAndIpv6FormsAreReadAndNonsenseRefused) {
    struct Case {
        const char* text;
        bool https;
        const char* host;
        int port;
    };
    for (const Case& c :
         {Case{"api.velquin.net", false, "api.velquin.net", 80},
          Case{"https://api.velquin.net/", true, "api.velquin.net", 443},
          Case{"http://h:8080", false, "h", 8080}, Case{"[::1]:81", false, "::1", 81},
          Case{"https://[fe80::1]", true, "fe80::1", 443},
          Case{"2001:db8::5", false, "2001:db8::5", 80}}) {
        bool https = !c.https;
        std::string host;
        int port = 0;
        ASSERT_TRUE(ParseServiceAddress(c.text, https, host, port)) << c.text;
        EXPECT_EQ(std::tie(https, host, port), std::tie(c.https, c.host, c.port)) << c.text;
        EXPECT_EQ(HostHeaderOf(https, host, port).find('[') != std::string::npos,
                  host.find(':') != std::string::npos);
    }
    bool https = false;
    std::string host = "kept";
    int port = 1;
    for (const char* bad : {"", "h:0", "h:65536", "h:8o", "[::1", "[::1]x", "https://"}) {
        EXPECT_FALSE(ParseServiceAddress(bad, https, host, port)) << bad;
    }
    EXPECT_EQ(host, "kept");
}

} // namespace
