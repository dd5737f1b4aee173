#include "crashreport/delivery/EWinSock.h"

#include "crashreport/delivery/ESockets.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "crashreport/capture/ECore.h"
#include "framework/CodePage.h"
#include "framework/SysUtils.h"

namespace {

bool winSockStarted = false;

void SocketsInit() { StartWinSock(); }
void SocketsDone() { StopWinSock(); }

struct TSocketsUnit {
    TSocketsUnit() { RunGuardedStep(&SocketsInit, "ESockets.Init"); }
    ~TSocketsUnit() { RunGuardedStep(&SocketsDone, "ESockets.Done"); }
} socketsUnit;

constexpr DWORD kMoreDataWait = 1000;
// The slowest sending rate a text may have (bytes per millisecond) beyond the time-out.
constexpr size_t kSlowestSendRate = 16;

bool Passed(DWORD deadline) { return static_cast<int32_t>(GetTickCount() - deadline) >= 0; }

}  // namespace

bool StartWinSock()
{
    if (winSockStarted)
        return true;
    WSADATA data;
    winSockStarted = EWinSock::WSAStartup(MAKEWORD(1, 1), &data) == 0;
    return winSockStarted;
}

bool StopWinSock()
{
    if (!winSockStarted)
        return true;
    winSockStarted = false;
    return EWinSock::WSACleanup() == 0;
}

std::string SocketErrorText(int code)
{
    wchar_t buffer[512];
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                   static_cast<DWORD>(code), 0, buffer, sizeof buffer / sizeof buffer[0], nullptr);
    std::string text = Trim(WideToGbk(std::wstring_view(buffer, n)));
    if (text.empty())
        text = "Socket error " + std::to_string(code);
    return text;
}

TVurazaClientSocket::TVurazaClientSocket(std::string host, uint32_t timeout, bool stream, uint16_t port)
    : Host(std::move(host)), Port(port), Datagram(stream ? 1 : 2), Timeout(timeout), handle_(INVALID_SOCKET)
{
}

TVurazaClientSocket::~TVurazaClientSocket() noexcept
{
    try {
        if (Connected)
            Close();
    } catch (...) {
    }
    DropHandle();
}

void TVurazaClientSocket::DropHandle() noexcept
{
    if (handle_ != INVALID_SOCKET) {
        try {
            EWinSock::closesocket(handle_);
        } catch (...) {
        }
    }
    handle_ = INVALID_SOCKET;
    Connected = false;
}

uint32_t TVurazaClientSocket::ResolveHostAddress(const std::string& host)
{
    const hostent* entry = EWinSock::gethostbyname(host.c_str());
    if (!entry || entry->h_addrtype != AF_INET || entry->h_length != 4 || !entry->h_addr_list || !entry->h_addr_list[0])
        return 0;
    uint32_t address;
    memcpy(&address, entry->h_addr_list[0], 4);
    return address;
}

