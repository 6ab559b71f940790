#pragma once
// Starts the faxsim service simulator as a child process on an ephemeral loopback port and stops
// it again. The child also ends when the thread that started it ends (PR_SET_PDEATHSIG), so
// start it from the test's own thread.
#include <string>
#include <sys/types.h>
#include <vector>

namespace testing_support {

class FaxsimProcess {
public:
    FaxsimProcess() = default;
    ~FaxsimProcess();
    FaxsimProcess(const FaxsimProcess&) = delete;
    FaxsimProcess& operator=(const FaxsimProcess&) = delete;

    // Starts `binary` (default: DefaultBinary()) with `args` and waits for its "port N" line.
    bool Start(const std::vector<std::string>& args, const std::string& binary = {});
    // SIGTERM, then waits for the child. Safe to call twice.
    void Stop();

    int Port() const { return m_port; }
    pid_t Pid() const { return m_pid; }
    // "127.0.0.1:PORT", the ApiHost / WebHost value that reaches it.
    std::string HostPort() const;

    // $VELQUIN_BUILD_DIR/tools/faxsim/faxsim, else the path relative to the running program's
    // build tree.
    static std::string DefaultBinary();

private:
    pid_t m_pid = -1;
    int m_port = 0;
};

// A plain HTTP/1.0 GET against 127.0.0.1:`port`; the whole reply, or "" on failure.
std::string HttpGet(int port, const std::string& target);

} // namespace testing_support
