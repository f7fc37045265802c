#!/usr/bin/env bash
# The image libraries of mdx2obj.exe, built as Debian builds them, from
# Debian's own source packages: libjpeg-turbo (without its SIMD parts) and
# libpng, with mingw-w64, against Debian's zlib for mingw-w64. Installed
# under build/windows-deps/prefix, where the windows preset finds them; done
# once (a later run finds the prefix complete).
set -euo pipefail
cd "$(dirname "$0")/.."
deps=$PWD/build/windows-deps
prefix=$deps/prefix
[ -f "$prefix/built" ] && exit 0

# Source packages come from the main mirror that the machine's own packages
# come from (its first entry), once a deb-src entry names it.
if ! apt-get source --print-uris libpng1.6 > /dev/null 2>&1; then
  own=/etc/apt/sources.list.d/debian.sources
  if [ -f "$own" ]; then
    {
      echo "Types: deb-src"
      grep -m1 '^URIs:' "$own"
      grep -m1 '^Suites:' "$own"
      echo "Components: main"
      grep -m1 '^Signed-By:' "$own"
    } > /etc/apt/sources.list.d/mdx2obj-deb-src.sources
  else
    grep -m1 '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' \
      > /etc/apt/sources.list.d/mdx2obj-deb-src.list
  fi
  apt-get update
fi
rm -rf "$deps/src" "$prefix"
mkdir -p "$deps/src"
(cd "$deps/src" && apt-get source libjpeg-turbo libpng1.6 2> /dev/null)

toolchain=$PWD/cmake/mingw-w64.cmake
build() {
  local name=$1
  shift
  cmake -S "$deps"/src/"$name"-[0-9]*/ -B "$deps/build/$name" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" "$@" > "$deps/$name.log"
  cmake --build "$deps/build/$name" >> "$deps/$name.log"
  cmake --install "$deps/build/$name" >> "$deps/$name.log"
}
build libjpeg-turbo -DENABLE_SHARED=OFF -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF
build libpng1.6 -DPNG_SHARED=OFF -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF
# stb_image is one header: Debian's, beside the libraries.
mkdir -p "$prefix/include/stb"
cp /usr/include/stb/stb_image.h "$prefix/include/stb/"
touch "$prefix/built"
