#!/usr/bin/env bash
# Checks the installer and the installed program under wine, as a Windows user meets them:
# - the program is a Windows GUI program carrying its icon, version and manifest;
# - a silent install for the current user: the files, the licence texts, the Start menu entry and
#   the uninstall entry;
# - the program started from its install folder works in its data folder and writes nothing
#   among its files; started in the data folder it runs, and shows its window on a virtual X
#   display (a screenshot, <build dir>/Tarlo01-window.png, beside one of the Linux program's
#   window when that is built, ${LINUX_BUILD_DIR:-build}/app/Tarlo01, with the share of pixels
#   that differ);
# - while it runs, neither the uninstaller nor an upgrade removes or replaces anything (exit 3);
# - the uninstall removes the program and keeps the data folder (preferences, logs, settings);
# - an install into a chosen folder holding the user's files goes into a Tarlo01 folder of its
#   own, and its uninstall leaves every file of the user's;
# - wine's user folders stay inside its prefix (nothing in $HOME).
# Run after scripts/build-windows.sh.
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
running_pid=""
cleanup() {
  wineserver -k 2>/dev/null || true
  [ -n "$running_pid" ] && wait "$running_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "${fb:-}"
}
trap cleanup EXIT
# Windows paths as Unix ones, through wine's drive mapping.
unixpath() { wine winepath -u "$1" 2>/dev/null | tr -d '\r'; }
regvalue() { wine reg query "$key" /v "$1" 2>/dev/null | tr -d '\r' | sed -n 's/.*REG_[A-Z_]* *//p'; }
# Every file under a folder with its size and time, to see that nothing changed.
listing() { (cd "$1" && find . -type f -printf '%p %s %T@\n' | LC_ALL=C sort); }
# Uninstalls silently and waits for the uninstaller's copy, which removes the folder.
uninstall() {
  wine "$1/uninstall.exe" /S /CurrentUser
  wineserver -w
  for _ in $(seq 100); do
    [ -e "$1/uninstall.exe" ] || break
    sleep 0.1
  done
}

echo "the program: a Windows GUI program with its icon, version and manifest"
exe="$dir/deploy/Tarlo01.exe"
headers=$(x86_64-w64-mingw32-objdump -p "$exe")
grep -q 'Subsystem.*(Windows GUI)' <<<"$headers" || fail "Tarlo01.exe is not a Windows GUI program"
# The resource types of the directory's first level: icon 3, icon group 14, version 16, manifest 24.
types=$(sed -n '/The .rsrc Resource Directory/,$p' <<<"$headers" | sed -n 's/^[0-9a-f]\{3\}   Entry: ID: 0x\([0-9a-f]*\),.*/\1/p')
for type in 000003:icon 00000e:icon-group 000010:version 000018:manifest; do
  grep -qx "${type%:*}" <<<"$types" || fail "Tarlo01.exe has no ${type#*:} resource"
done
for text in PerMonitorV2 longPathAware Microsoft.Windows.Common-Controls 8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a; do
  grep -aq "$text" "$exe" || fail "the manifest lacks $text"
done
# The version's texts are UTF-16.
grep -aqP 'P\x00H\x00 \x00C\x00o\x00n\x00t\x00r\x00o\x00l\x00l\x00e\x00r\x00' "$exe" ||
  fail "the version resource lacks the product name"

