#include "FaxSim.h"
#include "service/FormPost.h"
#include "support/FaxsimProcess.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using testing_support::FaxsimProcess;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

const std::string kDl = "--------------56CDD882\r\n";

// Unit level: the simulator refuses what the client never sends.
TEST(FaxsimMultipartTest, AcceptsTheClientLayoutOnly) {
    std::string req = BuildFaxStatusRequest(7, "user", "pw", "h");
    std::string body = req.substr(req.find("\r\n\r\n") + 4);
    body.resize(body.size() - 2); // the CRLF after the body
    std::vector<faxsim::FormField> fields;
    std::string why;
    ASSERT_TRUE(faxsim::ParseClientMultipart(body, fields, why)) << why;
    ASSERT_EQ(fields.size(), 3u);
    EXPECT_EQ(fields[2].name, "faxid");
    EXPECT_EQ(fields[2].value, "7");

    const std::string part = kDl + "Content-Disposition: form-data; name=\"a\"\r\n\r\nv\r\n";
    for (const std::string& bad : {
             std::string(),
             part,                                  // never closed
             part + "--------------56CDD882--\r\n", // a closing delimiter
             kDl +
                 "Content-Disposition: form-data; name=\"a\"\r\nContent-Type: text/plain\r\n\r\n"
                 "v\r\n" +
                 kDl, // an extra header line
             "--------------56CDD882\nContent-Disposition: form-data; name=\"a\"\n\nv\n" + kDl,
         }) {
        fields.clear();
        EXPECT_FALSE(faxsim::ParseClientMultipart(bad, fields, why)) << bad;
    }
}

TEST(FaxsimMultipartTest, TrailerCheck) {
    std::string content("II*\0page bytes", 14);
    std::string file = content + faxsim::SignatureTrailer("пароль", "subject", "123", content);
    EXPECT_TRUE(faxsim::HasValidTrailer(file, "пароль"));
    EXPECT_FALSE(faxsim::HasValidTrailer(file, "другой"));
    EXPECT_FALSE(faxsim::HasValidTrailer(content, "пароль"));
    EXPECT_FALSE(faxsim::HasValidTrailer("short", "пароль"));
}

// Parses a request exactly as the client writes it into what the simulator's service sees.
faxsim::HttpRequest AsServerSees(const std::string& bytes) {
    faxsim::HttpRequest r;
    std::size_t head = bytes.find("\r\n\r\n");
    EXPECT_TRUE(faxsim::ParseHttpHead(std::string_view(bytes).substr(0, head), r));
    const std::string* length = r.Header("content-length");
    EXPECT_NE(length, nullptr);
    r.body = bytes.substr(head + 4, length ? std::stoul(*length) : 0);
    return r;
}

std::string Attribute(const faxsim::Reply& reply, const char* path2, const char* name) {
    ReplyTree t = ReplyToTree(reply.bytes);
    Dictionary* d = std::string(path2) == "item"
                        ? FindReplyPath(t.get(), {"response", "data", "item"})
                        : FindReplyPath(t.get(), {"response", "error"});
    return d ? d->valueForKey(name, EmptyValue()).stringValue() : "<none>";
}

