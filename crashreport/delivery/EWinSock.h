#pragma once
// The socket library bound at run time: nothing links ws2_32 at build time. Each wrapper
// looks its function up on every call and has the platform's signature.

#include <winsock2.h>
#include <windows.h>

#include "crashreport/delivery/ESocketText.h"

namespace EWinSock {

// The function from "ws2_32.dll", else "wsock32.dll", else "mswsock.dll" (loaded once, kept
// loaded). EVurazaFuncNotFoundError when the library chosen lacks it or none loaded.
FARPROC GetWinSockFunction(const char* name);

int closesocket(SOCKET s);
int connect(SOCKET s, const sockaddr* name, int length);
u_short htons(u_short value);
int ioctlsocket(SOCKET s, long command, u_long* argument);
int recv(SOCKET s, char* buffer, int length, int flags);
int send(SOCKET s, const char* buffer, int length, int flags);
SOCKET socket(int family, int type, int protocol);
hostent* gethostbyname(const char* name);
int gethostname(char* name, int length);
int WSAAsyncSelect(SOCKET s, HWND window, u_int message, long events);
int WSAGetLastError();
int WSAStartup(WORD version, LPWSADATA data);
int WSACleanup();
// For the bounded connect.
int select(int count, fd_set* readable, fd_set* writable, fd_set* failed, const timeval* timeout);
int getsockopt(SOCKET s, int level, int option, char* value, int* length);
// For the send time-out.
int setsockopt(SOCKET s, int level, int option, const char* value, int length);

}  // namespace EWinSock
