#!/usr/bin/env bash
# Benchmarks the download engine against the tools a user would run instead (by hand, as
# root, never by CI).
#
#   bench/download/run-download-bench.sh [build-dir] [rounds] [quiet|loaded]
#
# Everything runs inside a private network namespace (unshare -n): nginx serves the
# files on its loopback, and the clients fetch them there. The peers, each run as a user
# would run it:
#   curl8       eight curls, each piping its eighth into `dd conv=notrunc` at its offset
#               of one preallocated file: the same work as the engine (eight ranged
#               connections writing one file), the time target;
#   curl8-sep   eight curls writing eight files: the CPU reference;
#   curl8-null  eight curls writing nowhere: the network's own floor;
#   cp          cp of the served file into one file: the disk's own speed (it can copy
#               inside the kernel), no target;
#   curl, aria2c (-x8 -s8 -k16M).
# Parts:
#   loopback  1 GiB and 4 GiB, the served file in the page cache;
#   cold      1 GiB, the served file dropped from the page cache before every run;
#   pinned    1 GiB, engine, curl and aria2c on cores 0 and 1;
#   shaped    tc htb on the loopback: 32 MiB/s per connection, 160 MiB/s in total.
#             1, 8 and 31 MiB (the single-stream path) against curl; 256 MiB against
#             eight curls and aria2c.
# `loaded` starts a compile of the project's sources on every core (a loop over its
# compile commands) before the rounds and stops it after them; `quiet` adds nothing (run
# it when `uptime` shows a low load). Every run records the load average it started at.
# QUILLON_BENCH_PARTS chooses parts (default "loopback cold pinned shaped").
# Rounds are interleaved (the order of the tools rotates), each run is timed from
# bash's $EPOCHREALTIME (microseconds), CPU time and peak memory come from /usr/bin/time,
# and every output's SHA-256 is checked. Ratios are taken within a round and reported as
# min/median/max over the rounds. All files live in a temporary folder that is removed.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "${1:-$here/../../build}" && pwd)"
rounds="${2:-5}"
mode="${3:-quiet}"
parts="${QUILLON_BENCH_PARTS:-loopback cold pinned shaped}"
driver="$build/bench/download/quillon_download_bench"
case "$mode" in quiet | loaded) ;; *) echo "mode: quiet or loaded" >&2; exit 2 ;; esac

