#!/usr/bin/env bash
# Configures and builds one preset (default, or the one named): bash scripts/build.sh [preset]
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-default}
bash scripts/install-deps.sh
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j "$(nproc)"