TEST(FaxServiceTest, TheSignatureDigestMadeWhileTheBodyArrivesDecidesAsTheWholeCheck) {
    // However the body is cut into reads (single bytes, the trailer or the closing delimiter
    // split between two), the digest made on the way is that of the document's signed bytes,
    // and the service accepts and refuses with it exactly as with a check of the whole upload.
    TempDir dir;
    faxsim::Config config;
    config.accounts.push_back({"пётр", "пароль", -1});
    faxsim::CFaxService service(config);
    std::string content("II*\0", 4);
    for (int i = 0; content.size() < 5000; ++i) {
        content += "row " + std::to_string(i) + (i % 50 == 0 ? "\r\n--------------56CDD88" : "");
    }
    const std::string good = faxsim::SignatureTrailer("пароль", "s", "a", content);
    const std::string bad = faxsim::SignatureTrailer("другой", "s", "a", content);
    for (const std::string& trailer : {good, bad}) {
        WriteFile(dir / "doc.tif", content + trailer);
        SendFaxRequest r;
        r.documentPath = dir / "doc.tif";
        r.phoneNumber = "3520809";
        const faxsim::HttpRequest whole =
            AsServerSees(*BuildFaxSendRequest(r, "пётр", "пароль", "h"));
        const std::string expected = Attribute(service.Handle(whole, 1), "error", "code");
        EXPECT_EQ(expected, trailer == good ? "0" : "4");
        for (std::size_t piece : {std::size_t{1}, std::size_t{31}, std::size_t{33},
                                  std::size_t{4096}, whole.body.size()}) {
            faxsim::CDocumentDigester digester(
                [&service](std::string_view user) { return service.PasswordOf(user); });
            for (std::size_t n = piece;; n += piece) {
                digester.Feed(std::string_view(whole.body).substr(0, n));
                if (n >= whole.body.size()) {
                    break;
                }
            }
            std::optional<faxsim::DocumentDigest> digest = digester.Result();
            ASSERT_TRUE(digest) << piece;
            EXPECT_EQ(whole.body.substr(digest->start, digest->signedLength), content) << piece;
            faxsim::HttpRequest streamed = whole;
            streamed.documentDigest = digest;
            EXPECT_EQ(Attribute(service.Handle(streamed, 1), "error", "code"), expected) << piece;
            // The digest, not a second pass over the document, decides.
            streamed.documentDigest->md5s = {std::string(16, 'x')};
            EXPECT_EQ(Attribute(service.Handle(streamed, 1), "error", "code"), "4") << piece;
        }
    }
}

TEST(FaxServiceTest, StatesMoveOnByTimeAndListsCostPerNumber) {
    TempDir dir;
    faxsim::Config config;
    config.accounts.push_back({"пётр", "пароль", 3});
    config.deliverAfterQueries = 100;
    config.deliverAfterSeconds = 60;
    config.jobsFile = dir / "jobs";
    faxsim::CFaxService service(config);

    std::string content = "page";
    WriteFile(dir / "doc.tif", content + faxsim::SignatureTrailer("пароль", "s", "a", content));
    WriteFile(dir / "list.csv", "111\n222\n\n333\n");
    SendFaxRequest r;
    r.documentPath = dir / "doc.tif";
    r.phoneListPath = dir / "list.csv";
    auto send = BuildFaxSendRequest(r, "пётр", "пароль", "h");
    ASSERT_TRUE(send);
    faxsim::Reply accepted = service.Handle(AsServerSees(*send), 1000);
    EXPECT_EQ(Attribute(accepted, "error", "code"), "0");
    std::int32_t id = std::stoi(Attribute(accepted, "item", "id"));
    const std::int32_t listId = id;

    auto check = [&](std::int64_t now) {
        return Attribute(
            service.Handle(AsServerSees(BuildFaxStatusRequest(id, "пётр", "пароль", "h")), now),
            "item", "jobstatus");
    };
    EXPECT_EQ(check(1059), "4");
    EXPECT_EQ(check(1060), "2");
    // Three numbers used the whole balance: the next fax is accepted but cannot go out.
    r.phoneListPath.clear();
    r.phoneNumber = "444";
    faxsim::Reply broke =
        service.Handle(AsServerSees(*BuildFaxSendRequest(r, "пётр", "пароль", "h")), 2000);
    id = std::stoi(Attribute(broke, "item", "id"));
    EXPECT_EQ(check(5000), "6");

    // A request missing a field, or with its fields out of order, is refused as malformed.
    std::string status = BuildFaxStatusRequest(id, "пётр", "пароль", "h");
    faxsim::HttpRequest shuffled = AsServerSees(status);
    std::size_t second = shuffled.body.find(
        "--------------56CDD882\r\nContent-Disposition: form-data; name=\"password\"");
    std::size_t third = shuffled.body.find(
        "--------------56CDD882\r\nContent-Disposition: form-data; name=\"faxid\"");
    shuffled.body = shuffled.body.substr(0, second) + shuffled.body.substr(third);
    EXPECT_EQ(Attribute(service.Handle(shuffled, 5000), "error", "code"), "1");

    // Started again on the same jobs file (the demo), the service still answers for them.
    faxsim::CFaxService again(config);
    EXPECT_EQ(again.PeekState(listId, 1060), 2);
    EXPECT_EQ(again.PeekState(id, 5000), 6);
}

class FaxsimTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_saved = ServiceTimeoutSettings();
        ServiceTimeoutSettings().connectMs = 2000;
        ServiceTimeoutSettings().idleMs = 2000;
    }
    void TearDown() override { ServiceTimeoutSettings() = m_saved; }

    void StartSim(std::vector<std::string> extra = {}) {
        std::vector<std::string> args{"--account", "demo:secret", "--account", "poor:pw:1"};
        args.insert(args.end(), extra.begin(), extra.end());
        ASSERT_TRUE(m_sim.Start(args)) << FaxsimProcess::DefaultBinary();
    }
    ServiceEndpoint Endpoint(const std::string& user = "demo", const std::string& pw = "secret") {
        return ServiceEndpoint{"127.0.0.1", m_sim.Port(), user, pw};
    }
    // A document signed the way the send dialogs sign it.
    std::string SignedDocument(const std::string& name, const std::string& password) {
        std::string content = std::string("II*\0fax page ", 13) + name;
        WriteFile(m_dir / name,
                  content + faxsim::SignatureTrailer(password, "subj", "123", content));
        return m_dir / name;
    }
    std::int32_t Submit(const std::string& phone, const ServiceEndpoint& e, std::string* message) {
        SendFaxRequest r;
        r.documentPath = SignedDocument("doc" + phone + ".tif", e.password);
        r.phoneNumber = phone;
        r.description = "Тест";
        r.attempts = 3;
        r.delay = 10;
        ReplyTree t = RequestFaxSend(r, e);
        if (!t) {
            return -1;
        }
        Dictionary* error = FindReplyPath(t.get(), {"response", "error"});
        if (error == nullptr) {
            return -2;
        }
        if (message != nullptr) {
            *message = error->valueForKey("message", EmptyValue()).stringValue();
        }
        if (error->valueForKey("code", EmptyValue()).intValue() != 0) {
            return 0;
        }
        Dictionary* item = FindReplyPath(t.get(), {"response", "data", "item"});
        return item ? item->valueForKey("id", EmptyValue()).intValue() : -3;
    }
    std::int32_t State(std::int32_t id, const ServiceEndpoint& e) {
        ReplyTree t = RequestFaxStatus(id, e);
        Dictionary* item = FindReplyPath(t.get(), {"response", "data", "item"});
        if (item == nullptr) {
            return -100;
        }
        EXPECT_EQ(item->valueForKey("id", EmptyValue()).intValue(), id);
        return item->valueForKey("jobstatus", EmptyValue()).intValue();
    }

    TempDir m_dir;
    FaxsimProcess m_sim;
    ServiceTimeouts m_saved;
};

TEST_F(FaxsimTest, SubmittedFaxGetsAnIdAndMovesFromQueuedToDelivered) {
    StartSim();
    std::string message;
    std::int32_t id = Submit("88121234567", Endpoint(), &message);
    ASSERT_GT(id, 0) << message;
    EXPECT_EQ(State(id, Endpoint()), 4);
    EXPECT_EQ(State(id, Endpoint()), 2);
    std::int32_t failing = Submit("88120000000", Endpoint(), nullptr);
    ASSERT_GT(failing, id);
    EXPECT_EQ(State(failing, Endpoint()), 4);
    EXPECT_EQ(State(failing, Endpoint()), 3);
    // Another account does not see the job.
    EXPECT_EQ(State(id, Endpoint("poor", "pw")), -100);

    std::string gate = testing_support::HttpGet(
        m_sim.Port(), "/api/__gate.php?username=demo&password=" + PasswordDigest("secret"));
    EXPECT_NE(gate.find(std::to_string(id)), std::string::npos);
    EXPECT_NE(gate.find("Доставлен успешно"), std::string::npos);
    EXPECT_NE(gate.find("Тест"), std::string::npos);
}

