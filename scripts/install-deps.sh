#!/usr/bin/env bash
# Installs the Debian 12 packages the project needs to build, run and test.
set -euo pipefail
packages=(
  cmake g++ make ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  qt6-svg-dev desktop-file-utils
  libjpeg62-turbo-dev libfontconfig-dev
  libgtest-dev libgmock-dev
  clang libclang-rt-14-dev
  fonts-liberation fonts-dejavu-core
  xvfb xauth
  ccache
  libmosquitto-dev mosquitto mosquitto-clients openssl
  locales
)
source "$(dirname "$0")/apt.sh"
install_missing "${packages[@]}"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
# A locale with a decimal comma, so the tests can check that the process locale changes nothing.
if ! locale -a 2>/dev/null | grep -qix 'pl_PL.utf8'; then
  echo "making the locale pl_PL.UTF-8"
  $SUDO localedef -i pl_PL -c -f UTF-8 pl_PL.UTF-8
fi
