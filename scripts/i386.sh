#!/usr/bin/env bash
# 32-bit x86 execution for Wine. Some machines of ours run i386 programs natively, some can't run
# 32-bit code at all; there a user-mode emulator (deps/qemu, built by setup.sh) is registered with
# binfmt_misc, and Wine's native 64-bit server serves the 32-bit prefix.
#
#   i386.sh native          exit 0 when this kernel itself runs i386 programs
#   i386.sh emulated        exit 0 when Wine runs through the emulator here (or is forced to)
#   i386.sh register        register the emulator for the whole machine (idempotent)
#   i386.sh private CMD...  CMD in private namespaces where i386 programs run emulated
#                           (VIDUDO_EMULATE_I386=1 on a machine that runs them natively)
set -u
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
qemu=${VIDUDO_QEMU:-$root/deps/qemu/bin/qemu-i386}
entry=vidudo-i386
binfmt=/proc/sys/fs/binfmt_misc

# A static i386 program that exits with 42. Byte 8 of its ident (the ABI version) is 1: the
# kernel's loader ignores it, but no binfmt_misc entry for i386 matches it, so it answers for the
# kernel alone even where an emulator is registered.
probe_program() {
  local f
  f=$(mktemp "${TMPDIR:-/tmp}/i386-probe.XXXXXX")
  printf '\x7fELF\x01\x01\x01\x00\x01\x00\x00\x00\x00\x00\x00\x00' >"$f"
  printf '\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00' >>"$f"
  printf '\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00' >>"$f"
  printf '\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08' >>"$f"
  printf '\x00\x80\x04\x08\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00' >>"$f"
  printf '\x00\x10\x00\x00\xb8\x01\x00\x00\x00\xbb\x2a\x00\x00\x00\xcd\x80' >>"$f"
  chmod +x "$f"
  echo "$f"
}

native() {
  local f rc
  f=$(probe_program)
  "$f" >/dev/null 2>&1
  rc=$?
  rm -f "$f"
  [ "$rc" = 42 ]
}

# The registration line: the i386 ELF magic and mask; F opens the emulator once, now, so it
# serves in every mount namespace and chroot.
register_line() {
  printf ':%s:M::\\x7fELF\\x01\\x01\\x01\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x02\\x00\\x03\\x00:\\xff\\xff\\xff\\xff\\xff\\xfe\\xfe\\x00\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xfe\\xff\\xff\\xff:%s:F\n' "$entry" "$qemu"
}

# The emulator's build stamp: which source and patch it was built from.
stamp_of() { cat "$(dirname "$1")/qemu-i386.stamp" 2>/dev/null; }

register() {
  [ -x "$qemu" ] || { echo "i386: no emulator at $qemu (run scripts/setup.sh)" >&2; return 1; }
  if [ ! -w "$binfmt/register" ]; then
    mount -t binfmt_misc binfmt_misc "$binfmt" || return 1
  fi
  if [ -f "$binfmt/$entry" ]; then
    local current
    current=$(sed -n 's/^interpreter //p' "$binfmt/$entry")
    # Another checkout's build of the same emulator serves as well; replacing it would leave
    # programs started meanwhile without one.
    if grep -qx enabled "$binfmt/$entry" && [ -x "$current" ] && [ "$(stamp_of "$current")" = "$(stamp_of "$qemu")" ]; then
      return 0
    fi
    echo -1 >"$binfmt/$entry" || return 1
  fi
  register_line >"$binfmt/register"
}

emulated() {
  [ "${VIDUDO_EMULATE_I386:-0}" = 1 ] && return 0
  ! native
}

private() {
  # A binfmt_misc mounted inside a new user namespace is that namespace's own. The run gets a
  # network namespace of its own too: the tests' namespaces can then be entered and left (the
  # machine's own belongs to another user namespace), and loopback is all a test uses.
  exec unshare -Urmn --propagation private bash -c '
    ip link set lo up || exit 1
    mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc || exit 1
    bash "$0" register || exit 1
    exec "$@"' "${BASH_SOURCE[0]}" "$@"
}

case "${1:-}" in
  native) native ;;
  emulated) emulated ;;
  register) register ;;
  private) shift; private "$@" ;;
  *) echo "usage: $0 native|emulated|register|private CMD..." >&2; exit 2 ;;
esac
