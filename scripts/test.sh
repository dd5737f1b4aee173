#!/usr/bin/env bash
# Sets up, builds and runs every test: the host build under the sanitizers, the fuzz targets for
# a fixed time each, then the Windows build under Wine: the tests that need no shared display in
# parallel, each worker in a Wine prefix of its own, then the display tests one at a time on one
# Xvfb display. Ends with the combined count.
#
# Where this machine can't execute 32-bit x86 code (or with VIDUDO_EMULATE_I386=1), Wine's
# programs run emulated: time limits grow by VIDUDO_TIME_SCALE, and the tests labelled
# native_only are left out and listed with their reasons.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash scripts/setup.sh || exit 1

# Forced emulation on a machine that runs i386 programs natively: the rest of the run goes on in
# a namespace of its own, where the emulator is registered for this run alone.
if [ "${VIDUDO_EMULATE_I386:-0}" = 1 ] && [ -z "${VIDUDO_PRIVATE_I386:-}" ] && bash scripts/i386.sh native; then
  export VIDUDO_PRIVATE_I386=1
  exec bash scripts/i386.sh private bash scripts/test.sh
fi

emulated=0
if bash scripts/i386.sh emulated; then
  emulated=1
  export VIDUDO_TIME_SCALE=${VIDUDO_TIME_SCALE:-4}
  echo "test: Wine's 32-bit programs run emulated here; time limits are scaled by $VIDUDO_TIME_SCALE"
fi

bash scripts/build.sh host || exit 1
bash scripts/build.sh fuzz || exit 1
bash scripts/build.sh win || exit 1

win=${VIDUDO_BUILD_DIR:-$root/build/win}
host=${VIDUDO_HOST_BUILD_DIR:-$root/build/host}
fuzz=${VIDUDO_FUZZ_BUILD_DIR:-$root/build/fuzz}
export WINEPREFIX=$win/wineprefix
workers=${VIDUDO_WINE_WORKERS:-$(nproc)}

# Two displays: one for the parallel tests (their windows must not reach the display tests'
# focus), one for the display tests.
xvfb_pids=()
start_display() {  # FILE: starts one Xvfb, its number in $display
  local file=$1
  rm -f "$file"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$file" >/dev/null 2>&1 &
  xvfb_pids+=($!)
  for _ in $(seq 100); do [ -s "$file" ] && break; sleep 0.1; done
  display=":$(head -1 "$file")"
}
cleanup() {
  for p in "$WINEPREFIX" "$WINEPREFIX"-[0-9]*; do
    [ -d "$p" ] && WINEPREFIX=$p wineserver -k >/dev/null 2>&1
  done
  for pid in "${xvfb_pids[@]}"; do kill "$pid" 2>/dev/null; done
  true
}
trap cleanup EXIT
display_gui=${DISPLAY:-}
if [ -z "$display_gui" ]; then
  start_display "$win/xvfb.display"
  display_gui=$display
fi
start_display "$win/xvfb-parallel.display"
display_par=$display

"$root/scripts/wine-prefix.sh" || exit 1
# Each worker's prefix is a copy of the one just made, taken while its server is down.
WINEPREFIX=$WINEPREFIX wineserver -k >/dev/null 2>&1
WINEPREFIX=$WINEPREFIX wineserver -w >/dev/null 2>&1
for i in $(seq 0 $((workers - 1))); do
  p=$WINEPREFIX-$i
  if [ ! -f "$p/.vidudo-ready" ] || [ "$WINEPREFIX/.vidudo-ready" -nt "$p/.vidudo-ready" ]; then
    rm -rf "$p" && cp -a "$WINEPREFIX" "$p"
  fi
done
workers_file=$win/wine-workers.json
{
  printf '{"version": {"major": 1, "minor": 0}, "local": [{"prefixes": ['
  for i in $(seq 0 $((workers - 1))); do
    [ "$i" -gt 0 ] && printf ', '
    printf '{"id": "%s", "slots": 1}' "$i"
  done
  printf ']}]}\n'
} >"$workers_file"

skip='^$'
if [ "$emulated" = 1 ]; then
  skip=native_only
fi

log_host=$(mktemp) log_par=$(mktemp) log_gui=$(mktemp)
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

# The Wine tests off the shared display, in parallel, one prefix slot each.
start=$SECONDS
DISPLAY=$display_par ctest --test-dir "$win" -LE "display|$skip" -j "$workers" \
  --resource-spec-file "$workers_file" --output-on-failure 2>&1 | tee "$log_par"
rc_par=${PIPESTATUS[0]}
time_par=$((SECONDS - start))
# The display tests one at a time: they share one display and one focus.
start=$SECONDS
DISPLAY=$display_gui ctest --test-dir "$win" -L display -LE "$skip" --output-on-failure 2>&1 | tee "$log_gui"
rc_gui=${PIPESTATUS[0]}
time_gui=$((SECONDS - start))

count() {  # failed total from ctest's "N% tests passed, F tests failed out of T"
  sed -n 's/.*tests passed, \([0-9]*\) tests\{0,1\} failed out of \([0-9]*\).*/\1 \2/p' "$1" | tail -1
}
read -r f1 t1 <<<"$(count "$log_host")"
read -r f2 t2 <<<"$(count "$log_par")"
read -r f4 t4 <<<"$(count "$log_gui")"
failed=$(( ${f1:-0} + ${f2:-0} + ${f4:-0} + f3 ))
total=$(( ${t1:-0} + ${t2:-0} + ${t4:-0} + t3 ))
skipped=0
if [ "$emulated" = 1 ] && [ -s "$win/native-only.txt" ]; then
  echo
  echo "Skipped where Wine's programs run emulated:"
  sed 's/^/  /' "$win/native-only.txt"
  skipped=$(grep -c . "$win/native-only.txt")
fi
rm -f "$log_host" "$log_par" "$log_gui" "$log_fuzz"
echo
echo "Wine tests: ${time_par}s in parallel ($workers workers), ${time_gui}s on the display"
if [ "$skipped" -gt 0 ]; then
  echo "tests: $((total - failed)) passed, $failed failed, $skipped skipped"
else
  echo "tests: $((total - failed)) passed, $failed failed"
fi
[ "$rc_host" = 0 ] && [ "$rc_par" = 0 ] && [ "$rc_gui" = 0 ] && [ "$f3" = 0 ] && [ "$total" -gt 0 ]
