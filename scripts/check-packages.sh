#!/usr/bin/env bash
# Builds the Debian packages (scripts/package.sh) and checks them as a user would meet them:
#   - lintian: no errors, and no warnings but the ones debian/*.lintian-overrides keep;
#   - the desktop entries (desktop-file-validate) and the AppStream metadata with the entries
#     and icons beside it (appstreamcli validate-tree --no-net);
#   - the service package depends on no GUI library;
#   - built (with PACKAGE_CHECK=1 with their tests, run as a plain user), and the service's
#     package rebuilt with a Debian revision (<version>-2);
#   - the programs the service's unit starts come from essential packages or declared ones;
#   - installed with apt-get in a throwaway root (an overlay of this system in a mount
#     namespace, so this machine's own installation is never touched): every program runs from
#     /usr/bin and tells the packages' version, the viewer exports generated logs, the window
#     runs offscreen, the viewer is offered for text/csv, the icons are there at every size,
#     the service's user, folder, configuration and enabled unit are there and the unit passes
#     systemd-analyze verify; the unit's start condition skips the example configuration,
#     starts with a port named in /etc/tarlo02/logd.d/ and fails when the configuration cannot
#     be read; the unit names no log folder of its own;
#   - upgraded to the revision repacked with a changed default configuration, unattended: no
#     prompt, the new default in place, the administrator's settings, user and logs kept;
#   - purged: the file lists of the system before the installation and after the purge are the
#     same, the user is gone, the logs stay owned by root with their modes; a tarlo02 group
#     the administrator made before the installation stays.
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
install_missing lintian appstream desktop-file-utils systemd procps || fail "installing packages failed"

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
  # PACKAGE_CHECK=1 builds with the tests, run as a plain user (package.sh builds as nobody
  # when run as root).
  bash scripts/package.sh
  out=build-deb
  # A Debian rebuild (<version>-2) passes the version check; the service's package of it is
  # the newer release of the upgrade below.
  bash scripts/package.sh --revision 2 --service-only
  newer_deb=build-deb-rev2/tarlo02-logd_$version-2_$target.deb
  [ -f "$newer_deb" ] || fail "expected $newer_deb"
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


# The programs the service's unit starts are there on every system that has the package: each
# comes from an essential package or one the package depends on.
echo "the programs of the service's unit"
dpkg-deb -x "$service_deb" "$work/service"
depends=$(dpkg-deb -f "$service_deb" Depends)
for program in $(sed -n 's/^Exec[A-Za-z]*=[-+!@:]*\([^ ]*\).*/\1/p' "$work/service/lib/systemd/system/tarlo02-logd.service"); do
  case "$program" in /usr/bin/tarlo02-logd) continue ;; esac
  owner=$(dpkg -S "$program" 2>/dev/null | grep -v '^diversion' | sed -n 's/^\([^:,]*\)[:,].*/\1/p' | head -n 1)
  [ -n "$owner" ] || fail "the unit starts $program, which no installed package holds"
  [ "$(dpkg-query -W -f='${Essential}' "$owner")" = yes ] || grep -Eq "(^|, )$owner( |,|$)" <<<"$depends" ||
    fail "the unit starts $program of $owner, which tarlo02-logd does not depend on: $depends"
done

# The rest runs in a throwaway root: this system seen through an overlay in a mount namespace
# of its own, so what is installed, changed and purged there is gone when it ends, and a
# developer's own installation of the packages is never touched. The same is checked here.
host_state() {
  { dpkg-query -W -f='${Package} ${Version} ${Status}\n' 'tarlo02*' 2>/dev/null || true; } | sort
  md5sum /etc/passwd /etc/group
}
host_state >"$work/host-before.txt"
throwaway=$work/root
mkdir -p "$throwaway/upper" "$throwaway/work" "$throwaway/merged"
# shellcheck disable=SC2016 # expanded by the namespace's shell
unshare --mount --propagation private bash -euc '
  m=$1
  mount -t overlay overlay -o "lowerdir=/,upperdir=$2/upper,workdir=$2/work" "$m"
  mount --rbind /dev "$m/dev"
  mount -t proc proc "$m/proc"
  mount --rbind /sys "$m/sys"
  mount -t tmpfs tmpfs "$m/run"
  mount -t tmpfs tmpfs "$m/tmp"
  touch "$m/etc/tarlo02-throwaway-root"
  for d in "$3" "$4"; do mkdir -p "$m$d" && mount --bind "$d" "$m$d"; done
  exec chroot "$m" bash "$3/scripts/check-installed.sh" "$3" "$4" "$5" "$6" "$7" "$8"
' check "$throwaway/merged" "$throwaway" "$root" "$work" "$version" "$root/$desktop_deb" "$root/$service_deb" "$root/$newer_deb"
host_state >"$work/host-after.txt"
diff -u "$work/host-before.txt" "$work/host-after.txt" >&2 || fail "the check changed this machine's own packages or users"
echo "packages checked: $(du -k "$desktop_deb" | cut -f1) KiB and $(du -k "$service_deb" | cut -f1) KiB"
