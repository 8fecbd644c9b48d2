// The compatibility transport's byte stream: a blocking TCP connection to the
// service on port 443, secured with TLS 1.2 through Schannel. Reads hand out
// decrypted bytes in any amount; writes encrypt and send a whole buffer.
#include "transport/connection_record.h"
#include "transport/platform_support.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace VelmorTransport {

namespace {

constexpr int kMaxHandshakePasses = 64;
constexpr std::size_t kSocketReceiveBytes = 16384;
constexpr unsigned char kTlsAlertRecord = 21;  // TLS record content type

// Winsock is started once per process and never cleaned up; a failed start
// is not retried.
int winsockStartResult()
{
    static const int result = [] {
        WSADATA data{};
        return ::WSAStartup(MAKEWORD(2, 2), &data);
    }();
    return result;
}

bool isHandshakeProgress(SECURITY_STATUS status)
{
    return status == SEC_E_OK || status == SEC_I_CONTINUE_NEEDED || status == SEC_I_COMPLETE_NEEDED ||
           status == SEC_I_COMPLETE_AND_CONTINUE;
}

// Keeps the last `size` bytes: Schannel reports bytes it did not consume by
// their count, and they are always the tail of what it was given.
void keepTail(std::vector<char>& bytes, std::size_t size)
{
    if (size == 0 || size > bytes.size()) {
        bytes.clear();
        return;
    }
    bytes.erase(bytes.begin(), bytes.end() - static_cast<std::ptrdiff_t>(size));
}

}  // namespace

void setSocketTimeouts(SOCKET socketValue, DWORD milliseconds)
{
    ::setsockopt(socketValue, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&milliseconds), sizeof milliseconds);
    ::setsockopt(socketValue, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&milliseconds), sizeof milliseconds);
}

bool ConnectionRecord::connectSocket(const std::wstring& host, std::wstring& error)
{
    if (const int started = winsockStartResult(); started != 0) {
        error = withWinsockCode(L"Could not initialize Winsock", started);
        return false;
    }
    const std::string hostUtf8 = strictUtf8(host);
    if (hostUtf8.empty() || hostUtf8.find('\0') != std::string::npos) {
        error = L"Invalid WebSocket host name.";
        return false;
    }

    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    UniqueAddressList addresses;
    if (const int result = ::getaddrinfo(hostUtf8.c_str(), "443", &hints, addresses.put()); result != 0) {
        error = withWinsockCode(L"DNS lookup failed", result);
        return false;
    }

    // Addresses in the resolver's order (usually IPv6 first); only the last
    // failure is reported.
    UniqueSocket connected;
    int lastError = 0;
    for (const addrinfo* address = addresses.get(); address; address = address->ai_next) {
        if (openWaitLimit() == 0) {
            // The open's time is up: the addresses left are not tried.
            lastError = WSAETIMEDOUT;
            break;
        }
        UniqueSocket candidate(::socket(address->ai_family, address->ai_socktype, address->ai_protocol));
        if (!candidate) {
            lastError = ::WSAGetLastError();
            continue;
        }
        // Covers the TLS and WebSocket handshakes; lifted once they succeed.
        setSocketTimeouts(candidate.get(), kNetworkTimeoutMs);
        if (::connect(candidate.get(), address->ai_addr, static_cast<int>(address->ai_addrlen)) == 0) {
            // Whole messages are written at once; without this the last
            // record of a long one waits for the peer's delayed ACK (~40 ms).
            const BOOL noDelay = TRUE;
            ::setsockopt(candidate.get(), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay),
                         sizeof noDelay);
            connected = std::move(candidate);
            break;
        }
        lastError = ::WSAGetLastError();
    }
    addresses.reset();
    if (!connected) {
        error = withWinsockCode(L"Could not open the secure server connection", lastError);
        return false;
    }

    {
        std::lock_guard lock(stateLock);
        if (cancelled) {
            connected.reset();
            error = L"Connection was cancelled.";
            return false;
        }
        socket = std::move(connected);
    }
    kind = BackendKind::Compatibility;
    return true;
}

