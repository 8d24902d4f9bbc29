#!/usr/bin/env bash
# Start-up of Quillon against an empty Qt Widgets window built the same way (run by hand).
#
#   bench/startup/run-startup-bench.sh [build-dir] [rounds]
#
# Both programs run on a virtual X display (Xvfb, 1920 x 1080, no window manager), in
# interleaved rounds (the order alternates every round). For each start the probe reports
# the time from the fork to the first window mapped on the display and the resident memory
# 3 seconds after the fork. Prints every round, the ratios of the round, and the medians.
# Quillon runs with a home folder and a system root of its own under /tmp/quillon-startup,
# started once before the rounds so that every measured start is a later start.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "${1:-$here/../../build}" && pwd)"
rounds="${2:-9}"
probe="$build/bench/startup/quillon_startup_probe"
empty="$build/bench/startup/quillon_empty_window"
app="$build/src/quillon"
work=/tmp/quillon-startup
settle_ms=3000

for program in "$probe" "$empty" "$app"; do
  if [ ! -x "$program" ]; then
    echo "build first: cmake --build $build --target quillon quillon_startup_probe quillon_empty_window" >&2
    exit 2
  fi
done
if ! command -v Xvfb >/dev/null; then
  echo "installing xvfb" >&2
  sudo_cmd=""; [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get install -y xvfb >/dev/null || { $sudo_cmd apt-get update >/dev/null && $sudo_cmd apt-get install -y xvfb >/dev/null; }
fi

rm -rf "$work" && mkdir -p "$work/home" "$work/root"
display=":$((90 + RANDOM % 400))"
Xvfb "$display" -screen 0 1920x1080x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done

export DISPLAY="$display" QT_QPA_PLATFORM=xcb HOME="$work/home" QUILLON_SANDBOX_ROOT="$work/root"
export XDG_RUNTIME_DIR="$work/runtime" && mkdir -p -m 700 "$XDG_RUNTIME_DIR"
# Other work on the machine skews single starts: both programs run at a raised priority when
# that is allowed (as root), and the medians of several rounds are what counts.
nice_cmd=(); [ "$(id -u)" -eq 0 ] && nice_cmd=(nice -n -10)
measure() { "${nice_cmd[@]}" "$probe" "$settle_ms" "$1" 2>/dev/null; }

measure "$app" >/dev/null   # the first start stores the window's layout
measure "$empty" >/dev/null

printf '%-6s %12s %12s %12s %12s %9s %9s\n' round "empty ms" "quillon ms" "empty MiB" "quillon MiB" "ms ratio" "MiB ratio"
results="$work/results"
: >"$results"
for round in $(seq "$rounds"); do
  if [ $((round % 2)) -eq 1 ]; then
    read -r e_ms e_kib <<<"$(measure "$empty")"; read -r q_ms q_kib <<<"$(measure "$app")"
  else
    read -r q_ms q_kib <<<"$(measure "$app")"; read -r e_ms e_kib <<<"$(measure "$empty")"
  fi
  echo "$e_ms $q_ms $e_kib $q_kib" >>"$results"
  awk -v r="$round" '{ printf "%-6s %12.1f %12.1f %12.1f %12.1f %9.2f %9.2f\n", r, $1, $2, $3/1024, $4/1024, $2/$1, $4/$3 }' <<<"$e_ms $q_ms $e_kib $q_kib"
done

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
e_ms=$(cut -d' ' -f1 "$results" | median); q_ms=$(cut -d' ' -f2 "$results" | median)
e_kib=$(cut -d' ' -f3 "$results" | median); q_kib=$(cut -d' ' -f4 "$results" | median)
r_ms=$(awk '{ print $2 / $1 }' "$results" | median); r_kib=$(awk '{ print $4 / $3 }' "$results" | median)
awk -v a="$e_ms" -v b="$q_ms" -v c="$e_kib" -v d="$q_kib" -v r="$r_ms" -v s="$r_kib" 'BEGIN {
  printf "%-6s %12.1f %12.1f %12.1f %12.1f %9.2f %9.2f\n", "median", a, b, c / 1024, d / 1024, r, s
  printf "(the last two columns of the median row are the medians of the per-round ratios)\n" }'
