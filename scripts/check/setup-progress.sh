#!/usr/bin/env bash
# The README's set-up and demo scripts say what they do as they go. Both run here with
# stand-ins for apt-get, sudo and cmake on PATH (nothing is installed or built): the set-up must
# name each of its parts and its end, the demo script the build's progress and, when the build
# fails, the build's own output and a non-zero exit.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
fake=$(mktemp -d)
trap 'rm -rf "$fake"' EXIT

printf '#!/bin/sh\nexit 0\n' >"$fake/apt-get"
printf '#!/bin/sh\nexec "$@"\n' >"$fake/sudo"
cat >"$fake/cmake" <<'STANDIN'
#!/bin/sh
# Configures nothing; "builds" 20 steps, then fails as a broken build does.
[ "$1" = "--build" ] || exit 0
i=1
while [ $i -le 20 ]; do echo "[$i/20] Building CXX object step$i.o"; i=$((i + 1)); done
echo "step20.cpp:1:1: error: the stand-in build fails"
exit 1
STANDIN
chmod +x "$fake/apt-get" "$fake/sudo" "$fake/cmake"

failures=0
expect() {  # expect WHAT PATTERN TEXT
  if ! grep -qE -- "$2" <<<"$3"; then
    echo "FAIL: $1: no line matching '$2' in:"
    echo "$3"
    failures=$((failures + 1))
  fi
}

setup=$(PATH="$fake:$PATH" "$root/scripts/setup/debian.sh" 2>&1)
expect "setup" '^setup: 1/3 .*\(usually .*\)' "$setup"
expect "setup" '^setup: 2/3 .*minutes' "$setup"
expect "setup" '^setup: 3/3 .*LinuxCNC' "$setup"
expect "setup" '^setup: done in [0-9]+ s' "$setup"

status=0
demo=$(PATH="$fake:$PATH" "$root/scripts/demo.sh" 2>&1) || status=$?
expect "demo" '^demo: configuring' "$demo"
expect "demo" '^demo: building .*minutes' "$demo"
expect "demo" '^demo:   2 of 20 build steps' "$demo"
expect "demo" '^demo:   20 of 20 build steps' "$demo"
expect "demo" 'error: the stand-in build fails' "$demo"
expect "demo" '^demo: the build failed' "$demo"
if [ "$status" -eq 0 ]; then
  echo "FAIL: demo: a failed build gave exit code 0"
  failures=$((failures + 1))
fi
steps=$(grep -c 'build steps' <<<"$demo" || true)
if [ "$steps" -ne 10 ]; then
  echo "FAIL: demo: $steps progress lines for 20 steps, expected 10 (one a tenth)"
  failures=$((failures + 1))
fi
echo "$failures failure(s)"
[ "$failures" -eq 0 ]
