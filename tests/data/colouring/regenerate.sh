#!/bin/sh
# Rewrites every .ref here from what the colouring makes of its .bas now; read the
# differences before committing them. Takes the build folder (default: build/default).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../../../build/default}
QUILLBOX_REGENERATE=1 QT_QPA_PLATFORM=offscreen "$build/bin/test_colouring" --gtest_filter='ColouringGolden.*'
git -C "$here" status --short -- .
