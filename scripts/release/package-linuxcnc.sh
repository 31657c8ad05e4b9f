#!/usr/bin/env bash
# The LinuxCNC bridge's own archive (it links GPL libraries, so it ships apart from the MIT
# packages): dist/orvane-k4-linuxcnc-VERSION-linux-x86_64.tar.gz with k4-linuxcnc, the plug-in
# it loads, the udev rule, the example INI lines, the bridge's GPL licence and the project's MIT
# licence, and SHA256SUMS. Built from the posix preset; needs LinuxCNC's development files.
set -euo pipefail
cd "$(dirname "$0")/../.."
version=$(sed -n 's/^project(OrvaneK4 VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
name="orvane-k4-linuxcnc-$version-linux-x86_64"
cmake --preset posix >/dev/null
cmake --build --preset posix -j "${K4_JOBS:-$(nproc)}" --target k4-linuxcnc Orvane_K4 >/dev/null
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir -p "$stage/$name" dist
install -m 755 -s build/posix/tools/linuxcnc/k4-linuxcnc "$stage/$name/"
install -m 644 -s build/posix/Orvane_K4.so "$stage/$name/"
install -m 644 packaging/udev/70-orvane-k4.rules "$stage/$name/"
install -m 644 tools/linuxcnc/LICENSE "$stage/$name/LICENSE"
install -m 644 LICENSE "$stage/$name/LICENSE.plugin"
install -m 644 tools/linuxcnc/INI-lines.txt "$stage/$name/INI-lines.txt"
(cd "$stage/$name" && sha256sum -- * >SHA256SUMS)
tar -C "$stage" --owner=0 --group=0 --sort=name -czf "dist/$name.tar.gz" "$name"
echo "dist/$name.tar.gz"
