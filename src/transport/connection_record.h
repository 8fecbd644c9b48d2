// The implementation record behind one WebSocketConnection and the operations
// of its two back-ends. Private to the transport.
#pragma once

#include "transport/fragment_collector.h"
#include "transport/transport_handles.h"
#include "transport/websocket_connection.h"
#include "transport/websocket_frames.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace VelmorTransport {

inline constexpr INTERNET_PORT kServicePort = 443;
inline constexpr DWORD kNetworkTimeoutMs = 15000;  // resolve, connect and the handshakes
// The whole of the compatibility transport's open: connect, TLS and WebSocket
// handshakes. Without it a server that trickles its handshake, a byte now and
// then, would keep every 15 s wait alive for hours.
inline constexpr DWORD kOpenTimeLimitMs = 30000;

struct WinHttpReader;

struct ConnectionRecord {
    BackendKind kind = BackendKind::None;
    UniqueInternet session;
    UniqueInternet webSocket;                          // null when none or after cancel
    std::shared_ptr<WinHttpReader> winHttpReader;  // started by the first receive
    std::thread winHttpReaderThread;               // joined, or let go, at destruction
    UniqueSocket socket;                               // invalid when none or after cancel
    UniqueCredentials credentials;
    UniqueSecurityContext context;
    SecPkgContext_StreamSizes streamSizes{};  // header, trailer, maximum message size

    std::atomic<bool> cancelled{false};
    std::mutex stateLock;    // guards webSocket, winHttpReader and socket; innermost
    std::mutex sendLock;     // held for each whole outgoing message
    std::mutex receiveLock;  // held for each whole receive; taken before sendLock

    ULONGLONG openDeadline = 0;  // GetTickCount64 value while opening; 0 after

    std::vector<char> encryptedInput;
    std::vector<char> plaintext;
    std::size_t plaintextOffset = 0;
    PendingBytes pending;     // stream bytes behind the handshake response, then read-ahead
    FrameReader frameReader;  // with the fragment accumulator and its opcode

    // Checked before every send and receive: not cancelled, and connected.
    bool usable(std::wstring& error) const;

    // WinHTTP back-end.
    bool openWinHttp(const std::wstring& host, const std::wstring& path, std::wstring& error);
    bool sendWinHttp(std::string_view message, std::wstring& error);
    bool receiveWinHttp(std::string& message, ReceivedKind& receivedKind, std::wstring& error);
    // Cancel's part: marks the reader abandoned, which wakes the waiting
    // receive; true when the handle should be shut down before it is closed.
    static bool abandonWinHttpReader(const std::shared_ptr<WinHttpReader>& reader);
    void shutdownWinHttp(HINTERNET webSocketHandle);
    void releaseWinHttpReader();

    // TLS stream over a socket.
    bool connectSocket(const std::wstring& host, std::wstring& error);
    bool tlsHandshake(const std::wstring& host, std::wstring& error);
    bool tlsWrite(const char* data, std::size_t size, std::wstring& error);
    bool tlsRead(char* buffer, std::size_t capacity, std::size_t& count, std::wstring& error);
    bool socketSend(const char* data, std::size_t size, std::wstring& error);
    bool socketReceive(std::wstring& error);
    // The socket for one send or receive, its time-outs bounded by what is
    // left of the open; INVALID_SOCKET with `error` set when cancelled,
    // closed or out of time (`failure` names the step in that text).
    SOCKET socketForStep(const wchar_t* failure, std::wstring& error);
    bool verifyServerCertificate(const std::wstring& host, std::wstring& error);

    // WebSocket over the TLS stream.
    bool openCompatibility(const std::wstring& host, const std::wstring& path, std::wstring& error);
    bool writeFrame(unsigned char opcode, std::string_view payload, std::wstring& error);
    bool readMessage(std::string& message, ReceivedKind& receivedKind, std::wstring& error);

    SOCKET currentSocket();
    // While opening: the time one socket wait may take, the step's 15 s cut
    // to what is left of the open (0 when nothing is). Afterwards: 0, no limit.
    DWORD openWaitLimit() const;
};

// The limit on the whole open, kOpenTimeLimitMs unless a test shortened it.
DWORD openTimeLimit();

// Receive and send time-outs of a socket; 0 waits without limit.
void setSocketTimeouts(SOCKET socketValue, DWORD milliseconds);

// Error texts with a platform code: WinHTTP codes unsigned in " (code)",
// Winsock codes in " (Winsock code)", TLS codes signed in "(code).".
std::wstring withWinHttpCode(const wchar_t* text, DWORD code);
std::wstring withWinsockCode(const wchar_t* text, int code);
std::wstring withTlsCode(const wchar_t* text, long code);

}  // namespace VelmorTransport
