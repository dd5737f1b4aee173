#!/usr/bin/env bash
# Creates the Wine prefix named by $WINEPREFIX once: no installer prompts, no crash dialog
# or debugger (a crashing test must fail, not wait), and a wineserver that stays up
# between tests. Parallel callers wait on one lock.
set -u
export WINEARCH=win32 WINEDEBUG=-all LC_ALL=zh_CN.UTF-8
mkdir -p "$(dirname "$WINEPREFIX")"
(
  flock 9
  if [ ! -f "$WINEPREFIX/.vidudo-ready" ]; then
    rm -rf "$WINEPREFIX"
    # fd 9 must not reach Wine's lingering processes, or they hold the lock
    WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i </dev/null >/dev/null 2>&1 9>&-
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f </dev/null >/dev/null 2>&1 9>&-
    wine reg delete 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /f </dev/null >/dev/null 2>&1 9>&-
    wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Auto /t REG_SZ /d 0 /f </dev/null >/dev/null 2>&1 9>&-
    wineserver -w 9>&-
    [ -f "$WINEPREFIX/system.reg" ] || { echo "wine-prefix: wineboot failed for $WINEPREFIX" >&2; exit 1; }
    touch "$WINEPREFIX/.vidudo-ready"
  fi
  # Xvfb runs no window manager: Wine must manage its windows itself, or hiding a window
  # waits two seconds for a withdrawal that never comes.
  if [ ! -f "$WINEPREFIX/.vidudo-unmanaged" ]; then
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f </dev/null >/dev/null 2>&1 9>&-
    touch "$WINEPREFIX/.vidudo-unmanaged"
  fi
) 9>"$WINEPREFIX.lock" || exit 1
# keep one server alive for the whole test run instead of one per test
wineserver -p 300 </dev/null >/dev/null 2>&1 || true