bool ConnectionRecord::tlsHandshake(const std::wstring& host, std::wstring& error)
{
    SCHANNEL_CRED settings{};
    settings.dwVersion = SCHANNEL_CRED_VERSION;
    settings.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT;
    settings.dwFlags = SCH_CRED_NO_DEFAULT_CREDS | SCH_CRED_AUTO_CRED_VALIDATION | SCH_USE_STRONG_CRYPTO;
    SspiHandle acquired;
    TimeStamp expiry{};
    const SECURITY_STATUS credentialStatus =
        ::AcquireCredentialsHandleW(nullptr, const_cast<SEC_WCHAR*>(UNISP_NAME_W), SECPKG_CRED_OUTBOUND, nullptr,
                                    &settings, nullptr, nullptr, &acquired.value, &expiry);
    if (credentialStatus != SEC_E_OK) {
        error = withTlsCode(L"Schannel could not create TLS credentials", credentialStatus);
        return false;
    }
    acquired.present = true;
    credentials.reset(acquired);

    constexpr ULONG kRequestFlags = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                                    ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_EXTENDED_ERROR | ISC_REQ_STREAM;
    SecHandle credentialHandle = credentials.get().value;
    SECURITY_STATUS status = SEC_E_INTERNAL_ERROR;
    bool firstPass = true;
    for (int passes = 0;;) {
        SecBuffer inBuffers[2] = {};
        SecBufferDesc input{SECBUFFER_VERSION, 2, inBuffers};
        const bool withInput = !(firstPass && encryptedInput.empty());
        if (withInput) {
            inBuffers[0] = {static_cast<ULONG>(encryptedInput.size()), SECBUFFER_TOKEN,
                            encryptedInput.empty() ? nullptr : encryptedInput.data()};
            inBuffers[1] = {0, SECBUFFER_EMPTY, nullptr};
        }
        SecBuffer outBuffer{0, SECBUFFER_TOKEN, nullptr};
        SecBufferDesc output{SECBUFFER_VERSION, 1, &outBuffer};

        SecHandle currentContext = context.get().value;
        SecHandle newContext{};
        ULONG attributes = 0;
        status = ::InitializeSecurityContextW(&credentialHandle, context ? &currentContext : nullptr,
                                              const_cast<SEC_WCHAR*>(host.c_str()), kRequestFlags, 0,
                                              SECURITY_NATIVE_DREP, withInput ? &input : nullptr, 0, &newContext,
                                              &output, &attributes, &expiry);
        firstPass = false;
        UniqueContextBuffer token(outBuffer.pvBuffer);
        if (isHandshakeProgress(status) && !context) context.reset(SspiHandle{newContext, true});

        if (status == SEC_I_COMPLETE_NEEDED || status == SEC_I_COMPLETE_AND_CONTINUE) {
            SecHandle completed = context.get().value;
            if (::CompleteAuthToken(&completed, &output) != SEC_E_OK) {
                error = L"Schannel could not complete the TLS handshake.";
                return false;
            }
            status = status == SEC_I_COMPLETE_NEEDED ? SEC_E_OK : SEC_I_CONTINUE_NEEDED;
        }
        if (token && outBuffer.cbBuffer > 0 &&
            !socketSend(static_cast<const char*>(token.get()), outBuffer.cbBuffer, error)) {
            return false;
        }
        token.reset();

        if (status == SEC_E_INCOMPLETE_MESSAGE) {
            if (!socketReceive(error)) return false;
        } else if (status == SEC_E_OK || status == SEC_I_CONTINUE_NEEDED) {
            std::size_t extra = 0;
            if (withInput) {
                for (const SecBuffer& buffer : inBuffers) {
                    if (buffer.BufferType == SECBUFFER_EXTRA && buffer.cbBuffer > 0 &&
                        buffer.cbBuffer <= encryptedInput.size()) {
                        extra = buffer.cbBuffer;
                    }
                }
            }
            keepTail(encryptedInput, extra);
            if (status == SEC_E_OK) break;
        } else {
            error = withTlsCode(
                L"TLS negotiation failed. Check that Windows 7 has current root certificates and TLS 1.2 enabled",
                status);
            return false;
        }

        if (++passes >= kMaxHandshakePasses) break;
        if (encryptedInput.empty() && !socketReceive(error)) return false;
    }

    if (status != SEC_E_OK || !context) {
        error = L"TLS handshake ended before a security context was established.";
        return false;
    }
    if (!verifyServerCertificate(host, error)) return false;
    SecHandle established = context.get().value;
    if (::QueryContextAttributesW(&established, SECPKG_ATTR_STREAM_SIZES, &streamSizes) != SEC_E_OK ||
        streamSizes.cbMaximumMessage == 0) {
        error = L"Could not read TLS stream parameters.";
        return false;
    }
    // Whatever followed the handshake (the server's first records) stays in
    // the encrypted input for the first read.
    return true;
}