if [ -z "${QUILLON_BENCH_NETNS:-}" ]; then
  [ "$(id -u)" -eq 0 ] || { echo "run as root (unshare -n and tc need it)" >&2; exit 2; }
  [ -x "$driver" ] || { echo "build the driver first: ninja -C $build quillon_download_bench" >&2; exit 2; }
  need=()
  command -v nginx >/dev/null || [ -x /usr/sbin/nginx ] || need+=(nginx)
  command -v curl >/dev/null || need+=(curl)
  command -v aria2c >/dev/null || need+=(aria2)
  [ -x /usr/bin/time ] || need+=(time)
  command -v tc >/dev/null || need+=(iproute2)
  if [ ${#need[@]} -gt 0 ]; then
    echo "installing ${need[*]}" >&2
    apt-get install -y "${need[@]}" >/dev/null || { apt-get update >/dev/null && apt-get install -y "${need[@]}" >/dev/null; }
  fi
  QUILLON_BENCH_NETNS=1 exec unshare -n "$0" "$build" "$rounds" "$mode"
fi

nginx_bin="$(command -v nginx || echo /usr/sbin/nginx)"
port=18931
work="$(mktemp -d /tmp/quillon-bench.XXXXXX)"
data="$work/data"
out="$work/out"
mkdir -p "$data" "$out" "$work/nginx/logs"
chmod 755 "$work" "$data" # nginx's workers run as an unprivileged user
load_pids=()
stop() {
  [ -f "$work/nginx/nginx.pid" ] && kill "$(cat "$work/nginx/nginx.pid")" 2>/dev/null || true
  stop_load
  rm -rf "$work"
}
# The load: one loop per core, each compiling the project's sources one after another
# (the build's own commands, output thrown away) until the stop file appears.
start_load() {
  ninja -C "$build" -t commands quillon_install quillon_inventory quillon_update | grep -E ' -c [^ ]+\.cpp$' |
    sed -E 's/ -MD -MT [^ ]+ -MF [^ ]+//; s/ -o [^ ]+/ -o \/dev\/null/' > "$work/load-commands"
  [ -s "$work/load-commands" ] || { echo "no compile commands for the load" >&2; exit 1; }
  local i
  for ((i = 0; i < $(nproc); i++)); do
    (cd "$build" && while [ ! -f "$work/load-stop" ]; do
      shuf "$work/load-commands" | while read -r c; do [ -f "$work/load-stop" ] && break; bash -c "$c" 2>/dev/null; done
    done) &
    load_pids+=($!)
  done
  echo "load: $(nproc) compile loops started" >&2
  sleep 20 # until the load average shows them
}
stop_load() {
  [ ${#load_pids[@]} -gt 0 ] || return 0
  touch "$work/load-stop"
  local pid
  for pid in "${load_pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  load_pids=()
}
trap stop EXIT

ip link set lo up

declare -A sizes=([1m]=1048576 [8m]=8388608 [31m]=32505856 [256m]=268435456 [1g]=1073741824 [4g]=4294967296)
for name in "${!sizes[@]}"; do
  head -c "${sizes[$name]}" /dev/urandom > "$data/$name.bin"
  sha256sum "$data/$name.bin" | cut -d' ' -f1 > "$data/$name.sha256"
done
sync

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
"$nginx_bin" -p "$work/nginx" -c "$work/nginx/nginx.conf"
for _ in $(seq 50); do curl -sfI "http://127.0.0.1:$port/1m.bin" >/dev/null && break; sleep 0.1; done
curl -sfI "http://127.0.0.1:$port/1m.bin" >/dev/null || { echo "nginx does not serve the files" >&2; exit 1; }

# shape: 32 MiB/s for every connection (the server's packets, sorted by the client's
# port into 256 classes) under 160 MiB/s in total; requests and ACKs pass unshaped. The
# classes' own rate is small so that all they send above it is borrowed from the total
# (a class's own rate is guaranteed even beyond its parent's).
shape() {
  tc qdisc add dev lo root handle 1: htb default 2
  tc class add dev lo parent 1: classid 1:1 htb rate 160mibps ceil 160mibps burst 256k cburst 256k quantum 65536
  tc class add dev lo parent 1: classid 1:2 htb rate 10gbit burst 1m cburst 1m quantum 65536
  tc filter add dev lo parent 1: prio 1 handle 2: protocol ip u32 divisor 256
  tc filter add dev lo parent 1: prio 1 protocol ip u32 ht 800:: match ip sport "$port" 0xffff \
    hashkey mask 0x000000ff at 20 link 2:
  local i
  for ((i = 0; i < 256; i++)); do
    tc class add dev lo parent 1:1 classid "1:$(printf %x $((0x100 + i)))" htb rate 1mibps ceil 32mibps \
      burst 128k cburst 128k quantum 65536
    tc filter add dev lo parent 1: prio 1 protocol ip u32 ht "2:$(printf %x "$i"):" match u32 0 0 \
      classid "1:$(printf %x $((0x100 + i)))"
  done
}

results="$work/results.tsv"
: > "$results"

# curl8 pipes each eighth into dd at its offset of one preallocated file, as a user would
# (bs=1M: dd's default of 512 bytes takes four times as long); curl8-sep writes eight
# files; curl8-null writes nothing: the network alone, the floor of any download here.
curl8() {
  local url="$1" dest="$2" size="$3" mode="$4" i
  local part=$((size / 8))
  [ "$mode" = one ] && truncate -s "$size" "$dest"
  for i in 0 1 2 3 4 5 6 7; do
    local from=$((i * part)) last=$(( i == 7 ? size - 1 : (i + 1) * part - 1 ))
    if [ "$mode" = one ]; then
      (set -o pipefail
       curl -sS --fail -r "$from-$last" "$url" | dd of="$dest" seek="$from" oflag=seek_bytes conv=notrunc bs=1M status=none) &
    elif [ "$mode" = sep ]; then
      curl -sS --fail -r "$from-$last" -o "$dest.$i" "$url" &
    else
      curl -sS --fail -r "$from-$last" -o /dev/null -w '%{size_download}\n' "$url" &
    fi
  done
  wait
}
export -f curl8

# run <part> <file> <tool> [pin]: one timed download, checked, then removed.
run() {
  local part="$1" name="$2" tool="$3" pin="${4:-}"
  local url="http://127.0.0.1:$port/$name.bin" dest="$out/$tool-$name.bin"
  local cmd
  case "$tool" in
    engine)    cmd=("$driver" "$url" "$dest") ;;
    curl)      cmd=(curl -sS --fail -w '%{time_total}\n' -o "$dest" "$url") ;;
    aria2c)    cmd=(aria2c -q -x8 -s8 -k16M --file-allocation=none --allow-overwrite=true -d "$out" -o "$tool-$name.bin" "$url") ;;
    curl8)     cmd=(bash -c 'curl8 "$@"' _ "$url" "$dest" "${sizes[$name]}" one) ;;
    curl8-sep) cmd=(bash -c 'curl8 "$@"' _ "$url" "$dest" "${sizes[$name]}" sep) ;;
    curl8-null) cmd=(bash -c 'curl8 "$@"' _ "$url" "$dest" "${sizes[$name]}" null) ;;
    cp)        cmd=(cp "$data/$name.bin" "$dest") ;;
  esac
  [ -n "$pin" ] && cmd=(taskset -c 0,1 "${cmd[@]}")
  rm -f "$dest" "$dest".? "$dest.aria2"
  sync
  # cold: the served file is read from the disk, by nginx or by cp alike
  if [ "$part" = cold ]; then dd if="$data/$name.bin" iflag=nocache count=0 status=none; fi
  local load
  load=$(cut -d' ' -f1 /proc/loadavg)
  local start=$EPOCHREALTIME
  /usr/bin/time -o "$work/last-time" -f '%U %S %M' "${cmd[@]}" 2>"$work/last-stderr" >"$work/last-stdout" || true
  local end=$EPOCHREALTIME
  local user sys kb
  read -r user sys kb < <(tail -n1 "$work/last-time")
  local ok=ok
  if [ "$tool" = curl8-sep ]; then
    [ "$(cat "$dest".? | sha256sum | cut -d' ' -f1)" = "$(cat "$data/$name.sha256")" ] || ok=MISMATCH
  elif [ "$tool" = curl8-null ]; then
    [ "$(python3 -c 'import sys; print(sum(int(l) for l in open(sys.argv[1]) if l.strip()))' "$work/last-stdout")" \
      = "${sizes[$name]}" ] || ok=MISMATCH
  else
    [ "$(sha256sum "$dest" 2>/dev/null | cut -d' ' -f1)" = "$(cat "$data/$name.sha256")" ] || ok=MISMATCH
  fi
  local secs inner=-
  secs=$(python3 -c "print(f'{$end - $start:.6f}')")
  # The transfer as the tool itself timed it, without starting and ending the process.
  case "$tool" in
    engine) inner=$(sed -n 's/^engine: status [0-9]*, \([0-9.]*\) s.*/\1/p' "$work/last-stderr") ;;
    curl)   inner=$(tail -n1 "$work/last-stdout") ;;
  esac
  printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$part${pin:+-pinned}" "$name" "$tool" "$round" "$secs" \
    "$(python3 -c "print(f'{$user + $sys:.2f}')")" "$kb" "$ok" "${inner:--}" "$load" >> "$results"
  printf '%-15s %-5s %-10s %9.4fs cpu %5ss %7s KiB %s load %s\n' "$part${pin:+-pinned}" "$name" "$tool" "$secs" \
    "$(python3 -c "print(f'{$user + $sys:.2f}')")" "$kb" "$ok" "$load" >&2
  [ "$tool" = engine ] && grep '^engine:' "$work/last-stderr" | sed "s/^/    /" >&2 || true
  rm -f "$dest" "$dest".? "$dest.aria2"
}