void TVurazaClientSocket::Connect()
{
    if (Connected)
        return;
    StartWinSock();
    DropHandle();
    handle_ = EWinSock::socket(AF_INET, Datagram == 1 ? SOCK_STREAM : SOCK_DGRAM, 0);
    if (handle_ == INVALID_SOCKET)
        RaiseSocketError("Invalid socket: \"%s\".", SocketErrorText(EWinSock::WSAGetLastError()).c_str());
    address_ = ResolveHostAddress(Host);
    if (address_ == 0) {
        DropHandle();
        throw EVurazaSocketError("Unable to resolve host \"" + Host + "\".");
    }
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = EWinSock::htons(Port);
    peer.sin_addr.s_addr = address_;

    EWinSock::WSAAsyncSelect(handle_, nullptr, 0, 0);
    u_long nonBlocking = 1;
    EWinSock::ioctlsocket(handle_, FIONBIO, &nonBlocking);
    int error = 0;
    if (EWinSock::connect(handle_, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0) {
        error = EWinSock::WSAGetLastError();
        if (error == WSAEWOULDBLOCK) {
            fd_set writable, failed;
            writable.fd_count = failed.fd_count = 1;
            writable.fd_array[0] = failed.fd_array[0] = handle_;
            timeval limit{static_cast<long>(Timeout / 1000), static_cast<long>(Timeout % 1000) * 1000};
            const int ready = EWinSock::select(0, nullptr, &writable, &failed, Timeout ? &limit : nullptr);
            if (ready == 0) {
                error = WSAETIMEDOUT;
            } else if (ready < 0) {
                error = EWinSock::WSAGetLastError();
            } else {
                int soError = 0, length = sizeof soError;
                EWinSock::getsockopt(handle_, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soError), &length);
                error = failed.fd_count && !soError ? WSAECONNREFUSED : soError;
            }
        }
    }
    u_long blocking = 0;
    EWinSock::ioctlsocket(handle_, FIONBIO, &blocking);
    if (error == 0) {
        const DWORD sendWait = Timeout ? Timeout : kSocketDefaultTimeout;
        EWinSock::setsockopt(handle_, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&sendWait), sizeof sendWait);
    }
    if (error != 0) {
        DropHandle();
        RaiseSocketError("Connection error: \"%s\"", SocketErrorText(error).c_str());
    }
    Connected = handle_ != INVALID_SOCKET;
    const auto* b = reinterpret_cast<const unsigned char*>(&address_);
    SessionLog = Format("Connected to %d.%d.%d.%d port %d\r\n", b[0], b[1], b[2], b[3], Port);
    ErrorLog.clear();
}

void TVurazaClientSocket::Close()
{
    if (handle_ != INVALID_SOCKET && EWinSock::closesocket(handle_) != 0)
        RaiseSocketError("Cannot close the socket: \"%s\"", SocketErrorText(EWinSock::WSAGetLastError()).c_str());
    handle_ = INVALID_SOCKET;
    address_ = 0;
    Connected = false;
    SessionLog.clear();
    ErrorLog.clear();
}

uint32_t TVurazaClientSocket::ReplyTimeLimit() const
{
    const uint32_t wait = Timeout ? Timeout : kSocketDefaultTimeout;
    return wait + (wait > 2 * kMoreDataWait ? wait : 2 * kMoreDataWait);
}

uint32_t TVurazaClientSocket::SendTimeLimit(size_t length) const
{
    const uint32_t wait = Timeout ? Timeout : kSocketDefaultTimeout;
    return wait + static_cast<uint32_t>(length / kSlowestSendRate);
}

bool TVurazaClientSocket::WaitWritable(uint32_t deadline)
{
    const int32_t left = static_cast<int32_t>(deadline - GetTickCount());
    if (left <= 0)
        return false;
    fd_set writable;
    writable.fd_count = 1;
    writable.fd_array[0] = handle_;
    timeval limit{static_cast<long>(left / 1000), static_cast<long>(left % 1000) * 1000};
    return EWinSock::select(0, nullptr, &writable, nullptr, &limit) > 0;
}

int TVurazaClientSocket::SendBuffer(const void* buffer, int length)
{
    if (!Connected)
        return 0;
    if (!WaitWritable(GetTickCount() + (Timeout ? Timeout : kSocketDefaultTimeout))) {
        DropHandle();
        RaiseSocketError("Error into \"send\": \"%s\"", SocketErrorText(WSAETIMEDOUT).c_str());
    }
    const int sent = EWinSock::send(handle_, static_cast<const char*>(buffer), length, 0);
    if (sent == SOCKET_ERROR) {
        const int error = EWinSock::WSAGetLastError();
        if (error != WSAEWOULDBLOCK) {
            DropHandle();
            if (error != 0)
                RaiseSocketError("Error into \"send\": \"%s\"", SocketErrorText(error).c_str());
        }
    }
    ErrorLog.clear();
    return sent;
}

int TVurazaClientSocket::SendText(std::string_view text)
{
    const int length = static_cast<int>(text.size());
    const DWORD deadline = GetTickCount() + SendTimeLimit(text.size());
    int total = 0;
    for (int position = 0; position < length; position += 1024) {
        if (position > 0 && Passed(deadline)) {
            DropHandle();
            RaiseSocketError("Error into \"send\": \"%s\"", SocketErrorText(WSAETIMEDOUT).c_str());
        }
        const int piece = length - position < 1024 ? length - position : 1024;
        const int sent = SendBuffer(text.data() + position, piece);
        if (sent <= 0)
            break;
        total += sent;
        if (OnSent)
            OnSent(*this, position + piece + 1, length);
    }
    return total;
}

