#!/usr/bin/env bash
# Installs what is missing, builds, creates the library with samples when there is none,
# and opens the Quillbox window.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh default
bin=build/default/bin
"$bin/quillbox" init --samples
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  echo
  echo "There is no display here (DISPLAY is not set), so the window cannot open."
  echo "Run this from a desktop session to see it. Meanwhile the command line works:"
  echo
  "$bin/quillbox" --help
  exit 0
fi
exec "$bin/quillbox"
