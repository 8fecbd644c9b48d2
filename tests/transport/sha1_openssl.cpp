// SHA-1 for the native protocol tests, from OpenSSL.
#include "transport/scripted_stream.h"

#include <openssl/sha.h>

namespace VelmorTest {

bool sha1Digest(std::string_view data, std::string& digest)
{
    unsigned char out[SHA_DIGEST_LENGTH];
    SHA1(reinterpret_cast<const unsigned char*>(data.data()), data.size(), out);
    digest.assign(reinterpret_cast<const char*>(out), sizeof out);
    return true;
}

}  // namespace VelmorTest
