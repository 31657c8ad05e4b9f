#!/usr/bin/env bash
# Checks the release packages that scripts/release/package.sh left in dist/, the way a user meets
# them: unpacked into an empty folder. Each archive must hold exactly its files, every checksum must
# match, the guide's pictures must all be there, the Windows module must be a 32-bit DLL that
# exports every entry point and needs nothing beyond the system's DLLs, the Linux module must
# export its entry points, and the packaged simulator must run its demo on the packaged plug-in.
#   scripts/check/package.sh            (after scripts/release/package.sh)
set -uo pipefail
cd "$(dirname "$0")/../.." || exit 1
version=$(sed -n 's/^project(OrvaneK4 VERSION \([0-9][0-9.]*\).*/\1/p' CMakeLists.txt)
windows_name="orvane-k4-$version-windows-i686"
linux_name="orvane-k4-$version-linux-x86_64"
python=$(command -v /usr/bin/python3 || command -v python3)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

. scripts/check/checks.sh  # the working folder is the checkout (above)

# The files an unpacked folder must hold: the given ones, plus every picture its guide shows.
expected_files() {  # folder file...
  local dir=$1
  shift
  printf '%s\n' "$@" USER_GUIDE.html LICENSE SHA256SUMS
  [ -f "$dir/USER_GUIDE.html" ] && grep -o '<img[^>]* src="[^"]*"' "$dir/USER_GUIDE.html" |
    sed 's/.* src="\([^"]*\)"/\1/'
}
same_files() {  # folder file...
  local dir=$1
  diff <(expected_files "$@" | LC_ALL=C sort -u) \
    <(cd "$dir" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
}
# SHA256SUMS names every other file of the folder, and every sum matches (read as a Windows user
# reads the zip's, whatever its line endings).
sums_match() {
  local dir=$1
  diff <(cd "$dir" && find . -type f ! -name SHA256SUMS | sed 's|^\./||' | LC_ALL=C sort) \
    <(sed 's/\r$//; s/^[0-9a-f]*  //' "$dir/SHA256SUMS" | LC_ALL=C sort) &&
    (cd "$dir" && sed 's/\r$//' SHA256SUMS | sha256sum --strict -c --quiet -)
}
# Every line of the file ends with CR LF (with_crlf), or none does (without_crlf).
with_crlf() { [ -s "$1" ] && ! grep -qv $'\r$' "$1"; }
without_crlf() { ! grep -q $'\r$' "$1"; }
# The rendered guide, with no link to a file that is not shipped and no link inside the page
# that leads nowhere.
guide_readable() {
  local page=$1/USER_GUIDE.html anchor
  if ! grep -q '<title>Orvane K4' "$page" || ! grep -q 'Troubleshooting' "$page" ||
    ! grep -q 'Jog OFF.' "$page"; then
    echo "not the rendered user guide"
    return 1
  fi
  # The pictures the simulator draws: the tuning chart and the demo session.
  for picture in tuning-chart.svg demo-session.svg; do
    grep -q "src=\"images/$picture\"" "$page" || { echo "the guide does not show $picture"; return 1; }
  done
  if grep -o 'href="[^"#]*\.md[#"]' "$page"; then echo "links to Markdown files"; return 1; fi
  # The archives hold no scripts: the guide must not send the user to one.
  if grep -o 'scripts/[a-z/-]*' "$page"; then echo "names scripts the archives do not hold"; return 1; fi
  for anchor in $(grep -o 'href="#[^"]*"' "$page" | sed 's/href="#\(.*\)"/\1/' | sort -u); do
    grep -q "id=\"$anchor\"" "$page" || { echo "no target for #$anchor"; return 1; }
  done
}
# No Markdown list item the renderer ran into a paragraph: a line of a <p> that starts as a list
# item ("- ", "* ", "1. ") was meant as one, and shows as literal text.
lists_rendered() {  # folder
  "$python" - "$1/USER_GUIDE.html" <<'PY'
import re, sys
page = open(sys.argv[1], encoding="utf-8").read()
bad = [line.strip() for paragraph in re.findall(r"<p>(.*?)</p>", page, re.S)
       for line in paragraph.splitlines()[1:] if re.match(r"\s*([-*+]|\d+\.)\s", line)]
for line in bad:
    print("a list item run into a paragraph:", line[:100])
sys.exit(1 if bad else 0)
PY
}
has_exports() {  # module name...
  local module=$1
  shift
  local exported
  exported=$(nm -D --defined-only "$module" | awk '{print $3}')
  for name in "$@"; do grep -qx "$name" <<<"$exported" || { echo "missing export: $name"; return 1; }; done
}
# The programs need no newer glibc or libstdc++ than the guide says they do.
needs_what_guide_says() {  # folder program...
  local dir=$1 need said
  shift
  for kind in GLIBC GLIBCXX; do
    said=$(tr '\n' ' ' <"$dir/USER_GUIDE.html" |
      grep -o "$([ $kind = GLIBC ] && echo glibc || echo GLIBCXX) [0-9][0-9.]*[0-9]" | head -1 |
      awk '{print $2}')
    [ -n "$said" ] || { echo "the guide does not say which $kind the programs need"; return 1; }
    for program in "$@"; do
      need=$(objdump -T "$dir/$program" | grep -o "${kind}_[0-9.]*" | sed "s/${kind}_//" | sort -V | tail -1)
      if [ -n "$need" ] && [ "$(printf '%s\n%s\n' "$need" "$said" | sort -V | tail -1)" != "$said" ]; then
        echo "$program needs $kind $need, the guide says $said"
        return 1
      fi
    done
  done
}
is_pe_i386() { i686-w64-mingw32-objdump -f "$1" | grep -q 'file format pei-i386'; }
is_elf_x86_64() { readelf -h "$1" | grep -q 'Class: *ELF64' && readelf -h "$1" | grep -q 'Machine: .*X86-64'; }
executable() { for f in "$@"; do [ -x "$f" ] || { echo "not executable: $f"; return 1; }; done; }
# The name the host lists the plug-in by, asked from the module itself (which also creates the
# profile file it is handed).
names_itself() {  # module expected-name
  local name
  name=$("$python" -c 'import ctypes, sys
module = ctypes.CDLL(sys.argv[1])
module.SetProName.restype = ctypes.c_char_p
module.SetProName.argtypes = [ctypes.c_char_p]
print(module.SetProName(sys.argv[2].encode()).decode())' "$1" "$work/profile.xml") || return 1
  [ "$name" = "$2" ] || { echo "named \"$name\", not \"$2\""; return 1; }
}
demo_runs() {  # folder
  local dir=$1
  (cd "$dir" && ./k4-hostsim --plugin "$dir/Orvane_K4.so" --demo) >"$work/demo" 2>&1 ||
    { cat "$work/demo"; return 1; }
  grep -q 'G91G1' "$work/demo" || { echo "the demo sent no jog line"; head "$work/demo"; return 1; }
}

echo "check-package: dist/ for version $version"
bridge_name="orvane-k4-linuxcnc-$version-linux-x86_64"
archives="$windows_name.zip $linux_name.tar.gz"
# The bridge's archive is made where the posix build has the bridge.
[ -d build/posix/tools/linuxcnc/CMakeFiles/k4-linuxcnc.dir ] && archives+=" $bridge_name.tar.gz"
check "dist/SHA256SUMS matches every archive ($archives)" \
  bash -c "cd dist && diff <(awk '{print \$2}' SHA256SUMS | sort) \
    <(printf '%s\n' $archives | sort) && sha256sum --strict -c --quiet SHA256SUMS"

# ---- Windows ------------------------------------------------------------------------------------
mkdir -p "$work/win"
check "$windows_name.zip unpacks into one folder" \
  bash -c "'$python' -m zipfile -e 'dist/$windows_name.zip' '$work/win' &&
           [ \"\$(ls '$work/win')\" = '$windows_name' ]"
win="$work/win/$windows_name"
check "the zip holds exactly the DLL, the guide with its pictures, LICENSE, SHA256SUMS" \
  same_files "$win" Orvane_K4.dll
check "every file's checksum in the zip's SHA256SUMS" sums_match "$win"
check "the zip's SHA256SUMS has Windows line endings (older Notepad shows it line by line)" \
  with_crlf "$win/SHA256SUMS"
check "Orvane_K4.dll is a 32-bit (i686) Windows module" is_pe_i386 "$win/Orvane_K4.dll"
check "Orvane_K4.dll exports every entry point and imports only system DLLs" \
  cmake -DCHECK=exports -DOBJDUMP=i686-w64-mingw32-objdump -DMODULE="$win/Orvane_K4.dll" \
  -P cmake/CheckWindowsModule.cmake
check "Orvane_K4.dll imports nothing that Windows XP SP3 lacks" \
  cmake -DCHECK=xp-imports -DOBJDUMP=i686-w64-mingw32-objdump -DMODULE="$win/Orvane_K4.dll" \
  -P cmake/CheckWindowsModule.cmake
check "the zip's guide is the rendered user guide" guide_readable "$win"
check "the zip's guide checks the DLL with certutil, not PowerShell 4's Get-FileHash" \
  bash -c "grep -q 'certutil -hashfile Orvane_K4.dll SHA256' '$win/USER_GUIDE.html' &&
           ! grep -q 'Get-FileHash' '$win/USER_GUIDE.html'"
check "the zip's guide renders every list item as a list item" lists_rendered "$win"
check "the zip's LICENSE is the project's" cmp LICENSE "$win/LICENSE"

# ---- Linux --------------------------------------------------------------------------------------
mkdir -p "$work/lin"
check "$linux_name.tar.gz unpacks into one folder" \
  bash -c "tar -xzf 'dist/$linux_name.tar.gz' -C '$work/lin' && [ \"\$(ls '$work/lin')\" = '$linux_name' ]"
lin="$work/lin/$linux_name"
check "the tarball holds exactly the module, the simulator, the udev rule, the guide, LICENSE, SHA256SUMS" \
  same_files "$lin" Orvane_K4.so k4-hostsim 70-orvane-k4.rules
check "every file's checksum in the tarball's SHA256SUMS" sums_match "$lin"
check "the tarball's SHA256SUMS has Unix line endings (sha256sum -c reads it)" \
  without_crlf "$lin/SHA256SUMS"
check "Orvane_K4.so and k4-hostsim are x86-64 programs and executable" \
  bash -c "$(declare -f is_elf_x86_64 executable); is_elf_x86_64 '$lin/Orvane_K4.so' &&
           is_elf_x86_64 '$lin/k4-hostsim' && executable '$lin/Orvane_K4.so' '$lin/k4-hostsim'"
check "Orvane_K4.so exports the host's entry points" has_exports "$lin/Orvane_K4.so" \
  SetDoButton SetSetDRO SetGetDRO SetGetLED SetSetLED SetCode SetProName InitControl \
  PostInitControl Config Update StopPlug DoDwell Reset JogOn JogOff Purge Probe Home
check "Orvane_K4.so names itself as the guide says, with version $version" \
  names_itself "$lin/Orvane_K4.so" "Orvane_K4 Pendant --Tarnwick Ver $version"
check "the guide says which glibc and GLIBCXX the programs need, and they need no newer" \
  needs_what_guide_says "$lin" Orvane_K4.so k4-hostsim
check "the packaged simulator runs its demo on the packaged plug-in" demo_runs "$lin"
check "the packaged simulator draws its demo as an SVG picture" \
  bash -c "cd '$lin' && ./k4-hostsim --plugin '$lin/Orvane_K4.so' --plot '$work/demo.svg' >/dev/null &&
           '$python' -c 'import sys, xml.etree.ElementTree as e; sys.exit(e.parse(sys.argv[1]).getroot().tag != \"{http://www.w3.org/2000/svg}svg\")' '$work/demo.svg'"
check "the udev rule is the project's" cmp packaging/udev/70-orvane-k4.rules "$lin/70-orvane-k4.rules"
check "the tarball's guide is the rendered user guide" guide_readable "$lin"
check "the tarball's guide renders every list item as a list item" lists_rendered "$lin"
check "the tarball's LICENSE is the project's" cmp LICENSE "$lin/LICENSE"

# ---- The LinuxCNC bridge ------------------------------------------------------------------------
if [[ " $archives " == *" $bridge_name.tar.gz "* ]]; then
  mkdir -p "$work/bridge"
  check "$bridge_name.tar.gz unpacks into one folder" \
    bash -c "tar -xzf 'dist/$bridge_name.tar.gz' -C '$work/bridge' && [ \"\$(ls '$work/bridge')\" = '$bridge_name' ]"
  bridge="$work/bridge/$bridge_name"
  check "the bridge's archive holds the bridge, the plug-in, the rule, the INI lines, both licences" \
    diff <(printf '%s\n' k4-linuxcnc Orvane_K4.so 70-orvane-k4.rules INI-lines.txt LICENSE \
             LICENSE.plugin SHA256SUMS | LC_ALL=C sort) <(ls "$bridge" | LC_ALL=C sort)
  check "every file's checksum in the bridge's SHA256SUMS" sums_match "$bridge"
  check "the bridge's LICENSE is its GPL notice" cmp tools/linuxcnc/LICENSE "$bridge/LICENSE"
fi

checks_summary check-package
