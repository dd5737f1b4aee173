#!/usr/bin/env bash
# Sets up, builds and runs every test: the host build under the sanitizers, the fuzz targets for
# a fixed time each, then the Windows build under Wine with one Xvfb display for the GUI tests.
# Ends with the combined count.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash scripts/setup.sh || exit 1
bash scripts/build.sh host || exit 1
bash scripts/build.sh fuzz || exit 1
bash scripts/build.sh win || exit 1

win=${VIDUDO_BUILD_DIR:-$root/build/win}
host=${VIDUDO_HOST_BUILD_DIR:-$root/build/host}
fuzz=${VIDUDO_FUZZ_BUILD_DIR:-$root/build/fuzz}
export WINEPREFIX=$win/wineprefix

# One display for every GUI test of the run.
xvfb_pid=
if [ -z "${DISPLAY:-}" ]; then
  exec 3>"$win/xvfb.display"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 50); do [ -s "$win/xvfb.display" ] && break; sleep 0.1; done
  export DISPLAY=":$(head -1 "$win/xvfb.display")"
fi
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT

"$root/scripts/wine-prefix.sh" || exit 1

log_host=$(mktemp) log_win=$(mktemp)
ctest --test-dir "$host" -j "$(nproc)" --output-on-failure 2>&1 | tee "$log_host"
rc_host=${PIPESTATUS[0]}
# Every fuzz target for a fixed time, four at a time, each from a scratch copy of its seeds.
fuzz_one() {  # NAME [SEEDS]
  local name=$1 seeds=${2:-} work log
  work=$(mktemp -d) log=$(mktemp)
  [ -n "$seeds" ] && [ -d "$seeds" ] && cp -r "$seeds"/. "$work"/
  mkdir -p "$fuzz/artifacts"
  if "$fuzz/fuzzers/$name" -max_total_time="${VIDUDO_FUZZ_SECONDS:-20}" -timeout=10 -rss_limit_mb=2048 \
       -artifact_prefix="$fuzz/artifacts/$name-" -print_final_stats=0 "$work" >"$log" 2>&1; then
    echo "fuzz $name: passed"
  else
    tail -40 "$log"; echo "fuzz $name: FAILED (input kept in $fuzz/artifacts)"
  fi
  rm -rf "$work" "$log"
}
export -f fuzz_one; export fuzz
log_fuzz=$(mktemp)
xargs -P 4 -L 1 bash -c 'fuzz_one "$@"' _ <"$fuzz/fuzzers.txt" 2>&1 | tee "$log_fuzz"
f3=$(grep -c '^fuzz .*: FAILED' "$log_fuzz")
t3=$(grep -c '^fuzz .*: \(passed\|FAILED\)' "$log_fuzz")

# One at a time: Wine tests share one display and one focus, and the whole set takes about
# a minute this way.
ctest --test-dir "$win" --output-on-failure 2>&1 | tee "$log_win"
rc_win=${PIPESTATUS[0]}

count() {  # passed failed from ctest's "N% tests passed, F tests failed out of T"
  sed -n 's/.*tests passed, \([0-9]*\) tests\{0,1\} failed out of \([0-9]*\).*/\1 \2/p' "$1" | tail -1
}
read -r f1 t1 <<<"$(count "$log_host")"
read -r f2 t2 <<<"$(count "$log_win")"
failed=$(( ${f1:-0} + ${f2:-0} + f3 ))
total=$(( ${t1:-0} + ${t2:-0} + t3 ))
rm -f "$log_host" "$log_win" "$log_fuzz"
echo
echo "tests: $((total - failed)) passed, $failed failed"
[ "$rc_host" = 0 ] && [ "$rc_win" = 0 ] && [ "$f3" = 0 ] && [ "$total" -gt 0 ]
