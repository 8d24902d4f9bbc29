#!/usr/bin/env bash
# Benchmarks one end-to-end install of a 1 GiB product against the plain download of
# the same file with the download engine alone (run by hand).
#
#   bench/install/run-install-bench.sh [build-dir] [rounds]
#
# Serves the package from a local nginx; the install driver runs its own download
# authorisation service and installs through the stand-in osascript and installer into
# a fresh world. Rounds alternate the two. Prints median wall time, the ratio of install
# to download, peak memory, the longest main-thread stall, and whether the temporary
# folder ended empty. Everything it writes lives under /tmp/quillon-bench/install.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
build="${1:-$here/../../build}"
rounds="${2:-5}"
driver="$build/bench/install/quillon_install_bench"
download="$build/bench/download/quillon_download_bench"
work=/tmp/quillon-bench/install
data="$work/data"
port=18933
package="$data/vrel-1g.pkg"
media=1073741824

for tool in "$driver" "$download"; do
  [ -x "$tool" ] || { echo "build the drivers first: ninja -C $build quillon_install_bench" >&2; exit 2; }
done
nginx_bin="$(command -v nginx || echo /usr/sbin/nginx)"
if [ ! -x "$nginx_bin" ] || [ ! -x /usr/bin/time ]; then
  sudo_cmd=""; [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get install -y nginx time >/dev/null
  nginx_bin="$(command -v nginx || echo /usr/sbin/nginx)"
fi

mkdir -p "$data" "$work/nginx/logs"
if [ ! -f "$package" ] || [ "$package" -ot "$driver" ]; then
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
  sleep 1
fi
"$nginx_bin" -p "$work/nginx" -c "$work/nginx/nginx.conf"
trap '"$nginx_bin" -p "$work/nginx" -c "$work/nginx/nginx.conf" -s quit 2>/dev/null || true' EXIT
sleep 0.5

url="http://127.0.0.1:$port/vrel-1g.pkg"
results="$work/results.tsv"
: > "$results"
for ((r = 0; r < rounds; r++)); do
  for kind in download install; do
    if [ "$kind" = download ]; then
      rm -f "$work/engine.pkg"
      /usr/bin/time -o "$work/last-time" -f '%e %M' "$download" "$url" "$work/engine.pkg" 2>"$work/last-stderr" >/dev/null || true
      gap="$(sed -n 's/.*longest main-thread gap \(-\?[0-9]*\) ms.*/\1/p' "$work/last-stderr")"
      cmp -s "$work/engine.pkg" "$package" && status=ok || status=FAILED
      empty=-
      rm -f "$work/engine.pkg"
    else
      /usr/bin/time -o "$work/last-time" -f '%e %M' "$driver" install "$url" "$work/world" 2>"$work/last-stderr" >"$work/last-out" && status=ok || status=FAILED
      read -r _ gap _ empty < "$work/last-out" || true
      rm -rf "$work/world"
    fi
    read -r secs kb < <(tail -n1 "$work/last-time")
    sed "s/^/  [$kind] /" "$work/last-stderr" >&2
    printf '%s\t%s\t%s\t%s\t%s\t%s\n' "$kind" "$secs" "$kb" "$gap" "$empty" "$status" >> "$results"
  done
done

python3 - "$results" <<'PY'
import statistics, sys
rows = [l.rstrip("\n").split("\t") for l in open(sys.argv[1]) if l.strip()]
runs = {"download": [], "install": []}
bad = [r for r in rows if r[5] != "ok"]
for kind, secs, kb, gap, empty, status in rows:
    if status == "ok":
        runs[kind].append((float(secs), int(kb) / 1024, int(gap or 0), empty))
print(f"\n{'run':9} {'n':>2} {'median s':>9} {'peak MiB':>9} {'stall ms':>9}")
for kind, samples in runs.items():
    if samples:
        print(f"{kind:9} {len(samples):2} {statistics.median(s for s, *_ in samples):9.3f} "
              f"{max(m for _, m, *_ in samples):9.1f} {max(g for _, _, g, _ in samples):9d}")
if runs["download"] and runs["install"]:
    d = statistics.median(s for s, *_ in runs["download"])
    i = statistics.median(s for s, *_ in runs["install"])
    peak = max(m for _, m, *_ in runs["install"])
    stall = max(g for _, _, g, _ in runs["install"])
    empty = all(e == "1" for *_, e in runs["install"])
    print(f"install / download = {i / d:.2f} (target <= 1.3) {'met' if i / d <= 1.3 else 'NOT met'}")
    print(f"install peak memory {peak:.1f} MiB (target < 64) {'met' if peak < 64 else 'NOT met'}")
    print(f"install longest main-thread stall {stall} ms (target <= 50) {'met' if stall <= 50 else 'NOT met'}")
    print(f"temporary folder empty after every install: {'yes' if empty else 'NO'}")
if bad:
    print(f"{len(bad)} run(s) failed")
    sys.exit(1)
PY