[ ! -e "$HOME/Tarlo01" ] || fail "$HOME/Tarlo01 is there before the check: remove it first"
wineserver -k 2>/dev/null || true
export DISPLAY=''
echo "installing $setup for the current user"
wine "$setup" /S /CurrentUser
wineserver -w
location=$(regvalue InstallLocation)
[ -n "$location" ] || fail "no uninstall entry in the registry"
install_dir=$(unixpath "$location")
start_menu=$(unixpath "$(wine cmd /c echo %APPDATA% | tr -d '\r')")/Microsoft/Windows/Start\ Menu/Programs
data_dir=$(unixpath "$(wine cmd /c echo %USERPROFILE% | tr -d '\r')")/Documents/Tarlo01
case "$(realpath -m "$data_dir")" in
  "$(realpath "$WINEPREFIX")"/*) ;;
  *) fail "the data folder $data_dir is outside wine's prefix" ;;
esac
for f in Tarlo01.exe Qt6Widgets.dll plugins/platforms/qwindows.dll fonts/LiberationSans-Regular.ttf uninstall.exe \
  licenses/Tarlo01-LICENSE.txt licenses/Qt.txt licenses/LGPL-3.txt licenses/GPL-3.txt \
  licenses/libjpeg-turbo-copyright.txt licenses/libstdc++-libgcc-copyright.txt \
  licenses/mingw-w64-winpthreads-copyright.txt licenses/LiberationSans-copyright.txt; do
  [ -f "$install_dir/$f" ] || fail "$f is missing in $install_dir"
done
[ -f "$start_menu/PH Controller Tarlo-01.lnk" ] || fail "no Start menu entry in $start_menu"
[ "$(regvalue Publisher)" = "The Tarlo-01 developers" ] || fail "the uninstall entry names no publisher"
[ "$(regvalue DisplayVersion)" = "$version" ] || fail "the uninstall entry's version is not $version"
[ "$(($(regvalue EstimatedSize)))" -gt 1000 ] || fail "the uninstall entry's size is not the program's"
[ -n "$(regvalue DisplayIcon)" ] || fail "the uninstall entry has no icon"

echo "starting the installed program from its install folder"
before=$(listing "$install_dir")
status=0
(cd "$install_dir" && WINEQT_QPA_PLATFORM=offscreen timeout 8 wine "$install_dir/Tarlo01.exe" >"$dir/installed-run.log" 2>&1) ||
  status=$?
[ "$status" -eq 124 ] || { cat "$dir/installed-run.log" >&2; fail "the program ended by itself (status $status)"; }
wineserver -k 2>/dev/null || true
wineserver -w
[ "$(listing "$install_dir")" = "$before" ] ||
  fail "the program wrote into its install folder: $(diff <(echo "$before") <(listing "$install_dir") | tail -n 5)"
[ -f "$data_dir/tarlo02.ini" ] || fail "the program did not work in its data folder $data_dir"

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

echo "uninstalling and upgrading while the program runs"
# The program has started once it holds its folder's lock file, which it makes anew.
rm -f "$data_dir/.tarlo02.lock"
(cd "$data_dir" && WINEQT_QPA_PLATFORM=offscreen exec wine "$install_dir/Tarlo01.exe" >"$dir/running.log" 2>&1) &
running_pid=$!
for _ in $(seq 300); do
  [ -e "$data_dir/.tarlo02.lock" ] && break
  sleep 0.1
done
[ -e "$data_dir/.tarlo02.lock" ] || { cat "$dir/running.log" >&2; fail "the program did not start"; }
before=$(listing "$install_dir")
status=0
# _?= runs the uninstaller in place, so its exit code is its own.
wine "$install_dir/uninstall.exe" /S /CurrentUser "_?=$location" || status=$?
[ "$status" -eq 3 ] || fail "the uninstaller did not stop for the running program (status $status)"
status=0
wine "$setup" /S /CurrentUser || status=$?
[ "$status" -eq 3 ] || fail "the installer did not stop for the running program (status $status)"
[ "$(listing "$install_dir")" = "$before" ] || fail "files were removed or replaced while the program ran"
[ -f "$start_menu/PH Controller Tarlo-01.lnk" ] || fail "the Start menu entry went while the program ran"
[ -n "$(regvalue InstallLocation)" ] || fail "the uninstall entry went while the program ran"
wineserver -k 2>/dev/null || true
wait "$running_pid" 2>/dev/null || true
running_pid=""
wineserver -w

echo "uninstalling: the data folder stays"
printf 'Time;PH\r\n' >"$data_dir/2016-10-01 {183008}.csv"
data_before=$(cd "$data_dir" && ls -A | grep -vx '.tarlo02.lock' | LC_ALL=C sort)
uninstall "$install_dir"
[ ! -e "$install_dir" ] || fail "$install_dir is still there: $(ls -A "$install_dir")"
[ ! -e "$start_menu/PH Controller Tarlo-01.lnk" ] || fail "the Start menu entry is still there"
wine reg query "$key" >/dev/null 2>&1 && fail "the uninstall entry is still in the registry"
[ "$(cd "$data_dir" && ls -A | grep -vx '.tarlo02.lock' | LC_ALL=C sort)" = "$data_before" ] ||
  fail "the uninstaller touched the data folder: $(ls -A "$data_dir")"

echo "installing into a folder of the user's, and uninstalling"
chosen=$(unixpath "$(wine cmd /c echo %USERPROFILE% | tr -d '\r')")/Documents/Akwarium
rm -rf "$chosen"
mkdir -p "$chosen"
echo "notatki" >"$chosen/notatki.txt"
echo "rybki" >"$chosen/rybki.jpg"
wine "$setup" /S /CurrentUser "/D=$(wine winepath -w "$chosen" 2>/dev/null | tr -d '\r')"
wineserver -w
[ -f "$chosen/Tarlo01/Tarlo01.exe" ] || fail "the program was not installed into a folder of its own in $chosen"
[ "$(unixpath "$(regvalue InstallLocation)")" = "$chosen/Tarlo01" ] || fail "the uninstall entry names another folder"
# A file of the user's put among the program's is no file of the installer's.
echo "moje" >"$chosen/Tarlo01/moje.txt"
uninstall "$chosen/Tarlo01"
[ -f "$chosen/notatki.txt" ] && [ -f "$chosen/rybki.jpg" ] || fail "the uninstaller removed the user's files in $chosen"
[ "$(ls -A "$chosen/Tarlo01")" = "moje.txt" ] ||
  fail "the uninstaller left the program's files or removed the user's: $(ls -A "$chosen/Tarlo01")"
rm -rf "$chosen" "$data_dir"

[ ! -e "$HOME/Tarlo01" ] || fail "$HOME/Tarlo01 was made: wine's Documents is the Linux home"
[ -z "$(find "$HOME/.local/share/applications" -path '*wine*' -name '*Tarlo*' 2>/dev/null)" ] ||
  fail "wine wrote menu entries for the Linux desktop"
echo "installer check passed: a GUI program; installed, ran in its data folder, shown; refused while running;" \
  "uninstalled keeping the data and the user's files"
