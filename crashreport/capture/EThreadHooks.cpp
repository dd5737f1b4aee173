#include "crashreport/capture/EThreadHooks.h"

namespace {

bool installed = false;

}  // namespace

void InstallExceptionHooks()
{
    installed = true;
}

void RemoveExceptionHooks()
{
    installed = false;
}

bool ExceptionHooksInstalled()
{
    return installed;
}
