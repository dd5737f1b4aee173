#!/usr/bin/env bash
# Installs every build and test dependency from Debian's packages and cross-builds
# libcurl and minizip for i686-w64-mingw32 into deps/ (ignored by git).
# Safe to run again: finished steps are skipped.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
deps="$here/deps"
prefix="$deps/i686"
triplet=i686-w64-mingw32

sudo_if() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }

packages=(
  g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686 mingw-w64-i686-dev
  libz-mingw-w64-dev
  wine wine32:i386 xvfb xauth x11-utils
  googletest cmake make ninja-build g++ pkg-config dpkg-dev
  fonts-wqy-microhei locales python3
  microsocks dante-server zlib1g-dev
  clang-14 libclang-rt-14-dev  # the libFuzzer targets
  python3-aiosmtpd dnsmasq-base tinyproxy-bin openssl iproute2  # mail, DNS and HTTP peers of the transport tests
  python3-pyftpdlib vsftpd  # FTP peers of the upload tests
  libcapstone-dev binutils  # the disassembler's reference decoders (Capstone, objdump)
  pngcheck python3-pil  # checks of the screenshot PNG
  unzip p7zip-full libxml2-utils  # archives and XML are checked with other tools
)

need_install=0
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || { need_install=1; break; }
done
if [ "$need_install" = 1 ]; then
  export DEBIAN_FRONTEND=noninteractive
  sudo_if dpkg --add-architecture i386
  # deb-src entries for apt-get source
  if ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ && ! grep -qs '^deb-src' /etc/apt/sources.list; then
    for f in /etc/apt/sources.list.d/debian.sources; do
      [ -f "$f" ] && sudo_if sed -i 's/^Types: deb$/Types: deb deb-src/' "$f"
    done
  fi
  sudo_if apt-get update -qq
  sudo_if apt-get install -y -qq --no-install-recommends "${packages[@]}" >/dev/null
  # the dante-server package starts a daemon it can't configure; tests run their own
  sudo_if systemctl disable --now danted >/dev/null 2>&1 || true
fi

# Wine and the tests read GBK through the zh_CN.UTF-8 locale
if ! locale -a 2>/dev/null | grep -qi '^zh_CN.utf8$'; then
  sudo_if sed -i 's/^# *zh_CN.UTF-8 UTF-8/zh_CN.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' | sudo_if tee -a /etc/locale.gen >/dev/null
  sudo_if locale-gen >/dev/null
fi

if ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ && ! grep -qs '^deb-src' /etc/apt/sources.list; then
  sudo_if sed -i 's/^Types: deb$/Types: deb deb-src/' /etc/apt/sources.list.d/debian.sources
  sudo_if apt-get update -qq
fi

mkdir -p "$deps/src" "$prefix"

# apt-get source of a package into ./NAME-src; a listed version whose files the mirror lacks
# (security uploads often do) falls back to the next one listed.
fetch_source() {
  local pkg=$1 v
  [ -d "$pkg-src" ] && return 0
  rm -rf "$pkg"-*/
  if ! apt-get source -qq "$pkg" >/dev/null 2>&1; then
    for v in $(apt-cache showsrc "$pkg" | awk '/^Version:/ {print $2}' | sort -ruV); do
      apt-get source -qq "$pkg=$v" >/dev/null 2>&1 && break
    done
  fi
  mv "$(ls -d "$pkg"-*/ | head -1)" "$pkg-src"
}

# libcurl: HTTP with SOCKS, no TLS
if [ ! -f "$prefix/lib/libcurl.a" ]; then
  ( cd "$deps/src"
    fetch_source curl
    rm -rf curl-build && mkdir curl-build && cd curl-build
    cmake ../curl-src -G Ninja -DCMAKE_SYSTEM_NAME=Windows \
      -DCMAKE_C_COMPILER=$triplet-gcc-posix -DCMAKE_RC_COMPILER=$triplet-windres \
      -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_BUILD_TYPE=Release \
      -DBUILD_SHARED_LIBS=OFF -DBUILD_CURL_EXE=OFF -DBUILD_TESTING=OFF -DENABLE_MANUAL=OFF \
      -DCURL_USE_OPENSSL=OFF -DCURL_USE_SCHANNEL=OFF -DCURL_ZLIB=OFF -DCURL_BROTLI=OFF -DCURL_ZSTD=OFF \
      -DUSE_NGHTTP2=OFF -DUSE_LIBIDN2=OFF -DUSE_WIN32_IDN=OFF -DCURL_USE_LIBSSH2=OFF -DCURL_USE_LIBPSL=OFF \
      -DENABLE_UNIX_SOCKETS=OFF -DCURL_DISABLE_LDAP=ON -DCURL_DISABLE_LDAPS=ON \
      -DHTTP_ONLY=ON -DCURL_DISABLE_PROXY=OFF -DENABLE_IPV6=ON -DCURL_STATIC_CRT=OFF \
      -DCMAKE_C_FLAGS="-g" >/dev/null
    ninja >/dev/null && ninja install >/dev/null )
fi