# rotate <round> <part> <file> [pin] <tools...>: the tools in an order that turns each round.
rotate() {
  local r="$1" part="$2" name="$3" pin="$4"; shift 4
  local tools=("$@") n=$# i
  for ((i = 0; i < n; i++)); do run "$part" "$name" "${tools[$(((r + i) % n))]}" "$pin"; done
}

has() { [[ " $parts " == *" $1 "* ]]; }
[ "$mode" = loaded ] && start_load
echo "mode $mode, load average at the start: $(cut -d' ' -f1-3 /proc/loadavg)" >&2
for ((round = 0; round < rounds; round++)); do
  if has loopback; then
    rotate "$round" loopback 1g "" engine curl aria2c curl8 curl8-sep curl8-null cp
    rotate "$round" loopback 4g "" engine curl8 curl8-sep curl8-null cp
  fi
  if has cold; then rotate "$round" cold 1g "" engine curl8 curl8-sep cp; fi
  if has pinned; then rotate "$round" loopback 1g pin engine curl aria2c; fi
done
rm -f "$data/4g.bin"
if has shaped; then
  shape
  for ((round = 0; round < rounds; round++)); do
    for name in 1m 8m 31m; do rotate "$round" shaped "$name" "" engine curl; done
    rotate "$round" shaped 256m "" engine curl8 aria2c
  done
