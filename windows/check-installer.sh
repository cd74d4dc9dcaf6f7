#!/usr/bin/env bash
# Checks the installer under wine: installs silently for the current user, starts the installed
# program without a display for a few seconds (it must still be running), shows it on a virtual
# X display and keeps a screenshot of its window (<build dir>/Tarlo01-window.png) beside one of
# the Linux program's window when that is built (${LINUX_BUILD_DIR:-build}/app/Tarlo01), with
# the share of pixels that differ; uninstalls silently and checks that nothing is left. Run
# after scripts/build-windows.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
source windows/env.sh
windows_toolchain >/dev/null
windows_wine_env
dir=$(cd "${BUILD_DIR:-build-windows}" && pwd)
version=$(sed -n 's/^project(Tarlo01 VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
setup="$dir/Tarlo01-setup-$version.exe"
[ -f "$setup" ] || { echo "no installer at $setup: run scripts/build-windows.sh" >&2; exit 1; }

key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tarlo01'
fail() {
  echo "installer check: $*" >&2
  exit 1
}
xvfb_pid=""
cleanup() {
  wineserver -k 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "${fb:-}"
}
trap cleanup EXIT
# Windows paths as Unix ones, through wine's drive mapping.
unixpath() { wine winepath -u "$1" 2>/dev/null | tr -d '\r'; }

wineserver -k 2>/dev/null || true
export DISPLAY=''
echo "installing $setup for the current user"
wine "$setup" /S /CurrentUser
wineserver -w
location=$(wine reg query "$key" /v InstallLocation 2>/dev/null | tr -d '\r' | sed -n 's/.*REG_SZ *//p')
[ -n "$location" ] || fail "no uninstall entry in the registry"
install_dir=$(unixpath "$location")
start_menu=$(unixpath "$(wine cmd /c echo %APPDATA% | tr -d '\r')")/Microsoft/Windows/Start\ Menu/Programs
data_dir=$(unixpath "$(wine cmd /c echo %USERPROFILE% | tr -d '\r')")/Documents/Tarlo01
for f in Tarlo01.exe Qt6Widgets.dll plugins/platforms/qwindows.dll fonts/LiberationSans-Regular.ttf uninstall.exe; do
  [ -f "$install_dir/$f" ] || fail "$f is missing in $install_dir"
done
[ -f "$start_menu/PH Controller Tarlo-01.lnk" ] || fail "no Start menu entry in $start_menu"

echo "starting the installed program without a display"
status=0
(cd "$data_dir" && WINEQT_QPA_PLATFORM=offscreen timeout 8 wine "$install_dir/Tarlo01.exe" >"$dir/installed-run.log" 2>&1) ||
  status=$?
[ "$status" -eq 124 ] || { cat "$dir/installed-run.log" >&2; fail "the program ended by itself (status $status)"; }
wineserver -k 2>/dev/null || true
wineserver -w

# A wineserver started without a display would make the window fail: it was ended above.
echo "showing the installed program on a virtual display"
fb=$(mktemp -d)
display=:$((90 + RANDOM % 9))
Xvfb "$display" -screen 0 1024x768x24 -fbdir "$fb" -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do
  [ -f "$fb/Xvfb_screen0" ] && break
  sleep 0.1
done
(cd "$data_dir" && DISPLAY=$display wine "$install_dir/Tarlo01.exe" >"$dir/installed-window.log" 2>&1) &
window_pid=$!
box=$(python3 windows/screenshot.py wait "$fb/Xvfb_screen0") ||
  { cat "$dir/installed-window.log" >&2; fail "no window on the screen"; }
read -r x y w h <<<"$box"
python3 windows/screenshot.py grab "$fb/Xvfb_screen0" "$dir/Tarlo01-screen.png"
python3 windows/screenshot.py grab "$fb/Xvfb_screen0" "$dir/Tarlo01-window.png" "$x" "$y" "$w" "$h"
echo "window ${w}x${h} at $x,$y: $dir/Tarlo01-window.png"
DISPLAY=$display wineserver -k 2>/dev/null || true
wait "$window_pid" 2>/dev/null || true
wineserver -w

# The Linux program's window on the same display, when it is built, for comparison.
linux_program=$(realpath -m "${LINUX_BUILD_DIR:-build}/app/Tarlo01")
if [ -x "$linux_program" ]; then
  linux_work=$(mktemp -d)
  (cd "$linux_work" && DISPLAY=$display QT_QPA_PLATFORM=xcb exec "$linux_program" >/dev/null 2>&1) &
  linux_pid=$!
  if box=$(python3 windows/screenshot.py wait "$fb/Xvfb_screen0" 2>/dev/null); then
    read -r x y w h <<<"$box"
    python3 windows/screenshot.py grab "$fb/Xvfb_screen0" "$dir/Tarlo01-window-linux.png" "$x" "$y" "$w" "$h"
    echo "the Linux window beside it: $dir/Tarlo01-window-linux.png;" \
      "$(python3 windows/screenshot.py compare "$dir/Tarlo01-window.png" "$dir/Tarlo01-window-linux.png")"
  else
    echo "the Linux program showed no window to compare with"
  fi
  kill "$linux_pid" 2>/dev/null || true
  wait "$linux_pid" 2>/dev/null || true
  rm -rf "$linux_work"
fi
kill "$xvfb_pid" 2>/dev/null
xvfb_pid=""

echo "uninstalling"
wine "$install_dir/uninstall.exe" /S /CurrentUser
wineserver -w
# The uninstaller copies itself away and returns at once; give the copy time to finish.
for _ in $(seq 100); do
  [ -e "$install_dir" ] || break
  sleep 0.1
done
[ ! -e "$install_dir" ] || fail "$install_dir is still there"
[ ! -e "$start_menu/PH Controller Tarlo-01.lnk" ] || fail "the Start menu entry is still there"
[ ! -e "$data_dir" ] || fail "$data_dir is still there: $(ls -A "$data_dir")"
wine reg query "$key" >/dev/null 2>&1 && fail "the uninstall entry is still in the registry"
echo "installer check passed: installed, ran, shown, uninstalled, nothing left"
