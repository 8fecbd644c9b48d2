// tls_test_peer: a scripted TLS WebSocket server for the transport's tests,
// built natively with OpenSSL. It handles the raw TLS bytes itself (memory
// BIOs, one record at a time), so a test can have a record split across TCP
// segments, several records in one segment, a close notification on a socket
// that stays open, a renegotiation request, an endless handshake response,
// a handshake trickled a byte at a time, or learn the sizes of the records the
// client sent. The request path picks the scenario; see runScenario.
//
//   tls_test_peer --cert F --key F [--port 443]
//
// Prints "tls-test-peer
// listening on 127.0.0.1:PORT" when ready; SIGINT/SIGTERM end it with 0.
#include "transport/base64.h"
#include "transport/websocket_frames.h"
#include "transport/websocket_handshake.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/sha.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace VelmorTransport;

std::atomic<bool> stopping{false};

struct Connection {
    int socket = -1;
    SSL* ssl = nullptr;
    BIO* in = nullptr;   // records from the client, fed one at a time
    BIO* out = nullptr;  // what OpenSSL wants to send
    std::string raw;     // received bytes not yet fed to OpenSSL
    std::string plain;   // decrypted bytes not yet consumed

    ~Connection()
    {
        if (ssl) SSL_free(ssl);  // frees both BIOs
        if (socket >= 0) close(socket);
    }
};

