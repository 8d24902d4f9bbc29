#!/usr/bin/env bash
# Installs what is missing, builds Quillon in Release and starts it.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$here/scripts/setup.sh"
cmake -S "$here" -B "$here/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLON_BUILD_TESTS=OFF >/dev/null
cmake --build "$here/build" --target quillon
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display found: starting without one (QT_QPA_PLATFORM=offscreen)." >&2
  export QT_QPA_PLATFORM=offscreen
fi
exec "$here/build/src/quillon" "$@"
