# Sourced by scripts/build-windows.sh, scripts/test-windows.sh and windows/installer.sh: the
# Debian packages of the Windows build, where its toolchain is, and wine's environment.
#
# The toolchain is Qt 6.4.2 cross-built for 64-bit Windows with Debian's mingw-w64, libjpeg-turbo
# and GoogleTest (scripts/windows-toolchain.sh makes it). A prebuilt copy of the same version in
# ../shared/toolchains/ (or $TARLO_SHARED/toolchains) is unpacked to the cache and used; without
# one, the script builds it into the cache (about 40 minutes on 2 cores).

TARLO_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
TARLO_QT_VERSION=6.4.2
TARLO_CACHE=${XDG_CACHE_HOME:-$HOME/.cache}/tarlo-windows
TARLO_SHARED=${TARLO_SHARED:-$TARLO_ROOT/../shared}
TARLO_TOOLCHAIN_ARCHIVE=$TARLO_SHARED/toolchains/qt$TARLO_QT_VERSION-mingw64.tar.zst

windows_packages=(
  g++-mingw-w64-x86-64-posix wine wine64 nsis zstd xvfb xauth
  cmake ninja-build ccache qt6-base-dev qt6-base-dev-tools
  fonts-liberation fonts-dejavu-core libjpeg62-turbo
)

source "$TARLO_ROOT/scripts/apt.sh"

# Installs the packages that are missing; quiet unless something goes wrong.
windows_install_packages() { install_missing "${windows_packages[@]}"; }

# Sets QT_MINGW_PREFIX to a ready toolchain: the shared copy unpacked once into the cache, or
# one built by scripts/windows-toolchain.sh into the cache.
windows_toolchain() {
  local unpacked=$TARLO_CACHE/qt$TARLO_QT_VERSION-mingw64
  local built=$TARLO_CACHE/qt$TARLO_QT_VERSION-mingw64-built
  if [ -f "$TARLO_TOOLCHAIN_ARCHIVE" ]; then
    # The stamp names the archive unpacked, so a new copy replaces the old one.
    local stamp
    stamp=$(stat -c '%s %Y' "$TARLO_TOOLCHAIN_ARCHIVE")
    if [ "$(cat "$unpacked/.stamp" 2>/dev/null)" != "$stamp" ]; then
      echo "unpacking $TARLO_TOOLCHAIN_ARCHIVE into $unpacked"
      rm -rf "$unpacked"
      mkdir -p "$unpacked"
      tar --zstd -xf "$TARLO_TOOLCHAIN_ARCHIVE" -C "$unpacked"
      echo "$stamp" >"$unpacked/.stamp"
    fi
    QT_MINGW_PREFIX=$unpacked/qt6-mingw
  else
    # A build that was stopped leaves the toolchain file but not the mark of a complete one.
    if [ ! -f "$built/.complete" ]; then
      echo "no prebuilt toolchain at $TARLO_TOOLCHAIN_ARCHIVE: building one into $built"
      bash "$TARLO_ROOT/scripts/windows-toolchain.sh" "$built"
    fi
    QT_MINGW_PREFIX=$built
  fi
  export QT_MINGW_PREFIX
}

# Unix path -> the same path as wine sees it on drive Z:.
winpath() { echo "Z:$(echo "$1" | tr / '\\')"; }

# wine's environment: a prefix of our own, no debug chatter, no Mono or Gecko prompts, no menu
# entries written for the Linux desktop, Qt's DLLs and plugins from the toolchain. wine passes
# WINEQT_X on as QT_X (QT_* itself is dropped).
windows_wine_env() {
  export WINEPREFIX=${WINEPREFIX:-$TARLO_CACHE/wine}
  export WINEDEBUG=${WINEDEBUG:--all}
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  export WINEPATH
  WINEPATH=$(winpath "$QT_MINGW_PREFIX/bin")
  export WINEQT_PLUGIN_PATH
  WINEQT_PLUGIN_PATH=$(winpath "$QT_MINGW_PREFIX/plugins")
  # Qt's messages and QtTest's log go to OutputDebugString under wine unless told otherwise.
  export WINEQT_FORCE_STDERR_LOGGING=1
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "making the wine prefix $WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    DISPLAY='' wineboot -i >/dev/null 2>&1
    wineserver -w
  fi
  windows_wine_own_folders
}

# wine links the user's Documents, Desktop and the like to the Linux home folder: made real
# folders of the prefix, so nothing the programs under test write lands in $HOME.
windows_wine_own_folders() {
  local link
  for link in "$WINEPREFIX"/drive_c/users/*/{Desktop,Documents,Downloads,Music,Pictures,Videos,Templates} \
    "$WINEPREFIX"/drive_c/users/*/AppData/Roaming/Microsoft/Windows/Templates; do
    if [ -L "$link" ]; then
      rm "$link"
      mkdir -p "$link"
    fi
  done
}
