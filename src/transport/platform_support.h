// The platform services under the compatibility transport's byte-level code:
// random bytes and SHA-1 from CryptoAPI, and the strict UTF-16 to UTF-8
// conversion for host names and request paths.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace VelmorTransport {

// Bytes from the platform's cryptographic generator; false on failure.
bool secureRandom(unsigned char* buffer, std::size_t size);

// The 20-byte SHA-1 digest of data; false when any CryptoAPI step fails.
bool sha1Hash(std::string_view data, std::string& digest);

// UTF-8 of text; empty for empty text or text that is not valid UTF-16 (an
// unpaired surrogate), which must not be sent out in a replaced form.
std::string strictUtf8(std::wstring_view text);

}  // namespace VelmorTransport
