#!/usr/bin/env bash
# Builds the Debian packages (scripts/package.sh) and checks them as a user would meet them:
#   - lintian: no errors, and no warnings but the ones debian/*.lintian-overrides keep;
#   - the desktop entries (desktop-file-validate) and the AppStream metadata with the entries
#     and icons beside it (appstreamcli validate-tree --no-net);
#   - the service package depends on no GUI library;
#   - installed with apt-get on this machine: every program runs from /usr/bin and tells the
#     packages' version, the viewer exports generated logs, the window runs offscreen, the
#     viewer is offered for text/csv, the icons are there at every size, the service's user,
#     folder, configuration and enabled unit are there and the unit passes systemd-analyze
#     verify, the example configuration starts nothing;
#   - purged: the file lists of the system before the installation and after the purge are the
#     same, and the user is gone.
#
#   bash scripts/check-packages.sh --arch arm64
#
# checks the packages for a Raspberry Pi instead: cross-built (scripts/package.sh --arch arm64,
# which runs the widget-free suites under qemu-user), lintian, no GUI library among the
# service's dependencies, and the packaged programs run under qemu-user.
# Must run as root (it installs and purges packages). Exits non-zero at the first failure.
set -euo pipefail
cd "$(dirname "$0")/.."
[ "$(id -u)" -eq 0 ] || { echo "check-packages.sh installs packages: run it as root" >&2; exit 1; }
root=$(pwd)
arch=$(dpkg --print-architecture)
target=$arch
case "${1:-}" in
--arch) target=${2:?--arch needs an architecture} ;;
"") ;;
*) echo "usage: bash scripts/check-packages.sh [--arch ARCH]" >&2; exit 2 ;;
esac

export DEBIAN_FRONTEND=noninteractive
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "check-packages: $*" >&2; exit 1; }

source scripts/apt.sh
install_missing lintian appstream desktop-file-utils systemd || fail "installing packages failed"

