#!/usr/bin/env bash
# Builds the release packages in dist/:
#   orvane-k4-<version>-windows-i686.zip     Orvane_K4.dll, USER_GUIDE.html + images, LICENSE,
#                                             SHA256SUMS (Windows line endings)
#   orvane-k4-<version>-linux-x86_64.tar.gz  Orvane_K4.so, k4-hostsim, 70-orvane-k4.rules,
#                                             USER_GUIDE.html + images, LICENSE, SHA256SUMS
#   orvane-k4-linuxcnc-<version>-linux-x86_64.tar.gz  the LinuxCNC bridge's own archive
#                                             (scripts/release/package-linuxcnc.sh), where the
#                                             posix build has the bridge
#   SHA256SUMS                                the checksums of the archives
# The version is the one in CMakeLists.txt's project(). The binaries come from the `windows`
# (Release, i686) and `posix` (RelWithDebInfo: the same optimised code with debug information)
# preset builds, the very ones the tests run; the packaged copies are stripped. Those builds are
# brought up to date first, but only for the packaged targets, so after scripts/test-all.sh this
# costs no compiling. Archives are reproducible: fixed order, owners and times (the last
# commit's time, or SOURCE_DATE_EPOCH).
#   scripts/release/package.sh            K4_JOBS=<n> limits the parallel build jobs
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
jobs=${K4_JOBS:-$(nproc)}

version=$(sed -n 's/^project(OrvaneK4 VERSION \([0-9][0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "package: no version in CMakeLists.txt's project()" >&2; exit 1; }
epoch=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || echo 0)}

# The Markdown module comes from Debian's python3-markdown, which serves the system's Python.
python=""
for candidate in /usr/bin/python3 python3; do
  if "$candidate" -c 'import markdown' 2>/dev/null; then python=$candidate; break; fi
done
[ -n "$python" ] || { echo "package: python3-markdown is missing (scripts/setup/debian.sh)" >&2; exit 1; }

log=$(mktemp)
trap 'rm -f "$log"' EXIT
build() {  # preset target...
  local preset=$1
  shift
  # Configuring an existing build folder is quick, and picks up targets added since.
  if ! cmake --preset "$preset" >"$log" 2>&1; then
    cat "$log" >&2
    return 1
  fi
  cmake --build --preset "$preset" -j "$jobs" --target "$@" >"$log" 2>&1 || { cat "$log" >&2; return 1; }
}
build windows Orvane_K4
build posix Orvane_K4 k4-hostsim

windows_name="orvane-k4-$version-windows-i686"
linux_name="orvane-k4-$version-linux-x86_64"
stage="$root/dist/stage"
rm -rf "$stage" "dist/$windows_name.zip" "dist/$linux_name.tar.gz" dist/SHA256SUMS
mkdir -p "$stage/$windows_name" "$stage/$linux_name"

guide="$stage/guide"
"$python" scripts/release/render-guide.py docs/USER_GUIDE.md "$guide" >/dev/null

# Stage one package folder: the guide and the licence, then the given files with their modes.
stage_common() {
  local dir=$1
  cp -r "$guide/." "$dir/"
  install -m 644 LICENSE "$dir/LICENSE"
}

win="$stage/$windows_name"
stage_common "$win"
# Stripping a Windows module stamps it with the time, unless told the time to use.
SOURCE_DATE_EPOCH=$epoch i686-w64-mingw32-strip --strip-unneeded -o "$win/Orvane_K4.dll" \
  build/windows/Orvane_K4.dll
chmod 644 "$win/Orvane_K4.dll"

lin="$stage/$linux_name"
stage_common "$lin"
strip --strip-unneeded -o "$lin/Orvane_K4.so" build/posix/Orvane_K4.so
strip --strip-unneeded -o "$lin/k4-hostsim" build/posix/tools/hostsim/k4-hostsim
chmod 755 "$lin/Orvane_K4.so" "$lin/k4-hostsim"
install -m 644 packaging/udev/70-orvane-k4.rules "$lin/70-orvane-k4.rules"

# Every file's checksum, in a form `sha256sum -c SHA256SUMS` checks inside the folder.
for dir in "$win" "$lin"; do
  find "$dir" -type d -exec chmod 755 {} +
  find "$dir" -type f ! -name SHA256SUMS -exec chmod go-w {} +
  (cd "$dir" && find . -type f | sed 's|^\./||' | LC_ALL=C sort | xargs -d '\n' sha256sum \
    >"$dir.sums")
  mv "$dir.sums" "$dir/SHA256SUMS"
  # Windows' Notepad before Windows 10 shows a file with Unix line endings as one line.
  [ "$dir" != "$win" ] || sed -i 's/$/\r/' "$dir/SHA256SUMS"
  chmod 644 "$dir/SHA256SUMS"
  find "$dir" -exec touch -h -d "@$epoch" {} +
done

mkdir -p dist
"$python" - "$stage" "$windows_name" "$root/dist/$windows_name.zip" "$epoch" <<'EOF'
import os, sys, time, zipfile
stage, name, target, epoch = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
stamp = time.gmtime(max(epoch, 315532800))[:6]  # zip times start in 1980
paths = []
for folder, dirs, files in os.walk(os.path.join(stage, name)):
    dirs.sort()
    paths += [os.path.join(folder, f) for f in sorted(files)]
with zipfile.ZipFile(target, "w", zipfile.ZIP_DEFLATED) as archive:
    for path in paths:
        info = zipfile.ZipInfo(os.path.relpath(path, stage), stamp)
        info.compress_type = zipfile.ZIP_DEFLATED
        info.external_attr = (os.stat(path).st_mode & 0o777 | 0o100000) << 16
        with open(path, "rb") as f:
            archive.writestr(info, f.read())
EOF
tar --sort=name --mtime="@$epoch" --owner=0 --group=0 --numeric-owner -C "$stage" -cf - \
  "$linux_name" | gzip -9n >"dist/$linux_name.tar.gz"
rm -rf "$stage"
# The LinuxCNC bridge's own archive, where the posix build has the bridge (LinuxCNC's
# development files installed).
archives=("$windows_name.zip" "$linux_name.tar.gz")
rm -f dist/orvane-k4-linuxcnc-*-linux-x86_64.tar.gz
if [ -d build/posix/tools/linuxcnc/CMakeFiles/k4-linuxcnc.dir ]; then
  scripts/release/package-linuxcnc.sh >/dev/null
  archives+=("orvane-k4-linuxcnc-$version-linux-x86_64.tar.gz")
fi
(cd dist && sha256sum "${archives[@]}" >SHA256SUMS)
(cd dist && ls -l "${archives[@]}" SHA256SUMS)
