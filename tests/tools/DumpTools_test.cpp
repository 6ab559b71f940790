#include "platform/Encoding.h"
#include "support/TestSupport.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <gtest/gtest.h>

using testing_support::RunVelquinTool;

namespace {
// Little helpers that lay bytes out the way the job-file format defines them.
struct Bytes {
    std::string b;
    template <typename T> Bytes& Num(T v) {
        char raw[sizeof(T)];
        std::memcpy(raw, &v, sizeof(T));
        b.append(raw, sizeof(T));
        return *this;
    }
    Bytes& Text(const std::string& utf8) {
        std::string cp = platform::Utf8ToCp1251(utf8);
        b += static_cast<char>(cp.size());
        b += cp;
        return *this;
    }
};
} // namespace

TEST(DumpTools, HandBuiltOldSingleFaxPrintsEveryField) {
    testing_support::TempDir dir;
    Bytes job;
    job.Num<std::int32_t>(1); // type: single fax
    job.Num<std::uint16_t>(3).Text("Отчёт").Num<std::int64_t>(1700000000);
    job.Num<std::uint16_t>(3).Text("88123520809");                   // entry part, version 3
    job.Num<std::int32_t>(1700000100).Num<std::int32_t>(1700000200); // 4-byte times before 5
    job.Num<std::int32_t>(2).Num<std::int32_t>(1);                   // pages, one attempt
    job.Num<std::int32_t>(1).Num<std::int32_t>(0).Num<std::int32_t>(42).Num<std::int64_t>(
        1700000300);
    job.Text("12345").Num<std::int32_t>(12345).Num<std::int32_t>(2).Text("Бухгалтерия");
    job.Num<std::uint16_t>(1).Text("/data/SentFaxes/Fax5F000000.tif"); // file part, version 1
    job.Num<std::uint16_t>(1);
    testing_support::WriteFile(dir / "old.fax", job.b);

    std::string out;
    ASSERT_EQ(RunVelquinTool("dump-job " + (dir / "old.fax"), out), 0) << out;
    for (const char* field :
         {"\"type\":1", "\"title\":\"Отчёт\"", "\"seconds\":1700000000", "\"unread\":0",
          "\"path\":\"/data/SentFaxes/Fax5F000000.tif\"", "\"faxId\":12345", "\"status\":2",
          "\"serverId\":\"12345\"", "\"recipient\":\"88123520809\"",
          "\"recipientLabel\":\"Бухгалтерия\"", "\"seconds\":1700000200", "\"pages\":2",
          "\"duration\":42", "\"seconds\":1700000300"}) {
        EXPECT_NE(out.find(field), std::string::npos) << field << " in " << out;
    }

    // Cut short: one clear line on stderr and a failing exit code.
    testing_support::WriteFile(dir / "cut.fax", job.b.substr(0, job.b.size() - 9));
    EXPECT_NE(RunVelquinTool("dump-job " + (dir / "cut.fax"), out), 0);
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;
    EXPECT_NE(RunVelquinTool("dump-abk " + (dir / "cut.fax"), out), 0);
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;
}
