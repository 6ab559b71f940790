// The ways an office reaches the service, each through a real program on loopback: tinyproxy as
// the office proxy, socat as a TLS front with a test CA and as an IPv6 listener, all in front of
// a canned service.
#include "platform/Encoding.h"
#include "service/Transport.h"
#include "support/FaxsimProcess.h"
#include "support/ReplyServer.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <netinet/in.h>
#include <thread>
#include <unistd.h>

namespace {

using testing_support::ChildProcess;
using testing_support::CReplyServer;

const std::string kTls = VELQUIN_SOURCE_DIR "/tests/data/tls/";
const std::string kReply = "HTTP/1.0 200 OK\r\n\r\n<?xml version=\"1.0\"?><response><data><item "
                           "id=\"7\" jobstatus=\"2\"/></data></response>";

int FreePort(int family) {
    const int fd = ::socket(family, SOCK_STREAM, 0);
    sockaddr_in6 a{}; // an IPv4 address's port lies at the same place
    a.sin6_family = static_cast<sa_family_t>(family);
    a.sin6_addr = in6addr_loopback;
    socklen_t len = family == AF_INET6 ? sizeof a : sizeof(sockaddr_in);
    const bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&a), len) == 0 &&
                    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0;
    ::close(fd);
    return ok ? ntohs(a.sin6_port) : 0;
}

