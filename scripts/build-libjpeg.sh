#!/usr/bin/env bash
# Builds libjpeg-turbo from Debian's source package, once, into the build tree:
# libjpeg v8 API (JPEG_LIB_VERSION 80), static, SIMD required.
#   build-libjpeg.sh win|host|fuzz|host64 DEPS_DIR
# fuzz is the host kind built by clang with libFuzzer's coverage and AddressSanitizer,
# so that fuzzing is guided through the library too and sees its reads and writes.
# host64 is the same source at the machine's own word size, for make profile to set
# its tools beside the 32-bit ones.
# installs into DEPS_DIR/<kind>; a second call finds the stamp and does nothing.
set -euo pipefail
kind=$1
deps=$(mkdir -p "$2" && cd "$2" && pwd)
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
prefix=$deps/$kind
stamp=$prefix/.built
[ -f "$stamp" ] && exit 0

src_parent=$deps/src
if ! ls -d "$src_parent"/libjpeg-turbo-*/ >/dev/null 2>&1; then
  echo "libjpeg: fetching Debian's source package libjpeg-turbo into $src_parent"
  mkdir -p "$src_parent"
  (cd "$src_parent" && apt-get source libjpeg-turbo) >"$src_parent.log" 2>&1 \
    || { tail -n 15 "$src_parent.log" >&2; echo "libjpeg: fetching failed, see $src_parent.log" >&2; exit 1; }
fi
src=$(ls -d "$src_parent"/libjpeg-turbo-*/ | head -n 1)
[ -f "$src/CMakeLists.txt" ] || { echo "libjpeg: no source in $src_parent" >&2; exit 1; }

case $kind in
  win)  flags=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake") ;;
  host) flags=(-DCMAKE_C_FLAGS=-m32 -DCMAKE_SYSTEM_PROCESSOR=i386 -DCMAKE_POSITION_INDEPENDENT_CODE=ON) ;;
  fuzz) flags=(-DCMAKE_C_COMPILER=clang-14
               "-DCMAKE_C_FLAGS=-m32 -fsanitize=fuzzer-no-link,address -fno-omit-frame-pointer"
               -DCMAKE_SYSTEM_PROCESSOR=i386 -DCMAKE_POSITION_INDEPENDENT_CODE=ON) ;;
  host64) flags=() ;;
  *) echo "usage: build-libjpeg.sh win|host|fuzz|host64 DEPS_DIR" >&2; exit 2 ;;
esac

# The library carries a build date ("build YYYYMMDD" in its version text): the date of
# the source package's last changelog entry, not today's, so that every build of the
# same source is the same.
if [ -z "${SOURCE_DATE_EPOCH:-}" ] && [ -f "$src/debian/changelog" ]; then
  SOURCE_DATE_EPOCH=$(dpkg-parsechangelog -l "$src/debian/changelog" -S Timestamp)
  export SOURCE_DATE_EPOCH
fi
work=$deps/$kind-build
echo "libjpeg: building libjpeg-turbo for $kind into $prefix"
failed() { tail -n 30 "$work.log" >&2; echo "libjpeg: building for $kind failed, see $work.log" >&2; exit 1; }
rm -rf "$work"
cmake -S "$src" -B "$work" -G "Unix Makefiles" "${flags[@]}" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_INSTALL_LIBDIR="$prefix/lib" \
  -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_JPEG8=ON -DWITH_TURBOJPEG=OFF \
  -DWITH_SIMD=ON -DREQUIRE_SIMD=ON >"$work.log" 2>&1 || failed
cmake --build "$work" -j"$(nproc)" >>"$work.log" 2>&1 || failed
cmake --install "$work" >>"$work.log" 2>&1 || failed
grep -q 'JPEG_LIB_VERSION  *80' "$prefix/include/jconfig.h" \
  || { echo "libjpeg: not the v8 API" >&2; exit 1; }
touch "$stamp"
