#!/usr/bin/env bash
# Makes the Windows toolchain in PREFIX from Debian 12's packages and source packages alone:
# Qt 6.4.2 (qtbase: Core, Gui, Widgets, Test; the windows, offscreen and minimal platforms; the
# jpeg, gif and ico image formats; the Windows style) cross-built with Debian's mingw-w64 (GCC,
# POSIX threads), libjpeg-turbo and GoogleTest as static libraries, the mingw runtime DLLs, and
# PREFIX/lib/cmake/mingw-qt.cmake, the CMake toolchain file. moc, rcc and uic are Debian's own
# Qt 6.4.2 tools. Takes about 40 minutes on 2 cores.
#
#   bash scripts/windows-toolchain.sh PREFIX        (WORK=folder for sources and builds,
#                                                    JOBS=parallel jobs, PACK=1 also writes
#                                                    PREFIX.tar.zst like the shared copy)
set -euo pipefail
prefix=${1:?usage: windows-toolchain.sh PREFIX}
mkdir -p "$prefix"
prefix=$(cd "$prefix" && pwd)
work=${WORK:-${TMPDIR:-/var/tmp}/tarlo-qt6-mingw-work}
jobs=${JOBS:-$(nproc)}
qt_source_version=6.4.2+dfsg-10
triple=x86_64-w64-mingw32
nice="nice -n 19"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
stamp() { echo "== $(date '+%F %T') $*"; }
started=$(date +%s)

stamp "packages"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends \
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 \
  mingw-w64-tools mingw-w64-x86-64-dev \
  cmake ninja-build perl python3 nasm dpkg-dev xz-utils zstd \
  qt6-base-dev qt6-base-dev-tools >/dev/null

# apt-get source needs source lines beside the binary ones.
if ! grep -rqs '^Types:.*deb-src\|^deb-src' /etc/apt/sources.list /etc/apt/sources.list.d/; then
  stamp "adding source lines to apt"
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] && sed 's/^Types: deb$/Types: deb-src/' "$f" | $sudo tee "${f%.sources}-src.sources" >/dev/null
  done
  if [ -f /etc/apt/sources.list ]; then
    sed -n 's/^deb /deb-src /p' /etc/apt/sources.list | $sudo tee /etc/apt/sources.list.d/tarlo-src.list >/dev/null
  fi
  $sudo apt-get update -qq
fi

stamp "sources"
mkdir -p "$work/src"
cd "$work/src"
[ -d qt6-base-6.4.2+dfsg ] || apt-get source -qq "qt6-base=$qt_source_version"
ls -d libjpeg-turbo-*/ >/dev/null 2>&1 || apt-get source -qq libjpeg-turbo
ls -d googletest-*/ >/dev/null 2>&1 || apt-get source -qq googletest
jpeg_src=$(ls -d "$work"/src/libjpeg-turbo-*/ | head -n 1)
gtest_src=$(ls -d "$work"/src/googletest-*/ | head -n 1)

# The toolchain file: for building Qt here, and for the programs built against it.
toolchain=$prefix/lib/cmake/mingw-qt.cmake
mkdir -p "$prefix/lib/cmake"
cat >"$toolchain" <<'EOF'
# CMake toolchain file: Debian 12 -> 64-bit Windows (x86_64-w64-mingw32, POSIX threads).
#   cmake -DCMAKE_TOOLCHAIN_FILE=<prefix>/lib/cmake/mingw-qt.cmake -DQT_MINGW_PREFIX=<prefix> ...
# moc, rcc and uic come from Debian's own Qt 6 under /usr. Programs built against the cross Qt
# run through wine (ctest, test discovery): give wine the DLL folder in WINEPATH and Qt's
# variables as WINEQT_* (wine drops QT_* from the Windows environment).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLE}-windres)
set(CMAKE_AR /usr/bin/${MINGW_TRIPLE}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB /usr/bin/${MINGW_TRIPLE}-ranlib CACHE FILEPATH "")
# Headers, libraries and packages from the mingw sysroot and the cross Qt only; programs
# (moc, rcc, perl, python) from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
if(NOT QT_MINGW_PREFIX AND DEFINED ENV{QT_MINGW_PREFIX})
  set(QT_MINGW_PREFIX "$ENV{QT_MINGW_PREFIX}")