bool ConnectionRecord::verifyServerCertificate(const std::wstring& host, std::wstring& error)
{
    // Schannel's automatic validation is not enough everywhere (Wine accepts
    // an unknown authority), so the chain and the host name are checked here
    // the way WinHTTP checks them: the chain's trust status, then the SSL
    // policy with the host name.
    const auto fail = [&error](long code) {
        error = withTlsCode(L"The server's TLS certificate could not be verified", code);
        return false;
    };
    SecHandle established = context.get().value;
    UniqueCertificate certificate;
    const SECURITY_STATUS status =
        ::QueryContextAttributesW(&established, SECPKG_ATTR_REMOTE_CERT_CONTEXT, certificate.put());
    if (status != SEC_E_OK || !certificate) return fail(status != SEC_E_OK ? status : SEC_E_CERT_UNKNOWN);

    LPSTR serverUsages[] = {const_cast<LPSTR>(szOID_PKIX_KP_SERVER_AUTH), const_cast<LPSTR>(szOID_SERVER_GATED_CRYPTO),
                            const_cast<LPSTR>(szOID_SGC_NETSCAPE)};
    CERT_CHAIN_PARA chainParameters{};
    chainParameters.cbSize = sizeof chainParameters;
    chainParameters.RequestedUsage.dwType = USAGE_MATCH_TYPE_OR;
    chainParameters.RequestedUsage.Usage.cUsageIdentifier = ARRAYSIZE(serverUsages);
    chainParameters.RequestedUsage.Usage.rgpszUsageIdentifier = serverUsages;
    UniqueCertificateChain chain;
    if (!::CertGetCertificateChain(nullptr, certificate.get(), nullptr, certificate.get()->hCertStore, &chainParameters,
                                   0, nullptr, chain.put())) {
        return fail(static_cast<long>(::GetLastError()));
    }

    // The chain's own verdict first: Wine's SSL policy lets a chain that
    // ends at an unknown authority (a partial chain) pass.
    const DWORD trustErrors = chain.get()->TrustStatus.dwErrorStatus;
    if (trustErrors & (CERT_TRUST_IS_UNTRUSTED_ROOT | CERT_TRUST_IS_PARTIAL_CHAIN | CERT_TRUST_IS_CYCLIC)) {
        return fail(CERT_E_UNTRUSTEDROOT);
    }
    if (trustErrors & CERT_TRUST_IS_NOT_TIME_VALID) return fail(CERT_E_EXPIRED);
    if (trustErrors & CERT_TRUST_IS_REVOKED) return fail(CRYPT_E_REVOKED);
    if (trustErrors & CERT_TRUST_IS_NOT_SIGNATURE_VALID) return fail(TRUST_E_CERT_SIGNATURE);
    if (trustErrors & CERT_TRUST_IS_NOT_VALID_FOR_USAGE) return fail(CERT_E_WRONG_USAGE);
    // Wine's SSL policy also passes an issuer that is no certificate authority.
    if (trustErrors & CERT_TRUST_INVALID_BASIC_CONSTRAINTS) return fail(TRUST_E_BASIC_CONSTRAINTS);
    // Any other fault the chain engine found fails too. Revocation is not
    // asked for, and validity periods need not nest (an issuer may expire
    // before what it signed).
    constexpr DWORD kNotFaults =
        CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION | CERT_TRUST_IS_NOT_TIME_NESTED;
    if (trustErrors & ~kNotFaults) return fail(TRUST_E_FAIL);

    std::wstring serverName = host;
    HTTPSPolicyCallbackData sslParameters{};
    sslParameters.cbStruct = sizeof sslParameters;
    sslParameters.dwAuthType = AUTHTYPE_SERVER;
    sslParameters.pwszServerName = serverName.data();
    CERT_CHAIN_POLICY_PARA policyParameters{};
    policyParameters.cbSize = sizeof policyParameters;
    policyParameters.pvExtraPolicyPara = &sslParameters;
    CERT_CHAIN_POLICY_STATUS policyStatus{};
    policyStatus.cbSize = sizeof policyStatus;
    if (!::CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain.get(), &policyParameters, &policyStatus)) {
        return fail(static_cast<long>(::GetLastError()));
    }
    if (policyStatus.dwError != 0) return fail(static_cast<long>(policyStatus.dwError));
    return true;
}

