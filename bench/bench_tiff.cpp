// Fax image preparation against libtiff's own tool: CopyPages and SplitPerRecipient on a
// 1,000-page A4 fax run (204x196 dpi, text-like pages, one Group 4 strip a page as Ghostscript's
// tiffg4 device writes them through libtiff) and on the same run stored in LZW, which must be
// encoded again, each beside `tiffcp -c g4` on the same file, timed in the same iteration; and
// CountPages on a 10,000-page file.
//
// Each benchmark reports its median over repetitions. "wall_ratio" is our wall time divided by
// tiffcp's (targets: at most 0.2 for the Group 4 run, 0.7 for the LZW run on two processors);
// "cpu_ratio" the same in processor time (user + system, all threads), "pages/s" ours in wall
// time, "tiffcp_pages/s" the reference.
#include "sending/FaxImage.h"

#include <benchmark/benchmark.h>
#include <tiffio.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <vector>

extern char** environ;

namespace {

constexpr std::uint32_t kWidth = 1728;  // A4 at 204 dpi
constexpr std::uint32_t kHeight = 2292; // A4 at 196 lpi
constexpr std::uint32_t kRowBytes = kWidth / 8;
constexpr int kRunPages = 1000;
constexpr int kCountPages = 10000;

// Glyph-like shapes: strokes, bowls and dots in a 16x24 cell, like the letters of 10-12 pt
// text at fax resolution.
struct Glyph {
    std::vector<std::uint32_t> rows; // bit 15 leftmost
    int width;
};

std::vector<Glyph> MakeGlyphs(std::mt19937& rng) {
    std::vector<Glyph> glyphs;
    for (int g = 0; g < 40; ++g) {
        Glyph gl;
        gl.width = 10 + static_cast<int>(rng() % 7);
        gl.rows.assign(24, 0);
        auto hline = [&](int y, int x0, int x1) {
            for (int t = 0; t < 3 && y + t < 24; ++t) {
                for (int x = x0; x <= x1 && x < 16; ++x) {
                    gl.rows[y + t] |= 1u << (15 - x);
                }
            }
        };
        auto vline = [&](int x, int y0, int y1) {
            for (int y = y0; y <= y1 && y < 24; ++y) {
                for (int t = 0; t < 3 && x + t < 16; ++t) {
                    gl.rows[y] |= 1u << (15 - x - t);
                }
            }
        };
        int strokes = 2 + static_cast<int>(rng() % 3);
        for (int s = 0; s < strokes; ++s) {
            switch (rng() % 4) {
            case 0:
                vline(static_cast<int>(rng() % (gl.width - 2)), (rng() % 2) ? 0 : 8, 23);
                break;
            case 1:
                hline(8 + static_cast<int>(rng() % 14), 0, gl.width - 1);
                break;
            case 2: // a bowl
                hline(8, 1, gl.width - 2);
                hline(21, 1, gl.width - 2);
                vline(0, 9, 22);
                vline(gl.width - 3, 9, 22);
                break;
            default: // a diagonal
                for (int y = 8; y < 24; ++y) {
                    int x = (y - 8) * (gl.width - 3) / 16;
                    gl.rows[y] |= 7u << (13 - x);
                }
            }
        }
        glyphs.push_back(std::move(gl));
    }
    return glyphs;
}

// One page of text: margins, lines of words, paragraph breaks, a heading now and then.
void ComposePage(std::vector<std::uint8_t>& px, const std::vector<Glyph>& glyphs,
                 std::mt19937& rng) {
    std::fill(px.begin(), px.end(), 0);
    auto put = [&](std::uint32_t x, std::uint32_t y, const Glyph& g, int scale) {
        for (int r = 0; r < 24 * scale; ++r) {
            std::uint32_t bits = g.rows[static_cast<std::size_t>(r / scale)];
            for (int c = 0; c < 16 * scale; ++c) {
                if (bits & (1u << (15 - c / scale))) {
                    std::uint32_t xx = x + static_cast<std::uint32_t>(c);
                    std::uint32_t yy = y + static_cast<std::uint32_t>(r);
                    if (xx < kWidth && yy < kHeight) {
                        px[yy * kRowBytes + xx / 8] |= static_cast<std::uint8_t>(0x80 >> (xx % 8));
                    }
                }
            }
        }
    };
    std::uint32_t y = 150;
    while (y + 60 < kHeight - 150) {
        int scale = (rng() % 12 == 0) ? 2 : 1;
        std::uint32_t x = 120;
        std::uint32_t lineEnd = (rng() % 6 == 0) ? 400 + rng() % 900 : kWidth - 120;
        while (x + 40 < lineEnd) {
            int letters = 2 + static_cast<int>(rng() % 9);
            for (int l = 0; l < letters && x + 40 < lineEnd; ++l) {
                const Glyph& g = glyphs[rng() % glyphs.size()];
                put(x, y, g, scale);
                x += static_cast<std::uint32_t>((g.width + 3) * scale);
            }
            x += static_cast<std::uint32_t>(14 * scale);
        }
        y += static_cast<std::uint32_t>(44 * scale) + ((rng() % 8 == 0) ? 40 : 0);
    }
}

void WriteRun(const std::string& path, int pages, std::uint32_t height, bool text) {
    TIFF* t = TIFFOpen(path.c_str(), "w");
    if (!t) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::exit(1);
    }
    std::mt19937 rng(20261207);
    std::vector<Glyph> glyphs = MakeGlyphs(rng);
    std::vector<std::uint8_t> px(kRowBytes * kHeight, 0);
    for (int p = 0; p < pages; ++p) {
        if (text) {
            ComposePage(px, glyphs, rng);
        }
        TIFFSetField(t, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
        TIFFSetField(t, TIFFTAG_IMAGEWIDTH, kWidth);
        TIFFSetField(t, TIFFTAG_IMAGELENGTH, height);
        TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 1);
        TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
        TIFFSetField(t, TIFFTAG_FILLORDER, FILLORDER_MSB2LSB);
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, height);
        TIFFSetField(t, TIFFTAG_XRESOLUTION, 204.0f);
        TIFFSetField(t, TIFFTAG_YRESOLUTION, 196.0f);
        TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
        TIFFSetField(t, TIFFTAG_PAGENUMBER, p, pages);
        TIFFWriteEncodedStrip(t, 0, px.data(), static_cast<tmsize_t>(kRowBytes * height));
        TIFFWriteDirectory(t);
    }
    TIFFClose(t);
}

