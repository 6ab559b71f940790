#include "app/DemoService.h"

#include "app/Settings.h"
#include "platform/Files.h"
#include "platform/Process.h"

#include <unistd.h>

namespace demo {

namespace {

// Below the kernel's ephemeral range, so that outgoing connections do not take it.
constexpr unsigned kFirstPort = 20000;
constexpr unsigned kPorts = 12000;

} // namespace

unsigned Port() {
    return kFirstPort + ::getuid() % kPorts;
}

std::string Host() {
    return "127.0.0.1:" + std::to_string(Port());
}

bool IsChosen(const CSettings& settings) {
    return settings.ApiHost == Host() && settings.UserID == kUser;
}

std::string SimulatorPath() {
    // Installed: bin/velquin and lib/velquin/faxsim; a build tree: src/gui/velquin (or a test
    // folder two levels down) and tools/faxsim/faxsim.
    const std::string here = platform::ExecutableDir();
    for (const char* relative : {"/../lib/velquin/faxsim", "/../../tools/faxsim/faxsim"}) {
        if (platform::IsRegularFile(here + relative)) {
            return here + relative;
        }
    }
    return {};
}

bool Start(const CSettings& settings) {
    const std::string program = SimulatorPath();
    return !program.empty() &&
           platform::StartProgram({program, "--port", std::to_string(Port()), "--account",
                                   std::string(kUser) + ":" + kPassword, "--jobs",
                                   settings.DataDir + "/demo-service.jobs"},
                                  kLabel);
}

} // namespace demo
