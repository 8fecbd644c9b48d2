#include "transport/platform_support.h"

#include "transport/transport_handles.h"

#include <climits>

namespace VelmorTransport {

namespace {

UniqueCryptProvider acquireProvider()
{
    UniqueCryptProvider provider;
    for (const DWORD type : {static_cast<DWORD>(PROV_RSA_FULL), static_cast<DWORD>(PROV_RSA_AES)}) {
        HCRYPTPROV raw = 0;
        if (::CryptAcquireContextW(&raw, nullptr, nullptr, type, CRYPT_VERIFYCONTEXT | CRYPT_SILENT)) {
            provider.reset(raw);
            break;
        }
    }
    return provider;
}

}  // namespace

bool secureRandom(unsigned char* buffer, std::size_t size)
{
    if (size > MAXDWORD) return false;
    const UniqueCryptProvider provider = acquireProvider();
    if (!provider) return false;
    return ::CryptGenRandom(provider.get(), static_cast<DWORD>(size), buffer) != FALSE;
}

bool sha1Hash(std::string_view data, std::string& digest)
{
    if (data.size() > MAXDWORD) return false;
    const UniqueCryptProvider provider = acquireProvider();
    if (!provider) return false;
    UniqueCryptHash hash;
    if (!::CryptCreateHash(provider.get(), CALG_SHA1, 0, 0, hash.put())) return false;
    if (!::CryptHashData(hash.get(), reinterpret_cast<const BYTE*>(data.data()), static_cast<DWORD>(data.size()), 0)) {
        return false;
    }
    BYTE value[20] = {};
    DWORD length = sizeof value;
    if (!::CryptGetHashParam(hash.get(), HP_HASHVAL, value, &length, 0) || length != sizeof value) return false;
    digest.assign(reinterpret_cast<const char*>(value), length);
    return true;
}

std::string strictUtf8(std::wstring_view text)
{
    if (text.empty() || text.size() > static_cast<std::size_t>(INT_MAX)) return {};
    const int length = static_cast<int>(text.size());
    const int needed = ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) return {};
    std::string out(static_cast<std::size_t>(needed), '\0');
    if (::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(), length, out.data(), needed, nullptr, nullptr) !=
        needed) {
        return {};
    }
    return out;
}

}  // namespace VelmorTransport
