#!/usr/bin/env bash
# Benchmarks one end-to-end install of a 1 GiB product against its two parts run alone
# (run by hand).
#
#   bench/install/run-install-bench.sh [build-dir] [rounds]
#
# The package's payload holds the 1 GiB (64 incompressible files of 16 MiB, a gzip -1
# cpio), so the stand-in installer really installs it. nginx serves the package on
# 127.0.0.1. Each round times, from bash's $EPOCHREALTIME:
#   install   the install driver: the download authorisation from its own service, the
#             download, the administrator install through the stand-in osascript and
#             installer into a fresh world, the records;
#   parts     the download engine alone into a file, then the stand-in installer alone
#             on that same file.
# The order of the two alternates between rounds. Every installed file's SHA-256 and
# the downloaded package's are checked after the clock stops, and the disk is synced
# between runs. The removal of the spent package, which the install does and the parts
# do not, is timed apart and shown beside the ratio. Reports per round install/parts and its min/median/max with the load
# average, the CPU time of both, the install's peak memory and longest main-thread
# stall, and whether its temporary folder ended empty. Everything it writes lives under
# /tmp/quillon-bench/install.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "${1:-$here/../../build}" && pwd)"
rounds="${2:-7}"
driver="$build/bench/install/quillon_install_bench"
download="$build/bench/download/quillon_download_bench"
installer="$build/tools/installer"
work=/tmp/quillon-bench/install
data="$work/data"
port=18933
package="$data/vrel-1g.pkg"
media=1073741824
titles="Library/Application Support/Final Cut Pro/Templates.localized/Titles.localized/Vrel Bench"

for tool in "$driver" "$download" "$installer"; do
  [ -x "$tool" ] || { echo "build the drivers first: ninja -C $build quillon_install_bench" >&2; exit 2; }
