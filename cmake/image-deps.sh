#!/usr/bin/env bash
# The image libraries of the Windows build and of the web page, built from
# Debian's own source packages at Debian's versions, so that every build
# makes the same images: libjpeg-turbo (without its SIMD parts) and
# libdeflate; stb_image, stb_image_write and the JSON library are headers,
# Debian's. Installed
# under build/windows-deps/prefix (mingw-w64) or build/web-deps/prefix
# (emscripten), where the windows and web presets find them; done once (a
# later run finds the prefix complete).
#
#   bash cmake/image-deps.sh windows|web
set -euo pipefail
cd "$(dirname "$0")/.."
target=${1:-windows}
case $target in
  windows)
    cc=x86_64-w64-mingw32-gcc-posix ar=x86_64-w64-mingw32-ar
    toolchain=$PWD/cmake/mingw-w64.cmake
    jpeg_flags=()
    deflate_lib=libdeflatestatic.lib ;;
  web)
    cc=emcc ar=emar
    toolchain=/usr/share/emscripten/cmake/Modules/Platform/Emscripten.cmake
    # CMake's probe of size_t's size reads Debian's emscripten wrongly (7).
    jpeg_flags=(-DHAVE_SIZE_T=TRUE -DSIZE_T=4)
    # Debian's emscripten finds its JavaScript tools' modules where NODE_PATH
    # says, for linking libjpeg-turbo's programs.
    export NODE_PATH=/usr/share/nodejs
    deflate_lib=libdeflate.a ;;
  *) echo "usage: image-deps.sh windows|web" >&2; exit 2 ;;
esac
deps=$PWD/build/$target-deps
prefix=$deps/prefix
# The headers are Debian's own, copied afresh each time.
headers() {
  mkdir -p "$prefix/include/stb"
  cp /usr/include/stb/stb_image.h /usr/include/stb/stb_image_write.h "$prefix/include/stb/"
  cp -r /usr/include/nlohmann "$prefix/include/"
}
if [ -f "$prefix/built" ]; then
  headers
  exit 0
fi

# Source packages come from the main mirror that the machine's own packages
# come from (its first entry), once a deb-src entry names it.
if ! apt-get source --print-uris libdeflate > /dev/null 2>&1; then
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
mkdir -p "$deps/src" "$prefix/lib" "$prefix/include/stb"
(cd "$deps/src" && apt-get source libjpeg-turbo libdeflate 2> /dev/null)

cmake -S "$deps"/src/libjpeg-turbo-[0-9]*/ -B "$deps/build/libjpeg-turbo" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_INSTALL_LIBDIR="$prefix/lib" -DENABLE_SHARED=OFF \
  -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF "${jpeg_flags[@]}" -Wno-dev > "$deps/libjpeg-turbo.log"
cmake --build "$deps/build/libjpeg-turbo" >> "$deps/libjpeg-turbo.log"
cmake --install "$deps/build/libjpeg-turbo" >> "$deps/libjpeg-turbo.log"

# libdeflate builds with its own Makefile, as Debian builds it.
(cd "$deps"/src/libdeflate-[0-9]*/ && make CC="$cc" AR="$ar" "$deflate_lib" > "$deps/libdeflate.log")
cp "$deps"/src/libdeflate-[0-9]*/"$deflate_lib" "$prefix/lib/libdeflate.a"
cp "$deps"/src/libdeflate-[0-9]*/libdeflate.h "$prefix/include/"
headers
touch "$prefix/built"
