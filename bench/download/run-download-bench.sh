#!/usr/bin/env bash
# Benchmarks the download engine against curl and aria2c on a local nginx (run by hand).
#
#   bench/download/run-download-bench.sh [build-dir] [rounds]
#
# Serves 1 GiB, 256 MiB and 40 MiB files on 127.0.0.1, downloads each with the engine's
# driver, `curl -o` and `aria2c -x8 -s8 -k16M`, interleaved (the order rotates every
# round), checks every output's SHA-256, and prints median wall time, throughput, peak
# memory and the ratio to the best peer. Then one run against the same server limited
# to 32 MiB/s per connection, where eight connections should take 1 GiB / 256 MiB/s.
# Everything it writes lives under /tmp/quillon-bench.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
build="${1:-$here/../../build}"
rounds="${2:-5}"
driver="$build/bench/download/quillon_download_bench"
work=/tmp/quillon-bench
data="$work/data"
out="$work/out"
port=18931
limited_port=18932

if [ ! -x "$driver" ]; then
  echo "build the driver first: ninja -C $build quillon_download_bench" >&2
  exit 2
fi

need=()
command -v nginx >/dev/null || [ -x /usr/sbin/nginx ] || need+=(nginx)
command -v curl >/dev/null || need+=(curl)
command -v aria2c >/dev/null || need+=(aria2)
[ -x /usr/bin/time ] || need+=(time)
if [ ${#need[@]} -gt 0 ]; then
  echo "installing ${need[*]}" >&2
  sudo_cmd=""; [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get install -y "${need[@]}" >/dev/null || { $sudo_cmd apt-get update >/dev/null && $sudo_cmd apt-get install -y "${need[@]}" >/dev/null; }
fi
nginx_bin="$(command -v nginx || echo /usr/sbin/nginx)"

mkdir -p "$data" "$out" "$work/nginx/logs"
declare -A sizes=([1g]=1073741824 [256m]=268435456 [40m]=41943040)
for name in 1g 256m 40m; do
  file="$data/$name.bin"
  if [ ! -f "$file" ] || [ "$(stat -c %s "$file")" != "${sizes[$name]}" ]; then
    echo "writing $file" >&2
    head -c "${sizes[$name]}" /dev/urandom > "$file"
  fi
  [ -f "$file.sha256" ] && [ "$file.sha256" -nt "$file" ] || sha256sum "$file" | cut -d' ' -f1 > "$file.sha256"
done

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
  server { listen 127.0.0.1:$limited_port; root $data; limit_rate 32m; }
}
CONF
# A server left over from an interrupted run holds the ports: stop it first.
if [ -f "$work/nginx/nginx.pid" ] && kill -0 "$(cat "$work/nginx/nginx.pid")" 2>/dev/null; then
  "$nginx_bin" -p "$work/nginx" -c "$work/nginx/nginx.conf" -s quit
  sleep 1
fi
"$nginx_bin" -p "$work/nginx" -c "$work/nginx/nginx.conf"
trap '"$nginx_bin" -p "$work/nginx" -c "$work/nginx/nginx.conf" -s quit 2>/dev/null || true' EXIT
sleep 0.5

results="$work/results.tsv"
: > "$results"

# run <label> <file> <tool> <port>: one timed download, checked, then removed.
run() {
  local label="$1" name="$2" tool="$3" p="$4"
  local url="http://127.0.0.1:$p/$name.bin" dest="$out/$tool-$name.bin"
  rm -f "$dest" "$dest.aria2" "$dest".[0-7]
  local cmd
  case "$tool" in
    engine) cmd=("$driver" "$url" "$dest") ;;
    curl)   cmd=(curl -sS --fail -o "$dest" "$url") ;;
    aria2c) cmd=(aria2c -q -x8 -s8 -k16M --file-allocation=none --allow-overwrite=true -d "$out" -o "$tool-$name.bin" "$url") ;;
    # Eight fully parallel connections: eight curls, one eighth of the file each, joined.
    curl8)  cmd=(bash -c '
              url="$1"; dest="$2"; size="$3"; part=$((size / 8))
              for i in 0 1 2 3 4 5 6 7; do
                last=$(( i == 7 ? size - 1 : (i + 1) * part - 1 ))
                curl -sS --fail -r "$((i * part))-$last" -o "$dest.$i" "$url" &
              done
              wait
              cat "$dest".[0-7] > "$dest" && rm -f "$dest".[0-7]' _ "$url" "$dest" "${sizes[$name]}") ;;
  esac
  /usr/bin/time -o "$work/last-time" -f '%e %M' "${cmd[@]}" 2>"$work/last-stderr" >/dev/null || true
  local secs kb
  read -r secs kb < <(tail -n1 "$work/last-time")
  local sum
  sum="$(sha256sum "$dest" 2>/dev/null | cut -d' ' -f1 || true)"
  local ok=ok
  [ "$sum" = "$(cat "$data/$name.bin.sha256")" ] || ok=MISMATCH
  [ "$tool" = engine ] && grep '^engine:' "$work/last-stderr" | sed "s/^/  [$label $name] /" >&2 || true
  printf '%s\t%s\t%s\t%s\t%s\t%s\n' "$label" "$name" "$tool" "$secs" "$kb" "$ok" >> "$results"
  printf '%-8s %-5s %-7s %7ss %8s KiB %s\n' "$label" "$name" "$tool" "$secs" "$kb" "$ok" >&2
  rm -f "$dest" "$dest.aria2" "$dest".[0-7]
}

