#pragma once
// A small blocking client socket over the run-time bound socket library: a time-out, a
// session log that goes into every error message, and a progress event for sending.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "crashreport/delivery/ESocketText.h"

// WSAStartup 1.1 once per process; true when started now or before.
bool StartWinSock();
bool StopWinSock();

// The most one reply may hold; an SMTP reply is far below it.
constexpr size_t kSocketReplyLimit = 64 * 1024;
// Stands for a time-out of 0 (wait without end) where a deadline is needed.
constexpr uint32_t kSocketDefaultTimeout = 30000;

class TVurazaClientSocket {
public:
    // socket, position of the next byte to send (1-based), length of the whole text
    using TSentEvent = std::function<void(TVurazaClientSocket& socket, int position, int length)>;

    TVurazaClientSocket(std::string host, uint32_t timeout, bool stream, uint16_t port);
    // Closes a connected socket; errors go nowhere, only an explicit Close raises.
    virtual ~TVurazaClientSocket() noexcept;
    TVurazaClientSocket(const TVurazaClientSocket&) = delete;
    TVurazaClientSocket& operator=(const TVurazaClientSocket&) = delete;

    // Connecting is bounded by Timeout too: a host that drops packets can't stall it.
    virtual void Connect();
    virtual void Close();

    // The first IPv4 address of host in network order, 0 when it doesn't resolve.
    uint32_t ResolveHostAddress(const std::string& host);
    // Waits at most Timeout for room: a peer that stops reading can't hold the sender.
    int SendBuffer(const void* buffer, int length);
    // In pieces of at most 1024 bytes, OnSent after each; the whole text within
    // SendTimeLimit or "send" fails with a time-out.
    int SendText(std::string_view text);
    // A length of -1 answers how many bytes wait.
    int ReceiveBuffer(void* buffer, int length);
    // What arrives until one second passes without more, at most ReplyLimit bytes and no
    // longer than ReplyTimeLimit; a datagram socket reads one datagram.
    std::string ReceiveAvailable();
    // The first data within Timeout, or empty; the reply ends within ReplyTimeLimit of the start.
    std::string ReceiveWithin();
    // The same; nothing within Timeout, or a reply still coming at its deadline, raises
    // "Socket timeout."; a reply over ReplyLimit raises too.
    std::string ReceiveText();
    // Timeout and the same again for the rest of a reply (at least two seconds of quiet).
    uint32_t ReplyTimeLimit() const;
    uint32_t SendTimeLimit(size_t length) const;
    [[noreturn]] void RaiseSocketError(const char* format, ...) __attribute__((format(printf, 2, 3)));

    std::string Host;
    uint16_t Port;
    int32_t Datagram;  // 1 stream, 2 datagram
    uint32_t Timeout;  // ms
    bool Connected = false;
    std::string SessionLog;
    std::string ErrorLog;
    TSentEvent OnSent;
    size_t ReplyLimit = kSocketReplyLimit;
    // The last reply stopped at ReplyLimit or at its deadline, not at a second of quiet.
    bool ReplyCut = false;

protected:
    // Releases the handle after a failed send or receive; the logs stay for the message.
    void DropHandle() noexcept;
    std::string ReceiveUntil(uint32_t start, uint32_t limit);
    // Waits for room to send until the tick count deadline; false when none came.
    bool WaitWritable(uint32_t deadline);
    uintptr_t handle_;
    uint32_t address_ = 0;  // network order
};

// The platform's text for a socket error code.
std::string SocketErrorText(int code);
