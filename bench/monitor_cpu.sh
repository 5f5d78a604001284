#!/usr/bin/env bash
# Whole-process CPU of orlix-monitor receiving the simulated plant at the real
# line rate (1200 baud) for a while, measured from /proc (user + system time
# of the monitor process, its analyzer window included).
#
#   bench/monitor_cpu.sh [BUILD_DIR] [SECONDS]
#
# Needs Xvfb and xdotool; runs the monitor on a private virtual display and
# presses Start with xdotool. Target: below 0.5 % of one core.
set -euo pipefail
build="${1:-build/release}"
seconds="${2:-60}"
monitor="$build/app/orlix-monitor"
sim="$build/tools/orlix-plant-sim"
for p in "$monitor" "$sim"; do
  [ -x "$p" ] || { echo "monitor_cpu: $p not built" >&2; exit 2; }
done
command -v Xvfb >/dev/null && command -v xdotool >/dev/null ||
  { echo "monitor_cpu: needs Xvfb and xdotool" >&2; exit 2; }

work="$(mktemp -d)"
display=":$((90 + RANDOM % 500))"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

Xvfb "$display" -screen 0 1600x900x24 >/dev/null 2>&1 &
pids+=($!)
"$sim" --link "$work/plant" >/dev/null &
pids+=($!)
for _ in $(seq 50); do [ -e "$work/plant" ] && break; sleep 0.1; done
sleep 1
DISPLAY="$display" "$monitor" --port "Com1=$work/plant" >"$work/monitor.log" 2>&1 &
mon=$!
pids+=("$mon")
win=""
for _ in $(seq 50); do
  win="$(DISPLAY="$display" xdotool search --name "Orlix Monitor" 2>/dev/null | head -1 || true)"
  [ -n "$win" ] && break
  sleep 0.2
done
[ -n "$win" ] || { echo "monitor_cpu: the monitor window did not appear" >&2; exit 1; }
sleep 1
# StartCmd sits at (8, 4) pixels, 57 x 25.
DISPLAY="$display" xdotool mousemove --window "$win" 30 16 click 1
sleep 5
title="$(DISPLAY="$display" xdotool getwindowname "$win")"
case "$title" in
  *Running*) ;;
  *) echo "monitor_cpu: the monitor is not running (title \"$title\")" >&2; exit 1 ;;
esac

ticks() { awk '{print $14 + $15}' "/proc/$mon/stat"; }
hz="$(getconf CLK_TCK)"
t0="$(ticks)"
start="$(date +%s.%N)"
sleep "$seconds"
t1="$(ticks)"
end="$(date +%s.%N)"
awk -v a="$t0" -v b="$t1" -v hz="$hz" -v s="$start" -v e="$end" 'BEGIN {
  cpu = (b - a) / hz; wall = e - s;
  printf "monitor CPU: %.2f s over %.1f s = %.3f %% of one core (target < 0.5 %%)\n", cpu, wall, 100 * cpu / wall
}'
