#include "service/FormPost.h"
#include "platform/Encoding.h"
#include "support/ReplyServer.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

const std::string kDl = "--------------56CDD882\r\n";

std::string TextPart(const std::string& name, const std::string& value) {
    return kDl + "Content-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" + value + "\r\n" +
           kDl;
}

std::string FilePart(const std::string& name, const std::string& path, const std::string& bytes) {
    return kDl + "Content-Disposition: form-data; name=\"" + name + "\"; filename=\"" + path +
           "\"\r\n\r\n" + bytes + "\r\n" + kDl;
}

std::string Head(const std::string& script, const std::string& host, std::size_t length) {
    return "POST /api/" + script + " HTTP/1.0\r\nHost: " + host +
           "\r\nUser-agent: Tarnwell Velquin\r\n"
           "Content-type: multipart/form-data, boundary=------------56CDD882\r\n"
           "Content-length: " +
           std::to_string(length) + "\r\nConnection: close\r\n\r\n";
}

TEST(PasswordDigestTest, Md5OfTheCodePageBytesOrEmpty) {
    EXPECT_EQ(PasswordDigest(""), "");
    EXPECT_EQ(PasswordDigest("secret"), "5ebe2294ecd0e0f08eab7690d2a6ee69");
    // "пароль" in Windows-1251 is ef e0 f0 ee eb fc.
    EXPECT_EQ(PasswordDigest("пароль"),
              PasswordDigest(platform::Cp1251ToUtf8("\xef\xe0\xf0\xee\xeb\xfc")));
    EXPECT_NE(PasswordDigest("пароль"), PasswordDigest("parol"));
}

TEST(BuildRequestTest, StatusQueryIsExactAndCountsTheBodyOnly) {
    std::string req = BuildFaxStatusRequest(12345, "abcde", "secret", "api.example");
    std::string body = TextPart("username", "abcde") +
                       TextPart("password", "5ebe2294ecd0e0f08eab7690d2a6ee69") +
                       TextPart("faxid", "12345");
    ASSERT_EQ(body.size(), 342u);
    EXPECT_EQ(req, Head("fax.check.api.php", "api.example", 342) + body + "\r\n");
    EXPECT_NE(req.find("Content-length: 342\r\n"), std::string::npos);

    std::string zero = BuildFaxStatusRequest(0, "abcde", "", "h");
    EXPECT_NE(zero.find(TextPart("password", "") + TextPart("faxid", "0")), std::string::npos);
    EXPECT_NE(BuildFaxStatusRequest(-3, "u", "", "h").find(TextPart("faxid", "-3")),
              std::string::npos);
}

TEST(BuildRequestTest, SubmissionHasEveryPartInOrder) {
    TempDir dir;
    std::string doc = dir / "doc.tif";
    std::string list = dir / "list.csv";
    const char raw[] = "II*\0\r\n--------------56CDD882\r\nbinary\xff";
    std::string image(raw, sizeof raw - 1); // holds a NUL and the delimiter line
    WriteFile(doc, image);
    WriteFile(list, "79001234567\r\n");
    SendFaxRequest r;
    r.documentPath = doc;
    r.phoneListPath = list;
    r.phoneNumber = "88121234567";
    r.description = "Счёт №5";
    r.attempts = 3;
    r.delay = -1;
    auto req = BuildFaxSendRequest(r, "пётр", "secret", "h:8080");
    ASSERT_TRUE(req);
    std::string body =
        TextPart("username", platform::Utf8ToCp1251("пётр")) +
        TextPart("password", PasswordDigest("secret")) + TextPart("Phone", "88121234567") +
        FilePart("item_csv", list, "79001234567\r\n") + TextPart("Attempts", "3") +
        TextPart("Delay", "-1") + TextPart("Descr", platform::Utf8ToCp1251("Счёт №5")) +
        FilePart("userfile", doc, image);
    EXPECT_EQ(*req, Head("fax.send.api.php", "h:8080", body.size()) + body + "\r\n");
}

