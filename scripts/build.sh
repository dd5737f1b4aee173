#!/usr/bin/env bash
# Configures and builds: build.sh win  -> build/win  (the program and every test, for Wine)
#                        build.sh host -> build/host (the Win32-free libraries and their tests
#                                                     under AddressSanitizer and UBSan)
#                        build.sh fuzz -> build/fuzz (the libFuzzer targets, built with clang)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
kind=${1:-win}
target=()
case "$kind" in
  win)  dir=${VIDUDO_BUILD_DIR:-$root/build/win}
        extra=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-w64-mingw32.cmake") ;;
  host) dir=${VIDUDO_HOST_BUILD_DIR:-$root/build/host}
        extra=(-DVIDUDO_SANITIZE=ON) ;;
  fuzz) dir=${VIDUDO_FUZZ_BUILD_DIR:-$root/build/fuzz}
        extra=(-DVIDUDO_FUZZ=ON -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14)
        target=(--target vidudo_fuzzers) ;;
  *) echo "usage: $0 win|host|fuzz" >&2; exit 2 ;;
esac
# Test builds: the fallback resolver of the mail-exchanger lookup is a silent loopback address.
extra+=(-DVIDUDO_FALLBACK_DNS_SERVER="${VIDUDO_FALLBACK_DNS_SERVER:-127.0.0.254}")
cmake -S "$root" -B "$dir" -G Ninja "${extra[@]}" >/dev/null
cmake --build "$dir" -j "$(nproc)" "${target[@]}"
