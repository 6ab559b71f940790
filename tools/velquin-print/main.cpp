// velquin-print: the fax printer. Renders a PDF, PostScript or image file with Ghostscript
// into a multi-page Group 4 fax image in FaxDir, announcing the print through the ".grp"
// status file so that Velquin lists the document only once it is whole.
#include "PrintQueue.h"
#include "RasterPages.h"
#include "Spawn.h"
#include "VelquinVersion.h"

#include "app/Ports.h"
#include "app/Settings.h"
#include "platform/Encoding.h"
#include "platform/Files.h"
#include "platform/Registry.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <tiffio.h>
#include <unistd.h>
#include <vector>

namespace {

const char* const kUsage =
    "usage: velquin-print [options] [--] [FILE | -]\n"
    "Prints FILE (PDF, PostScript, TIFF, PNG or JPEG; '-' or none: standard input) to the\n"
    "Velquin fax printer: a Group 4 fax image in the fax folder, listed by Velquin as a new fax.\n"
    "  --title TEXT      the document name (default: the file name without its extension)\n"
    "  --fax-dir DIR     the fax folder (default: FaxDir of the Velquin settings)\n"
    "  --standard        standard resolution 204x98 dpi (default: fine, 204x196 dpi)\n"
    "  --letter          US Letter paper (default: A4)\n"
    "  --install-queue   add the \"Velquin-Fax\" print queue to CUPS (run as root)\n"
    "  --remove-queue    remove that print queue\n"
    "  --help            show this text\n"
    "  --version         show the version\n"
    "Environment: VELQUIN_GS names the Ghostscript program (default: gs);\n"
    "  VELQUIN_PRINT_CPU_SECONDS, VELQUIN_PRINT_MEMORY_MB and VELQUIN_PRINT_MAX_PAGES lower\n"
    "  the bounds of a job (180 s of processor time and 512 MB for Ghostscript, 10000 pages).\n";

const char* const kSection = "TW Ostrevo";
const char* const kPrinting = "Printing in progress";
const char* const kFinished = "Printing finished successfully";
constexpr std::size_t kMaxTitleBytes = 511; // what the intake reads of "Document name"
const char* const kWorkDirPrefix = ".velquin-print-";

// What one job may take of a machine whose print queue others wait on. A page of text renders
// in about 10 ms, so the page limit fits well within the time.
constexpr rlim_t kMaxRenderSeconds = 180;
constexpr rlim_t kMaxRenderMegabytes = 512;

struct JobBounds {
    rlim_t cpuSeconds = kMaxRenderSeconds;
    rlim_t megabytes = kMaxRenderMegabytes;
    int pages = kMaxFaxPages;
};

// The environment may lower a bound, never raise it. (The CUPS backend passes none of the
// printing user's environment anyway.)
rlim_t Lowered(const char* name, rlim_t builtIn) {
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0') {
        return builtIn;
    }
    char* end = nullptr;
    errno = 0;
    unsigned long long value = std::strtoull(text, &end, 10);
    return errno != 0 || *end != '\0' || value == 0 ? builtIn : std::min<rlim_t>(value, builtIn);
}

const JobBounds& Bounds() {
    static const JobBounds bounds = {
        Lowered("VELQUIN_PRINT_CPU_SECONDS", kMaxRenderSeconds),
        Lowered("VELQUIN_PRINT_MEMORY_MB", kMaxRenderMegabytes),
        static_cast<int>(Lowered("VELQUIN_PRINT_MAX_PAGES", kMaxFaxPages))};
    return bounds;
}

// What a cancelled job (CUPS sends SIGTERM) must not leave behind: the claimed status file,
// the work files and, last, the private work folder. Plain buffers: the signal handler may
// only unlink.
enum CleanupSlot { kGrpSlot, kInputSlot, kPsSlot, kImageSlot, kWorkDirSlot, kSlots };
char g_cleanup[kSlots][4096];
volatile pid_t g_child = 0;

