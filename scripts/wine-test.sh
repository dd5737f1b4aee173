#!/usr/bin/env bash
# Runs one Windows test executable under Wine: wine-test.sh [--gui] [--timeout S] EXE [ARGS...]
# Uses the private prefix in $WINEPREFIX (created on first use), code page 936 through
# zh_CN.UTF-8, no crash debugger, and an X display for --gui (a private Xvfb when none is set).
set -u
gui=0
limit=180
while [ $# -gt 0 ]; do
  case "$1" in
    --gui) gui=1; shift ;;
    --timeout) limit=$2; shift 2 ;;
    *) break ;;
  esac
done
[ $# -ge 1 ] || { echo "usage: $0 [--gui] [--timeout S] EXE [ARGS...]" >&2; exit 2; }

here=$(cd "$(dirname "$0")" && pwd)
# where Wine's programs run emulated every limit grows by one factor
scale=${VIDUDO_TIME_SCALE:-1}
[[ "$scale" =~ ^[1-9][0-9]*$ ]] || scale=1
limit=$((limit * scale))
# benchmarks say when their figures come from the emulator
if bash "$here/i386.sh" emulated; then export VIDUDO_I386_EMULATED=1; fi
export WINEPREFIX=${WINEPREFIX:?WINEPREFIX must name the build folder\'s prefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEARCH=win32
export LC_ALL=${VIDUDO_WINE_LOCALE:-zh_CN.UTF-8}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

"$here/wine-prefix.sh" || exit 1

# Wine's helper processes (services, explorer) outlive the test and inherit its output; a pipe
# they hold open keeps the caller waiting, so the output goes through a file.
out=$(mktemp "${TMPDIR:-/tmp}/wine-test.XXXXXX")
trap 'rm -f "$out"' EXIT
if [ "$gui" = 1 ] && [ -z "${DISPLAY:-}" ]; then
  xvfb-run -a -s "-screen 0 1280x1024x24" timeout -k 10 "$limit" wine "$@" >"$out" 2>&1
else
  timeout -k 10 "$limit" wine "$@" >"$out" 2>&1
fi
rc=$?
cat "$out"
[ "$rc" = 124 ] && echo "wine-test: $1 timed out after ${limit}s" >&2
exit $rc