endif()
if(QT_MINGW_PREFIX)
  list(APPEND CMAKE_FIND_ROOT_PATH "${QT_MINGW_PREFIX}")
  list(APPEND CMAKE_PREFIX_PATH "${QT_MINGW_PREFIX}")
endif()
if(NOT QT_HOST_PATH)
  set(QT_HOST_PATH /usr CACHE PATH "Host Qt prefix")
endif()
if(NOT QT_HOST_PATH_CMAKE_DIR)
  set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH "Host Qt CMake dir")
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QT_MINGW_PREFIX QT_HOST_PATH QT_HOST_PATH_CMAKE_DIR)
if(QT_MINGW_PREFIX AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
  set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/wine)
endif()
EOF

# qtbase without what the program does not use (OpenGL, D-Bus, network, SQL, printing, XML);
# tablet events and Direct2D are off because Debian's +dfsg source drops their third-party code.
stamp "qtbase: configure"
$nice cmake -S "$work/src/qt6-base-6.4.2+dfsg" -B "$work/build-qtbase" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON \
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF -DQT_BUILD_MANUAL_TESTS=OFF \
  -DFEATURE_pkg_config=OFF \
  -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_printsupport=OFF -DFEATURE_dbus=OFF \
  -DINPUT_opengl=no -DFEATURE_opengl=OFF -DFEATURE_opengl_dynamic=OFF -DFEATURE_dynamicgl=OFF \
  -DFEATURE_xml=OFF -DFEATURE_concurrent=OFF -DFEATURE_vulkan=OFF \
  -DFEATURE_tabletevent=OFF -DFEATURE_direct2d=OFF -DFEATURE_directwrite3=OFF -DFEATURE_androiddeployqt=OFF \
  -DFEATURE_zstd=OFF -DFEATURE_icu=OFF \
  -DFEATURE_system_zlib=OFF -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF \
  -DFEATURE_system_freetype=OFF -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_pcre2=OFF \
  -DFEATURE_system_doubleconversion=OFF \
  -DFEATURE_testlib=ON -DFEATURE_widgets=ON -DFEATURE_gui=ON >"$work/qtbase-configure.log"
stamp "qtbase: build"
$nice cmake --build "$work/build-qtbase" -j"$jobs" >"$work/qtbase-build.log"
cmake --install "$work/build-qtbase" >/dev/null

stamp "libjpeg-turbo"
$nice cmake -S "$jpeg_src" -B "$work/build-jpeg" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF -DWITH_JPEG8=OFF \
  -DCMAKE_ASM_NASM_COMPILER=/usr/bin/nasm >"$work/jpeg.log"
$nice cmake --build "$work/build-jpeg" -j"$jobs" --target jpeg-static >>"$work/jpeg.log"
mkdir -p "$prefix/include" "$prefix/lib"
cp "$work/build-jpeg/libjpeg.a" "$prefix/lib/"
for h in jpeglib.h jmorecfg.h jerror.h; do cp "$jpeg_src/$h" "$prefix/include/"; done
cp "$work/build-jpeg/jconfig.h" "$prefix/include/"

stamp "googletest"
$nice cmake -S "$gtest_src" -B "$work/build-gtest" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF >"$work/gtest.log"
$nice cmake --build "$work/build-gtest" -j"$jobs" >>"$work/gtest.log"
cmake --install "$work/build-gtest" >/dev/null

# The mingw runtime beside the Qt DLLs: every program needs it next to its .exe.
for dll in libstdc++-6.dll libgcc_s_seh-1.dll; do
  cp "$($triple-g++-posix -print-file-name=$dll)" "$prefix/bin/"
done
cp "/usr/$triple/lib/libwinpthread-1.dll" "$prefix/bin/"
# Debug symbols would make the runtime DLLs ten times their size; Qt's documentation
# configuration is of no use to a program built against it.
$triple-strip "$prefix"/bin/*.dll "$prefix"/plugins/*/*.dll
rm -rf "$prefix/doc"

if [ -n "${PACK:-}" ]; then
  stamp "packing $prefix.tar.zst"
  tar -C "$(dirname "$prefix")" -cf - "$(basename "$prefix")" | zstd -19 -T"$jobs" -q -f -o "$prefix.tar.zst"
fi
# The toolchain file is written first, so only this mark says the prefix is complete.
echo "$qt_source_version" >"$prefix/.complete"
stamp "done in $(($(date +%s) - started)) s: $prefix"
