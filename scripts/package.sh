#!/usr/bin/env bash
# Builds the Debian packages, the way Debian builds them (debian/: debhelper with CMake,
# dpkg-buildpackage), from a clean copy of the tree, and puts the .deb files in build-deb/:
#
#   tarlo02_<version>_amd64.deb        the window, the history viewer and the simulator
#   tarlo02-logd_<version>_amd64.deb   the service, its user, unit and configuration
#
#   bash scripts/package.sh                 this machine's architecture, both packages
#   bash scripts/package.sh --arch arm64    both, cross-built for a Raspberry Pi (64-bit),
#                                           into build-deb-arm64/; the widget-free suites run
#                                           under qemu-user (all but the service's end-to-end
#                                           suite, which qemu-user cannot run: debian/rules)
#   bash scripts/package.sh --revision 2 [--service-only]
#                                           a Debian rebuild, version <version>-2 (a changelog
#                                           entry added to the copy), into build-deb-rev2/;
#                                           --service-only builds tarlo02-logd alone
#                                           (the build profile pkg.tarlo02.nodesktop)
#
# Installs what it needs with apt-get: the packaging tools, and the build dependencies that
# debian/control names (for --arch arm64 the :arm64 ones, after adding the architecture to
# dpkg). Dependencies of the packages come from their binaries (dpkg-shlibdeps).
# The amd64 packages are built without their tests (nocheck): CI runs every test before
# (scripts/test.sh). PACKAGE_CHECK=1 builds with them. The compiler's whole output goes to
# <out>/build.log. Run as root with PACKAGE_CHECK=1, it installs as root but builds and tests as
# the plain user nobody, as Debian's build machines do.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

host=$(dpkg --print-architecture)
arch=$host
revision=""
service_only=""
while [ $# -gt 0 ]; do
  case "$1" in
  --arch) arch=${2:?--arch needs an architecture}; shift 2 ;;
  --revision) revision=${2:?--revision needs a number}; shift 2 ;;
  --service-only) service_only=1; shift ;;
  *) echo "usage: bash scripts/package.sh [--arch ARCH] [--revision N [--service-only]]" >&2; exit 2 ;;
  esac
done

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
apt_log=$(mktemp)
trap 'rm -f "$apt_log"' EXIT

if [ "$arch" = "$host" ]; then
  out=build-deb
  profiles=nocheck
  build_options="nocheck noautodbgsym"
  if [ -n "${PACKAGE_CHECK:-}" ]; then
    profiles=""
    build_options="noautodbgsym"
  fi
  cross=()
else
  # Cross-built with Debian's multiarch packages; the tests run under qemu-user (cross).
  out=build-deb-$arch
  profiles=cross
  build_options="noautodbgsym crossbuildcanrunhostbinaries"
  cross=(-a "$arch")
  if ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
    echo "adding the architecture $arch to dpkg"
    $SUDO dpkg --add-architecture "$arch"
    $SUDO apt-get update -qq >"$apt_log" 2>&1 || { cat "$apt_log" >&2; exit 1; }
  fi
fi

[ -z "$revision" ] || out=$out-rev$revision
if [ -n "$service_only" ]; then
  profiles="${profiles:+$profiles,}pkg.tarlo02.nodesktop"
fi

# The packaging tools; for a cross build the cross compiler and qemu-user.
tools=(debhelper dpkg-dev fakeroot build-essential)
[ "$arch" = "$host" ] || tools+=("crossbuild-essential-$arch" qemu-user-static)
source scripts/apt.sh
install_missing "${tools[@]}"

