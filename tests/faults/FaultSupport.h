#pragma once
// Real operating-system faults for the tests: work run in a forked child whose file size is
// limited (writes fail with EFBIG, as on a full disk) or that runs as an unprivileged user
// (the test itself runs as root, which ignores directory permissions), and snapshots of a
// directory to prove that a failed or interrupted save changed nothing.
#include <functional>
#include <map>
#include <string>

namespace faults {

struct ChildResult {
    int exitCode = -1;  // -1 when the child did not exit normally
    std::string report; // what the child wrote to its report pipe
};

// How the child is restricted before `work` runs.
struct ChildLimits {
    long long maxFileBytes = -1; // RLIMIT_FSIZE, SIGXFSZ ignored; -1: no limit
    bool unprivileged = false;   // run as uid/gid 65534 when root (nothing otherwise)
};

// Runs `work` in a forked child and waits for it. `work` returns the exit code and may
// append text to its argument, which reaches the parent as `report`. Only the calling thread
// lives on in the child: `work` must not start threads (sanitizers refuse) nor wait for any.
ChildResult RunInChild(const ChildLimits& limits, const std::function<int(std::string&)>& work);

// Makes `dir` and every directory above it up to `root` traversable and readable by others,
// but writable by the owner only: the unprivileged child can read but not write there.
// For a non-root test user the owner's write bit goes too.
void MakeReadOnly(const std::string& root, const std::string& dir);
// Undoes MakeReadOnly's owner write bit (the temporary directory must be removable).
void MakeWritable(const std::string& dir);

// Every regular file of `dir` (name -> bytes), without subdirectories.
std::map<std::string, std::string> Snapshot(const std::string& dir);
// Names present in `after` but not in `before` (stray files), joined by ", ".
std::string NewNames(const std::map<std::string, std::string>& before,
                     const std::map<std::string, std::string>& after);

} // namespace faults

namespace faults {

// A forked child running `loop` until it is killed. `loop` gets the write end of a pipe whose
// read end is returned in `readFd`, to report its progress; the child writes "r" there just
// before it calls `loop`.
int StartLoopingChild(const std::function<void(int reportFd)>& loop, int& readFd);
// SIGKILL, then waits for the child; true when it died of that signal.
bool KillChild(int pid);

} // namespace faults
