#!/usr/bin/env bash
# Cross-builds the window program and its tests for 64-bit Windows into build-windows/ (or
# $BUILD_DIR), warnings as errors, and lays out what the program needs to run in
# <build dir>/deploy/: Tarlo01.exe, the Qt and mingw DLLs, the plugins, qt.conf, the fonts and the
# licences;
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
# The faces the window is laid out with on Linux (platform/win32/FontWarmUp.cpp).
cp /usr/share/fonts/truetype/liberation/LiberationSans-{Regular,Bold}.ttf "$deploy/fonts/"
cp /usr/share/fonts/truetype/dejavu/DejaVuSans{,-Bold}.ttf "$deploy/fonts/"
# The licences of everything shipped, in licenses\: the program's own, Qt's (LGPL-3.0, with
# where its source is), libjpeg-turbo's (linked in), the mingw-w64 runtime DLLs' and the fonts'.
licenses="$deploy/licenses"
mkdir -p "$licenses"
cp LICENSE "$licenses/Tarlo01-LICENSE.txt"
cp windows/licenses/Qt.txt "$licenses/Qt.txt"
cp /usr/share/doc/libqt6core6/copyright "$licenses/Qt-copyright.txt"
cp /usr/share/common-licenses/LGPL-3 "$licenses/LGPL-3.txt"
cp /usr/share/common-licenses/GPL-3 "$licenses/GPL-3.txt"
cp /usr/share/doc/libjpeg62-turbo/copyright "$licenses/libjpeg-turbo-copyright.txt"
cp /usr/share/doc/gcc-mingw-w64-x86-64-posix-runtime/copyright "$licenses/libstdc++-libgcc-copyright.txt"
cp /usr/share/doc/mingw-w64-x86-64-dev/copyright "$licenses/mingw-w64-winpthreads-copyright.txt"
cp /usr/share/doc/fonts-liberation/copyright "$licenses/LiberationSans-copyright.txt"
cp /usr/share/doc/fonts-dejavu-core/copyright "$licenses/DejaVuSans-copyright.txt"
# Windows' own line ends, so Notepad shows every text as it should.
sed -i 's/$/\r/' "$licenses"/*.txt
echo "built $dir; the program with what it needs: $deploy"

# What the uninstaller removes by name: every deployed file, then the folders, deepest first.
filelist="$dir/installed-files.nsh"
{
  echo "; The files the installer puts into \$INSTDIR (made by scripts/build-windows.sh)."
  (cd "$deploy" && find . -type f | LC_ALL=C sort) | sed 's|^\./||; s|/|\\|g; s|.*|Delete "$INSTDIR\\&"|'
  (cd "$deploy" && find . -mindepth 1 -type d | LC_ALL=C sort -r) | sed 's|^\./||; s|/|\\|g; s|.*|RMDir "$INSTDIR\\&"|'
} >"$filelist"

# The installer: program, DLLs, plugins, fonts, licences, Start menu entry, uninstaller
# (windows/Tarlo01.nsi).
version=$(sed -n 's/^project(Tarlo01 VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
setup="$dir/Tarlo01-setup-$version.exe"
if ! makensis -V2 -DVERSION="$version" -DDEPLOY="$PWD/$deploy" -DFILELIST="$PWD/$filelist" -DOUTFILE="$PWD/$setup" \
  windows/Tarlo01.nsi \
  >"$dir/installer.log" 2>&1; then
  cat "$dir/installer.log" >&2
  echo "making the installer failed" >&2
  exit 1
fi
echo "installer: $setup"