// Starts `argv`, which listens on `port` of `host`; false when it never does.
bool StartListener(ChildProcess& child, std::vector<std::string> argv, const std::string& host,
                   int port) {
    child.Start(std::move(argv), false);
    for (int i = 0; port != 0 && i < 200; ++i) {
        ExchangeFailure why = ExchangeFailure::None;
        ExchangeThrough({false, host, port}, "GET /probe HTTP/1.0\r\n\r\n", -1, 0, {}, &why);
        if (why != ExchangeFailure::NotConnected) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    return false;
}

// What the service got of each request from the `from`th on, as far as Content-length says: a
// proxy does not pass on the client's final CRLF.
std::vector<std::string> Bodies(CReplyServer& service, std::size_t from) {
    std::vector<std::string> bodies;
    const std::vector<std::string> got = service.Received();
    for (std::size_t i = from; i < got.size(); ++i) {
        const std::size_t end = got[i].find("\r\n\r\n");
        const std::string head = platform::AsciiLower(got[i].substr(0, end));
        const std::size_t length = head.find("\r\ncontent-length: ") + 18;
        bodies.push_back(got[i].substr(end + 4, std::stoul(head.substr(length))));
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
        testing_support::WriteFile(m_doc,
                                   std::string(300 * 1024, 'i') + "\r\n--------------56CDD882");
    }
    void TearDown() override { TransportSettingsForTests() = {}; }
    // A submission and a status query; the bodies the service got.
    std::vector<std::string> SendAndAsk(const ServiceEndpoint& e) {
        SendFaxRequest r{m_doc, "", "Счёт", "88121234567", 3, 10};
        const std::size_t before = m_service.Received().size();
        ExchangeFailure why = ExchangeFailure::Unreachable;
        RequestFaxSend(r, e, &why);
        EXPECT_EQ(why, ExchangeFailure::None);
        EXPECT_TRUE(FindReplyPath(RequestFaxStatus(7, e).get(), {"response", "data", "item"}));
        return Bodies(m_service, before);
    }
    testing_support::TempDir m_dir;
    std::string m_doc = m_dir / "doc.tif";
    CReplyServer m_service{std::vector<std::string>{kReply}};
};

TEST_F(NetworkPaths, ThroughAProxyTheServiceGetsTheSameBodiesAndARefusalIsToldAsSuch) {
    const ServiceEndpoint direct{"127.0.0.1", m_service.Port(), "u", "secret"};
    const std::vector<std::string> expected = SendAndAsk(direct);
    ASSERT_EQ(expected.size(), 2u);

    auto proxy = [&](ChildProcess& child, const std::string& auth) {
        const int port = FreePort(AF_INET);
        const std::string conf = m_dir / ("tinyproxy" + std::to_string(port));
        testing_support::WriteFile(conf, "Port " + std::to_string(port) +
                                             "\nListen 127.0.0.1\nAllow 127.0.0.1\n"
                                             "LogLevel Critical\n" +
                                             auth + "\n");
        return StartListener(child, {"tinyproxy", "-d", "-c", conf}, "127.0.0.1", port) ? port : 0;
    };
    ChildProcess guarded;
    ChildProcess open;
    const int guardedPort = proxy(guarded, "BasicAuth clerk s3cret");
    const int openPort = proxy(open, "");
    if (guardedPort == 0 || openPort == 0) {
        GTEST_SKIP() << "tinyproxy cannot be started here";
    }
    ServiceEndpoint via = direct;
    via.proxy = "127.0.0.1:" + std::to_string(guardedPort);
    via.proxyUser = "clerk";
    via.proxyPassword = "s3cret";
    EXPECT_TRUE(SendAndAsk(via) == expected);

    // Without the password, or with a wrong one, nothing reaches the service.
    const int served = m_service.Requests();
    for (const std::string password : {"", "wrong"}) {
        via.proxyUser = password.empty() ? "" : "clerk";
        via.proxyPassword = password;
        ExchangeFailure why = ExchangeFailure::None;
        EXPECT_FALSE(RequestFaxStatus(7, via, &why));
        EXPECT_EQ(why, ExchangeFailure::ProxyRefused);
    }
    EXPECT_EQ(m_service.Requests(), served);

    // The environment's proxy serves when the settings name none.
    ::setenv("http_proxy", ("http://127.0.0.1:" + std::to_string(openPort)).c_str(), 1);
    EXPECT_TRUE(SendAndAsk(direct) == expected);
    open.Stop();
    EXPECT_FALSE(RequestFaxStatus(7, direct)) << "the request must have gone to the proxy";
}

TEST_F(NetworkPaths, HttpsIsVerifiedAgainstTheCaAndIpv6LoopbackIsReached) {
    const std::string upstream = "TCP4:127.0.0.1:" + std::to_string(m_service.Port());
    ChildProcess tls;
    const int tlsPort = FreePort(AF_INET);
    if (!StartListener(tls,
                       {"socat", "-lf", "/dev/null",
                        "OPENSSL-LISTEN:" + std::to_string(tlsPort) +
                            ",bind=127.0.0.1,fork,verify=0,cert=" + kTls +
                            "server.pem,key=" + kTls + "server.key",
                        upstream},
                       "127.0.0.1", tlsPort)) {
        GTEST_SKIP() << "socat cannot be started here";
    }
    ServiceEndpoint e{"", 0, "u", ""};
    ASSERT_TRUE(ParseServiceAddress("https://localhost:" + std::to_string(tlsPort) + "/", e.https,
                                    e.host, e.port));
    TransportSettingsForTests().caFile = kTls + "ca.pem";
    ExchangeFailure why = ExchangeFailure::Unreachable;
    EXPECT_TRUE(FindReplyPath(RequestFaxStatus(7, e, &why).get(), {"response", "data", "item"}));
    EXPECT_NE(m_service.Received().back().find("Host: localhost:" + std::to_string(tlsPort)),
              std::string::npos);

    // A server whose certificate the trusted CA did not sign is refused before any byte goes.
    const int served = m_service.Requests();
    TransportSettingsForTests().caFile = kTls + "other-ca.pem";
    EXPECT_FALSE(RequestFaxStatus(7, e, &why));
    EXPECT_EQ(why, ExchangeFailure::Certificate);
    EXPECT_EQ(m_service.Requests(), served);

    ChildProcess v6;
    const int v6Port = FreePort(AF_INET6);
    if (!StartListener(
            v6, {"socat", "TCP6-LISTEN:" + std::to_string(v6Port) + ",bind=[::1],fork", upstream},
            "::1", v6Port)) {
        GTEST_SKIP() << "no IPv6 loopback here";
    }
    ServiceEndpoint six{"", 0, "u", ""};
    ASSERT_TRUE(
        ParseServiceAddress("[::1]:" + std::to_string(v6Port), six.https, six.host, six.port));
    EXPECT_TRUE(FindReplyPath(RequestFaxStatus(7, six).get(), {"response", "data", "item"}));
    EXPECT_NE(m_service.Received().back().find("Host: [::1]:" + std::to_string(v6Port)),
              std::string::npos);
}

} // namespace
