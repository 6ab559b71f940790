#include "PrintQueue.h"

#include "Spawn.h"

#include "platform/Files.h"

#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

const char* const kQueue = "Velquin-Fax";
const char* const kCupsBackendDir = "/usr/lib/cups/backend";
// The line of the backend that names velquin-print once the backend is copied into CUPS.
const char* const kPlaceholder = "VELQUIN_PRINT_INSTALLED=\"\"";

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

// CUPS runs a backend as root only when others may not read it (mode 0700); root is needed
// to write into the printing user's fax folder as that user.
int InstallBackend() {
    std::string target = std::string(kCupsBackendDir) + "/velquin";
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
                     "VELQUIN_PRINT_INSTALLED=" +
                         ShellQuote(platform::ExecutableDir() + "/velquin-print"));
    }
    if (!platform::IsDirectory(kCupsBackendDir)) {
        return Error(std::string(kCupsBackendDir) + " does not exist; is CUPS installed?");
    }
    if (platform::AtomicWriteFile(target, text, 0700) != 0 || ::chmod(target.c_str(), 0700) != 0) {
        return Error("cannot write " + target + " (run as root)");
    }
    return 0;
}

int Lpadmin(const std::vector<std::string>& args) {
    std::string lpadmin = FindProgram("lpadmin");
    if (lpadmin.empty()) {
        return Error("CUPS is not installed (lpadmin not found); install cups and cups-client");
    }
    std::vector<std::string> argv = {lpadmin};
    argv.insert(argv.end(), args.begin(), args.end());
    std::string output;
    int rc = RunProgram(argv, output);
    if (rc != 0) {
        return Error("lpadmin failed" + (output.empty() ? std::string() : ": " + output));
    }
    return 0;
}

} // namespace

int InstallPrintQueue() {
    if (FindProgram("lpadmin").empty()) {
        return Error("CUPS is not installed (lpadmin not found); install cups and cups-client");
    }
    std::string ppd = FindBeside({"velquin-fax.ppd", "../share/velquin/velquin-fax.ppd"});
    if (ppd.empty()) {
        return Error("the printer description velquin-fax.ppd is not installed");
    }
    if (int rc = InstallBackend()) {
        return rc;
    }
    int rc = Lpadmin({"-p", kQueue, "-E", "-v", "velquin:/", "-P", ppd, "-D", "Velquin fax", "-L",
                      "Velquin", "-o", "printer-error-policy=abort-job", "-o",
                      "printer-is-shared=false"});
    if (rc == 0) {
        std::printf("Print queue %s added; print to it to make a new fax.\n", kQueue);
    }
    return rc;
}

int RemovePrintQueue() {
    int rc = Lpadmin({"-x", kQueue});
    if (rc == 0) {
        std::printf("Print queue %s removed.\n", kQueue);
    }
    return rc;
}
