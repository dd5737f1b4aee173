// A Simple MAPI provider for the tests: records its arguments in the file named by
// VIDUDO_MAPI_LOG and returns the code in VIDUDO_MAPI_RESULT from MAPISendMail.
#include <windows.h>
#include <mapi.h>

#include <cstdio>
#include <cstdlib>

namespace {

void Record(const char* format, ...)
{
    char path[MAX_PATH];
    if (!GetEnvironmentVariableA("VIDUDO_MAPI_LOG", path, sizeof path)) return;
    FILE* f = std::fopen(path, "ab");
    if (!f) return;
    va_list args;
    va_start(args, format);
    std::vfprintf(f, format, args);
    va_end(args);
    std::fputc('\n', f);
    std::fclose(f);
}

const char* Text(const char* s) { return s ? s : "(null)"; }

}  // namespace

extern "C" {

__declspec(dllexport) ULONG WINAPI MAPILogon(ULONG_PTR parent, LPSTR profile, LPSTR password, FLAGS flags, ULONG,
                                             LPLHANDLE session)
{
    Record("logon parent=%lu profile=%s password=%s flags=%lu", static_cast<unsigned long>(parent), Text(profile),
           Text(password), flags);
    *session = 77;
    return SUCCESS_SUCCESS;
}

__declspec(dllexport) ULONG WINAPI MAPISendMail(LHANDLE session, ULONG_PTR parent, lpMapiMessage message, FLAGS flags,
                                                ULONG)
{
    char cwd[MAX_PATH];
    GetCurrentDirectoryA(sizeof cwd, cwd);
    Record("send session=%lu parent=%lu flags=%lu subject=%s note=%s recips=%lu files=%lu", static_cast<unsigned long>(session),
           static_cast<unsigned long>(parent), flags, Text(message->lpszSubject), Text(message->lpszNoteText),
           message->nRecipCount, message->nFileCount);
    for (ULONG i = 0; i < message->nRecipCount; ++i) {
        const MapiRecipDesc& r = message->lpRecips[i];
        Record("recip class=%lu name=%s address=%s", r.ulRecipClass, Text(r.lpszName), Text(r.lpszAddress));
    }
    for (ULONG i = 0; i < message->nFileCount; ++i) {
        const MapiFileDesc& f = message->lpFiles[i];
        Record("file flags=%lu position=%ld path=%s name=%s", f.flFlags, static_cast<long>(f.nPosition), Text(f.lpszPathName),
               Text(f.lpszFileName));
    }
    SetCurrentDirectoryA("C:\\");  // a provider that moves the directory
    char result[16] = "0";
    GetEnvironmentVariableA("VIDUDO_MAPI_RESULT", result, sizeof result);
    return static_cast<ULONG>(std::atoi(result));
}

__declspec(dllexport) ULONG WINAPI MAPILogoff(LHANDLE session, ULONG_PTR parent, FLAGS flags, ULONG)
{
    Record("logoff session=%lu parent=%lu flags=%lu", static_cast<unsigned long>(session), static_cast<unsigned long>(parent),
           flags);
    return SUCCESS_SUCCESS;
}

}  // extern "C"
