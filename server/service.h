// The running server: the TLS WebSocket listener, the control listener, the
// demo bots' clock, fault switches and graceful shutdown, all on one I/O
// thread around the transport-free Community.
#pragma once

#include "server_options.h"

namespace VelmorServer {

// Starts the server, prints "velmor-server listening on A:P" once it accepts
// connections, and runs until SIGINT or SIGTERM. Returns the exit code: 0
// after a clean shutdown, non-zero when it could not start (port taken,
// certificate unreadable), with the reason on standard error.
int runServer(const ServerOptions& options);

}  // namespace VelmorServer