# A clean copy of the tree: the files git knows (as they are in the working tree), nothing
# built. Outside a git checkout, everything but the build folders. The copy is made in $stage,
# where dpkg-buildpackage also leaves the packages, and they are taken to $out:
#   - a build with its tests run by root runs as the plain user nobody, as Debian's build
#     machines build, so a test that passes only as root fails here too; its copy is then where
#     nobody may write whatever folder holds the tree, at a fixed place (and with a compiler
#     cache of nobody's own) so the next build finds its objects again;
#   - a rebuild with a revision is made in the same place as the build without one, so the
#     compiler cache serves it.
version=$(sed -n 's/^project(Tarlo01 VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
package_version=$version${revision:+-$revision}
stage=$root/${out%-rev*}
as_builder=()
if [ "$(id -u)" -eq 0 ] && [ -n "${PACKAGE_CHECK:-}" ] && [ "$arch" = "$host" ]; then
  stage=/var/tmp/tarlo02-build/$out
  as_builder=(setpriv --reuid=nobody --regid=nogroup --clear-groups --reset-env env HOME="$stage/home")
fi
src="$stage/tarlo02-$version"
echo "copying the tree to $src"
mkdir -p "$out" "$stage"
find "$stage" -mindepth 1 -maxdepth 1 -type d -name 'tarlo02-*' -exec rm -rf {} +
mkdir -p "$src"
rm -f "$out"/*.deb "$out"/*.changes "$out"/*.buildinfo
rm -f "$stage"/*_"$package_version"_*.deb "$stage"/*_"$package_version"_*.changes "$stage"/*_"$package_version"_*.buildinfo
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  git ls-files -z --cached --others --exclude-standard |
    while IFS= read -r -d '' f; do [ -e "$f" ] && printf '%s\0' "$f"; done |
    tar --null -T - -cf - | tar -xf - -C "$src"
else
  tar --exclude='./build*' --exclude=./run -cf - . | tar -xf - -C "$src"
fi
if [ -n "$revision" ]; then
  # A Debian rebuild of the same source: a changelog entry with the revision on top.
  {
    printf 'tarlo02 (%s-%s) unstable; urgency=medium\n\n  * Rebuild.\n\n' "$version" "$revision"
    printf ' -- %s  %s\n\n' "$(cd "$src" && dpkg-parsechangelog -S Maintainer)" "$(cd "$src" && dpkg-parsechangelog -S Date)"
    cat "$src/debian/changelog"
  } >"$src/debian/changelog.new"
  mv "$src/debian/changelog.new" "$src/debian/changelog"
fi

# The build dependencies debian/control names, for these profiles and this architecture.
profile_args=()
[ -n "$profiles" ] && profile_args=(-P "$profiles")
if ! (cd "$src" && dpkg-checkbuilddeps "${cross[@]}" "${profile_args[@]}" >/dev/null 2>&1); then
  echo "installing the build dependencies of debian/control${profiles:+ (profiles $profiles)}"
  if ! $SUDO apt-get build-dep -y -qq --no-install-recommends "${cross[@]}" "${profile_args[@]}" "$src" \
    >"$apt_log" 2>&1; then
    cat "$apt_log" >&2
    echo "installing the build dependencies failed" >&2
    exit 1
  fi
fi

# ccache keeps rebuilds short; debhelper gives the build a HOME of its own, so the cache is
# named here (nobody's own, beside its copy, when root builds).
if command -v ccache >/dev/null; then
  export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache
  if [ ${#as_builder[@]} -gt 0 ]; then
    CCACHE_DIR=/var/tmp/tarlo02-build/ccache
    mkdir -p "$CCACHE_DIR"
    as_builder+=(CCACHE_DIR="$CCACHE_DIR" CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache)
  else
    CCACHE_DIR=$(ccache -k cache_dir)
  fi
  export CCACHE_DIR
fi
if [ ${#as_builder[@]} -gt 0 ]; then
  mkdir -p "$stage/home"
  chown -R nobody:nogroup /var/tmp/tarlo02-build
fi

echo "building the packages for $arch${profiles:+ (profiles $profiles)} (the whole output: $out/build.log)"
started=$(date +%s)
if ! (cd "$src" && "${as_builder[@]}" env DEB_BUILD_OPTIONS="$build_options" dpkg-buildpackage -b -us -uc -Jauto "${cross[@]}" \
  ${profiles:+"--build-profiles=$profiles"}) >"$out/build.log" 2>&1; then
  grep -E "^(dh_[a-z_]+|dpkg-[a-z]+): (error|warning)|CMake Error|: error:|^FAILED:|\*\*\*Failed" -A4 \
    "$out/build.log" | head -n 60 >&2 || tail -n 40 "$out/build.log" >&2
  echo "building the packages failed; the whole output is in $out/build.log" >&2
  exit 1
fi
if [ "$stage" != "$root/$out" ]; then
  mv "$stage"/*_"$package_version"_*.deb "$stage"/*_"$package_version"_*.changes \
    "$stage"/*_"$package_version"_*.buildinfo "$out"/
fi
for deb in "$out"/*.deb; do
  echo "built $deb ($(du -k "$deb" | cut -f1) KiB)"
done
if [ "$arch" = "$host" ]; then
  echo "packages built in $(($(date +%s) - started)) s; install with: apt-get install $root/$out/*.deb"
else
  echo "packages built in $(($(date +%s) - started)) s; on the $arch machine: apt-get install ./<the .deb file>"
fi