void SetCleanup(int slot, const std::string& path) {
    std::snprintf(g_cleanup[slot], sizeof g_cleanup[slot], "%s", path.c_str());
}

void RemoveCleanupFiles() {
    for (int slot = 0; slot < kSlots; ++slot) {
        if (g_cleanup[slot][0] != '\0') {
            slot == kWorkDirSlot ? ::rmdir(g_cleanup[slot]) : ::unlink(g_cleanup[slot]);
        }
    }
}

void CleanUp() {
    RemoveCleanupFiles();
    for (auto& path : g_cleanup) {
        path[0] = '\0';
    }
}

extern "C" void OnSignal(int sig) {
    if (g_child > 0) {
        ::kill(g_child, SIGTERM);
    }
    RemoveCleanupFiles();
    ::_exit(128 + sig);
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "velquin-print: %s\n", message.c_str());
    CleanUp();
    return 1;
}

// A file name built from a document name: no separators or control bytes, no leading dot,
// not cut inside a UTF-8 sequence.
std::string SafeStem(const std::string& name) {
    std::string out;
    for (char c : name) {
        unsigned char u = static_cast<unsigned char>(c);
        out.push_back(u < 32 || std::strchr("/\\:*?\"<>|%", c) != nullptr ? '_' : c);
    }
    out.erase(0, out.find_first_not_of(". "));
    out.erase(out.find_last_not_of(". ") + 1);
    if (out.size() > 80) {
        std::size_t cut = 80;
        while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80) {
            --cut;
        }
        out.resize(cut);
    }
    return out.empty() ? "fax" : out;
}

// The document name as the intake will read it back: one line, Windows-1251, at most 511 bytes.
std::string GrpTitle(const std::string& title) {
    std::string line;
    for (char c : title) {
        line.push_back(static_cast<unsigned char>(c) < 32 ? ' ' : c);
    }
    std::string bytes = platform::Utf8ToCp1251(line);
    if (bytes.size() > kMaxTitleBytes) {
        bytes.resize(kMaxTitleBytes);
    }
    return bytes;
}

std::string GrpText(const char* status, const std::string& titleBytes) {
    // The name is quoted so that blanks and quotes at its ends survive the reader's trimming.
    return std::string("[") + kSection + "]\r\nPrint status=" + status + "\r\nDocument name=\"" +
           titleBytes + "\"\r\n";
}

// Creates the status file of a stem no other document uses; that claims the stem. Returns the
// stem, or "" with `error` set.
std::string ClaimStem(const std::string& faxDir, const std::string& base,
                      const std::string& grpText, int& error) {
    platform::CDirIndex index(faxDir);
    for (int n = 1; n < 10000; ++n) {
        std::string stem = n == 1 ? base : base + "_" + std::to_string(n);
        bool taken = false;
        for (const char* ext : {".tif", ".tag", ".grp"}) {
            taken = taken || index.Find(stem + ext) != nullptr;
        }
        if (taken) {
            continue;
        }
        std::string grp = platform::JoinPath(faxDir, stem + ".grp");
        int fd = ::open(grp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                        platform::kPrivateFileMode);
        if (fd < 0) {
            if (errno == EEXIST) {
                continue;
            }
            error = errno;
            return {};
        }
        SetCleanup(kGrpSlot, grp);
        bool ok =
            ::write(fd, grpText.data(), grpText.size()) == static_cast<ssize_t>(grpText.size());
        ok = ::close(fd) == 0 && ok;
        if (!ok) {
            error = EIO;
            return {};
        }
        return stem;
    }
    error = EEXIST;
    return {};
}

int CountTiffPages(const std::string& path) {
    TIFFSetWarningHandler(nullptr);
    TIFFSetErrorHandler(nullptr);
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    if (tif == nullptr) {
        return 0;
    }
    int pages = TIFFNumberOfDirectories(tif);
    TIFFClose(tif);
    return pages;
}

