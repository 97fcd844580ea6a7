#!/usr/bin/env bash
# The main window's memory and CPU, measured on one private Xvfb beside bench_minimal_window
# (one 550x600 image and a tray icon): kelvara's RSS with the window shown and after hiding it
# to the tray, the ratio to the minimal program, and kelvara's CPU per minute at the default
# cycle with the window shown. Not part of CI: it needs Xvfb, xdotool and trayer (an XEmbed
# tray host; without one the window cannot hide to a tray) and takes a few minutes.
#
#   bench/gui-footprint.sh [BIN_DIR] [MINUTES]
#     BIN_DIR  folder holding kelvara and bench_minimal_window (default build-bench/bin)
#     MINUTES  length of the CPU measurement (default 3)
#   KV_DISPLAY=N picks the X display number (default 97).
set -euo pipefail

bin=$(cd "${1:-build-bench/bin}" && pwd)
minutes=${2:-3}
((minutes >= 1)) || { echo "gui-footprint: MINUTES must be at least 1" >&2; exit 2; }
display=:${KV_DISPLAY:-97}
for tool in Xvfb xdotool trayer; do
  command -v "$tool" >/dev/null || { echo "gui-footprint: $tool is missing" >&2; exit 2; }
done
for program in kelvara bench_minimal_window; do
  [[ -x $bin/$program ]] || { echo "gui-footprint: $bin/$program is missing" >&2; exit 2; }
done

# A private home, so the run neither reads nor changes the user's settings and statistics.
work=$(mktemp -d /tmp/kv-footprint.XXXXXX)
mkdir -p "$work/home" "$work/run"
chmod 700 "$work/run"
export HOME=$work/home XDG_DATA_HOME=$work/home/.local/share XDG_CONFIG_HOME=$work/home/.config
export XDG_RUNTIME_DIR=$work/run DISPLAY=$display QT_QPA_PLATFORM=xcb
unset WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS

pids=()
cleanup() {
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.2; done

# The tray host in the bottom right corner, where no window is placed.
trayer --edge bottom --align right --widthtype pixel --width 96 --heighttype pixel --height 24 \
  --transparent false >"$work/trayer.log" 2>&1 &
pids+=($!)
sleep 2

"$bin/bench_minimal_window" >"$work/minimal.log" 2>&1 &
minimal=$!
pids+=("$minimal")
"$bin/kelvara" >"$work/kelvara.log" 2>&1 &
kelvara=$!
pids+=("$kelvara")
sleep 25  # start-up, splash, the first passes and the first chart

rss() { awk '/^VmRSS/ { print $2 }' "/proc/$1/status"; }
# utime + stime in clock ticks; the command name may hold blanks, so count from its ')'.
# kelvara's main window is mapped (its tray icon, also a window of its own, is small).
visible_main() {
  for w in $(xdotool search --onlyvisible --pid "$kelvara" 2>/dev/null); do
    eval "$(xdotool getwindowgeometry --shell "$w")"
    ((WIDTH > 32)) && return 0
  done
  return 1
}
cpu_ticks() { sed 's/.*) //' "/proc/$1/stat" | awk '{ print $12 + $13 }'; }

kill -0 "$kelvara" 2>/dev/null || { echo "gui-footprint: kelvara ended early" >&2; cat "$work/kelvara.log" >&2; exit 1; }
visible_main || echo "note: kelvara shows no window" >&2

minimal_rss=$(rss "$minimal")
shown_rss=$(rss "$kelvara")

hz=$(getconf CLK_TCK)
t0=$(cpu_ticks "$kelvara")
sleep $((minutes * 60))
t1=$(cpu_ticks "$kelvara")
cpu_ms_per_min=$(awk -v a="$t0" -v b="$t1" -v hz="$hz" -v m="$minutes" 'BEGIN { printf "%.1f", (b - a) * 1000 / hz / m }')

shown_rss_later=$(rss "$kelvara")  # hiding is compared with this, not with the start

# Hide through the tray: a click on kelvara's icon, the small window of its own that the tray
# host holds. One click only: two would make a double-click, which toggles the automatic upload.
hidden=no
for w in $(xdotool search --onlyvisible --pid "$kelvara" 2>/dev/null); do
  eval "$(xdotool getwindowgeometry --shell "$w")"
  if ((WIDTH <= 32 && HEIGHT <= 32)); then
    xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 1
    break
  fi
done
sleep 2
visible_main || hidden=yes
sleep 10  # the chart bitmap freed and the memory trimmed
hidden_rss=$(rss "$kelvara")

# A second start asks the first to show its window, and ends.
"$bin/kelvara" >"$work/second.log" 2>&1 || true
sleep 3
shown_again=no
visible_main && shown_again=yes

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
echo "minimal program RSS:          ${minimal_rss} KiB"
echo "kelvara RSS, window shown:    ${shown_rss} KiB ($(ratio "$shown_rss" "$minimal_rss") x minimal)"
echo "kelvara RSS, shown, ${minutes} min later: ${shown_rss_later} KiB ($(ratio "$shown_rss_later" "$minimal_rss") x minimal)"
echo "kelvara RSS, hidden to tray:  ${hidden_rss} KiB ($(ratio "$hidden_rss" "$minimal_rss") x minimal; hidden: $hidden)"
echo "kelvara CPU, window shown:    ${cpu_ms_per_min} ms per minute over ${minutes} min"
echo "second start showed window:   $shown_again"