tools=(engine curl aria2c)
for ((r = 0; r < rounds; r++)); do
  for name in 1g 256m 40m; do
    for ((i = 0; i < 3; i++)); do
      run full "$name" "${tools[$(((r + i) % 3))]}" "$port"
    done
  done
done
limited_rounds=$(( rounds < 3 ? rounds : 3 ))
for ((r = 0; r < limited_rounds; r++)); do
  run limited 1g engine "$limited_port"
  run limited 1g curl8 "$limited_port"
  run limited 1g aria2c "$limited_port"
done

python3 - "$results" <<'PY'
import statistics, sys
from collections import defaultdict
rows = [l.rstrip("\n").split("\t") for l in open(sys.argv[1]) if l.strip()]
sizes = {"1g": 1 << 30, "256m": 256 << 20, "40m": 40 << 20}
runs = defaultdict(list)
bad = 0
for label, name, tool, secs, kb, ok in rows:
    if ok != "ok":
        bad += 1
        continue
    runs[(label, name, tool)].append((float(secs), int(kb)))
print(f"\n{'server':8} {'file':5} {'tool':7} {'runs':>4} {'median s':>9} {'MiB/s':>8} {'peak MiB':>9} {'vs best peer':>12}")
for label in ("full", "limited"):
    for name in ("1g", "256m", "40m"):
        med = {}
        for tool in ("engine", "curl", "aria2c", "curl8"):
            samples = runs.get((label, name, tool))
            if samples:
                med[tool] = (statistics.median(s for s, _ in samples), max(k for _, k in samples) / 1024, len(samples))
        peers = [med[t][0] for t in ("curl", "aria2c", "curl8") if t in med]
        best = min(peers) if peers else None
        for tool, (secs, peak, n) in med.items():
            ratio = f"{secs / best:.2f}x" if best else "-"
            print(f"{label:8} {name:5} {tool:7} {n:4} {secs:9.3f} {sizes[name] / (1 << 20) / secs:8.0f} {peak:9.1f} {ratio:>12}")
if ("full", "1g", "engine") in runs:
    e = statistics.median(s for s, _ in runs[("full", "1g", "engine")])
    peak = max(k for _, k in runs[("full", "1g", "engine")]) / 1024
    for peer, target in (("curl", 0.75), ("aria2c", 0.4)):
        if ("full", "1g", peer) in runs:
            p = statistics.median(s for s, _ in runs[("full", "1g", peer)])
            print(f"1 GiB: engine / {peer} = {e / p:.2f} (target <= {target}) {'met' if e / p <= target else 'NOT met'}")
    print(f"1 GiB: engine peak memory {peak:.1f} MiB (target < 48) {'met' if peak < 48 else 'NOT met'}")
if ("limited", "1g", "engine") in runs:
    ideal = (1 << 30) / (8 * 32 * (1 << 20))
    l = statistics.median(s for s, _ in runs[("limited", "1g", "engine")])
    print(f"1 GiB at 32 MiB/s per connection: engine {l:.3f} s against {ideal:.3f} s for eight connections "
          f"at the full rate: {(l / ideal - 1) * 100:+.1f}% (target at most +5%) {'met' if l <= ideal * 1.05 else 'NOT met'}")
    if ("limited", "1g", "curl8") in runs:
        c8 = statistics.median(s for s, _ in runs[("limited", "1g", "curl8")])
        print(f"1 GiB at 32 MiB/s per connection: engine {l:.3f} s against {c8:.3f} s for eight parallel curls: "
              f"{(l / c8 - 1) * 100:+.1f}% (target at most +5%) {'met' if l <= c8 * 1.05 else 'NOT met'}")
if bad:
    print(f"{bad} run(s) failed or produced a wrong SHA-256")
    sys.exit(1)
PY