TEST_F(FaxsimTest, RefusalsCarryTheServiceMessage) {
    StartSim({"--encoding", "utf-8"});
    std::string message;
    EXPECT_EQ(Submit("123", Endpoint("demo", "wrong"), &message), 0);
    EXPECT_EQ(message, "Неверное имя пользователя или пароль"); // only ASCII is lowered

    // A document signed with another password.
    SendFaxRequest r;
    r.documentPath = SignedDocument("other.tif", "not-the-password");
    r.phoneNumber = "123";
    ReplyTree t = RequestFaxSend(r, Endpoint());
    Dictionary* error = FindReplyPath(t.get(), {"response", "error"});
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->valueForKey("code", EmptyValue()).intValue(), 4);

    // The balance of one fax runs out on the second.
    std::int32_t first = Submit("1", Endpoint("poor", "pw"), nullptr);
    std::int32_t second = Submit("2", Endpoint("poor", "pw"), nullptr);
    ASSERT_GT(first, 0);
    ASSERT_GT(second, 0);
    EXPECT_EQ(State(second, Endpoint("poor", "pw")), 6);
    EXPECT_EQ(State(second, Endpoint("poor", "pw")), 6);
}

TEST_F(FaxsimTest, ListSubmissionIsAccepted) {
    StartSim();
    SendFaxRequest r;
    r.documentPath = SignedDocument("list.tif", "secret");
    r.phoneListPath = m_dir / "numbers.csv";
    WriteFile(r.phoneListPath, "79001112233\r\n79004445566\r\n");
    ReplyTree t = RequestFaxSend(r, Endpoint());
    Dictionary* item = FindReplyPath(t.get(), {"response", "data", "item"});
    ASSERT_NE(item, nullptr);
    EXPECT_GT(item->valueForKey("id", EmptyValue()).intValue(), 0);
}

TEST_F(FaxsimTest, FaultsGiveNoTreeOrAnEmptyOne) {
    StartSim({"--delay-ms", "4000"});
    std::int32_t id = Submit("5", Endpoint(), nullptr);
    ASSERT_GT(id, 0);
    auto fault = [&](const std::string& name) {
        std::string r = testing_support::HttpGet(m_sim.Port(), "/__control?fault=" + name);
        ASSERT_NE(r.find("200 OK"), std::string::npos) << r;
    };
    fault("http500");
    EXPECT_FALSE(RequestFaxStatus(id, Endpoint()));
    fault("notxml");
    EXPECT_FALSE(RequestFaxStatus(id, Endpoint()));
    fault("malformed");
    ReplyTree t = RequestFaxStatus(id, Endpoint());
    ASSERT_TRUE(t);
    EXPECT_EQ(t->count(), 0);
    fault("cut");
    t = RequestFaxStatus(id, Endpoint());
    EXPECT_TRUE(!t || t->count() == 0);
    fault("delay"); // longer than the client waits
    EXPECT_FALSE(RequestFaxStatus(id, Endpoint()));
    // Faults were one-shot: the next query is answered (the spoilt ones counted as queries).
    EXPECT_EQ(State(id, Endpoint()), 2);
}

TEST_F(FaxsimTest, ConfigFileGivesAccountsAndRules) {
    WriteFile(m_dir / "faxsim.conf", "# test service\n"
                                     "account cfg pw 5\n"
                                     "deliver-after-queries 0\n"
                                     "encoding utf-8\n");
    StartSim({"--config", m_dir / "faxsim.conf"});
    std::int32_t id = Submit("7", Endpoint("cfg", "pw"), nullptr);
    ASSERT_GT(id, 0);
    EXPECT_EQ(State(id, Endpoint("cfg", "pw")), 2); // final from the first query on

    WriteFile(m_dir / "bad.conf", "account only-a-name\nbogus line\n");
    FaxsimProcess refused;
    EXPECT_FALSE(refused.Start({"--config", m_dir / "bad.conf"}));
}

TEST_F(FaxsimTest, DeadServerGivesNoTree) {
    StartSim();
    ServiceEndpoint e = Endpoint();
    m_sim.Stop();
    EXPECT_FALSE(RequestFaxStatus(1, e));
}

} // namespace
