#pragma once
// Starts the faxsim service simulator as a child process on an ephemeral loopback port and stops
// it again. The child also ends when the thread that started it ends (PR_SET_PDEATHSIG), so
// start it from the test's own thread.
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace testing_support {

// A child process that answers on the first line of its standard output (a port, an address),
// ended with SIGTERM. Started with posix_spawn rather than QProcess: after QProcess starts a
// child, ThreadSanitizer no longer sees the locks the starting thread takes.
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts argv[0] (found through PATH when it names no folder) and returns the first line it
    // prints; "" when it cannot be started or prints none within 10 s. With `firstLine` false
    // it returns at once (its output goes where the test's goes).
    std::string Start(std::vector<std::string> argv, bool firstLine = true);
    // SIGTERM, then waits for the child. Safe to call twice.
    void Stop();
    // Waits up to `ms` for the child to end: its wait status, or nullopt while it runs.
    std::optional<int> Wait(int ms);
    pid_t Pid() const { return m_pid; }

private:
    pid_t m_pid = -1;
};

// The simulator as a child; it ends with this object.
class FaxsimProcess {
public:
    // Starts `binary` (default: DefaultBinary()) with `args` and waits for its "port N" line.
    bool Start(const std::vector<std::string>& args, const std::string& binary = {});
    // SIGTERM, then waits for the child. Safe to call twice.
    void Stop();

    int Port() const { return m_port; }
    pid_t Pid() const { return m_child.Pid(); }
    // "127.0.0.1:PORT", the ApiHost / WebHost value that reaches it.
    std::string HostPort() const;

    // $VELQUIN_BUILD_DIR/tools/faxsim/faxsim, else the path relative to the running program's
    // build tree.
    static std::string DefaultBinary();

private:
    ChildProcess m_child;
    int m_port = 0;
};

// A plain HTTP/1.0 GET against 127.0.0.1:`port`; the whole reply, or "" on failure.
std::string HttpGet(int port, const std::string& target);

// A session bus of the test's own, listening in `dir`; D-Bus services it may start are
// described in `dir`/services. Its address, "" when dbus-daemon cannot be started.
std::string StartPrivateBus(ChildProcess& bus, const std::string& dir);

} // namespace testing_support
