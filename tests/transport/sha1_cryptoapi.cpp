// SHA-1 for the protocol tests under Windows: the transport's own CryptoAPI
// hash, so the handshake tests check it against the RFC sample too.
#include "transport/platform_support.h"
#include "transport/scripted_stream.h"

namespace VelmorTest {

bool sha1Digest(std::string_view data, std::string& digest)
{
    return VelmorTransport::sha1Hash(data, digest);
}

}  // namespace VelmorTest