bool ConnectionRecord::tlsWrite(const char* data, std::size_t size, std::wstring& error)
{
    const std::size_t headerSize = streamSizes.cbHeader;
    const std::size_t trailerSize = streamSizes.cbTrailer;
    for (std::size_t offset = 0; offset < size;) {
        if (cancelled) {
            error = L"Connection was closed.";
            return false;
        }
        const std::size_t chunk = std::min<std::size_t>(streamSizes.cbMaximumMessage, size - offset);
        std::vector<char> record(headerSize + chunk + trailerSize, 0);
        std::memcpy(record.data() + headerSize, data + offset, chunk);
        SecBuffer buffers[4] = {
            {static_cast<ULONG>(headerSize), SECBUFFER_STREAM_HEADER, record.data()},
            {static_cast<ULONG>(chunk), SECBUFFER_DATA, record.data() + headerSize},
            {static_cast<ULONG>(trailerSize), SECBUFFER_STREAM_TRAILER, record.data() + headerSize + chunk},
            {0, SECBUFFER_EMPTY, nullptr},
        };
        SecBufferDesc message{SECBUFFER_VERSION, 4, buffers};
        SecHandle established = context.get().value;
        const SECURITY_STATUS status = ::EncryptMessage(&established, 0, &message, 0);
        if (status != SEC_E_OK) {
            error = withTlsCode(L"TLS encryption failed", status);
            return false;
        }
        const std::size_t total =
            std::size_t{buffers[0].cbBuffer} + std::size_t{buffers[1].cbBuffer} + std::size_t{buffers[2].cbBuffer};
        if (!socketSend(record.data(), std::min(total, record.size()), error)) return false;
        offset += chunk;
    }
    return true;
}

