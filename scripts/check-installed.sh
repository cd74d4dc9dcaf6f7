#!/usr/bin/env bash
# The installed-system part of scripts/check-packages.sh, run by it as root in a throwaway root
# (an overlay of the system in a mount namespace), never on a system of its own:
#
#   bash scripts/check-installed.sh ROOT WORK VERSION DESKTOP_DEB SERVICE_DEB NEWER_SERVICE_DEB
#
# ROOT is the source tree, WORK a folder for its files, NEWER_SERVICE_DEB a later build of the
# service's package, which is repacked here with a changed default configuration.
set -euo pipefail
root=$1 work=$2 version=$3 desktop_deb=$4 service_deb=$5 newer_deb=$6
export DEBIAN_FRONTEND=noninteractive
fail() { echo "check-packages (installed): $*" >&2; exit 1; }
[ -f /etc/tarlo02-throwaway-root ] || fail "this runs only in the throwaway root of check-packages.sh"
# Nothing started by the maintainer scripts here.
printf '#!/bin/sh\nexit 101\n' >/usr/sbin/policy-rc.d
chmod 755 /usr/sbin/policy-rc.d
cd /

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
brought=$(apt-get install -s "$desktop_deb" "$service_deb" 2>"$work/apt.log" | awk '/^Inst /{print $2}') ||
  { cat "$work/apt.log" >&2; fail "apt-get cannot install $desktop_deb and $service_deb"; }
apt-get install -y -qq --no-install-recommends "$desktop_deb" "$service_deb" >"$work/apt.log" 2>&1 ||
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
# The unit gives the service its configuration alone; the log folder is the configuration's.
grep -q '^ExecStart=.*--log-dir' "$unit" && fail "the unit's --log-dir would override the log-dir of logd.ini"
grep -Eq '^log-dir *= */var/lib/tarlo02$' /etc/tarlo02/logd.ini || fail "logd.ini does not name the log folder /var/lib/tarlo02"
# The start condition: the example configuration skips the start (exit 1 to 254), a port named
# in logd.d starts it (0), and a configuration that cannot be read fails it (255) and says so.
condition=$(sed -n 's/^ExecCondition=//p' "$unit")
[ -n "$condition" ] || fail "the unit has no start condition"
condition_exit() { set +e; eval "$condition" 2>"$work/condition.err"; echo $?; set -e; }
code=$(condition_exit)
[ "$code" -ge 1 ] && [ "$code" -le 254 ] || fail "the start condition gives $code with the example configuration, not a skip"
mv /etc/tarlo02/logd.ini "$work/logd.ini.kept"
code=$(condition_exit)
mv "$work/logd.ini.kept" /etc/tarlo02/logd.ini
[ "$code" -eq 255 ] && grep -q "cannot read /etc/tarlo02/logd.ini" "$work/condition.err" ||
  fail "the start condition gives $code without logd.ini, not a failure that says why"
set +e
/usr/bin/tarlo02-logd --config /etc/tarlo02/logd.ini >/dev/null 2>"$work/logd.err"
code=$?
set -e
[ "$code" -eq 2 ] && grep -q "no port" "$work/logd.err" || fail "tarlo02-logd with the example configuration: exit $code"
# The administrator's settings, and a log the service wrote.
echo "port = /dev/ttyUSB0" >/etc/tarlo02/logd.d/local.ini
[ "$(condition_exit)" -eq 0 ] || fail "the start condition does not start with a port named in logd.d"
log="/var/lib/tarlo02/2016-10-01 {000000}.csv"
printf 'Time;PH\r\n' >"$log"
chown tarlo02:tarlo02 "$log"
chmod 640 "$log"
user_installed=$(getent passwd tarlo02)

echo "upgrading the service unattended to a newer release with a changed default configuration"
dpkg-deb -R "$newer_deb" "$work/newer"
printf '\n# A default a newer release added.\nprefix = tarlo02\n' >>"$work/newer/etc/tarlo02/logd.ini"
dpkg-deb -b --root-owner-group "$work/newer" "$work/newer.deb" >/dev/null
apt-get install -y -qq --no-install-recommends "$work/newer.deb" </dev/null >"$work/apt.log" 2>&1 ||
  { cat "$work/apt.log" >&2; fail "the upgrade stopped"; }
[ "$(dpkg-query -W -f='${Version}' tarlo02-logd)" = "$version-2" ] || fail "tarlo02-logd is not $version-2 after the upgrade"
cmp -s /etc/tarlo02/logd.ini "$work/newer/etc/tarlo02/logd.ini" || fail "the upgrade did not bring the new logd.ini"
[ -z "$(find /etc/tarlo02 -name '*.dpkg-*')" ] || fail "the upgrade left $(find /etc/tarlo02 -name '*.dpkg-*')"
[ "$(cat /etc/tarlo02/logd.d/local.ini)" = "port = /dev/ttyUSB0" ] || fail "the upgrade changed logd.d/local.ini"
[ "$(getent passwd tarlo02)" = "$user_installed" ] || fail "the upgrade changed the user tarlo02"
[ "$(stat -c %U:%G:%a "$log")" = tarlo02:tarlo02:640 ] || fail "the upgrade changed the log"

echo "purging the packages"
# shellcheck disable=SC2086 # one package name a word
apt-get purge -y -qq $brought >"$work/apt.log" 2>&1 || { cat "$work/apt.log" >&2; fail "purging failed"; }
# The logs stay, owned by root with their modes: a system user made later may get tarlo02's
# number.
[ "$(stat -c %U:%G:%a "$log" 2>/dev/null)" = root:root:640 ] ||
  fail "the purge left the log as $(stat -c %U:%G:%a "$log" 2>&1), not root's with mode 640"
rm "$log"
rmdir /var/lib/tarlo02
snapshot >"$work/after.txt"
if ! diff -u "$work/before.txt" "$work/after.txt" >"$work/left.diff"; then
  cat "$work/left.diff" >&2
  fail "the purge left the system's files other than it found them"
fi
[ "$(getent passwd tarlo02 || true)" = "$user_before" ] || fail "the user tarlo02 is not as before the installation"
[ -n "$user_before" ] || ! getent group tarlo02 >/dev/null || fail "the group tarlo02 is left"

# A tarlo02 group the administrator made before the installation is theirs: it stays.
if [ -z "$user_before" ]; then
  echo "installing and purging beside a tarlo02 group made before"
  groupadd --system tarlo02
  group_before=$(getent group tarlo02)
  apt-get install -y -qq --no-install-recommends "$service_deb" >"$work/apt.log" 2>&1 ||
    { cat "$work/apt.log" >&2; fail "installing beside a tarlo02 group failed"; }
  [ "$(id -gn tarlo02)" = tarlo02 ] || fail "the user tarlo02 is not in the group made before"
  apt-get purge -y -qq tarlo02-logd >"$work/apt.log" 2>&1 || { cat "$work/apt.log" >&2; fail "purging failed"; }
  ! getent passwd tarlo02 >/dev/null || fail "the purge left the user tarlo02"
  [ "$(getent group tarlo02 || true)" = "$group_before" ] || fail "the purge removed the administrator's group tarlo02"
fi
echo "installed, upgraded and purged in a throwaway root"
