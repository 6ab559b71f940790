// Reading a phone list for a mass fax: 10,000 / 100,000 / 1,000,000 lines, one in ten a
// duplicate. The reference in the same run is the same file cut into lines and fields without
// the duplicate rule, so the ratio is what the rule costs.
#include "platform/Files.h"
#include "sending/PhoneListFile.h"
#include "sending/SendJob.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>

namespace {

std::string MakeTempDir() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr ? tmp : "/tmp") + "/bench_lists.XXXXXX";
    return ::mkdtemp(pattern.data()) != nullptr ? pattern : std::string("/tmp");
}

struct Fixture {
    Fixture() : dir(MakeTempDir()) {}
    ~Fixture() {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    // A list of `lines` lines; every tenth repeats an earlier number.
    const std::string& List(int lines) {
        auto& path = paths[lines];
        if (path.empty()) {
            std::string text;
            char line[64];
            for (int i = 0; i < lines; ++i) {
                const int n = i % 10 == 9 ? i / 2 : i;
                std::snprintf(line, sizeof line, "8812%07d;Ivanov;Firm %d\r\n", n, i);
                text += line;
            }
            path = dir + "/list" + std::to_string(lines) + ".csv";
            platform::AtomicWriteFile(path, text);
        }
        return path;
    }
    std::string dir;
    std::map<int, std::string> paths;
};

Fixture& Shared() {
    static Fixture f;
    return f;
}

void BM_ReadPhoneList(benchmark::State& state) {
    const std::string& path = Shared().List(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        std::vector<std::string> lines;
        bool duplicate = false;
        ReadPhoneListFile(path, "8812", lines, duplicate);
        if (!duplicate) {
            state.SkipWithError("no duplicate seen");
        }
        benchmark::DoNotOptimize(lines.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ReadPhoneList)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

void BM_SplitLinesOnly(benchmark::State& state) {
    const std::string& path = Shared().List(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        std::string bytes;
        platform::ReadFile(path, bytes);
        std::size_t fields = 0;
        for (const std::string& line : ReadUserTextLines(bytes, kListLinePiece)) {
            fields += SplitListLine(line).third.size();
        }
        benchmark::DoNotOptimize(fields);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_SplitLinesOnly)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
