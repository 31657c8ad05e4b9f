#!/usr/bin/env bash
# Fails when a C++ file of the project is not in the format of the root .clang-format.
#   scripts/check/format.sh [--fix]
set -euo pipefail
cd "$(dirname "$0")/../.."
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  mapfile -t files < <(git ls-files '*.cpp' '*.h')
else
  mapfile -t files < <(find src tests tools bench fuzz -name '*.cpp' -o -name '*.h' 2>/dev/null)
fi
if [ "${1:-}" = "--fix" ]; then
  clang-format -i "${files[@]}"
else
  clang-format --dry-run -Werror "${files[@]}"
fi
