#!/usr/bin/env bash
# Installs what is missing, builds Quillon in Release and starts it.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$here/scripts/setup.sh"
cmake -S "$here" -B "$here/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLON_BUILD_TESTS=OFF >/dev/null
cmake --build "$here/build" --target quillon quillon_tools
# Off macOS the folder standing for "/" keeps the system-wide template tree and what the
# stand-in installer installs, so a trial run never writes to the real system folders.
export QUILLON_SANDBOX_ROOT="${QUILLON_SANDBOX_ROOT:-${XDG_DATA_HOME:-$HOME/.local/share}/Quillon/system-root}"
mkdir -p "$QUILLON_SANDBOX_ROOT"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display found: starting without one (QT_QPA_PLATFORM=offscreen)." >&2
  export QT_QPA_PLATFORM=offscreen
fi
exec "$here/build/src/quillon" "$@"
