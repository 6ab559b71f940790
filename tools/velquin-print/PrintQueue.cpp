#include "PrintQueue.h"

#include "Spawn.h"

#include "platform/Files.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

const char* const kQueue = "Velquin-Fax";
// The line of the backend that names velquin-print once the backend is copied into CUPS.
const char* const kPlaceholder = "VELQUIN_PRINT_INSTALLED=\"\"";
// A policy of CUPS's default configuration: printing needs an authenticated user, which a
// local client is through its socket's credentials. Without it the job's user name is
// whatever the client claims.
const char* const kPolicy = "authenticated";

// CUPS's own programs folder (CUPS_SERVERBIN, as cupsd itself reads it).
std::string BackendPath() {
    const char* serverBin = std::getenv("CUPS_SERVERBIN");
    return std::string(serverBin && *serverBin ? serverBin : "/usr/lib/cups") + "/backend/velquin";
}

// The first of `candidates` (relative to this program's folder) that exists.
std::string FindBeside(const std::vector<std::string>& candidates) {
    std::string here = platform::ExecutableDir();
    for (const std::string& c : candidates) {
        std::string path = here + "/" + c;
        if (platform::IsRegularFile(path)) {
            return path;
        }
    }
    return {};
}

std::string ShellQuote(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

int Error(const std::string& message) {
    std::fprintf(stderr, "velquin-print: %s\n", message.c_str());
    return 1;
}

// The first part of `path` (itself or a folder above it) that someone other than root may
// change, or "" when there is none. A sticky folder keeps root's entries root's.
std::string WritableByOthers(const std::string& path) {
    std::string p = path;
    while (true) {
        struct stat st {};
        if (::stat(p.c_str(), &st) != 0 || st.st_uid != 0 ||
            ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0 &&
             !(S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX)))) {
            return p;
        }
        if (p == "/") {
            return {};
        }
        std::size_t slash = p.find_last_of('/');
        p = slash == 0 ? "/" : p.substr(0, slash);
    }
}

// lpadmin from the system's folders only: this runs as root.
std::string Lpadmin() {
    for (const char* path : {"/usr/sbin/lpadmin", "/usr/bin/lpadmin", "/sbin/lpadmin"}) {
        if (::access(path, X_OK) == 0) {
            return path;
        }
    }
    return {};
}

// Runs lpadmin; its warnings (such as the one about printer drivers) are shown, not hidden.
int RunLpadmin(const std::vector<std::string>& args, std::string* output = nullptr) {
    std::vector<std::string> argv = {Lpadmin()};
    argv.insert(argv.end(), args.begin(), args.end());
    std::string text;
    int rc = RunProgram(argv, text);
    while (!text.empty() && text.back() == '\n') {
        text.pop_back();
    }
    if (output != nullptr) {
        *output = text;
    } else if (!text.empty()) {
        std::fprintf(stderr, "%s\n", text.c_str());
    }
    return rc;
}

std::string RealPath(const std::string& path) {
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : std::string();
}

// Whose backend CUPS has. The package installs its own, naming its velquin-print: that file is
// the package's (dpkg checks it), and another Velquin's velquin-print may not take it over.
enum class BackendOwner { None, Installation, Us, Other };

BackendOwner OwnerOfBackend(const std::string& program, std::string& other) {
    const std::string target = RealPath(BackendPath());
    if (target.empty()) {
        return BackendOwner::None;
    }
    if (target == RealPath(platform::ExecutableDir() + "/../lib/cups/backend/velquin")) {
        return BackendOwner::Installation;
    }
    std::string text;
    const std::string key = "\nVELQUIN_PRINT_INSTALLED='";
    std::size_t at = std::string::npos;
    if (platform::ReadFile(target, text) == 0) {
        at = text.find(key);
    }
    if (at == std::string::npos) {
        return BackendOwner::Us;
    }
    at += key.size();
    other = text.substr(at, text.find('\'', at) - at);
    return other == program || !platform::IsRegularFile(other) ? BackendOwner::Us
                                                               : BackendOwner::Other;
}

