#!/usr/bin/env bash
# Builds the Debian package build/package/quillbox_1.0.0-1_amd64.deb from the default build.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh package
bash scripts/build.sh
cpack --config build/default/CPackConfig.cmake -B build/package >/dev/null
echo "Built build/package/quillbox_1.0.0-1_amd64.deb"
