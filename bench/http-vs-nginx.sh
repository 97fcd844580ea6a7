#!/usr/bin/env bash
# kelvara's HTTP server against nginx on loopback, side by side in one run (not part of CI).
#
#   bench/http-vs-nginx.sh [BIN_DIR] [SECONDS] [SOAK_SECONDS]
#
# kelvara runs headless and saves its light picture (the first save comes 45 s after the
# start); nginx then serves a copy of the same picture and of the same /metrics text. For both
# paths and 1, 32 and 256 connections, `wrk --latency` runs SECONDS (default 10) against each
# server and the table gives requests/s, p50 and p99, and the server's CPU time per request
# (user + system of all its processes and threads over the run), then kelvara's ratios.
# Goals: requests/s for the picture at 32 connections >= nginx's; p99 at 256 connections and
# CPU per request within 1.5x nginx's.
#
# While wrk runs, kelvara's passes (one every 5 s here) must go on. At the end a soak of
# SOAK_SECONDS (default 60, 0 skips it) with 200 connections against kelvara reports wrk's
# errors and kelvara's RSS before and after. Needs wrk, nginx (nginx-light) and curl.
set -euo pipefail
bin=$(cd "${1:-build/bin}" && pwd)
seconds=${2:-10}
soak=${3:-60}
for tool in wrk nginx curl python3; do
  command -v "$tool" >/dev/null || { echo "needs $tool" >&2; exit 2; }
done
[ -x "$bin/kelvara" ] || { echo "no kelvara in $bin" >&2; exit 2; }

work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  [ -n "${KEEP:-}" ] && cat "$work/kelvara.out" "$work/data/kelvara/KVEvents.txt" 2>/dev/null | tail -20
  rm -rf "$work"
}
trap cleanup EXIT

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
kv_port=$(free_port)
nginx_port=$(free_port)

mkdir -p "$work/pics" "$work/data/kelvara" "$work/run" "$work/nginx"
# nginx's workers drop to an unprivileged user when started as root.
chmod 755 "$work" "$work/nginx"

# kelvara: headless, its own settings folder and instance socket; the light is saved as usual.
cat > "$work/data/kelvara/KVClient.ini" <<INI
[Misc]
LocalPath=$work/pics/
ReadTemp=5000
[Light]
SaveLight=1
[Banner]
SaveBanner=0
[Debug]
Debug=1
INI
cat > "$work/data/kelvara/KVDisplay.ini" <<INI
[Misc]
HTTPServerActive=1
HTTPServerPort=$kv_port
INI
chmod 700 "$work/data" "$work/data/kelvara" "$work/run"
XDG_DATA_HOME=$work/data XDG_RUNTIME_DIR=$work/run QT_QPA_PLATFORM=offscreen \
  "$bin/kelvara" -headless >"$work/kelvara.out" 2>&1 &
kv_pid=$!
pids+=("$kv_pid")

echo "waiting for kelvara's first light save (45 s after its start)..." >&2
for _ in $(seq 600); do
  [ -s "$work/pics/kvlight.png" ] && break
  sleep 0.1
done
[ -s "$work/pics/kvlight.png" ] || { echo "kelvara saved no light picture" >&2; exit 1; }
sleep 0.5
curl -sf -o "$work/nginx/kvlight.png" "http://127.0.0.1:$kv_port/kvlight.png"
cmp -s "$work/nginx/kvlight.png" "$work/pics/kvlight.png" || { echo "the served light differs from the saved file" >&2; exit 1; }
curl -sf -o "$work/nginx/metrics" "http://127.0.0.1:$kv_port/metrics"
chmod 644 "$work/nginx/"*

cat > "$work/nginx.conf" <<CONF
worker_processes auto;
pid $work/nginx.pid;
error_log $work/nginx-error.log;
events { worker_connections 1024; }
http {
  access_log off;
  client_body_temp_path $work/nginx-tmp;
  types { image/png png; }
  default_type "text/plain; version=0.0.4; charset=utf-8";
  server { listen 127.0.0.1:$nginx_port; root $work/nginx; }
}
CONF
nginx -c "$work/nginx.conf" -p "$work" -g 'daemon off;' 2>"$work/nginx.out" &
nginx_pid=$!
pids+=("$nginx_pid")
for _ in $(seq 100); do
  curl -sf -o /dev/null "http://127.0.0.1:$nginx_port/kvlight.png" && break
  sleep 0.1