// The files, made once per process in a directory removed at exit.
struct Files {
    std::filesystem::path dir;
    std::string run;   // 1,000 text pages
    std::string lzw;   // the same pages in LZW
    std::string count; // 10,000 small pages
    Files() {
        char tmpl[] = "/tmp/velquin-bench-XXXXXX";
        if (!::mkdtemp(tmpl)) {
            std::perror("mkdtemp");
            std::exit(1);
        }
        dir = tmpl;
        run = (dir / "run.tif").string();
        count = (dir / "count.tif").string();
        lzw = (dir / "run-lzw.tif").string();
        WriteRun(run, kRunPages, kHeight, true);
        WriteRun(count, kCountPages, 8, false);
        const std::string convert = "tiffcp -c lzw " + run + " " + lzw;
        if (std::system(convert.c_str()) != 0) {
            std::fprintf(stderr, "cannot run %s\n", convert.c_str());
        }
        std::filesystem::create_directory(dir / "Merge");
        std::fprintf(stderr, "run: %d pages, %.1f MB (%.0f KB a page)\n", kRunPages,
                     static_cast<double>(std::filesystem::file_size(run)) / 1e6,
                     static_cast<double>(std::filesystem::file_size(run)) / 1e3 / kRunPages);
    }
    ~Files() { std::filesystem::remove_all(dir); }
};

Files& TheFiles() {
    static Files files;
    return files;
}

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

