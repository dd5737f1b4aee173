#!/usr/bin/env bash
# Runs a test's command in its worker's own Wine prefix: under `ctest -j` with the workers file
# that scripts/test.sh writes, CTest hands each test one of the "prefixes" slots, and the test
# runs in $WINEPREFIX-N, so parallel tests never share a server, a registry or drive C.
slot=${CTEST_RESOURCE_GROUP_0_PREFIXES:-}
if [ -n "$slot" ]; then
  slot=${slot#id:}
  slot=${slot%%,*}
  export WINEPREFIX=${WINEPREFIX:?}-$slot VIDUDO_WINE_SLOT=$slot
fi
exec "$@"
