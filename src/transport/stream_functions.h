// The few operations the byte-level WebSocket code needs from the world around
// it: reading and writing the secured stream, random bytes and SHA-1. The
// connection passes its TLS stream and CryptoAPI; tests pass scripted bytes and
// fixed keys, so both run exactly the same protocol code.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace VelmorTransport {

// Delivers between 1 and capacity bytes into buffer (count), blocking until
// some arrive. Delivering 0 bytes means the stream has ended. On failure:
// false and a text.
using ReadFunction = std::function<bool(char* buffer, std::size_t capacity, std::size_t& count, std::wstring& error)>;

// Sends all of bytes; false and a text on failure.
using WriteFunction = std::function<bool(std::string_view bytes, std::wstring& error)>;

// Fills buffer with size bytes from a cryptographic generator; false on failure.
using RandomFunction = std::function<bool(unsigned char* buffer, std::size_t size)>;

// The SHA-1 digest of data; false when the hash could not be computed.
using Sha1Function = std::function<bool(std::string_view data, std::string& digest)>;

}  // namespace VelmorTransport
