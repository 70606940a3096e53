#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test headless: bash scripts/test.sh [preset]
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-default}
bash scripts/build.sh "$preset"
export QT_QPA_PLATFORM=offscreen
ctest --preset "$preset" -j "$(nproc)"
