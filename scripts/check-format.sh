#!/usr/bin/env bash
# Checks that every C++ file is formatted with .clang-format (Debian's clang-format); with
# --fix, formats them instead.
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v clang-format >/dev/null; then
  as_root=()
  [[ $(id -u) -ne 0 ]] && as_root=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${as_root[@]}" apt-get update -q
  "${as_root[@]}" apt-get install -y -q --no-install-recommends clang-format
fi
mapfile -t files < <(git ls-files --cached --others --exclude-standard '*.cpp' '*.h' | while read -r f; do [[ -f $f ]] && echo "$f"; done)
if [[ "${1:-}" == "--fix" ]]; then
  clang-format -i "${files[@]}"
  exit 0
fi
clang-format --version
clang-format --dry-run --Werror "${files[@]}"
echo "All ${#files[@]} C++ files are formatted."