bool sendAll(int socket, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t sent = send(socket, data, size, MSG_NOSIGNAL);
        if (sent <= 0) return false;
        data += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

std::string takeOutput(Connection& c)
{
    std::string bytes;
    char buffer[16384];
    int n = 0;
    while ((n = BIO_read(c.out, buffer, sizeof buffer)) > 0) bytes.append(buffer, static_cast<std::size_t>(n));
    return bytes;
}

bool flush(Connection& c)
{
    const std::string bytes = takeOutput(c);
    return sendAll(c.socket, bytes.data(), bytes.size());
}

// The next whole TLS record from the client.
bool nextRecord(Connection& c, std::string& record)
{
    for (;;) {
        if (c.raw.size() >= 5) {
            const std::size_t length = static_cast<unsigned char>(c.raw[3]) << 8 | static_cast<unsigned char>(c.raw[4]);
            if (c.raw.size() >= 5 + length) {
                record = c.raw.substr(0, 5 + length);
                c.raw.erase(0, 5 + length);
                return true;
            }
        }
        char buffer[16384];
        const ssize_t received = recv(c.socket, buffer, sizeof buffer, 0);
        if (received <= 0) return false;
        c.raw.append(buffer, static_cast<std::size_t>(received));
    }
}

bool feedRecord(Connection& c)
{
    std::string record;
    if (!nextRecord(c, record)) return false;
    return BIO_write(c.in, record.data(), static_cast<int>(record.size())) == static_cast<int>(record.size());
}

// Armed by the scenario "/trickle-next-handshake": the next connection gets
// its TLS handshake messages one byte at a time.
std::atomic<bool> trickleNextHandshake{false};
constexpr auto kTrickleStep = std::chrono::milliseconds(50);

// Sends bytes one at a time, kTrickleStep apart, for as long as the client
// stays.
bool trickle(int socket, const std::string& bytes)
{
    for (const char byte : bytes) {
        if (!sendAll(socket, &byte, 1)) return false;
        std::this_thread::sleep_for(kTrickleStep);
    }
    return true;
}

bool handshake(Connection& c, bool trickled)
{
    for (;;) {
        const int result = SSL_do_handshake(c.ssl);
        if (!(trickled ? trickle(c.socket, takeOutput(c)) : flush(c))) return false;
        if (result == 1) return true;
        if (SSL_get_error(c.ssl, result) != SSL_ERROR_WANT_READ || !feedRecord(c)) return false;
    }
}

// Decrypts the next record; its plaintext (possibly none) is appended to
// c.plain and its size reported.
bool readRecord(Connection& c, std::size_t* plaintextSize = nullptr)
{
    if (!feedRecord(c)) return false;
    std::size_t total = 0;
    char buffer[20000];
    for (;;) {
        const int n = SSL_read(c.ssl, buffer, sizeof buffer);
        if (n > 0) {
            c.plain.append(buffer, static_cast<std::size_t>(n));
            total += static_cast<std::size_t>(n);
            continue;
        }
        const int error = SSL_get_error(c.ssl, n);
        if (error != SSL_ERROR_WANT_READ) return false;
        break;
    }
    if (!flush(c)) return false;
    if (plaintextSize) *plaintextSize = total;
    return true;
}

// Encrypts bytes as one record (OpenSSL writes up to 16 KiB per record) and
// returns the raw bytes without sending them.
std::string seal(Connection& c, const std::string& bytes)
{
    SSL_write(c.ssl, bytes.data(), static_cast<int>(bytes.size()));
    return takeOutput(c);
}

std::string serverFrame(unsigned char opcode, const std::string& payload)
{
    std::string frame(1, static_cast<char>(0x80 | opcode));
    const std::uint64_t size = payload.size();
    if (size <= 125) {
        frame += static_cast<char>(size);
    } else if (size <= 0xFFFF) {
        frame += static_cast<char>(126);
        frame += static_cast<char>(size >> 8);
        frame += static_cast<char>(size & 0xFF);
    } else {
        frame += static_cast<char>(127);
        for (int shift = 56; shift >= 0; shift -= 8) frame += static_cast<char>(size >> shift & 0xFF);
    }
    return frame + payload;
}

bool sendFrame(Connection& c, const std::string& text)
{
    const std::string raw = seal(c, serverFrame(kOpcodeText, text));
    return sendAll(c.socket, raw.data(), raw.size());
}

// Reads the client's next whole message; record sizes of the frames that
// carried it are collected when asked for.
bool readMessage(Connection& c, FrameReader& reader, std::string& message, std::vector<std::size_t>* recordSizes)
{
    for (;;) {
        while (!c.plain.empty()) {
            FrameReader::Event event = FrameReader::Event::NeedMore;
            const std::size_t used = reader.consume(c.plain.data(), c.plain.size(), event);
            c.plain.erase(0, used);
            if (event == FrameReader::Event::Message) {
                message = reader.takeMessage();
                return true;
            }
            if (event == FrameReader::Event::Failure || event == FrameReader::Event::Close) return false;
        }
        std::size_t size = 0;
        if (!readRecord(c, &size)) return false;
        if (recordSizes && size > 0) recordSizes->push_back(size);
    }
}

void waitForClientToLeave(Connection& c)
{
    char buffer[4096];
    while (recv(c.socket, buffer, sizeof buffer, 0) > 0) {
    }
}

bool sha1(std::string_view data, std::string& digest)
{
    unsigned char out[SHA_DIGEST_LENGTH];
    SHA1(reinterpret_cast<const unsigned char*>(data.data()), data.size(), out);
    digest.assign(reinterpret_cast<const char*>(out), sizeof out);
    return true;
}

void runScenario(Connection& c)
{
    std::string request;
    while (request.find("\r\n\r\n") == std::string::npos) {
        if (!readRecord(c)) return;
        request += c.plain;
        c.plain.clear();
    }
    const std::size_t headerEnd = request.find("\r\n\r\n") + 4;
    c.plain = request.substr(headerEnd);
    const std::size_t pathStart = request.find(' ') + 1;
    std::string path = request.substr(pathStart, request.find(' ', pathStart) - pathStart);
    path = path.substr(0, path.find('?'));

    std::string key;
    std::string accept;
    findHeader(request.substr(0, headerEnd - 2), "Sec-WebSocket-Key", key);
    computeAcceptValue(key, sha1, accept);
    const std::string response = "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                                 "Sec-WebSocket-Accept: " + accept + "\r\n\r\n";

    if (path == "/endless-headers") {
        // Header lines for as long as the client keeps reading.
        std::string filler = "HTTP/1.1 101 Switching Protocols\r\n";
        while (true) {
            filler += "X-Filler: " + std::string(100, 'f') + "\r\n";
            if (filler.size() < 8192) continue;
            const std::string raw = seal(c, filler);
            if (!sendAll(c.socket, raw.data(), raw.size())) return;
            filler.clear();
        }
    }
    if (path == "/trickle-response") {
        // A server that keeps the handshake alive without ever finishing it
        // in good time: the response, one byte of its record at a time.
        trickle(c.socket, seal(c, response));
        waitForClientToLeave(c);
        return;
    }
    if (path == "/trickle-next-handshake") trickleNextHandshake = true;
    if (path == "/frame-with-response") {
        // The first frame travels in the same record as the headers.
        const std::string raw = seal(c, response + serverFrame(kOpcodeText, "right behind the headers"));
        if (!sendAll(c.socket, raw.data(), raw.size())) return;
    } else {
        const std::string raw = seal(c, response);
        if (!sendAll(c.socket, raw.data(), raw.size())) return;
    }

    FrameReader reader;
    if (path == "/raw-records") {
        // Plain bytes, no WebSocket frames, for reads of the TLS stream
        // itself: a 10-byte record and a second one, in one segment.
        std::string raw = seal(c, "0123456789");
        raw += seal(c, "second record");
        if (sendAll(c.socket, raw.data(), raw.size())) waitForClientToLeave(c);
        return;
    }
    if (path == "/raw-record-sizes") {
        // The payload sizes of the records that carry the client's next
        // 40,000 plain bytes, as one plain record.
        std::vector<std::size_t> sizes;
        std::size_t total = 0;
        while (total < 40000) {
            std::size_t size = 0;
            if (!readRecord(c, &size)) return;
            if (size > 0) sizes.push_back(size);
            total += size;
        }
        std::string report;
        for (const std::size_t size : sizes) report += (report.empty() ? "" : " ") + std::to_string(size);
        const std::string raw = seal(c, report);
        if (sendAll(c.socket, raw.data(), raw.size())) waitForClientToLeave(c);
        return;
    }
    if (path == "/close-echo") {
        // A close with status 4001 and a reason; what the client echoes is
        // reported back in hex as a text message.
        const std::string payload = std::string("\x0F\xA1", 2) + "going away";
        const std::string raw = seal(c, serverFrame(kOpcodeClose, payload));
        if (!sendAll(c.socket, raw.data(), raw.size())) return;
        for (;;) {
            FrameReader::Event event = FrameReader::Event::NeedMore;
            while (!c.plain.empty() && event == FrameReader::Event::NeedMore) {
                c.plain.erase(0, reader.consume(c.plain.data(), c.plain.size(), event));
            }
            if (event == FrameReader::Event::Close) break;
            if (event != FrameReader::Event::NeedMore || !readRecord(c)) return;
        }
        static const char digits[] = "0123456789abcdef";
        std::string hex;
        for (const unsigned char byte : reader.controlPayload()) {
            hex += digits[byte >> 4];
            hex += digits[byte & 15];
        }
        if (sendFrame(c, "close echo " + hex)) waitForClientToLeave(c);
        return;
    }
    if (path == "/split-record") {
        const std::string raw = seal(c, serverFrame(kOpcodeText, "split across segments"));
        for (const char byte : raw) {
            if (!sendAll(c.socket, &byte, 1)) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    } else if (path == "/two-records") {
        // Sealed in order (record sequence numbers), sent in one piece.
        std::string raw = seal(c, serverFrame(kOpcodeText, "first record"));
        raw += seal(c, serverFrame(kOpcodeText, "second record"));
        if (!sendAll(c.socket, raw.data(), raw.size())) return;
    } else if (path == "/close-notify") {
        if (!sendFrame(c, "before close notify")) return;
        SSL_shutdown(c.ssl);
        if (!flush(c)) return;
        waitForClientToLeave(c);
        return;
    } else if (path == "/renegotiate") {
        if (!sendFrame(c, "before renegotiation")) return;
        SSL_renegotiate(c.ssl);
        SSL_do_handshake(c.ssl);
        if (!flush(c)) return;
        waitForClientToLeave(c);
        return;
    } else if (path == "/tcp-close") {
        sendFrame(c, "before the connection drops");
        return;
    } else if (path == "/record-sizes") {
        std::string message;
        std::vector<std::size_t> sizes;
        if (!readMessage(c, reader, message, &sizes)) return;
        std::string report = "records";
        for (const std::size_t size : sizes) report += " " + std::to_string(size);
        if (!sendFrame(c, report)) return;
    }
    // Then echo text messages until the client leaves.
    std::string message;
    while (readMessage(c, reader, message, nullptr)) {
        if (!sendFrame(c, message)) return;
    }
}

void serve(int socket, SSL_CTX* context)
{
    Connection c;
    c.socket = socket;
    const int on = 1;
    setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    c.ssl = SSL_new(context);
    c.in = BIO_new(BIO_s_mem());
    c.out = BIO_new(BIO_s_mem());
    SSL_set_bio(c.ssl, c.in, c.out);
    SSL_set_accept_state(c.ssl);
    if (handshake(c, trickleNextHandshake.exchange(false))) runScenario(c);
}

SSL_CTX* makeContext(const std::string& cert, const std::string& key)
{
    SSL_CTX* context = SSL_CTX_new(TLS_server_method());
    if (!context || SSL_CTX_use_certificate_chain_file(context, cert.c_str()) != 1 ||
        SSL_CTX_use_PrivateKey_file(context, key.c_str(), SSL_FILETYPE_PEM) != 1) {
        std::fprintf(stderr, "tls-test-peer: cannot load %s / %s\n", cert.c_str(), key.c_str());
        ERR_print_errors_fp(stderr);
        return nullptr;
    }
    // Every connection makes a full handshake, so each one goes through the
    // client's certificate check.
    SSL_CTX_set_session_cache_mode(context, SSL_SESS_CACHE_OFF);
    SSL_CTX_set_options(context, SSL_OP_NO_TICKET);
    return context;
}

void requestStop(int)
{
    stopping = true;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string cert, key;
    int port = 443;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--cert") cert = argv[i + 1];
        else if (option == "--key") key = argv[i + 1];
        else if (option == "--port") port = std::atoi(argv[i + 1]);
    }
    SSL_CTX* context = makeContext(cert, key);
    if (!context) return 1;

    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    const int on = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(listener, 16) != 0) {
        std::fprintf(stderr, "tls-test-peer: cannot listen on 127.0.0.1:%d: %s\n", port, std::strerror(errno));
        return 1;
    }
    std::signal(SIGINT, requestStop);
    std::signal(SIGTERM, requestStop);
    std::signal(SIGPIPE, SIG_IGN);
    std::printf("tls-test-peer listening on 127.0.0.1:%d\n", port);
    std::fflush(stdout);

    while (!stopping) {
        pollfd waiting{listener, POLLIN, 0};
        if (poll(&waiting, 1, 200) <= 0) continue;
        const int client = accept(listener, nullptr, nullptr);
        if (client < 0) continue;
        // Connections are served on their own threads and simply end with
        // the process.
        std::thread(serve, client, context).detach();
    }
    close(listener);
    return 0;
}
