#pragma once
// The socket side of faxsim: a loopback listener with one thread per connection.
#include "FaxSim.h"

#include <atomic>

namespace faxsim {

// Binds 127.0.0.1:`port` (0: ephemeral). Returns the listening socket, or -1; `boundPort` gets
// the port.
int OpenListener(int port, int& boundPort);

// Serves connections on `listenFd` until `stopFd` becomes readable (or `stop` is set). Joins every
// connection thread before it returns.
void Serve(CFaxService& service, int listenFd, int stopFd, const std::atomic<bool>& stop);

} // namespace faxsim
