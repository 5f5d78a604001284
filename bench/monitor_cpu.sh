#!/usr/bin/env bash
# Whole-process CPU of orlix-monitor receiving the simulated plant at the real
# line rate (1200 baud) for a while, measured from /proc (user + system time
# of the monitor process, its analyzer window included).
#
#   bench/monitor_cpu.sh [BUILD_DIR] [SECONDS] [plain|capture|both]
#
# Needs Xvfb and xdotool; runs the monitor on a private virtual display and
# presses Start with xdotool. "capture" runs it with --capture into a
# scratch folder (every read also written to a bus capture), "both" (the
# default) runs the plain monitor and then the capturing one, on the same
# plant, so the two figures compare. Target: below 0.5 % of one core each.
set -euo pipefail
build="${1:-build/release}"
seconds="${2:-60}"
variants="${3:-both}"
case "$variants" in
  plain|capture) ;;
  both) variants="plain capture" ;;
  *) echo "monitor_cpu: the third argument is plain, capture or both" >&2; exit 2 ;;
esac
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
# One run of the monitor ($1: plain or capture): its CPU over $seconds s.
measure() {
  local variant="$1" extra=() mon win title t0 t1 start end
  if [ "$variant" = capture ]; then
    mkdir -p "$work/captures"
    extra=(--capture "$work/captures/")
  fi
  DISPLAY="$display" "$monitor" --port "Com1=$work/plant" "${extra[@]}" >"$work/monitor-$variant.log" 2>&1 &
  mon=$!
  pids+=("$mon")
  win=""
  for _ in $(seq 50); do
    win="$(DISPLAY="$display" xdotool search --name "Orlix Monitor---" 2>/dev/null | head -1 || true)"
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
  t0="$(ticks)"
  start="$(date +%s.%N)"
  sleep "$seconds"
  t1="$(ticks)"
  end="$(date +%s.%N)"
  awk -v a="$t0" -v b="$t1" -v hz="$hz" -v s="$start" -v e="$end" -v v="$variant" 'BEGIN {
    cpu = (b - a) / hz; wall = e - s;
    printf "monitor CPU (%s): %.2f s over %.1f s = %.3f %% of one core (target < 0.5 %%)\n", v, cpu, wall, 100 * cpu / wall
  }'
  if [ "$variant" = capture ]; then
    local file
    file="$( (ls "$work"/captures/*.pcap 2>/dev/null || true) | head -1)"
    [ -n "$file" ] || { echo "monitor_cpu: no capture was written" >&2; exit 1; }
    echo "capture: $(stat -c %s "$file") bytes in $(basename "$file")"
  fi
  kill "$mon" 2>/dev/null || true
  wait "$mon" 2>/dev/null || true
  sleep 1
}

hz="$(getconf CLK_TCK)"
for v in $variants; do measure "$v"; done
