#!/usr/bin/env bash
# Checks that every C and C++ file of the project is formatted as .clang-format says;
# prints the files that are not and exits 1. `scripts/check-format.sh --fix` formats them.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.c' '*.cpp' '*.h')
if [ "${1:-}" = "--fix" ]; then
  clang-format -i "${files[@]}"
  exit 0
fi
clang-format --dry-run --Werror "${files[@]}"
