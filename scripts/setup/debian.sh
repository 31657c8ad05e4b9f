#!/usr/bin/env bash
# Installs everything the build, the tests and the simulator need on a fresh Debian 12 machine.
set -euo pipefail
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
# Progress on standard error: what is being done, how long it usually takes, how long it took.
step() { echo "setup: $* (at ${SECONDS} s)" >&2; }
step "1/3 reading the package lists (usually under 30 s)"
$SUDO apt-get update -qq
step "2/3 installing the compilers, CMake, GoogleTest, libxml2, MinGW and Wine (3 to 5 minutes on a fresh machine, seconds when installed)"
$SUDO apt-get install -y -qq --no-install-recommends \
  build-essential cmake ninja-build pkg-config git python3 \
  googletest libgtest-dev libgmock-dev libbenchmark-dev libxml2-dev xxd \
  clang libclang-rt-14-dev \
  mingw-w64 mingw-w64-tools wine64 libwine-dev xvfb xauth python3-markdown clang-format >/dev/null

# tmux: the live dashboard's tests run the simulator in a tmux pane and read its screens.
$SUDO apt-get install -y -qq --no-install-recommends tmux >/dev/null

# The Debian packages (scripts/release/package-debian.sh), their lintian check, and the fresh
# Debian 12 root they are installed in (scripts/setup/debian-root.sh).
$SUDO apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends \
  dpkg-dev debhelper fakeroot lintian mmdebstrap >/dev/null

step "3/3 installing LinuxCNC for the k4-linuxcnc bridge (about 2 minutes on a fresh machine)"
# LinuxCNC for the k4-linuxcnc bridge and its tests (~2 minutes on a fresh machine). The dev
# headers include <boost/noncopyable.hpp> without depending on boost; the bridge brings its own
# stand-in for that one header (tools/linuxcnc/shim).
$SUDO apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends \
  linuxcnc-uspace linuxcnc-uspace-dev >/dev/null
step "done in ${SECONDS} s"