done

# CPU clock ticks of a process and its children, all threads.
ticks() {
  local t=0 p f
  for p in "$1" $(pgrep -P "$1" || true); do
    read -r -a f < "/proc/$p/stat"
    t=$((t + f[13] + f[14]))
  done
  echo "$t"
}
to_ms() { awk '{ v = $1 + 0; if ($1 ~ /us$/) v /= 1000; else if ($1 ~ /ms$/) v += 0; else if ($1 ~ /s$/) v *= 1000; printf "%.3f", v }' <<<"$1"; }
passes() { curl -sf "http://127.0.0.1:$kv_port/metrics" | awk '$1 == "kelvara_passes_total" { print $2 }'; }
hz=$(getconf CLK_TCK)

# measure NAME PID PORT PATH CONNECTIONS: one line "name path c rps p50 p99 cpu_us".
measure() {
  local name=$1 pid=$2 port=$3 path=$4 c=$5 threads=2 t0 t1 out
  [ "$c" -lt 2 ] && threads=1
  t0=$(ticks "$pid")
  out=$(wrk -t"$threads" -c"$c" -d"${seconds}s" --latency "http://127.0.0.1:$port/$path")
  t1=$(ticks "$pid")
  local rps requests p50 p99 errors
  rps=$(awk '/Requests\/sec/ { print $2 }' <<<"$out")
  requests=$(awk '/requests in/ { print $1 }' <<<"$out")
  p50=$(to_ms "$(awk '$1 == "50%" { print $2 }' <<<"$out")")
  p99=$(to_ms "$(awk '$1 == "99%" { print $2 }' <<<"$out")")
  errors=$(grep -cE "Non-2xx|Socket errors" <<<"$out" || true)
  awk -v n="$name" -v p="$path" -v c="$c" -v r="$rps" -v a="$p50" -v b="$p99" -v t=$((t1 - t0)) -v hz="$hz" \
      -v q="$requests" -v e="$errors" \
      'BEGIN { printf "%s %s %d %.0f %s %s %.2f %d\n", n, p, c, r, a, b, t * 1e6 / hz / q, e }'
}

results=()
before=$(passes)
for path in kvlight.png metrics; do
  for c in 1 32 256; do
    results+=("$(measure kelvara "$kv_pid" "$kv_port" "$path" "$c")")
    results+=("$(measure nginx "$nginx_pid" "$nginx_port" "$path" "$c")")
  done
done
after=$(passes)

echo
echo "| path | connections | server | requests/s | p50 ms | p99 ms | CPU µs/request |"
echo "|---|---:|---|---:|---:|---:|---:|"
printf '%s\n' "${results[@]}" | awk '{ printf "| /%s | %d | %s | %s | %s | %s | %s |%s\n", $2, $3, $1, $4, $5, $6, $7, ($8 > 0 ? " wrk reported errors" : "") }'
echo
echo "kelvara / nginx:"
printf '%s\n' "${results[@]}" | awk '
  $1 == "kelvara" { k[$2 " " $3] = $0 }
  $1 == "nginx"   { n[$2 " " $3] = $0 }
  END {
    for (key in k) {
      split(k[key], a, " "); split(n[key], b, " ")
      printf "  /%-12s %3d connections: requests/s %.2f, p99 %.2f, CPU/request %.2f\n", a[2], a[3], a[4] / b[4], a[6] / b[6], a[7] / b[7]
    }
  }' | sort
echo "passes during kelvara's load: $((after - before)) in about $((6 * seconds)) s of its runs plus nginx's (one per 5 s expected)"

if [ "$soak" -gt 0 ]; then
  rss_kib() { awk '/VmRSS/ { print $2 }' "/proc/$kv_pid/status"; }
  rss0=$(rss_kib)
  soak_out=$(wrk -t2 -c200 -d"${soak}s" --timeout 10s "http://127.0.0.1:$kv_port/kvlight.png")
  rss1=$(rss_kib)
  echo "soak ${soak}s, 200 connections: $(awk '/Requests\/sec/ { print $2 }' <<<"$soak_out") requests/s"
  grep -E "requests in|Non-2xx|Socket errors" <<<"$soak_out" || echo "no errors"
  echo "kelvara RSS: ${rss0} KiB before, ${rss1} KiB after ($(( (rss1 - rss0) / 1024 )) MiB growth)"
fi