// CUPS runs a backend as root only when others may not read it (mode 0700); root is needed
// to write into the printing user's fax folder as that user. The backend calls velquin-print
// by the path written into it, which only root may be able to change.
int InstallBackend(const std::string& program) {
    std::string other;
    switch (OwnerOfBackend(program, other)) {
    case BackendOwner::Installation:
        return 0;
    case BackendOwner::Other:
        return Error("CUPS has the backend of the Velquin installed with " + other +
                     "; add the queue with that program, or remove that Velquin first");
    default:
        break;
    }
    std::string source = FindBeside(
        {"velquin-backend", "../lib/cups/backend/velquin", "../share/velquin/velquin-backend"});
    if (source.empty()) {
        return Error("the CUPS backend (velquin-backend) is not installed beside velquin-print");
    }
    std::string text;
    if (platform::ReadFile(source, text) != 0) {
        return Error("cannot read " + source);
    }
    std::size_t at = text.find(kPlaceholder);
    if (at != std::string::npos) {
        text.replace(at, std::string(kPlaceholder).size(),
                     "VELQUIN_PRINT_INSTALLED=" + ShellQuote(program));
    }
    std::string target = BackendPath();
    if (!platform::IsDirectory(platform::DirName(target))) {
        return Error(platform::DirName(target) + " does not exist; is CUPS installed?");
    }
    if (platform::AtomicReplaceFile(target, text, 0700) != 0) {
        return Error("cannot write " + target + ": " + std::strerror(errno));
    }
    return 0;
}

} // namespace

int InstallPrintQueue() {
    if (::geteuid() != 0) {
        return Error("adding the print queue needs root: sudo velquin-print --install-queue");
    }
    if (Lpadmin().empty()) {
        return Error("CUPS is not installed (lpadmin not found); install cups and cups-client");
    }
    const std::string program = RealPath(platform::ExecutableDir() + "/velquin-print");
    if (program.empty()) {
        return Error("cannot find velquin-print's own file");
    }
    std::string unsafe = WritableByOthers(program);
    if (!unsafe.empty()) {
        return Error("CUPS would run " + program + " as root, but " + unsafe +
                     " can be changed by users other than root; install Velquin into a folder "
                     "only root can write (sudo cmake --install build/default) and run that "
                     "velquin-print --install-queue");
    }
    std::string ppd = FindBeside({"velquin-fax.ppd", "../share/velquin/velquin-fax.ppd"});
    if (ppd.empty()) {
        return Error("the printer description velquin-fax.ppd is not installed");
    }
    if (int rc = InstallBackend(program)) {
        return rc;
    }
    std::string output;
    int rc =
        RunLpadmin({"-p", kQueue, "-E", "-v", "velquin:/", "-P", ppd, "-D", "Velquin fax", "-L",
                    "Velquin", "-o", "printer-error-policy=abort-job", "-o",
                    "printer-is-shared=false", "-o", std::string("printer-op-policy=") + kPolicy},
                   &output);
    if (!output.empty()) {
        std::fprintf(stderr, "%s\n", output.c_str());
    }
    if (rc != 0) {
        // Nothing half-made stays: a queue without the policy would trust any user name.
        bool policy = output.find("policy") != std::string::npos;
        RunLpadmin({"-x", kQueue}, &output);
        ::unlink(BackendPath().c_str());
        return Error(std::string("lpadmin could not add the queue") +
                     (policy ? "; CUPS needs the \"" + std::string(kPolicy) +
                                   "\" policy of its default cupsd.conf"
                             : std::string()));
    }
    std::printf("Print queue %s added; print to it to make a new fax.\n", kQueue);
    return 0;
}

int RemovePrintQueue() {
    if (Lpadmin().empty()) {
        return Error("CUPS is not installed (lpadmin not found)");
    }
    std::string output;
    int rc = RunLpadmin({"-x", kQueue}, &output);
    bool gone = rc == 0 || output.find("not exist") != std::string::npos ||
                output.find("not found") != std::string::npos;
    if (!gone) {
        return Error("lpadmin could not remove the queue" +
                     (output.empty() ? std::string() : ": " + output));
    }
    std::string backend = BackendPath();
    std::string other;
    switch (OwnerOfBackend(RealPath(platform::ExecutableDir() + "/velquin-print"), other)) {
    case BackendOwner::Installation:
    case BackendOwner::Other:
        std::printf("Print queue %s removed; its backend %s stays with the installed Velquin.\n",
                    kQueue, backend.c_str());
        return 0;
    default:
        break;
    }
    if (::unlink(backend.c_str()) != 0 && errno != ENOENT) {
        return Error("cannot remove " + backend + ": " + std::strerror(errno));
    }
    std::printf("Print queue %s and its backend %s removed.\n", kQueue, backend.c_str());
    return 0;
}
