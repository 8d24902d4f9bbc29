#!/usr/bin/env bash
# Pictures of the trial run's whole road, one per step (run by hand, never by CI):
#
#   tools/screenshot-tour/run-tour.sh OUTPUT-FOLDER [BUILD-FOLDER]
#
# Runs the end-to-end test (tests/e2e/TrialRunTest.cpp: the application against the stand-in
# studio service, driven through its window as a user drives it) on a virtual X display
# (Xvfb, 1920 x 1080, no window manager) with the xcb platform, so that fonts render as on
# a desktop. With QUILLON_TOUR_DIR set, each step grabs the window and the sheets over it
# into OUTPUT-FOLDER as NN-step.png. The build folder must have the tests built
# (the default is ./build, as scripts/test.sh makes it).
set -euo pipefail

here="$(cd "$(dirname "$0")/../.." && pwd)"
out="${1:?usage: run-tour.sh OUTPUT-FOLDER [BUILD-FOLDER]}"
build="$(cd "${2:-$here/build}" && pwd)"
cmake --build "$build" --target test_e2e quillon_tools >/dev/null

if ! command -v Xvfb >/dev/null; then
  echo "installing xvfb" >&2
  sudo_cmd=""; [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get install -y xvfb >/dev/null || { $sudo_cmd apt-get update >/dev/null && $sudo_cmd apt-get install -y xvfb >/dev/null; }
fi

mkdir -p "$out"
out="$(cd "$out" && pwd)"
rm -f "$out"/[0-9][0-9]-*.png
work="$(mktemp -d)"
display=":$((90 + RANDOM % 400))"
Xvfb "$display" -screen 0 1920x1080x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true; rm -rf "$work"' EXIT
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done

mkdir -m 700 "$work/runtime"
[ "$(id -u)" -eq 0 ] && export QTWEBENGINE_DISABLE_SANDBOX=1
DISPLAY="$display" QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$work/runtime" QUILLON_TOUR_DIR="$out" \
  "$build/tests/test_e2e" --gtest_filter='TrialRun.*' --gtest_brief=1
ls "$out"
