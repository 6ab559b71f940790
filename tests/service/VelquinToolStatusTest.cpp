#include "FaxSim.h"
#include "service/FormPost.h"
#include "support/FaxsimProcess.h"
#include "support/ReplyServer.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <thread>

using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

TEST(VelquinToolStatusTest, PrintsTheStateOfEachJob) {
    TempDir dir;
    testing_support::IsolateEnvironment(dir.Path());
    testing_support::FaxsimProcess sim;
    ASSERT_TRUE(sim.Start({"--account", "demo:secret"}));

    std::string content = "image";
    WriteFile(dir / "doc.tif", content + faxsim::SignatureTrailer("secret", "s", "1", content));
    SendFaxRequest r;
    r.documentPath = dir / "doc.tif";
    r.phoneNumber = "1";
    ReplyTree t = RequestFaxSend(r, ServiceEndpoint{"127.0.0.1", sim.Port(), "demo", "secret"});
    Dictionary* item = FindReplyPath(t.get(), {"response", "data", "item"});
    ASSERT_NE(item, nullptr);
    std::string id = item->valueForKey("id", EmptyValue()).stringValue();

    WriteFile(dir / "pw", "secret\n");
    std::string out;
    ASSERT_EQ(testing_support::RunVelquinTool("setup --fax-dir " + (dir / "fax") + " --data-dir " +
                                                  (dir / "data") + " --create --api-host " +
                                                  sim.HostPort() + " --user demo --password-file " +
                                                  (dir / "pw"),
                                              out),
              0)
        << out;
    EXPECT_EQ(testing_support::RunVelquinTool("status " + id, out), 0) << out;
    EXPECT_EQ(out, id + " 4 В очереди на отправку\n");
    EXPECT_EQ(testing_support::RunVelquinTool("status " + id + " 999", out), 1);
    EXPECT_NE(out.find(id + " 2 Доставлен успешно\n"), std::string::npos) << out;
    EXPECT_NE(out.find("999: Задание не найдено"), std::string::npos) << out;
    sim.Stop();
    EXPECT_EQ(testing_support::RunVelquinTool("status " + id, out), 1);
    EXPECT_NE(out.find("no reply"), std::string::npos) << out;
    EXPECT_EQ(testing_support::RunVelquinTool("status 12x", out), 2);
}

// A service that trickles its reply: Ctrl+C ends the wait, with a word and no job printed.
TEST(VelquinToolStatusTest, CtrlCAbandonsAQueryThatTrickles) {
    TempDir dir;
    testing_support::IsolateEnvironment(dir.Path());
    testing_support::CReplyServer server(
        {"HTTP/1.0 200 OK\r\n\r\n<?xml version=\"1.0\"?><response><data><item id=\"7\" "
         "jobstatus=\"2\"/></data></response>"},
        200);
    std::string out;
    ASSERT_EQ(testing_support::RunVelquinTool("setup --fax-dir " + (dir / "fax") + " --data-dir " +
                                                  (dir / "data") + " --create --api-host " +
                                                  server.HostPort() + " --user demo",
                                              out),
              0)
        << out;
    // The tool runs in the background of a shell that interrupts it once the service has the
    // query, as Ctrl+C would.
    const std::string flag = dir / "interrupt";
    int code = -1;
    std::thread tool([&] {
        code = testing_support::RunVelquinTool("status 7 8 2>&1 & p=$!; while [ ! -e " + flag +
                                                   " ]; do sleep 0.05; done; kill -INT $p; "
                                                   "wait $p",
                                               out);
    });
    while (server.Requests() == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    WriteFile(flag, "");
    tool.join();
    EXPECT_EQ(code, 130) << out;
    EXPECT_NE(out.find("7: abandoned"), std::string::npos) << out;
    EXPECT_EQ(server.Requests(), 1) << "the second job is not asked for";
}

} // namespace
