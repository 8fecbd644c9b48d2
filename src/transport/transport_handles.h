// Owners for the platform handles of the transport: WinHTTP handles, sockets,
// SSPI credentials and contexts, CryptoAPI providers and hashes, certificate
// contexts and chains, address lists and buffers Schannel allocates.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>

#define SECURITY_WIN32
#include <schannel.h>
#include <security.h>
#include <wincrypt.h>
#include <winhttp.h>

#include "platform/unique_handle.h"

namespace VelmorTransport {

using Velmor::NullHandleTraits;
using Velmor::UniqueHandle;

struct SocketTraits {
    using Type = SOCKET;
    static constexpr Type invalid() noexcept { return INVALID_SOCKET; }
    static void close(Type value) noexcept { ::closesocket(value); }
};

// An SSPI handle is a pair of values with no reserved "none" value, so the
// owner carries a presence flag with it: it says whether there is anything to
// release (credentials acquired, context established).
struct SspiHandle {
    SecHandle value{};
    bool present = false;

    friend bool operator==(const SspiHandle& a, const SspiHandle& b) noexcept
    {
        return a.present == b.present &&
               (!a.present || (a.value.dwLower == b.value.dwLower && a.value.dwUpper == b.value.dwUpper));
    }
};

struct CredentialsTraits {
    using Type = SspiHandle;
    static Type invalid() noexcept { return {}; }
    static void close(Type handle) noexcept { ::FreeCredentialsHandle(&handle.value); }
};

struct SecurityContextTraits {
    using Type = SspiHandle;
    static Type invalid() noexcept { return {}; }
    static void close(Type handle) noexcept { ::DeleteSecurityContext(&handle.value); }
};

inline void releaseCryptProvider(HCRYPTPROV provider) noexcept { ::CryptReleaseContext(provider, 0); }
inline void releaseAddressList(addrinfo* list) noexcept { ::freeaddrinfo(list); }
inline void releaseContextBuffer(void* buffer) noexcept { ::FreeContextBuffer(buffer); }

using UniqueInternet = UniqueHandle<NullHandleTraits<HINTERNET, &::WinHttpCloseHandle>>;
using UniqueSocket = UniqueHandle<SocketTraits>;
using UniqueCredentials = UniqueHandle<CredentialsTraits>;
using UniqueSecurityContext = UniqueHandle<SecurityContextTraits>;
using UniqueCryptProvider = UniqueHandle<NullHandleTraits<HCRYPTPROV, &releaseCryptProvider>>;
using UniqueCryptHash = UniqueHandle<NullHandleTraits<HCRYPTHASH, &::CryptDestroyHash>>;
using UniqueCertificate = UniqueHandle<NullHandleTraits<PCCERT_CONTEXT, &::CertFreeCertificateContext>>;
using UniqueCertificateChain = UniqueHandle<NullHandleTraits<PCCERT_CHAIN_CONTEXT, &::CertFreeCertificateChain>>;
using UniqueAddressList = UniqueHandle<NullHandleTraits<addrinfo*, &releaseAddressList>>;
using UniqueContextBuffer = UniqueHandle<NullHandleTraits<void*, &releaseContextBuffer>>;

}  // namespace VelmorTransport