TEST(BuildRequestTest, TheDocumentGoesOnTheWireAsTheBuiltRequestHasIt) {
    // The document is sent from its file piece by piece: what arrives is byte for byte the
    // request built in memory, for a document of several pieces with the delimiter inside.
    TempDir dir;
    std::string doc = dir / "big.tif";
    std::string image;
    for (std::uint32_t i = 0; image.size() < 700 * 1024 + 13; ++i) {
        image += static_cast<char>((i * 2654435761u) >> 24);
        if (i % 100000 == 0) {
            image += "\r\n--------------56CDD882\r\n";
        }
    }
    WriteFile(doc, image);
    SendFaxRequest r;
    r.documentPath = doc;
    r.phoneNumber = "88121234567";
    r.description = "Счёт";
    testing_support::CReplyServer server({"HTTP/1.0 200 OK\r\n\r\n<?xml version=\"1.0\"?><response>"
                                          "<data><item id=\"9\"/></data></response>"});
    ServiceEndpoint e{"127.0.0.1", server.Port(), "u", "secret"};
    ReplyTree t = RequestFaxSend(r, e);
    ASSERT_NE(FindReplyPath(t.get(), {"response", "data", "item"}), nullptr);
    auto built = BuildFaxSendRequest(r, "u", "secret", server.HostPort());
    ASSERT_TRUE(built);
    ASSERT_EQ(server.Received().size(), 1u);
    const std::string got = server.Received()[0];
    // The server stops reading where Content-length ends; the final CRLF may come with it.
    ASSERT_GE(got.size(), built->size() - 2);
    EXPECT_TRUE(got == *built || got == built->substr(0, built->size() - 2));
}

TEST(BuildRequestTest, OptionalPartsAreLeftOutAndEmptyDescriptionKept) {
    TempDir dir;
    std::string doc = dir / "doc.tif";
    WriteFile(doc, "X");
    SendFaxRequest r;
    r.documentPath = doc;
    auto req = BuildFaxSendRequest(r, "u", "", "h");
    ASSERT_TRUE(req);
    std::string body = TextPart("username", "u") + TextPart("password", "") +
                       TextPart("Attempts", "0") + TextPart("Delay", "0") + TextPart("Descr", "") +
                       FilePart("userfile", doc, "X");
    EXPECT_EQ(*req, Head("fax.send.api.php", "h", body.size()) + body + "\r\n");

    // A phone list that cannot be read still sends its (empty) part.
    r.phoneListPath = dir / "missing.csv";
    req = BuildFaxSendRequest(r, "u", "", "h");
    ASSERT_TRUE(req);
    EXPECT_NE(req->find(FilePart("item_csv", r.phoneListPath, "") + TextPart("Attempts", "0")),
              std::string::npos);
}

TEST(BuildRequestTest, MissingOrEmptyDocumentSendsNothing) {
    TempDir dir;
    SendFaxRequest r;
    r.phoneNumber = "1";
    r.documentPath = dir / "none.tif";
    EXPECT_FALSE(BuildFaxSendRequest(r, "u", "p", "h"));
    r.documentPath = dir / "empty.tif";
    WriteFile(r.documentPath, "");
    EXPECT_FALSE(BuildFaxSendRequest(r, "u", "p", "h"));
    r.documentPath = dir.Path(); // a directory is no document
    EXPECT_FALSE(BuildFaxSendRequest(r, "u", "p", "h"));
}

TEST(ReplyToTreeTest, FindsTheDeclarationAfterLoweringAndStripsLineEnds) {
    // A document type declaration keeps the case XML needs.
    for (const char* doctype :
         {"", "<!DOCTYPE RESPONSE SYSTEM 'R.dtd'>",
          " <!-- > --> <!doctype Response [<!-- ]> --><!ELEMENT RESPONSE ANY>] >"}) {
        ReplyTree t = ReplyToTree(std::string("HTTP/1.0 200 OK\r\nContent-Type: text/xml\r\n\r\n"
                                              "<?XML VERSION=\"1.0\"?>") +
                                  doctype +
                                  "<RESPONSE><ERROR CODE=\"3\" MESSAGE=\"Bad Login\"/>"
                                  "</RESPONSE>\r\n\r\n\n\n");
        ASSERT_TRUE(t);
        Dictionary* error = FindReplyPath(t.get(), {"response", "error"});
        ASSERT_NE(error, nullptr) << doctype;
        EXPECT_EQ(error->valueForKey("code", EmptyValue()).intValue(), 3);
        EXPECT_EQ(error->valueForKey("message", EmptyValue()).stringValue(), "bad login");
    }
}