bool ConnectionRecord::tlsRead(char* buffer, std::size_t capacity, std::size_t& count, std::wstring& error)
{
    count = 0;
    if (capacity == 0) return true;
    if (plaintextOffset >= plaintext.size()) {
        plaintext.clear();
        plaintextOffset = 0;
        while (plaintext.empty()) {
            if (encryptedInput.empty() && !socketReceive(error)) return false;
            const bool alertRecord = static_cast<unsigned char>(encryptedInput[0]) == kTlsAlertRecord;
            SecBuffer buffers[4] = {
                {static_cast<ULONG>(encryptedInput.size()), SECBUFFER_DATA, encryptedInput.data()},
                {0, SECBUFFER_EMPTY, nullptr},
                {0, SECBUFFER_EMPTY, nullptr},
                {0, SECBUFFER_EMPTY, nullptr},
            };
            SecBufferDesc message{SECBUFFER_VERSION, 4, buffers};
            SecHandle established = context.get().value;
            const SECURITY_STATUS status = ::DecryptMessage(&established, &message, 0, nullptr);
            if (status == SEC_E_INCOMPLETE_MESSAGE) {
                if (!socketReceive(error)) return false;
                continue;
            }
            if (status == SEC_I_CONTEXT_EXPIRED) {
                error = L"The server closed the TLS connection.";
                return false;
            }
            if (status == SEC_I_RENEGOTIATE) {
                error = L"The server requested a TLS renegotiation unsupported by this compatibility transport.";
                return false;
            }
            if (status != SEC_E_OK) {
                error = withTlsCode(L"TLS decryption failed", status);
                return false;
            }
            const SecBuffer* data = nullptr;
            const SecBuffer* extra = nullptr;
            for (const SecBuffer& candidate : buffers) {
                if (candidate.BufferType == SECBUFFER_DATA && candidate.cbBuffer > 0) data = &candidate;
                if (candidate.BufferType == SECBUFFER_EXTRA && candidate.cbBuffer > 0) extra = &candidate;
            }
            // Some Schannel implementations (Wine's) report the close
            // notification as an alert that decrypts to nothing instead of
            // SEC_I_CONTEXT_EXPIRED; fatal alerts fail the decryption.
            if (alertRecord && !data) {
                error = L"The server closed the TLS connection.";
                return false;
            }
            // Decrypted in place: the data lies inside the encrypted input,
            // so it is copied out before the input is trimmed.
            if (data) {
                const char* start = static_cast<const char*>(data->pvBuffer);
                plaintext.assign(start, start + data->cbBuffer);
            }
            keepTail(encryptedInput, extra ? extra->cbBuffer : 0);
        }
    }
    count = std::min(capacity, plaintext.size() - plaintextOffset);
    std::memcpy(buffer, plaintext.data() + plaintextOffset, count);
    plaintextOffset += count;
    if (plaintextOffset == plaintext.size()) {
        plaintext.clear();
        plaintextOffset = 0;
    }
    return true;
}

bool ConnectionRecord::socketSend(const char* data, std::size_t size, std::wstring& error)
{
    while (size > 0) {
        const SOCKET target = socketForStep(L"Network send failed", error);
        if (target == INVALID_SOCKET) return false;
        const int sent = ::send(target, data, static_cast<int>(std::min<std::size_t>(size, INT_MAX)), 0);
        if (sent <= 0) {
            // A send that cancel cut short failed because we closed, not the network.
            error = cancelled ? L"Connection was closed." : withWinsockCode(L"Network send failed", ::WSAGetLastError());
            return false;
        }
        data += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

SOCKET ConnectionRecord::socketForStep(const wchar_t* failure, std::wstring& error)
{
    const SOCKET target = cancelled ? INVALID_SOCKET : currentSocket();
    if (target == INVALID_SOCKET) {
        error = L"Connection was closed.";
        return INVALID_SOCKET;
    }
    if (openDeadline != 0) {
        // Each wait of the open gets only what is left of its time; a step
        // that runs out fails as a timed-out one does.
        const DWORD wait = openWaitLimit();
        if (wait == 0) {
            error = withWinsockCode(failure, WSAETIMEDOUT);
            return INVALID_SOCKET;
        }
        setSocketTimeouts(target, wait);
    }
    return target;
}

bool ConnectionRecord::socketReceive(std::wstring& error)
{
    const SOCKET source = socketForStep(L"Network receive failed", error);
    if (source == INVALID_SOCKET) return false;
    const std::size_t before = encryptedInput.size();
    encryptedInput.resize(before + kSocketReceiveBytes);
    const int received = ::recv(source, encryptedInput.data() + before, static_cast<int>(kSocketReceiveBytes), 0);
    const int receiveError = received < 0 ? ::WSAGetLastError() : 0;
    encryptedInput.resize(before + static_cast<std::size_t>(std::max(received, 0)));
    if (received <= 0 && cancelled) {
        // Woken by cancel shutting the socket down: the end is ours.
        error = L"Connection was closed.";
        return false;
    }
    if (received == 0) {
        error = L"The server closed the connection.";
        return false;
    }
    if (received < 0) {
        error = withWinsockCode(L"Network receive failed", receiveError);
        return false;
    }
    return true;
}

}  // namespace VelmorTransport
