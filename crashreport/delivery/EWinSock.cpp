#include "crashreport/delivery/EWinSock.h"

namespace EWinSock {

namespace {

struct TSocketLibraries {
    HMODULE wsock32 = LoadLibraryA("wsock32.dll");
    HMODULE ws2_32 = LoadLibraryA("ws2_32.dll");
    HMODULE mswsock = LoadLibraryA("mswsock.dll");
};

template <typename F>
F Bound(const char* name)
{
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetWinSockFunction(name)));
}

}  // namespace

FARPROC GetWinSockFunction(const char* name)
{
    static const TSocketLibraries libraries;
    const HMODULE library = libraries.ws2_32 ? libraries.ws2_32 : libraries.wsock32 ? libraries.wsock32 : libraries.mswsock;
    FARPROC function = library ? GetProcAddress(library, name) : nullptr;
    if (!function)
        throw EVurazaFuncNotFoundError(std::string("WinSock's function \"") + name + "\" can not be found");
    return function;
}

int closesocket(SOCKET s) { return Bound<decltype(&::closesocket)>("closesocket")(s); }
int connect(SOCKET s, const sockaddr* name, int length) { return Bound<decltype(&::connect)>("connect")(s, name, length); }
u_short htons(u_short value) { return Bound<decltype(&::htons)>("htons")(value); }
int ioctlsocket(SOCKET s, long command, u_long* argument)
{
    return Bound<decltype(&::ioctlsocket)>("ioctlsocket")(s, command, argument);
}
int recv(SOCKET s, char* buffer, int length, int flags) { return Bound<decltype(&::recv)>("recv")(s, buffer, length, flags); }
int send(SOCKET s, const char* buffer, int length, int flags) { return Bound<decltype(&::send)>("send")(s, buffer, length, flags); }
SOCKET socket(int family, int type, int protocol) { return Bound<decltype(&::socket)>("socket")(family, type, protocol); }
hostent* gethostbyname(const char* name) { return Bound<decltype(&::gethostbyname)>("gethostbyname")(name); }
int gethostname(char* name, int length) { return Bound<decltype(&::gethostname)>("gethostname")(name, length); }
int WSAAsyncSelect(SOCKET s, HWND window, u_int message, long events)
{
    return Bound<decltype(&::WSAAsyncSelect)>("WSAAsyncSelect")(s, window, message, events);
}
int WSAGetLastError() { return Bound<decltype(&::WSAGetLastError)>("WSAGetLastError")(); }
int WSAStartup(WORD version, LPWSADATA data) { return Bound<decltype(&::WSAStartup)>("WSAStartup")(version, data); }
int WSACleanup() { return Bound<decltype(&::WSACleanup)>("WSACleanup")(); }
int select(int count, fd_set* readable, fd_set* writable, fd_set* failed, const timeval* timeout)
{
    return Bound<decltype(&::select)>("select")(count, readable, writable, failed, const_cast<timeval*>(timeout));
}
int getsockopt(SOCKET s, int level, int option, char* value, int* length)
{
    return Bound<decltype(&::getsockopt)>("getsockopt")(s, level, option, value, length);
}
int setsockopt(SOCKET s, int level, int option, const char* value, int length)
{
    return Bound<decltype(&::setsockopt)>("setsockopt")(s, level, option, value, length);
}

}  // namespace EWinSock