TEST(ReplyToTreeTest, NoXmlMeansNoTreeAndACutReplyAnEmptyOne) {
    EXPECT_FALSE(ReplyToTree(""));
    EXPECT_FALSE(ReplyToTree("HTTP/1.0 500 Internal Server Error\r\n\r\n<html><body>500</body>"
                             "</html>"));
    EXPECT_FALSE(ReplyToTree("<? xml version=\"1.0\"?><r/>"));
    ReplyTree cut = ReplyToTree("HTTP/1.0 200 OK\r\n\r\n<?xml version=\"1.0\"?><response><da");
    ASSERT_TRUE(cut);
    EXPECT_EQ(cut->count(), 0);
    // Cyrillic letters are not lowered.
    ReplyTree cy = ReplyToTree("<?xml version=\"1.0\" encoding=\"UTF-8\"?><R M=\"Ошибка\"/>");
    ASSERT_NE(FindReplyPath(cy.get(), {"r"}), nullptr);
    EXPECT_EQ(FindReplyPath(cy.get(), {"r"})->valueForKey("m", EmptyValue()).stringValue(),
              "Ошибка");
}

// A loopback listener that accepts nothing: connects succeed (backlog), replies never come.
class SilentServer {
public:
    SilentServer() {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (::bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
            ::listen(m_fd, 8) == 0 &&
            ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&a), &len) == 0) {
            m_port = ntohs(a.sin_port);
        }
    }
    ~SilentServer() { ::close(m_fd); }
    int Port() const { return m_port; }

private:
    int m_fd = -1;
    int m_port = 0;
};

class ShortTimeouts : public ::testing::Test {
protected:
    void SetUp() override {
        m_saved = ServiceTimeoutSettings();
        ServiceTimeoutSettings().connectMs = 1000;
        ServiceTimeoutSettings().idleMs = 500;
    }
    void TearDown() override { ServiceTimeoutSettings() = m_saved; }
    ServiceTimeouts m_saved;
};

TEST_F(ShortTimeouts, SilentServerGivesNoTree) {
    SilentServer server;
    ASSERT_GT(server.Port(), 0);
    ServiceEndpoint e{"127.0.0.1", server.Port(), "u", "p"};
    EXPECT_FALSE(RequestFaxStatus(1, e));
    EXPECT_FALSE(ExchangeRequest("127.0.0.1", server.Port(), "GET / HTTP/1.0\r\n\r\n"));
}

TEST_F(ShortTimeouts, UnreachableHostsGiveNoTree) {
    int port;
    {
        SilentServer gone; // take a free port and give it back
        port = gone.Port();
    }
    EXPECT_FALSE(RequestFaxStatus(1, ServiceEndpoint{"127.0.0.1", port, "u", "p"}));
    EXPECT_FALSE(RequestFaxStatus(1, ServiceEndpoint{"no-such-host.invalid", 80, "u", "p"}));
    EXPECT_FALSE(ExchangeRequest("127.0.0.1", 0, "x"));
}

// A service that answers in time but one byte every few milliseconds: only the exchange's
// deadline ends the wait, and the user may abandon it before that.
TEST_F(ShortTimeouts, ATricklingReplyEndsAtTheDeadlineOrWhenAbandoned) {
    const std::string reply = "HTTP/1.0 200 OK\r\n\r\n<?xml version=\"1.0\"?><response><error "
                              "code=\"0\" message=\"\"/><data><item id=\"7\" jobstatus=\"2\"/>"
                              "</data></response>";
    ServiceTimeoutSettings().idleMs = 5000; // every single byte comes well within this
    ServiceTimeoutSettings().exchangeMs = 300;
    {
        testing_support::CReplyServer server({reply}, 40);
        ExchangeFailure why = ExchangeFailure::None;
        EXPECT_FALSE(ExchangeRequest("127.0.0.1", server.Port(),
                                     BuildFaxStatusRequest(7, "u", "p", "h"), &why));
        EXPECT_EQ(why, ExchangeFailure::TimedOut);
        EXPECT_FALSE(RequestFaxStatus(7, ServiceEndpoint{"127.0.0.1", server.Port(), "u", "p"}));
    }
    {
        ServiceTimeoutSettings().exchangeMs = 3600 * 1000;
        testing_support::CReplyServer server({reply}, 40);
        std::atomic<bool> abandon{false};
        ExchangeFailure why = ExchangeFailure::None;
        std::thread query([&] {
            const CAbandonRequests scope(abandon);
            EXPECT_FALSE(ExchangeRequest("127.0.0.1", server.Port(),
                                         BuildFaxStatusRequest(7, "u", "p", "h"), &why));
        });
        while (server.Requests() == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        abandon = true;
        query.join();
        EXPECT_EQ(why, ExchangeFailure::Abandoned);
    }
    // A submission, which carries its document, is given longer than a status query.
    ServiceTimeouts limits;
    EXPECT_GT(ExchangeDeadlineMs(limits, 4u << 20), ExchangeDeadlineMs(limits, 400));
}

} // namespace
