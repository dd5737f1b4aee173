#!/usr/bin/env bash
# Sets up, builds and starts the program under Wine from its own folder (build/run), with a
# "Client.ini" of its own. Uses the current X display, or a virtual one when there is none.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh
bash scripts/build.sh win
win=${VIDUDO_BUILD_DIR:-$root/build/win}
run=$root/build/run
mkdir -p "$run"
cp "$win/app/Vidudo.exe" "$run/"
export WINEPREFIX=$win/wineprefix WINEDEBUG=-all LC_ALL=zh_CN.UTF-8
"$root/scripts/wine-prefix.sh"
cd "$run"
if [ -n "${DISPLAY:-}" ]; then
  wine Vidudo.exe
else
  xvfb-run -a -s "-screen 0 1280x1024x24" wine Vidudo.exe
fi