// Standard input goes to a file first (Ghostscript needs to seek in PDF), in the job's own
// work folder: nothing depends on a TMPDIR that the printing user may not be able to write.
std::string SpoolStdin(const std::string& workDir, int& error) {
    std::string path = platform::JoinPath(workDir, "input");
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = errno;
        return {};
    }
    SetCleanup(kInputSlot, path);
    char buf[65536];
    ssize_t n = 0;
    error = 0;
    while ((n = ::read(0, buf, sizeof buf)) != 0) {
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            error = errno;
            break;
        }
        if (::write(fd, buf, static_cast<std::size_t>(n)) != n) {
            error = errno ? errno : EIO;
            break;
        }
    }
    ::close(fd);
    return path;
}

// A folder only this user can enter, for every work file of the job: another user who shares
// FaxDir cannot plant a link where Ghostscript or this program writes.
std::string MakeWorkDir(const std::string& faxDir) {
    std::string dir = platform::JoinPath(faxDir, std::string(kWorkDirPrefix) + "XXXXXX");
    if (::mkdtemp(dir.data()) == nullptr) {
        return {};
    }
    SetCleanup(kWorkDirSlot, dir);
    return dir;
}

// Work folders of jobs that were killed outright. Only our own, and only old ones: another
// print of the same user may be running.
void RemoveStaleWorkDirs(const std::string& faxDir) {
    std::time_t now = std::time(nullptr);
    for (const platform::DirEntry& e : platform::ListDir(faxDir)) {
        if (!e.isDir || e.name.rfind(kWorkDirPrefix, 0) != 0) {
            continue;
        }
        std::string dir = platform::JoinPath(faxDir, e.name);
        struct stat st {};
        if (::lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid() ||
            now - st.st_mtime < 3600) {
            continue;
        }
        for (const platform::DirEntry& f : platform::ListDir(dir)) {
            ::unlink(platform::JoinPath(dir, f.name).c_str());
        }
        ::rmdir(dir.c_str());
    }
}

// No file of the job grows past the limit: writes fail with EFBIG instead of a signal, here
// and in Ghostscript, which inherits both settings.
void LimitFileSizes() {
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 &&
        (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur > kMaxJobFileBytes)) {
        limit.rlim_cur = kMaxJobFileBytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ::signal(SIGXFSZ, SIG_IGN);
}

std::string TooLarge() {
    return "the document is larger than the fax printer takes (" +
           std::to_string(kMaxJobFileBytes >> 20) + " MB per file, " +
           std::to_string(Bounds().pages) + " pages)";
}

bool ReachedLimit(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 &&
           static_cast<unsigned long long>(st.st_size) + 65536 >= kMaxJobFileBytes;
}

struct Options {
    std::string input;
    std::string title;
    bool hasTitle = false;
    std::string faxDir;
    bool standard = false;
    bool letter = false;
};