double ProcessCpuSeconds() {
    timespec ts{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// Wall and CPU seconds of one run. The machine is shared, so wall time swings with the load
// of others; CPU time (user + system) is the steadier comparison.
struct Timing {
    double wall = -1;
    double cpu = -1;
};

// Runs `tiffcp -c g4 in out` as a process.
Timing TimeTiffcp(const std::string& in, const std::string& out) {
    const char* argv[] = {"tiffcp", "-c", "g4", in.c_str(), out.c_str(), nullptr};
    auto start = Clock::now();
    pid_t pid = 0;
    if (::posix_spawnp(&pid, "tiffcp", nullptr, nullptr, const_cast<char* const*>(argv), environ) !=
        0) {
        return {};
    }
    int status = 0;
    rusage ru{};
    ::wait4(pid, &status, 0, &ru);
    auto end = Clock::now();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return {};
    }
    auto tv = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return {Seconds(start, end), tv(ru.ru_utime) + tv(ru.ru_stime)};
}

template <typename Fn> Timing TimeOurs(Fn&& fn, bool& ok) {
    auto start = Clock::now();
    double cpu0 = ProcessCpuSeconds();
    ok = fn();
    double cpu1 = ProcessCpuSeconds();
    return {Seconds(start, Clock::now()), cpu1 - cpu0};
}

void Report(benchmark::State& state, const Timing& ours, const Timing& tiffcp) {
    state.SetIterationTime(ours.wall);
    state.counters["pages/s"] = kRunPages / ours.wall;
    state.counters["tiffcp_pages/s"] = kRunPages / tiffcp.wall;
    state.counters["cpu_ratio"] = ours.cpu / tiffcp.cpu;
    state.counters["wall_ratio"] = ours.wall / tiffcp.wall;
}

// The input of a benchmark: 0 the Group 4 run, 1 the LZW run.
const std::string& Input(const Files& f, std::int64_t which) {
    return which == 0 ? f.run : f.lzw;
}

void BM_CopyPages(benchmark::State& state) {
    Files& f = TheFiles();
    const std::string& run = Input(f, state.range(0));
    const std::string ours = (f.dir / "ours.tif").string();
    const std::string ref = (f.dir / "tiffcp.tif").string();
    for (auto _ : state) {
        Timing tref = TimeTiffcp(run, ref);
        if (tref.cpu < 0) {
            state.SkipWithError("tiffcp (libtiff-tools) did not run");
            return;
        }
        bool ok = false;
        Timing t = TimeOurs([&] { return CopyPages(run, ours, false); }, ok);
        if (!ok) {
            state.SkipWithError("CopyPages failed");
            return;
        }
        Report(state, t, tref);
    }
}
BENCHMARK(BM_CopyPages)
    ->ArgName("lzw")
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(3)
    ->Unit(benchmark::kMillisecond);

void BM_SplitPerRecipient(benchmark::State& state) {
    Files& f = TheFiles();
    const std::string ref = (f.dir / "tiffcp.tif").string();
    const std::string merge = (f.dir / "Merge").string();
    const int perRecipient = static_cast<int>(state.range(0));
    const std::string& run = Input(f, state.range(1));
    for (auto _ : state) {
        Timing tref = TimeTiffcp(run, ref);
        if (tref.cpu < 0) {
            state.SkipWithError("tiffcp (libtiff-tools) did not run");
            return;
        }
        CSplitResult r;
        bool ok = false;
        Timing t = TimeOurs(
            [&] {
                r = SplitPerRecipient(run, perRecipient, merge);
                return r.error == SplitError::None;
            },
            ok);
        if (!ok || r.parts != kRunPages / perRecipient) {
            state.SkipWithError(("split failed: " + r.detail).c_str());
            return;
        }
        Report(state, t, tref);
    }
}
BENCHMARK(BM_SplitPerRecipient)
    ->ArgNames({"pages", "lzw"})
    ->Args({2, 0})
    ->Args({10, 0})
    ->Args({2, 1})
    ->Args({10, 1})
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(3)
    ->Unit(benchmark::kMillisecond);

void BM_CountPages(benchmark::State& state) {
    Files& f = TheFiles();
    for (auto _ : state) {
        int n = CountPages(f.count);
        if (n != kCountPages) {
            state.SkipWithError("wrong page count");
            return;
        }
        benchmark::DoNotOptimize(n);
    }
    state.counters["pages/s"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * kCountPages, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_CountPages)->Repetitions(5)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    TheFiles();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
