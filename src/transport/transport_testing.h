// Test and diagnostic switches of the transport. The client never includes
// this header; only tests and the connection probe do.
#pragma once

namespace VelmorTransport::Testing {

// While set, open() uses the compatibility transport even where WinHTTP
// offers its WebSocket functions. Process-wide.
void forceCompatibilityTransport(bool force);

// Shortens the limit on the compatibility transport's whole open (30 s) to
// `milliseconds`; 0 restores it. Process-wide.
void limitCompatibilityOpenTime(unsigned milliseconds);

}  // namespace VelmorTransport::Testing
