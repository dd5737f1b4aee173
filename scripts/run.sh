#!/usr/bin/env bash
# Sets up, builds and starts the program under Wine from its own folder (build/run), pointed at
# the trading-server fixture (tests/server/trading_server.py on a free port) through a
# "Client.ini" of its own with one local site. Log in with 80001/123456 or 80002/654321.
# Uses the current X display, or a virtual one when there is none.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh
# forced emulation on a machine that runs i386 programs natively: a namespace of its own
if [ "${VIDUDO_EMULATE_I386:-0}" = 1 ] && [ -z "${VIDUDO_PRIVATE_I386:-}" ] && bash scripts/i386.sh native; then
  export VIDUDO_PRIVATE_I386=1
  exec bash scripts/i386.sh private bash scripts/run.sh
fi
bash scripts/build.sh win
win=${VIDUDO_BUILD_DIR:-$root/build/win}
run=$root/build/run
mkdir -p "$run"
cp "$win/app/Vidudo.exe" "$run/"
export WINEPREFIX=$win/wineprefix WINEDEBUG=-all LC_ALL=zh_CN.UTF-8 WINEARCH=win32
"$root/scripts/wine-prefix.sh"

# The fixture prints its ports as one JSON line once it listens.
ready=$(mktemp)
python3 tests/server/trading_server.py --port 0 >"$ready" &
fixture=$!
trap 'kill "$fixture" 2>/dev/null || true; rm -f "$ready"' EXIT
for _ in $(seq 100); do [ -s "$ready" ] && break; sleep 0.1; done
port=$(python3 -c 'import json,sys; print(json.loads(open(sys.argv[1]).readline())["port"])' "$ready")
echo "trading-server fixture on 127.0.0.1:$port (accounts 80001/123456, 80002/654321)"

# The file is GBK, as the program reads it.
printf '[Application]\r\nAppName=Vidudo期货模拟交易系统\r\ngid=1001\r\n[NetWork]\r\nHostCount=1\r\nHostIdx=0\r\nHostName0=本地模拟站\r\nHost0=127.0.0.1\r\nPort0=%s\r\n' "$port" \
  | iconv -f UTF-8 -t GBK >"$run/Client.ini"

cd "$run"
if [ -n "${DISPLAY:-}" ]; then
  wine Vidudo.exe
else
  xvfb-run -a -s "-screen 0 1280x1024x24" wine Vidudo.exe
fi