# minizip, from zlib's contrib folder, over the MinGW zlib, with the traditional encryption (the
# stamp file marks a build that has it; older ones are rebuilt)
if [ ! -f "$prefix/lib/libminizip.a" ] || [ ! -f "$prefix/lib/minizip-crypt.stamp" ]; then
  ( cd "$deps/src"
    fetch_source zlib
    mz=zlib-src/contrib/minizip
    rm -rf minizip-build && mkdir minizip-build
    for f in ioapi zip unzip iowin32 mztools; do
      $triplet-gcc-posix -O2 -g -I"$mz" -c "$mz/$f.c" -o "minizip-build/$f.o"
    done
    rm -f "$prefix/lib/libminizip.a.new"
    $triplet-ar rcs "$prefix/lib/libminizip.a.new" minizip-build/*.o
    mv -f "$prefix/lib/libminizip.a.new" "$prefix/lib/libminizip.a"
    touch "$prefix/lib/minizip-crypt.stamp"
    mkdir -p "$prefix/include/minizip"
    cp "$mz"/{ioapi,zip,unzip,iowin32,mztools,crypt}.h "$prefix/include/minizip/" )
fi

# Wine on a machine that can't execute 32-bit x86 code (or when VIDUDO_EMULATE_I386=1 forces
# it): qemu's i386 user-mode emulator from Debian 13's source, with our fix for the trap number
# of a signal frame (without it every page fault reaches Wine as an illegal instruction), and
# wine64 for a native server, which can read the programs' memory where the emulated one can't.
if bash "$here/scripts/i386.sh" emulated; then
  qemu_dir="$deps/qemu"
  patch_file="$here/scripts/qemu-i386-trapno.patch"
  qemu_stamp="qemu 10.0 $(sha256sum "$patch_file" | cut -c1-16)"
  if [ ! -x "$qemu_dir/bin/qemu-i386" ] || [ "$(cat "$qemu_dir/bin/qemu-i386.stamp" 2>/dev/null)" != "$qemu_stamp" ]; then
    qemu_packages=(wine64 flex bison libglib2.0-dev python3-venv ninja-build dpkg-dev xz-utils)
    for p in "${qemu_packages[@]}"; do
      dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" && continue
      DEBIAN_FRONTEND=noninteractive sudo_if apt-get install -y -qq --no-install-recommends "${qemu_packages[@]}" >/dev/null
      break
    done
    ( cd "$deps/src"
      # Debian 13's lists in a private apt configuration: the system's sources stay as they are.
      apt13=$deps/src/apt13
      mkdir -p "$apt13/lists/partial" "$apt13/cache/archives/partial"
      keyring=/usr/share/keyrings/debian-archive-keyring.gpg
      printf 'deb [signed-by=%s] http://deb.debian.org/debian trixie main\ndeb-src [signed-by=%s] http://deb.debian.org/debian trixie main\n' \
        "$keyring" "$keyring" >"$apt13/sources.list"
      apt_private=(-o Dir::Etc::SourceList="$apt13/sources.list" -o Dir::Etc::SourceParts=/dev/null
                   -o Dir::State::Lists="$apt13/lists" -o Dir::Cache="$apt13/cache"
                   -o Dir::State::status=/dev/null -o APT::Sandbox::User=root)
      apt-get "${apt_private[@]}" update -qq >/dev/null
      rm -rf qemu-build && mkdir qemu-build && cd qemu-build
      # meson and pycotap of Debian 13 are pure Python: unpacked, not installed
      apt-get "${apt_private[@]}" download meson python3-pycotap >/dev/null
      for d in *.deb; do dpkg-deb -x "$d" py; done
      apt-get "${apt_private[@]}" source -qq qemu >/dev/null 2>&1
      src=$(ls -d qemu-*/ | head -1)
      patch -d "$src" -p1 --quiet <"$patch_file"
      export PYTHONPATH=$PWD/py/usr/lib/python3/dist-packages PATH=$PWD/py/usr/bin:$PATH
      mkdir obj && cd obj
      "../$src/configure" --python=/usr/bin/python3 --target-list=i386-linux-user --static \
        --disable-system --disable-tools --disable-docs --without-default-features \
        --disable-install-blobs >../configure.log 2>&1 || { tail -30 ../configure.log >&2; exit 1; }
      ninja qemu-i386 >../build.log 2>&1 || { tail -30 ../build.log >&2; exit 1; }
      mkdir -p "$qemu_dir/bin"
      cp qemu-i386 "$qemu_dir/bin/qemu-i386.new"
      mv -f "$qemu_dir/bin/qemu-i386.new" "$qemu_dir/bin/qemu-i386" ) || exit 1
    rm -rf "$deps/src/qemu-build"
    echo "$qemu_stamp" >"$qemu_dir/bin/qemu-i386.stamp"
  fi
  if bash "$here/scripts/i386.sh" native; then
    echo "setup: VIDUDO_EMULATE_I386=1: Wine's 32-bit programs run emulated by $qemu_dir/bin/qemu-i386 inside the test run's own namespace"
  else
    sudo_if bash "$here/scripts/i386.sh" register || { echo "setup: registering the i386 emulator failed" >&2; exit 1; }
    echo "setup: this machine can't execute 32-bit x86 code: Wine's 32-bit programs run emulated by $qemu_dir/bin/qemu-i386 (binfmt_misc)"
  fi
fi

echo "setup: dependencies ready in $deps"