int TVurazaClientSocket::ReceiveBuffer(void* buffer, int length)
{
    if (!Connected)
        return 0;
    if (length == -1) {
        u_long waiting = 0;
        if (EWinSock::ioctlsocket(handle_, FIONREAD, &waiting) != 0)
            return 0;
        return static_cast<int>(waiting);
    }
    const int got = EWinSock::recv(handle_, static_cast<char*>(buffer), length, 0);
    if (got == SOCKET_ERROR) {
        const int error = EWinSock::WSAGetLastError();
        if (error != WSAEWOULDBLOCK) {
            DropHandle();
            if (error != 0)
                RaiseSocketError("Error into \"recv\": \"%s\"", SocketErrorText(error).c_str());
        }
    }
    return got;
}

std::string TVurazaClientSocket::ReceiveUntil(uint32_t start, uint32_t limit)
{
    std::string result;
    ReplyCut = false;
    for (;;) {
        const int waiting = ReceiveBuffer(nullptr, -1);
        if (waiting <= 0)
            break;
        if (result.size() >= ReplyLimit) {
            ReplyCut = true;
            break;
        }
        // A datagram is read whole, or the rest of it is lost; a stream only up to the cap.
        size_t want = Datagram == 1 ? static_cast<size_t>(waiting) : 65536;
        if (Datagram == 1 && want > ReplyLimit - result.size())
            want = ReplyLimit - result.size();
        std::string chunk(want, '\0');
        const int got = ReceiveBuffer(chunk.data(), static_cast<int>(want));
        if (got <= 0)
            break;
        chunk.resize(static_cast<size_t>(got));
        result += chunk;
        SessionLog += chunk;
        ErrorLog += chunk;
        if (Datagram != 1)
            break;
        const DWORD quiet = GetTickCount();
        bool more = false;
        while (GetTickCount() - quiet < kMoreDataWait) {
            if (GetTickCount() - start >= limit) {
                ReplyCut = true;
                break;
            }
            if (ReceiveBuffer(nullptr, -1) > 0) {
                more = true;
                break;
            }
            Sleep(1);
        }
        if (!more)
            break;
    }
    return result;
}

std::string TVurazaClientSocket::ReceiveAvailable() { return ReceiveUntil(GetTickCount(), ReplyTimeLimit()); }

std::string TVurazaClientSocket::ReceiveWithin()
{
    const DWORD start = GetTickCount();
    for (;;) {
        std::string data = ReceiveUntil(start, ReplyTimeLimit());
        if (!data.empty() || GetTickCount() - start >= Timeout || !Connected)
            return data;
        Sleep(1);
    }
}

std::string TVurazaClientSocket::ReceiveText()
{
    std::string data = ReceiveWithin();
    if (data.empty())
        RaiseSocketError("Socket timeout.");
    if (ReplyCut) {
        // The rest of the reply would be read as the next one's.
        DropHandle();
        if (data.size() >= ReplyLimit)
            RaiseSocketError("Reply longer than %u bytes.", static_cast<unsigned>(ReplyLimit));
        RaiseSocketError("Socket timeout.");
    }
    return data;
}

void TVurazaClientSocket::RaiseSocketError(const char* format, ...)
{
    char fixed[2048];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(fixed, sizeof fixed, format, args);
    va_end(args);
    std::string message;
    if (n >= 0 && static_cast<size_t>(n) < sizeof fixed) {
        message.assign(fixed, static_cast<size_t>(n));
    } else if (n >= 0) {
        message.resize(static_cast<size_t>(n) + 1);
        va_start(args, format);
        std::vsnprintf(message.data(), message.size(), format, args);
        va_end(args);
        message.resize(static_cast<size_t>(n));
    }
    throw EVurazaSocketError(BuildSocketErrorMessage(message, SessionLog, ErrorLog, Host, Port));
}