fi
stop_load

python3 - "$results" "$mode" <<'PY'
import statistics, sys
from collections import defaultdict
rows = [l.rstrip("\n").split("\t") for l in open(sys.argv[1]) if l.strip()]
mode = sys.argv[2]
runs = defaultdict(dict)   # (part, file, round) -> tool -> (secs, cpu, kib, inner)
loads = defaultdict(list)  # part -> load averages at the runs' starts
bad = [r for r in rows if r[7] != "ok"]
for part, name, tool, rnd, secs, cpu, kb, ok, inner, load in rows:
    loads[part].append(float(load))
    if ok == "ok":
        runs[(part, name, int(rnd))][tool] = (float(secs), float(cpu), int(kb), float(inner) if inner != "-" else 0.0)
order = ["1m", "8m", "31m", "256m", "1g", "4g"]
parts = sorted({k[0] for k in runs}, key=lambda p: ("shaped" in p, "pinned" in p, "cold" in p, p))
def spread(values, fmt="{:.2f}"):
    values = sorted(values)
    return "/".join(fmt.format(v) for v in (values[0], statistics.median(values), values[-1]))
print(f"\nmode {mode}; load average (1 min) at the runs' starts, per part: " +
      ", ".join(f"{p} {min(loads[p]):.1f}-{max(loads[p]):.1f}" for p in parts))
print(f"\n{'part':16} {'file':5} {'tool':10} {'n':>2} {'time s min/med/max':>24} {'cpu s min/med/max':>18} {'peak MiB':>8}")
for part in parts:
    for name in order:
        keys = [k for k in runs if k[0] == part and k[1] == name]
        tools = sorted({t for k in keys for t in runs[k]}, key=lambda t: (t != "engine", t))
        for tool in tools:
            s = [runs[k][tool] for k in keys if tool in runs[k]]
            print(f"{part:16} {name:5} {tool:10} {len(s):2} {spread([x[0] for x in s], '{:.4f}'):>24} "
                  f"{spread([x[1] for x in s]):>18} {max(x[2] for x in s) / 1024:8.1f}")
print(f"\nengine against each peer, per round (min/median/max of engine / peer), mode {mode}:")
def ratios(part, name, peer, idx=0):
    return [runs[k]["engine"][idx] / runs[k][peer][idx] for k in runs
            if k[0] == part and k[1] == name and "engine" in runs[k] and peer in runs[k] and runs[k][peer][idx] > 0]
def line(label, values, target=None):
    if not values:
        return
    med = statistics.median(values)
    verdict = "" if target is None else (f"  target <= {target}: " + ("met" if med <= target else "NOT met"))
    print(f"  {label:44} {spread(values):>16}  ({len(values)} rounds){verdict}")
for part in parts:
    for name in order:
        peers = sorted({t for k in runs if k[0] == part and k[1] == name for t in runs[k]} - {"engine"})
        for peer in peers:
            target = None
            if part in ("loopback", "cold") and peer == "curl8":
                target = 1.1
            if part == "loopback-pinned" and peer == "curl" and name == "1g":
                target = 0.6
            if part == "shaped" and peer == "curl" and name in ("1m", "8m", "31m"):
                target = 1.0
            line(f"{part} {name} time / {peer}", ratios(part, name, peer), target)
            if peer == "curl" and part == "shaped":
                line(f"{part} {name} own transfer time / {peer}'s", ratios(part, name, peer, 3), target)
        if part in ("loopback", "cold") and "curl8-sep" in peers:
            line(f"{part} {name} CPU / curl8-sep", ratios(part, name, "curl8-sep", 1), 1.3)
peak = [runs[k]["engine"][2] / 1024 for k in runs if "engine" in runs[k]]
if peak:
    print(f"  engine peak memory, all runs: {max(peak):.1f} MiB (target < 48) {'met' if max(peak) < 48 else 'NOT met'}")
if bad:
    print(f"{len(bad)} run(s) failed or produced a wrong SHA-256: " + ", ".join("/".join(r[:4]) for r in bad))
    sys.exit(1)
PY
