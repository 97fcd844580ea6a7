#!/usr/bin/env bash
# Kelvara beside the monitors and the grapher a user would compare it with, side by side in one
# run on this machine, CPU time (utime + stime from /proc/<pid>/stat, or perf's task-clock)
# with medians over interleaved runs:
#   chart     kvsysinfo -chart, ten curves over a full 8-hour series, against rrdtool graph of
#             the same ten series with min/max/average legends (process start to PNG written)
#   window    kelvara's shown main window at [Misc] ReadTemp=1000 with a full history on Xvfb
#             with openbox, against conky at a 1-second update on the same X server
#   headless  kelvara -headless at ReadTemp=1000 against conky writing to the console each second
# Usage: bench/vs-peers.sh [BIN_DIR] [SECONDS] [ROUNDS]   (default build/bin 60 3)
# KV_PEERS=window (or chart, headless, a list separated by commas) runs only those parts;
# KV_BEFORE=OTHER_BIN_DIR times that build's kvsysinfo -chart in the same interleaved rounds.
# Needs rrdtool, conky (conky-std), Xvfb, openbox and perf.
set -euo pipefail
bin=$(cd "${1:-build/bin}" && pwd)
seconds=${2:-60}
rounds=${3:-3}
work=$(mktemp -d /tmp/kv-vs-peers.XXXXXX)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
parts=",${KV_PEERS:-chart,window,headless},"
want() { [[ $parts == *",$1,"* ]]; }

# Settings folders with the three series ending now: ten temperatures only, and every band.
for bands in t10 all; do
  mkdir -p "$work/$bands/kelvara"
  (cd "$bin" && KV_BENCH_SERIES="$work/$bands/kelvara" KV_BENCH_BANDS=$bands ./bench_chart >/dev/null 2>&1)
  sed -i 's/^ReadTemp=.*/ReadTemp=1000/' "$work/$bands/kelvara/KVClient.ini"
done

median() { sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'; }
# CPU milliseconds of a command run to its end (task-clock: every thread, to the microsecond).
child_ms() {
  perf stat -x, -e task-clock -o "$work/time" "$@" >/dev/null 2>&1
  awk -F, '/task-clock/ {printf "%.1f\n", $1}' "$work/time"
}
# CPU milliseconds a running process spends over `seconds`, measured after it has settled.
stat_ms() {
  local pid=$1 before after tick
  tick=$(getconf CLK_TCK)
  sleep 10
  before=$(awk '{print $14 + $15}' "/proc/$pid/stat")
  sleep "$seconds"
  after=$(awk '{print $14 + $15}' "/proc/$pid/stat")
  echo $(( (after - before) * 1000 / tick ))
}

# ---- chart ----
if want chart; then
csv="$work/t10/kelvara/series.csv"
first=$(head -1 "$csv" | cut -d, -f1)
last=$(tail -1 "$csv" | cut -d, -f1)
ds=()
for i in $(seq 1 10); do ds+=("DS:t$i:GAUGE:60:-50:200"); done
rrdtool create "$work/t.rrd" --start $((first - 20)) --step 20 "${ds[@]}" RRA:AVERAGE:0.5:1:1600
sed 's/,/:/g' "$csv" | xargs -n 200 rrdtool update "$work/t.rrd"
colours=(ff0000 ff8000 c0c000 00c000 00c0c0 0080ff 0000ff 8000ff ff00ff 804000)
graph=(rrdtool graph "$work/rrd.png" --start $((last - 8 * 3600)) --end "$last" -w 500 -h 150 --imgformat PNG)
for i in $(seq 1 10); do
  graph+=("DEF:t$i=$work/t.rrd:t$i:AVERAGE" "LINE1:t$i#${colours[$((i - 1))]}:T$i"
          "GPRINT:t$i:MIN:Min %4.1lf" "GPRINT:t$i:MAX:Max %4.1lf" "GPRINT:t$i:AVERAGE:Avg %4.1lf\\n")
done
kv_chart=(env XDG_DATA_HOME="$work/t10" "$bin/kvsysinfo" -chart "$work/kv.png" -hours 8)
: >"$work/chart-kv"; : >"$work/chart-rrd"
for r in $(seq 1 $((rounds + 2))); do
  [ -n "${KV_BEFORE:-}" ] && child_ms env XDG_DATA_HOME="$work/t10" "$KV_BEFORE/kvsysinfo" -chart "$work/kv0.png" -hours 8 >>"$work/chart-kv0"
  child_ms "${kv_chart[@]}" >>"$work/chart-kv"
  child_ms "${graph[@]}" >>"$work/chart-rrd"
done
kv=$(median <"$work/chart-kv"); rrd=$(median <"$work/chart-rrd")
if [ -n "${KV_BEFORE:-}" ]; then
  kv0=$(median <"$work/chart-kv0")
  echo "chart: before ($KV_BEFORE) $kv0 ms [$(tr '\n' ' ' <"$work/chart-kv0")], ratio $(awk -v a="$kv0" -v b="$rrd" 'BEGIN {printf "%.2f", a / b}')"
fi
echo "chart: kvsysinfo $kv ms [$(tr '\n' ' ' <"$work/chart-kv")], rrdtool $rrd ms [$(tr '\n' ' ' <"$work/chart-rrd")]"
echo "chart: kvsysinfo $kv ms ($(stat -c %s "$work/kv.png") bytes), rrdtool $rrd ms ($(stat -c %s "$work/rrd.png") bytes), ratio $(awk -v a="$kv" -v b="$rrd" 'BEGIN {printf "%.2f", a / b}')"
fi

# ---- window and headless ----
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 & pids+=($!)
sleep 1
DISPLAY=$display openbox >/dev/null 2>&1 & pids+=($!)
sleep 1
cat >"$work/conky-x.conf" <<'CONF'
conky.config = { update_interval = 1, out_to_x = true, out_to_console = false, own_window = true,
  own_window_type = 'normal', double_buffer = true, use_xft = true, font = 'DejaVu Sans Mono:size=9',
  alignment = 'top_left', minimum_width = 320, background = false }
conky.text = [[
${time %H:%M:%S}  Uptime $uptime
CPU ${cpu cpu0}% ${cpubar cpu0}
${cpugraph cpu0}
RAM $mem / $memmax ${membar}
Swap $swap / $swapmax
Net lo ${downspeed lo} / ${upspeed lo}
${downspeedgraph lo}
Disk / ${fs_used /} / ${fs_size /} ${fs_bar /}
Load $loadavg  Processes $processes
${top name 1} ${top cpu 1}
${top name 2} ${top cpu 2}
${top name 3} ${top cpu 3}
]]
CONF
sed -e 's/out_to_x = true/out_to_x = false/' -e 's/out_to_console = false/out_to_console = true/' \
    -e 's/ \${cpubar cpu0}//; /cpugraph/d; s/ \${membar}//; /downspeedgraph/d; s/ \${fs_bar \/}//' \
    "$work/conky-x.conf" >"$work/conky-console.conf"

run() {  # name command...: CPU ms over `seconds` of a program started now
  local name=$1
  shift
  "$@" >/dev/null 2>&1 &
  local pid=$!
  stat_ms "$pid" >>"$work/$name"
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}
for r in $(seq 1 "$rounds"); do
  if want window; then
    run window env DISPLAY="$display" XDG_DATA_HOME="$work/all" XDG_RUNTIME_DIR="$work/all" "$bin/kelvara"
    run conky-x env DISPLAY="$display" conky -c "$work/conky-x.conf"
  fi
  if want headless; then
    run headless env XDG_DATA_HOME="$work/all" XDG_RUNTIME_DIR="$work/all" "$bin/kelvara" -headless
    run conky-console conky -c "$work/conky-console.conf"
  fi
done
for pair in "window conky-x" "headless conky-console"; do
  set -- $pair
  want "$1" || continue
  a=$(median <"$work/$1"); b=$(median <"$work/$2")
  echo "$1: kelvara $a ms per ${seconds} s [$(tr '\n' ' ' <"$work/$1")], $2 $b ms [$(tr '\n' ' ' <"$work/$2")], ratio $(awk -v a="$a" -v b="$b" 'BEGIN {printf "%.2f", a / b}')"
done
