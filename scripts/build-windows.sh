#!/usr/bin/env bash
# Cross-builds the window program and its tests for 64-bit Windows into build-windows/ (or
# $BUILD_DIR), warnings as errors, and lays out what the program needs to run in
# <build dir>/deploy/: Tarlo01.exe, the Qt and mingw DLLs, the plugins, qt.conf and the fonts;
# then the installer, <build dir>/Tarlo01-setup-<version>.exe.
# Installs what is missing first; the toolchain comes from windows/env.sh. Extra arguments go
# to CMake. The compiler's whole output goes to <build dir>/build.log.
set -euo pipefail
cd "$(dirname "$0")/.."
source windows/env.sh
windows_install_packages
windows_toolchain
dir="${BUILD_DIR:-build-windows}"

echo "configuring $dir (Qt for Windows: $QT_MINGW_PREFIX)"
mkdir -p "$dir"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
# Tests are listed when they run (under wine), not while building.
if ! cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" -DTARLO_WERROR=ON \
  -DCMAKE_TOOLCHAIN_FILE="$QT_MINGW_PREFIX/lib/cmake/mingw-qt.cmake" -DQT_MINGW_PREFIX="$QT_MINGW_PREFIX" \
  -DCMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE=PRE_TEST "${launcher[@]}" "$@" >"$dir/configure.log" 2>&1; then
  cat "$dir/configure.log" >&2
  echo "configuring $dir failed" >&2
  exit 1
fi

echo "building (the compiler's output: $dir/build.log)"
if ! cmake --build "$dir" -j"$(nproc)" >"$dir/build.log" 2>&1; then
  grep -E "error|warning" -A4 "$dir/build.log" | head -n 80 >&2 || tail -n 60 "$dir/build.log" >&2
  echo "building failed; the whole output is in $dir/build.log" >&2
  exit 1
fi

# What Tarlo01.exe needs beside it. The offscreen platform serves runs without a display (CI).
deploy="$dir/deploy"
rm -rf "$deploy"
mkdir -p "$deploy/plugins/platforms" "$deploy/plugins/styles" "$deploy/plugins/imageformats" "$deploy/fonts"
cp "$dir/app/Tarlo01.exe" "$deploy/"
x86_64-w64-mingw32-strip "$deploy/Tarlo01.exe"
for dll in Qt6Core Qt6Gui Qt6Widgets libstdc++-6 libgcc_s_seh-1 libwinpthread-1; do
  cp "$QT_MINGW_PREFIX/bin/$dll.dll" "$deploy/"
done
cp "$QT_MINGW_PREFIX"/plugins/platforms/{qwindows,qoffscreen}.dll "$deploy/plugins/platforms/"
cp "$QT_MINGW_PREFIX/plugins/styles/qwindowsvistastyle.dll" "$deploy/plugins/styles/"
cp "$QT_MINGW_PREFIX/plugins/imageformats/qico.dll" "$deploy/plugins/imageformats/"
# Libraries=. puts the fonts folder where the offscreen platform looks for fonts.
printf "[Paths]\nPrefix=.\nLibraries=.\nPlugins=plugins\n" >"$deploy/qt.conf"
# The faces the window is laid out with on Linux, with their licences (platform/win32/FontWarmUp.cpp).
cp /usr/share/fonts/truetype/liberation/LiberationSans-{Regular,Bold}.ttf "$deploy/fonts/"
cp /usr/share/fonts/truetype/dejavu/DejaVuSans{,-Bold}.ttf "$deploy/fonts/"
cp /usr/share/doc/fonts-liberation/copyright "$deploy/fonts/LiberationSans-copyright.txt"
cp /usr/share/doc/fonts-dejavu-core/copyright "$deploy/fonts/DejaVuSans-copyright.txt"
echo "built $dir; the program with what it needs: $deploy"

# The installer: program, DLLs, plugins, fonts, Start menu entry, uninstaller (windows/Tarlo01.nsi).
version=$(sed -n 's/^project(Tarlo01 VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
setup="$dir/Tarlo01-setup-$version.exe"
if ! makensis -V2 -DVERSION="$version" -DDEPLOY="$PWD/$deploy" -DOUTFILE="$PWD/$setup" windows/Tarlo01.nsi \
  >"$dir/installer.log" 2>&1; then
  cat "$dir/installer.log" >&2
  echo "making the installer failed" >&2
  exit 1
fi
echo "installer: $setup"
