// Fax image preparation against libtiff's own tool: CopyPages and SplitPerRecipient on a
// 1,000-page A4 run of text printed by Ghostscript as the fax printer prints (tiffg4,
// 204x196 dpi, 1728x2292) and on the same run stored in LZW by `tiffcp -c lzw`, which must be
// encoded again, each beside `tiffcp -c g4` on the same file, timed in the same iteration; and
// CountPages on a 10,000-page file.
//
// The printed run is made once and kept in the build directory (bench-input/ beside this
// program); without Ghostscript the benchmarks on it are skipped.
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
#include <fstream>
#include <random>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <vector>

extern char** environ;

namespace {

constexpr int kRunPages = 1000;
constexpr int kCountPages = 10000;
// Names the cached files; raise it when the document or the way it is printed changes.
constexpr const char* kInputVersion = "1";

// Runs a program with its arguments; its rusage when it ran and exited with 0.
bool Run(const std::vector<std::string>& args, rusage* usage = nullptr) {
    std::vector<char*> argv;
    for (const std::string& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (::posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
        return false;
    }
    int status = 0;
    rusage ru{};
    if (::wait4(pid, &status, 0, &ru) != pid) {
        return false;
    }
    if (usage != nullptr) {
        *usage = ru;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// A business text of `pages` A4 pages in PostScript: headings, paragraphs of words of mixed
// length with ragged last lines, a column of figures now and then; the same text every time.
void WriteTextDocument(const std::string& path, int pages) {
    static constexpr const char* kVocabulary =
        "the of and to in payment contract delivery according agreement parties shall invoice "
        "within days receipt goods services company limited director address telephone fax "
        "number date amount total including value added tax order request confirm hereby "
        "responsibility obligations terms conditions period notice signed stamp account bank "
        "transfer schedule";
    std::vector<std::string> words;
    std::istringstream vocabulary(kVocabulary);
    for (std::string w; vocabulary >> w;) {
        words.push_back(w);
    }
    std::mt19937 rng(20261208);
    std::ofstream ps(path, std::ios::binary);
    ps << "%!PS-Adobe-3.0\n%%Pages: " << pages << "\n%%DocumentMedia: A4 595 842 0 () ()\n"
       << "%%EndComments\n/T /Times-Roman findfont 11 scalefont def\n"
       << "/H /Helvetica-Bold findfont 14 scalefont def\n"
       << "/L { moveto show } bind def\n";
    auto word = [&] { return words[rng() % words.size()]; };
    for (int p = 1; p <= pages; ++p) {
        ps << "%%Page: " << p << ' ' << p << "\nH setfont (Letter " << p << " of " << pages
           << ") 72 780 L T setfont\n";
        int y = 750;
        while (y > 80) {
            if (rng() % 9 == 0) { // a heading
                ps << "H setfont (";
                for (int w = 0, n = 2 + static_cast<int>(rng() % 4); w < n; ++w) {
                    ps << (w ? " " : "") << word();
                }
                ps << ") 72 " << y << " L T setfont\n";
                y -= 22;
                continue;
            }
            if (rng() % 12 == 0) { // figures
                for (int r = 0, n = 3 + static_cast<int>(rng() % 5); r < n && y > 80; ++r) {
                    ps << '(' << word() << ") 90 " << y << " L (" << rng() % 100000 << ','
                       << rng() % 100 << ") 420 " << y << " L\n";
                    y -= 13;
                }
                y -= 8;
                continue;
            }
            const int lines = 2 + static_cast<int>(rng() % 7);
            for (int l = 0; l < lines && y > 80; ++l) {
                std::string text;
                const std::size_t width = l + 1 == lines ? 20 + rng() % 60 : 92 + rng() % 6;
                while (text.size() < width) {
                    text += (text.empty() ? "" : " ") + word();
                }
                ps << '(' << text << ") " << (l == 0 ? 90 : 72) << ' ' << y << " L\n";
                y -= 13;
            }
            y -= 8;
        }
        ps << "showpage\n";
    }
    ps << "%%EOF\n";
}

// Pages of `height` blank rows, one Group 4 strip each: only their directories matter.
void WriteBlankPages(const std::string& path, int pages, std::uint32_t height) {
    TIFF* t = TIFFOpen(path.c_str(), "w");
    if (!t) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::exit(1);
    }
    const std::uint32_t width = 1728;
    std::vector<std::uint8_t> px(width / 8 * height, 0);
    for (int p = 0; p < pages; ++p) {
        TIFFSetField(t, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
        TIFFSetField(t, TIFFTAG_IMAGEWIDTH, width);
        TIFFSetField(t, TIFFTAG_IMAGELENGTH, height);
        TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 1);
        TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, height);
        TIFFSetField(t, TIFFTAG_PAGENUMBER, p, pages);
        TIFFWriteEncodedStrip(t, 0, px.data(), static_cast<tmsize_t>(px.size()));
        TIFFWriteDirectory(t);
    }
    TIFFClose(t);
}

// Makes `path` by `make(temporary)` unless it is there already; a run cut short leaves no
// half-made file under the name.
template <typename Fn> bool MakeOnce(const std::filesystem::path& path, Fn&& make) {
    if (std::filesystem::exists(path)) {
        return true;
    }
    const std::string part = path.string() + ".part";
    if (!make(part)) {
        std::filesystem::remove(part);
        return false;
    }
    std::filesystem::rename(part, path);
    return true;
}

// The printed run and its LZW copy, kept in the build directory; `why` when they cannot be
// made.
struct PrintedRun {
    std::string run;
    std::string lzw;
    std::string why;
};

PrintedRun MakePrintedRun() {
    const std::filesystem::path dir =
        std::filesystem::read_symlink("/proc/self/exe").parent_path() / "bench-input";
    std::filesystem::create_directories(dir);
    const std::string stem =
        std::string("printed-") + std::to_string(kRunPages) + "-v" + kInputVersion;
    PrintedRun r;
    r.run = (dir / (stem + ".tif")).string();
    r.lzw = (dir / (stem + "-lzw.tif")).string();
    const std::filesystem::path ps = dir / (stem + ".ps");
    // The fax printer's Ghostscript options (tools/velquin-print), at the size of a fax line.
    const bool printed = MakeOnce(r.run, [&](const std::string& out) {
        std::fprintf(stderr, "printing %d pages with Ghostscript into %s ...\n", kRunPages,
                     r.run.c_str());
        WriteTextDocument(ps.string(), kRunPages);
        std::string outputArg = "-sOutputFile="; // '%' would name a page number to Ghostscript
        for (char c : out) {
            outputArg += c == '%' ? std::string("%%") : std::string(1, c);
        }
        const bool ok = Run({"gs", "-q", "-dNOPAUSE", "-dBATCH", "-dSAFER", "-sDEVICE=tiffg4",
                             "-r204x196", "-g1728x2292", "-dFIXEDMEDIA", "-dFitPage",
                             "-sstdout=%stderr", outputArg, "-f", ps.string()});
        std::filesystem::remove(ps);
        return ok && CountPages(out) == kRunPages;
    });
    if (!printed) {
        r.why = "Ghostscript (gs) did not print the run: install the ghostscript package";
        return r;
    }
    if (!MakeOnce(r.lzw, [&](const std::string& out) {
            return Run({"tiffcp", "-c", "lzw", r.run, out});
        })) {
        r.why = "tiffcp -c lzw did not run: install libtiff-tools";
    }
    return r;
}

// The files: the printed run made once per build directory, the rest once per process in a
// directory removed at exit.
struct Files {
    std::filesystem::path dir;
    PrintedRun printed;
    std::string count; // 10,000 small pages
    Files() {
        char tmpl[] = "/tmp/velquin-bench-XXXXXX";
        if (!::mkdtemp(tmpl)) {
            std::perror("mkdtemp");
            std::exit(1);
        }
        dir = tmpl;
        count = (dir / "count.tif").string();
        WriteBlankPages(count, kCountPages, 8);
        std::filesystem::create_directory(dir / "Merge");
        printed = MakePrintedRun();
        if (!printed.why.empty()) {
            std::fprintf(stderr, "%s; the benchmarks on it are skipped\n", printed.why.c_str());
        } else {
            const auto size = static_cast<double>(std::filesystem::file_size(printed.run));
            std::fprintf(stderr, "run: %d pages printed by Ghostscript, %.1f MB (%.0f KB a page)\n",
                         kRunPages, size / 1e6, size / 1e3 / kRunPages);
        }
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
    const auto start = Clock::now();
    rusage ru{};
    if (!Run({"tiffcp", "-c", "g4", in, out}, &ru)) {
        return {};
    }
    const auto end = Clock::now();
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

// The input of a benchmark: 0 the printed Group 4 run, 1 its LZW copy; empty after skipping
// the benchmark when they could not be made.
std::string Input(benchmark::State& state, const Files& f, std::int64_t which) {
    if (!f.printed.why.empty()) {
        state.SkipWithError(f.printed.why.c_str());
        return {};
    }
    return which == 0 ? f.printed.run : f.printed.lzw;
}

void BM_CopyPages(benchmark::State& state) {
    Files& f = TheFiles();
    const std::string run = Input(state, f, state.range(0));
    if (run.empty()) {
        return;
    }
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
    const std::string run = Input(state, f, state.range(1));
    if (run.empty()) {
        return;
    }
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