int Print(const Options& opt) {
    // Where to print.
    std::string faxDir = opt.faxDir;
    if (faxDir.empty()) {
        CQuietPrompt prompt;
        LoadSettings(prompt);
        faxDir = Settings().FaxDir;
        if (faxDir.empty()) {
            return Fail("Velquin is not set up (no FaxDir in " +
                        platform::HivePath(platform::Hive::LocalMachine) +
                        "); run 'velquin-tool setup' or give --fax-dir");
        }
    }
    if (!platform::IsDirectory(faxDir)) {
        return Fail("the fax folder " + faxDir + " does not exist");
    }
    if (::access(faxDir.c_str(), W_OK) != 0) {
        return Fail("the fax folder " + faxDir + " is not writable: " + std::strerror(errno));
    }

    // Every file of the job, Ghostscript's image included, is readable by the user alone.
    ::umask(077);
    LimitFileSizes();
    RemoveStaleWorkDirs(faxDir);
    std::string workDir = MakeWorkDir(faxDir);
    if (workDir.empty()) {
        return Fail("cannot create a work folder in " + faxDir + ": " + std::strerror(errno));
    }
    // Ghostscript's own temporary files go there too.
    ::setenv("TMPDIR", workDir.c_str(), 1);

    // What to print.
    std::string input = opt.input;
    bool fromStdin = input.empty() || input == "-";
    if (fromStdin) {
        int err = 0;
        input = SpoolStdin(workDir, err);
        if (err != 0) {
            return Fail(err == EFBIG
                            ? TooLarge()
                            : std::string("cannot read standard input: ") + std::strerror(err));
        }
    } else if (!platform::IsRegularFile(input) || ::access(input.c_str(), R_OK) != 0) {
        return Fail("cannot read " + input + ": " +
                    std::strerror(platform::PathExists(input) && errno ? errno : ENOENT));
    }
    std::string inputName = fromStdin ? std::string("the input") : input;
    InputKind kind = DetectInputKind(input);
    if (kind == InputKind::Unknown) {
        return Fail(inputName + " is neither PDF, PostScript nor a TIFF, PNG or JPEG image");
    }
    std::string title = opt.hasTitle ? opt.title
                        : fromStdin  ? std::string("Документ")
                                     : platform::Stem(input);
    std::string base = SafeStem(fromStdin || title.empty() ? title : platform::Stem(input));

    PaperSize paper;
    if (opt.letter) {
        paper = {612, 792};
    }
    std::string titleBytes = GrpTitle(title);
    int err = 0;
    std::string stem = ClaimStem(faxDir, base, GrpText(kPrinting, titleBytes), err);
    if (stem.empty()) {
        return Fail("cannot create a status file in " + faxDir + ": " + std::strerror(err));
    }
    std::string grpPath = platform::JoinPath(faxDir, stem + ".grp");
    std::string tifPath = platform::JoinPath(faxDir, stem + ".tif");

    std::string source = input;
    if (kind == InputKind::Tiff || kind == InputKind::Png || kind == InputKind::Jpeg) {
        source = platform::JoinPath(workDir, "image.ps");
        SetCleanup(kPsSlot, source);
        std::string why = WriteImageAsPostScript(input, kind, paper, source);
        if (!why.empty()) {
            return Fail(ReachedLimit(source) ? TooLarge() : inputName + ": " + why);
        }
    }

    // The image is made in the work folder and linked into FaxDir only when whole.
    std::string partPath = platform::JoinPath(workDir, "fax.tif");
    SetCleanup(kImageSlot, partPath);
    std::string outputArg = "-sOutputFile=";
    for (char c : partPath) {
        outputArg += c == '%' ? std::string("%%") : std::string(1, c);
    }
    const char* gsEnv = std::getenv("VELQUIN_GS");
    std::string gs = gsEnv && *gsEnv ? gsEnv : "gs";
    // Nothing is rendered past the page limit.
    std::string lastPage = "-dLastPage=" + std::to_string(Bounds().pages + 1);
    std::vector<std::string> argv = {gs,
                                     "-q",
                                     "-dNOPAUSE",
                                     "-dBATCH",
                                     "-dSAFER",
                                     "-sDEVICE=tiffg4",
                                     opt.standard ? "-r204x98" : "-r204x196",
                                     opt.letter ? "-sPAPERSIZE=letter" : "-sPAPERSIZE=a4",
                                     "-dFIXEDMEDIA",
                                     "-dFitPage",
                                     lastPage,
                                     "-sstdout=%stderr",
                                     outputArg,
                                     "-f",
                                     source};
    std::string messages;
    ChildLimits limits;
    limits.cpuSeconds = Bounds().cpuSeconds;
    limits.memoryBytes = Bounds().megabytes << 20;
    ChildEnd end;
    int rc = RunProgram(argv, messages, &g_child, limits, &end);
    if (rc < 0) {
        return Fail("Ghostscript (" + gs + ") cannot be started; install the ghostscript package");
    }
    if (rc != 0 && ReachedLimit(partPath)) {
        return Fail(TooLarge());
    }
    if (end.signal == SIGXCPU ||
        (end.signal == SIGKILL && end.cpuSeconds >= static_cast<double>(limits.cpuSeconds))) {
        return Fail(inputName + " takes more than " + std::to_string(limits.cpuSeconds) +
                    " seconds of processor time to render; the fax printer stopped it");
    }
    if (rc != 0 && messages.find("VMerror") != std::string::npos) {
        return Fail(inputName + " needs more than " + std::to_string(Bounds().megabytes) +
                    " MB of memory to render; the fax printer stopped it");
    }
    int pages = rc == 0 ? CountTiffPages(partPath) : 0;
    if (pages > Bounds().pages) {
        return Fail(TooLarge());
    }
    if (pages <= 0) {
        // Ghostscript's first lines say what went wrong; its stack dump does not help.
        std::size_t cut = 0;
        for (int line = 0; line < 3 && cut != std::string::npos; ++line) {
            cut = messages.find('\n', cut == 0 ? 0 : cut + 1);
        }
        if (cut != std::string::npos) {
            messages.resize(cut);
        }
        while (!messages.empty() && (messages.back() == '\n' || messages.back() == '\r')) {
            messages.pop_back();
        }
        return Fail("Ghostscript could not render " + inputName +
                    (messages.empty() ? std::string() : ":\n" + messages));
    }

    // Put the whole image in place without ever replacing another document's image.
    if (::link(partPath.c_str(), tifPath.c_str()) != 0) {
        return Fail("cannot create " + tifPath + ": " + std::strerror(errno));
    }
    if (platform::AtomicWriteFile(grpPath, GrpText(kFinished, titleBytes)) != 0) {
        ::unlink(tifPath.c_str());
        return Fail("cannot update " + grpPath);
    }
    g_cleanup[kGrpSlot][0] = '\0';
    CleanUp();
    std::printf("%s: %d page%s -> %s\n", title.c_str(), pages, pages == 1 ? "" : "s",
                tifPath.c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    Options opt;
    bool install = false, remove = false;
    bool haveInput = false;
    bool optionsEnd = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (!optionsEnd && a == "--") {
            optionsEnd = true;
            continue;
        }
        if (optionsEnd) {
            if (haveInput) {
                std::fprintf(stderr, "velquin-print: unexpected argument '%s'\n%s", a.c_str(),
                             kUsage);
                return 2;
            }
            opt.input = a;
            haveInput = true;
            continue;
        }
        auto value = [&](std::string& out) {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "velquin-print: %s needs a value\n%s", a.c_str(), kUsage);
                return false;
            }
            out = argv[++i];
            return true;
        };
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (a == "--version") {
            std::printf("velquin-print %s\n", kVelquinVersion);
            return 0;
        } else if (a == "--title") {
            if (!value(opt.title)) {
                return 2;
            }
            opt.hasTitle = true;
        } else if (a == "--fax-dir") {
            if (!value(opt.faxDir)) {
                return 2;
            }
        } else if (a == "--standard") {
            opt.standard = true;
        } else if (a == "--fine") {
            opt.standard = false;
        } else if (a == "--letter") {
            opt.letter = true;
        } else if (a == "--a4") {
            opt.letter = false;
        } else if (a == "--install-queue") {
            install = true;
        } else if (a == "--remove-queue") {
            remove = true;
        } else if ((a.size() > 1 && a[0] == '-' && a != "-") || haveInput) {
            std::fprintf(stderr, "velquin-print: unexpected argument '%s'\n%s", a.c_str(), kUsage);
            return 2;
        } else {
            opt.input = a;
            haveInput = true;
        }
    }
    if (install || remove) {
        return install ? InstallPrintQueue() : RemovePrintQueue();
    }
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
        ::sigaction(sig, &sa, nullptr);
    }
    return Print(opt);
}
