#!/usr/bin/env bash
# Installs what is missing, builds Quillon with its tests in Release and runs every test.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$here/scripts/setup.sh"
cmake -S "$here" -B "$here/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLON_BUILD_TESTS=ON >/dev/null
cmake --build "$here/build"
export QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1
cd "$here/build"
ctest --output-on-failure --timeout 300 -j "$(nproc)"
