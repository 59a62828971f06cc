#!/usr/bin/env bash
# Formats the C++ sources with the committed .clang-format; with --check, only says which files
# differ from it and fails when any does (scripts/test.sh runs that, so CI does).
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.h' '*.cpp' | grep -vE '^(build|out)/')
if [ "${1:-}" = "--check" ]; then
  bad=()
  for f in "${files[@]}"; do
    clang-format --dry-run -Werror "$f" >/dev/null 2>&1 || bad+=("$f")
  done
  if [ ${#bad[@]} -gt 0 ]; then
    echo "Not formatted with .clang-format (run scripts/format.sh):" >&2
    printf '  %s\n' "${bad[@]}" >&2
    exit 1
  fi
  exit 0
fi
clang-format -i "${files[@]}"
