#!/usr/bin/env bash
# Installs what is missing, builds Quillon with its tests and runs every test twice:
# a Release build, then a build under AddressSanitizer and UndefinedBehaviorSanitizer,
# which catches the lifetime faults of coroutines that a plain run can miss.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$here/scripts/setup.sh"

export QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1
jobs="$(nproc)"

cmake -S "$here" -B "$here/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLON_BUILD_TESTS=ON >/dev/null
cmake --build "$here/build"
(cd "$here/build" && ctest --output-on-failure --timeout 300 -j "$jobs")

# Leaks are errors too. The few caches that third-party libraries keep until exit are
# named in the suppressions file (never our own code).
export ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS="suppressions=$here/scripts/lsan-suppressions.txt:print_suppressions=0"
sanitize="-fsanitize=address,undefined -fno-omit-frame-pointer"
cmake -S "$here" -B "$here/build-sanitized" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUILLON_BUILD_TESTS=ON \
  -DCMAKE_CXX_FLAGS="$sanitize" -DCMAKE_EXE_LINKER_FLAGS="$sanitize" >/dev/null
cmake --build "$here/build-sanitized"
cd "$here/build-sanitized"
ctest --output-on-failure --timeout 600 -j "$jobs"
