#include "crashreport/delivery/EHttpProgress.h"

#include "crashreport/delivery/ESendProgress.h"

void THTTPConnection::ShowConnectionStatus(int state, int percent) { ::ShowConnectionStatus(state, percent); }