version=$(sed -n 's/^project(Tarlo01 VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)

lint() {
  echo "lintian"
  if ! lintian --fail-on error,warning --tag-display-limit 0 "$@" >"$work/lintian.log" 2>&1; then
    cat "$work/lintian.log" >&2
    fail "lintian found errors or warnings (keep a warning only in debian/*.lintian-overrides, and say why in the README)"
  fi
}

# The service needs Qt Core and libmosquitto, and no GUI library.
service_depends() {
  echo "the service's dependencies"
  local depends
  depends=$(dpkg-deb -f "$1" Depends)
  for lib in libqt6core6 libmosquitto1 adduser; do
    grep -q "\b$lib\b" <<<"$depends" || fail "tarlo02-logd does not depend on $lib: $depends"
  done
  if grep -Eq "libqt6(gui|widgets|charts|svg|dbus|opengl)|libgl|libx11|libxcb|libjpeg|libfontconfig" <<<"$depends"; then
    fail "tarlo02-logd depends on a GUI library: $depends"
  fi
}

if [ "$target" != "$arch" ]; then
  bash scripts/package.sh --arch "$target"
  out=build-deb-$target
else
  bash scripts/package.sh
  out=build-deb
fi
desktop_deb=$out/tarlo02_${version}_$target.deb
service_deb=$out/tarlo02-logd_${version}_$target.deb
[ -f "$desktop_deb" ] && [ -f "$service_deb" ] || fail "expected $desktop_deb and $service_deb"
[ "$(find "$out" -maxdepth 1 -name '*.deb' | wc -l)" -eq 2 ] || fail "expected two packages in $out"
lint "$out"/*.deb
service_depends "$service_deb"

if [ "$target" != "$arch" ]; then
  dpkg-deb -x "$desktop_deb" "$work/tree"
  dpkg-deb -x "$service_deb" "$work/tree"
  cpu=$(dpkg-architecture -a "$target" -q DEB_HOST_GNU_CPU 2>/dev/null)
  qemu=/usr/bin/qemu-$cpu-static
  # The packaged programs themselves, under qemu-user with the :$target libraries: built for
  # $target, their version, the service's options and the example configuration (which starts
  # nothing), the window offscreen for a few seconds.
  echo "running the packaged programs under qemu-$cpu-static"
  for program in Tarlo01 tarlo02-history tarlo02-sim tarlo02-logd; do
    machine=$(readelf -h "$work/tree/usr/bin/$program" | sed -n 's/^ *Machine: *//p')
    [ "$target" != arm64 ] || [ "$machine" = AArch64 ] || fail "$program is built for $machine"
    said=$("$qemu" "$work/tree/usr/bin/$program" --version) || fail "$program --version failed under qemu"
    [ "$said" = "$program $version" ] || fail "$program --version says '$said', the packages carry $version"
  done
  logd=("$qemu" "$work/tree/usr/bin/tarlo02-logd")
  "${logd[@]}" --help | grep -q -- "--port PATH" || fail "tarlo02-logd --help does not tell its options"
  set +e
  "${logd[@]}" --config "$work/tree/etc/tarlo02/logd.ini" >/dev/null 2>"$work/logd.err"
  code=$?
  mkdir -p "$work/run" && (cd "$work/run" && QT_QPA_PLATFORM=offscreen timeout 8 "$qemu" "$work/tree/usr/bin/Tarlo01" >"$work/window.log" 2>&1)
  window=$?
  set -e
  [ "$code" -eq 2 ] && grep -q "no port" "$work/logd.err" || fail "tarlo02-logd with the example configuration: exit $code"
  [ "$window" -eq 124 ] || { cat "$work/window.log" >&2; fail "Tarlo01 ended with $window before its time was up"; }
  echo "packages checked: $desktop_deb ($(du -k "$desktop_deb" | cut -f1) KiB), $service_deb ($(du -k "$service_deb" | cut -f1) KiB)"
  exit 0
fi

echo "validating the desktop entries and the AppStream metadata"
dpkg-deb -x "$desktop_deb" "$work/tree"
for entry in "$work"/tree/usr/share/applications/*.desktop; do
  desktop-file-validate "$entry" >"$work/dfv.log" 2>&1 || { cat "$work/dfv.log" >&2; fail "$entry is not valid"; }
  grep -q . "$work/dfv.log" && { cat "$work/dfv.log" >&2; fail "desktop-file-validate has remarks on $entry"; }
done
for metainfo in "$work"/tree/usr/share/metainfo/*.xml; do
  appstreamcli validate --no-net "$metainfo" >"$work/as.log" 2>&1 || { cat "$work/as.log" >&2; fail "$metainfo is not valid"; }
  grep -q "<release version=\"$version\"" "$metainfo" || fail "$metainfo has no release $version"
done
appstreamcli validate-tree --no-net "$work/tree" >"$work/as.log" 2>&1 ||
  { cat "$work/as.log" >&2; fail "the AppStream metadata does not fit the entries and icons beside it"; }


# The system before: every file and folder outside the pseudo-filesystems, the logs and caches
# that other programs write meanwhile, dpkg's and apt's own records and the build folders.
snapshot() {
  find / -xdev \( -path /proc -o -path /sys -o -path /dev -o -path /run -o -path /tmp -o -path /var/tmp \
    -o -path /var/log -o -path /var/cache -o -path /var/lib/dpkg -o -path /var/lib/apt -o -path /work \
    -o -path /root -o -path /home -o -path "$root" \) -prune -o -print | sort
}
for p in tarlo02 tarlo02-logd; do
  if dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "installed\|config-files"; then
    echo "purging $p, installed before"
    apt-get purge -y -qq "$p" >"$work/apt.log" 2>&1 || { cat "$work/apt.log" >&2; fail "purging $p failed"; }
  fi
done
user_before=$(getent passwd tarlo02 || true)
snapshot >"$work/before.txt"

echo "installing $desktop_deb and $service_deb"
# Whatever apt brings in beside them goes again at the purge: it too was made by the install.
brought=$(apt-get install -s "./$desktop_deb" "./$service_deb" 2>/dev/null | awk '/^Inst /{print $2}')
apt-get install -y -qq --no-install-recommends "./$desktop_deb" "./$service_deb" >"$work/apt.log" 2>&1 ||
  { cat "$work/apt.log" >&2; fail "installing the packages failed"; }

echo "running the installed programs"
for program in Tarlo01 tarlo02-history tarlo02-sim tarlo02-logd; do
  [ "$(command -v "$program")" = "/usr/bin/$program" ] || fail "$program is not in /usr/bin"
  said=$("/usr/bin/$program" --version) || fail "$program --version failed"
  [ "$said" = "$program $version" ] || fail "$program --version says '$said', the packages carry $version"
done
/usr/bin/tarlo02-logd --help >"$work/help.txt" || fail "tarlo02-logd --help failed"
grep -q -- "--port PATH" "$work/help.txt" || fail "tarlo02-logd --help does not tell its options"

# A generated day of logs, a row a minute, exported by the viewer.
mkdir -p "$work/logs"
awk 'BEGIN { print "Time;PH;PHmin;PHmax;PPM;KH;Alarm;OUT O2;OUT CO2"
             for (m = 0; m < 1440; m++) printf "%02d:%02d:00;7,%02d;6,80;7,20;12,3;5;20;off;on\n", m / 60, m % 60, m % 40 }' |
  sed 's/$/\r/' >"$work/logs/2016-10-01 {000000}    2016-10-01 {235900}.csv"
/usr/bin/tarlo02-history --csv "$work/merged.csv" "$work/logs" 2>"$work/history.err" ||
  { cat "$work/history.err" >&2; fail "tarlo02-history --csv failed"; }
[ "$(wc -l <"$work/merged.csv")" -eq 1441 ] || fail "tarlo02-history --csv wrote $(wc -l <"$work/merged.csv") lines, not 1441"
grep -q "^2016-10-01;12:00:00;7,00;" "$work/merged.csv" || fail "tarlo02-history --csv: the row of 12:00 is not as logged"
/usr/bin/tarlo02-history --csv "$work/daily.csv" --daily "$work/logs" 2>"$work/history.err" ||
  { cat "$work/history.err" >&2; fail "tarlo02-history --csv --daily failed"; }
grep -q "^2016-10-01;1440;" "$work/daily.csv" || fail "tarlo02-history --daily: no line for the day"

# The windows, offscreen, for a few seconds each: still running when the time is up.
for program in Tarlo01 tarlo02-history; do
  mkdir -p "$work/run-$program"
  set +e
  (cd "$work/run-$program" && QT_QPA_PLATFORM=offscreen timeout 4 "/usr/bin/$program" >"$work/window.log" 2>&1)
  code=$?
  set -e
  [ "$code" -eq 124 ] || { cat "$work/window.log" >&2; fail "$program ended with $code before its time was up"; }
done

echo "checking the desktop integration"
for size in 16 22 24 32 48 64 128 256; do
  for icon in tarlo01 tarlo02-history; do
    [ -f "/usr/share/icons/hicolor/${size}x$size/apps/$icon.png" ] || fail "no $size px icon $icon"
  done
done
for icon in tarlo01 tarlo02-history; do
  [ -f "/usr/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "no scalable icon $icon"
done
grep -q "^text/csv=.*tarlo02-history.desktop" /usr/share/applications/mimeinfo.cache ||
  fail "the viewer is not offered for text/csv (mimeinfo.cache)"
for page in Tarlo01 tarlo02-history tarlo02-sim tarlo02-logd; do
  [ -f "/usr/share/man/man1/$page.1.gz" ] || fail "no manual page for $page"
done

echo "checking the service's installation"
IFS=: read -r _ _ uid _ gecos home shell < <(getent passwd tarlo02) || fail "no user tarlo02"
[ "$uid" -lt 1000 ] || fail "tarlo02 is not a system user (uid $uid)"
[ "$home" = /var/lib/tarlo02 ] || fail "tarlo02's home is $home"
id -nG tarlo02 | tr ' ' '\n' | grep -qx dialout || fail "tarlo02 is not in the dialout group"
[ "$(stat -c %U:%G /var/lib/tarlo02)" = tarlo02:tarlo02 ] || fail "/var/lib/tarlo02 is not tarlo02's"
dpkg-query -W -f='${Conffiles}' tarlo02-logd | grep -q " /etc/tarlo02/logd.ini " ||
  fail "/etc/tarlo02/logd.ini is not a configuration file of tarlo02-logd"
unit=/lib/systemd/system/tarlo02-logd.service
[ -f "$unit" ] || fail "no unit $unit"
[ -L /etc/systemd/system/multi-user.target.wants/tarlo02-logd.service ] || fail "the unit is not enabled"
systemd-analyze verify "$unit" >"$work/verify.log" 2>&1 || { cat "$work/verify.log" >&2; fail "systemd-analyze verify $unit"; }
grep -q "tarlo02-logd" "$work/verify.log" && { cat "$work/verify.log" >&2; fail "systemd-analyze has remarks on $unit"; }
# The example configuration: the unit's condition skips the start, and the service itself,
# started by hand with it, refuses to run without a port.
condition=$(sed -n 's/^ExecCondition=//p' "$unit")
[ -n "$condition" ] || fail "the unit has no start condition"
if eval "$condition"; then fail "the unit would start with the example configuration"; fi
set +e
/usr/bin/tarlo02-logd --config /etc/tarlo02/logd.ini >/dev/null 2>"$work/logd.err"
code=$?
set -e
[ "$code" -eq 2 ] && grep -q "no port" "$work/logd.err" || fail "tarlo02-logd with the example configuration: exit $code"

echo "purging the packages"
# shellcheck disable=SC2086 # one package name a word
apt-get purge -y -qq $brought >"$work/apt.log" 2>&1 || { cat "$work/apt.log" >&2; fail "purging failed"; }
snapshot >"$work/after.txt"
if ! diff -u "$work/before.txt" "$work/after.txt" >"$work/left.diff"; then
  cat "$work/left.diff" >&2
  fail "the purge left the system's files other than it found them"
fi
[ "$(getent passwd tarlo02 || true)" = "$user_before" ] || fail "the user tarlo02 is not as before the installation"
[ -n "$user_before" ] || ! getent group tarlo02 >/dev/null || fail "the group tarlo02 is left"
echo "packages checked: $(du -k "$desktop_deb" | cut -f1) KiB and $(du -k "$service_deb" | cut -f1) KiB"
