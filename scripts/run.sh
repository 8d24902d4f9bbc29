#!/usr/bin/env bash
# Installs what is missing, builds Quillon in Release and starts it. Off macOS it is a
# trial run: unless QUILLON_SERVICE_BASE names a service, the stand-in studio service
# (tools/studio-service) is started on 127.0.0.1 and stopped when the application quits.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$here/scripts/setup.sh"
cmake -S "$here" -B "$here/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLON_BUILD_TESTS=OFF >/dev/null
cmake --build "$here/build" --target quillon quillon_tools
data="${XDG_DATA_HOME:-$HOME/.local/share}/Quillon"
# Off macOS the folder standing for "/" keeps the system-wide template tree and what the
# stand-in installer installs, so a trial run never writes to the real system folders.
export QUILLON_SANDBOX_ROOT="${QUILLON_SANDBOX_ROOT:-$data/system-root}"
mkdir -p "$QUILLON_SANDBOX_ROOT"
if [ -z "${QUILLON_SERVICE_BASE:-}" ]; then
  # The service prints its address once it listens; its first start builds its packages
  # (about 70 MB, into ~/.cache/quillon-studio-service), later ones are quick.
  exec {service}< <(exec "$here/build/tools/quillon-studio-service" --tokens "$data/studio-service-tokens")
  service_pid=$!
  trap 'kill "$service_pid" 2>/dev/null || true' EXIT
  if ! read -r -u "$service" QUILLON_SERVICE_BASE; then
    echo "The stand-in studio service did not start." >&2
    exit 1
  fi
  export QUILLON_SERVICE_BASE
  echo "Trial run with the stand-in studio service at $QUILLON_SERVICE_BASE" >&2
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display found: starting without one (QT_QPA_PLATFORM=offscreen)." >&2
  export QT_QPA_PLATFORM=offscreen
fi
"$here/build/src/quillon" "$@"