done
nginx_bin="$(command -v nginx || echo /usr/sbin/nginx)"
if [ ! -x "$nginx_bin" ] || [ ! -x /usr/bin/time ]; then
  sudo_cmd=""; [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get install -y nginx time >/dev/null
  nginx_bin="$(command -v nginx || echo /usr/sbin/nginx)"
fi

mkdir -p "$data" "$work/nginx/logs"
if [ ! -f "$package" ] || [ ! -f "$package.sha256" ] || [ "$package" -ot "$driver" ]; then
  echo "writing $package" >&2
  "$driver" make-package "$package" "$media"
fi

cat > "$work/nginx/nginx.conf" <<CONF
worker_processes 4;
pid $work/nginx/nginx.pid;
error_log $work/nginx/logs/error.log warn;
events { worker_connections 1024; }
http {
  access_log off;
  sendfile on;
  tcp_nopush on;
  keepalive_requests 10000;
  default_type application/octet-stream;
  server { listen 127.0.0.1:$port; root $data; }
}
CONF
if [ -f "$work/nginx/nginx.pid" ] && kill -0 "$(cat "$work/nginx/nginx.pid")" 2>/dev/null; then
  "$nginx_bin" -p "$work/nginx" -c "$work/nginx/nginx.conf" -s quit
  while kill -0 "$(cat "$work/nginx/nginx.pid" 2>/dev/null)" 2>/dev/null; do sleep 0.1; done
fi
"$nginx_bin" -p "$work/nginx" -c "$work/nginx/nginx.conf"
trap '"$nginx_bin" -p "$work/nginx" -c "$work/nginx/nginx.conf" -s quit 2>/dev/null || true' EXIT
url="http://127.0.0.1:$port/vrel-1g.pkg"
package_sum="$(sha256sum < "$package")"
until curl -sfI "$url" >/dev/null 2>&1; do sleep 0.1; done

# Runs "$@" and leaves its wall seconds in $wall and user+system CPU seconds in $cpu.
timed() {
  local start end
  start=$EPOCHREALTIME
  /usr/bin/time -o "$work/last-time" -f '%U %S %M' "$@"
  local status=$?
  end=$EPOCHREALTIME
  wall=$(echo "$end - $start" | bc)
  read -r user sys peak < <(tail -n1 "$work/last-time")
  cpu=$(echo "$user + $sys" | bc)
  return $status
}

# The installed files under the sandbox root $1 are the package's, byte for byte.
installed_whole() { (cd "$1/$titles" && sha256sum -c --quiet "$package.sha256" && [ -f Title.moti ]); }

run_install() {
  rm -rf "$work/world"
  sync
  if timed "$driver" install "$url" "$work/world" >"$work/last-out" 2>"$work/last-stderr" &&
     installed_whole "$work/world/system"; then
    i_status=ok
  else
    i_status=FAILED
  fi
  i_wall=$wall i_cpu=$cpu i_peak=$peak
  read -r _ i_gap _ i_empty i_busy < "$work/last-out" || true
  sed "s/^/  [install] /" "$work/last-stderr" >&2
  rm -rf "$work/world"
}

run_parts() {
  rm -rf "$work/alone" "$work/engine.pkg"
  mkdir -p "$work/alone/root" "$work/alone/tmp"
  sync
  p_status=ok
  timed "$download" "$url" "$work/engine.pkg" >/dev/null 2>"$work/last-stderr" || p_status=FAILED
  d_wall=$wall d_cpu=$cpu
  sed "s/^/  [download] /" "$work/last-stderr" >&2
  # The installer reads the package the engine just wrote, as it does inside the install.
  TMPDIR="$work/alone/tmp" QUILLON_SANDBOX_ROOT="$work/alone/root" \
    timed "$installer" -pkg "$work/engine.pkg" -target / >/dev/null 2>"$work/last-stderr" || p_status=FAILED
  a_wall=$wall a_cpu=$cpu
  sed "s/^/  [installer] /" "$work/last-stderr" >&2
  [ "$(sha256sum < "$work/engine.pkg")" = "$package_sum" ] || p_status=FAILED
  # What the install does beside the parts: the spent package goes (timed apart, for the table).
  timed rm "$work/engine.pkg" || p_status=FAILED
  r_wall=$wall
  installed_whole "$work/alone/root" || p_status=FAILED
  rm -rf "$work/alone"
}

results="$work/results.tsv"
: > "$results"
for ((r = 0; r < rounds; r++)); do
  load="$(cut -d' ' -f1 /proc/loadavg)"
  if ((r % 2 == 0)); then run_install; run_parts; else run_parts; run_install; fi
  printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$r" "$load" "$i_wall" "$i_cpu" "$d_wall" "$d_cpu" \
    "$a_wall" "$a_cpu" "$i_peak" "${i_gap:-0}" "${i_empty:-0}" "$i_status" "$p_status" "${i_busy:-0}" "$r_wall" >> "$results"
  printf 'round %d (load %s): install %.2f s, download %.2f s + installer %.2f s\n' "$r" "$load" "$i_wall" "$d_wall" "$a_wall" >&2
done

python3 - "$results" <<'PY'
import statistics, sys
rows = [l.rstrip("\n").split("\t") for l in open(sys.argv[1]) if l.strip()]
good = [r for r in rows if r[11] == "ok" and r[12] == "ok"]
def spread(values, fmt="{:.2f}"):
    return "/".join(fmt.format(v) for v in (min(values), statistics.median(values), max(values)))
print(f"\n{'round':>5} {'load':>5} {'install s':>9} {'download s':>10} {'installer s':>11} {'rm s':>5} {'ratio':>6} "
      f"{'with rm':>7} {'CPU ratio':>9}")
for r in good:
    i, d, a, rm = float(r[2]), float(r[4]), float(r[6]), float(r[14])
    ic, dc, ac = float(r[3]), float(r[5]), float(r[7])
    print(f"{r[0]:>5} {r[1]:>5} {i:9.2f} {d:10.2f} {a:11.2f} {rm:5.2f} {i / (d + a):6.3f} {i / (d + a + rm):7.3f} "
          f"{ic / (dc + ac):9.3f}")
if good:
    ratios = [float(r[2]) / (float(r[4]) + float(r[6])) for r in good]
    cpu = [float(r[3]) / (float(r[5]) + float(r[7])) for r in good]
    loads = [float(r[1]) for r in good]
    median = statistics.median(ratios)
    print(f"install / (download + installer), min/median/max: {spread(ratios, '{:.3f}')} over {len(good)} rounds, "
          f"load {min(loads):.1f}-{max(loads):.1f} (target <= 1.1 at the median) {'met' if median <= 1.1 else 'NOT met'}")
    with_rm = [float(r[2]) / (float(r[4]) + float(r[6]) + float(r[14])) for r in good]
    print(f"install / (download + installer + rm of the package), min/median/max: {spread(with_rm, '{:.3f}')}")
    print(f"CPU install / (download + installer), min/median/max: {spread(cpu, '{:.3f}')}")
    print(f"install wall s min/median/max: {spread([float(r[2]) for r in good])}; "
          f"download {spread([float(r[4]) for r in good])}; installer {spread([float(r[6]) for r in good])}")
    peak = max(int(r[8]) for r in good) / 1024
    stall = max(int(r[9]) for r in good)
    print(f"install peak memory {peak:.1f} MiB (target < 64) {'met' if peak < 64 else 'NOT met'}")
    busy = max(float(r[13]) for r in good)
    print(f"install longest main-thread stall {stall} ms wall (target <= 50) {'met' if stall <= 50 else 'NOT met'}; "
          f"longest main-thread computing between two beats {busy:.1f} ms")
    print(f"temporary folder empty after every install: {'yes' if all(r[10] == '1' for r in good) else 'NO'}")
bad = len(rows) - len(good)
if bad:
    print(f"{bad} round(s) failed")
    sys.exit(1)
PY
