#pragma once
// A tiny HTTP server on 127.0.0.1 for tests: records each request line and answers a small
// page. Also pumps this thread's messages until a condition holds or time runs out.

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/PumpUntil.h"

// Starts Winsock and listens on 127.0.0.1 at a free port; the caller closes the socket and
// calls WSACleanup.
inline SOCKET OpenLoopbackListener(int& port)
{
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    int len = sizeof addr;
    getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len);
    port = ntohs(addr.sin_port);
    listen(s, 8);
    return s;
}

class TLoopbackHttp {
public:
    TLoopbackHttp()
    {
        listener_ = OpenLoopbackListener(port_);
        thread_ = std::thread([this] { Serve(); });
    }
    ~TLoopbackHttp()
    {
        stop_ = true;
        closesocket(listener_);
        thread_.join();
        WSACleanup();
    }
    int Port() const { return port_; }
    std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }
    std::vector<std::string> Requests()
    {
        std::lock_guard<std::mutex> guard(lock_);
        return requests_;
    }
    bool Saw(const std::string& line)
    {
        for (const std::string& r : Requests())
            if (r == line)
                return true;
        return false;
    }

private:
    void Serve()
    {
        while (!stop_) {
            SOCKET s = accept(listener_, nullptr, nullptr);
            if (s == INVALID_SOCKET)
                return;
            std::string head;
            char buffer[2048];
            while (head.find("\r\n\r\n") == std::string::npos) {
                const int got = recv(s, buffer, sizeof buffer, 0);
                if (got <= 0)
                    break;
                head.append(buffer, static_cast<size_t>(got));
            }
            {
                std::lock_guard<std::mutex> guard(lock_);
                requests_.push_back(head.substr(0, head.find("\r\n")));
            }
            const std::string body = "<html><body>ok</body></html>";
            const std::string reply = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                                      std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
            send(s, reply.data(), static_cast<int>(reply.size()), 0);
            shutdown(s, SD_BOTH);
            closesocket(s);
        }
    }

    SOCKET listener_;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::mutex lock_;
    std::vector<std::string> requests_;
    std::thread thread_;
};

