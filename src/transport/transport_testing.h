// Test and diagnostic switches of the transport. The client never includes
// this header; only tests and the connection probe do.
#pragma once

namespace VelmorTransport::Testing {

// While set, open() uses the compatibility transport even where WinHTTP
// offers its WebSocket functions. Process-wide.
void forceCompatibilityTransport(bool force);

}  // namespace VelmorTransport::Testing
