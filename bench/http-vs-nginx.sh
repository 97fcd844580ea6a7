#!/usr/bin/env bash
# kelvara's HTTP server against nginx on loopback, in one run (not part of CI).
#
#   bench/http-vs-nginx.sh [BIN_DIR] [SOAK_SECONDS]
#
# Serves the same 5 KiB picture from both and runs `wrk -t2 -c16 -d10s` against each; prints
# requests per second and the ratio (target: kelvara at least half of nginx). While wrk runs,
# kelvara's passes (one per second here) must go on: /metrics' kelvara_passes_total is read
# before and after. Then a soak of SOAK_SECONDS (default 60) with 200 connections against
# kelvara: wrk's errors and kelvara's RSS before and after. Needs wrk and nginx (nginx-light).
set -euo pipefail
bin=$(cd "${1:-build/bin}" && pwd)
soak=${2:-60}
for tool in wrk nginx curl; do
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
keep=${KEEP:-}

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
kv_port=$(free_port)
nginx_port=$(free_port)

mkdir -p "$work/pics" "$work/data/kelvara" "$work/run" "$work/nginx"
head -c 5120 /dev/urandom > "$work/pics/kvlight.png"
cp "$work/pics/kvlight.png" "$work/nginx/kvlight.png"
# nginx's workers drop to an unprivileged user when started as root.
chmod 755 "$work" "$work/nginx"
chmod 644 "$work/nginx/kvlight.png"

# kelvara: headless, its own settings folder and instance socket, pictures not re-saved.
cat > "$work/data/kelvara/KVClient.ini" <<INI
[Misc]
LocalPath=$work/pics/
ReadTemp=1000
[Light]
SaveLight=0
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

cat > "$work/nginx.conf" <<CONF
worker_processes auto;
pid $work/nginx.pid;
error_log $work/nginx-error.log;
events { worker_connections 1024; }
http {
  access_log off;
  client_body_temp_path $work/nginx-tmp;
  types { image/png png; }
  server { listen 127.0.0.1:$nginx_port; root $work/nginx; }
}
CONF
nginx -c "$work/nginx.conf" -p "$work" -g 'daemon off;' 2>"$work/nginx.out" &
pids+=("$!")

wait_up() {
  for _ in $(seq 100); do
    curl -sf -o /dev/null "http://127.0.0.1:$1/kvlight.png" && return 0
    sleep 0.1
  done
  echo "nothing answers on port $1" >&2
  for f in "$work/kelvara.out" "$work/nginx.out" "$work/nginx-error.log" "$work/data/kelvara/KVEvents.txt"; do echo "== $f"; tail -n 5 "$f"; done >&2 2>/dev/null || true
  exit 1
}
wait_up "$kv_port"
wait_up "$nginx_port"

passes() { curl -sf "http://127.0.0.1:$kv_port/metrics" | awk '$1 == "kelvara_passes_total" { print $2 }'; }
rps() { awk '/Requests\/sec/ { print $2 }'; }
rss_kib() { awk '/VmRSS/ { print $2 }' "/proc/$kv_pid/status"; }

before=$(passes)
kv_out=$(wrk -t2 -c16 -d10s "http://127.0.0.1:$kv_port/kvlight.png")
after=$(passes)
nginx_out=$(wrk -t2 -c16 -d10s "http://127.0.0.1:$nginx_port/kvlight.png")
kv_rps=$(rps <<<"$kv_out")
nginx_rps=$(rps <<<"$nginx_out")
echo "kelvara: $kv_rps requests/s"
echo "nginx:   $nginx_rps requests/s"
awk -v k="$kv_rps" -v n="$nginx_rps" 'BEGIN { printf "ratio:   %.2f (target >= 0.50)\n", k / n }'
echo "passes during kelvara's 10 s of load: $((after - before)) (one per second expected)"
grep -E "Non-2xx|Socket errors" <<<"$kv_out" || true

rss0=$(rss_kib)
soak_out=$(wrk -t2 -c200 -d"${soak}s" --timeout 10s "http://127.0.0.1:$kv_port/kvlight.png")
rss1=$(rss_kib)
echo "soak ${soak}s, 200 connections: $(rps <<<"$soak_out") requests/s"
grep -E "requests in|Non-2xx|Socket errors" <<<"$soak_out" || echo "no errors"
echo "kelvara RSS: ${rss0} KiB before, ${rss1} KiB after ($(( (rss1 - rss0) / 1024 )) MiB growth)"
