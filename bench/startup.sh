#!/usr/bin/env bash
# Start-up of orlix-monitor against a bare Qt window: the time from starting
# each program until its window is shown on a private virtual display (so
# its event loop runs), the median of RUNS starts of each, taken in turns so
# that the machine's load falls on both alike. Goal: at most 2 x the bare
# window.
#
#   bench/startup.sh [BUILD_DIR] [RUNS]
set -euo pipefail
build="${1:-build/release}"
runs="${2:-15}"
monitor="$build/app/orlix-monitor"
bare="$build/bench/bare_window"
for p in "$monitor" "$bare"; do
  [ -x "$p" ] || { echo "startup: $p not built" >&2; exit 2; }
done
command -v Xvfb >/dev/null && command -v xdotool >/dev/null ||
  { echo "startup: needs Xvfb and xdotool" >&2; exit 2; }

log="$(mktemp)"
# Xvfb picks a free display and writes its number once it is ready.
Xvfb -displayfd 3 -noreset -screen 0 1600x900x24 3>"$log.display" >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true; rm -f "$log" "$log.display"' EXIT
for _ in $(seq 100); do [ -s "$log.display" ] && break; sleep 0.1; done
[ -s "$log.display" ] || { echo "startup: Xvfb did not start" >&2; exit 1; }
display=":$(cat "$log.display")"

# Seconds from the start of "$@" until a visible window named $title exists.
shown_after() {
  local title="$1" start pid end
  shift
  start="$(date +%s.%N)"
  DISPLAY="$display" "$@" >/dev/null 2>"$log" &
  pid=$!
  until DISPLAY="$display" xdotool search --onlyvisible --name "$title" >/dev/null 2>&1; do
    kill -0 "$pid" 2>/dev/null || { echo "startup: $1 ended before its window showed:" >&2; cat "$log" >&2; exit 1; }
    sleep 0.005
  done
  end="$(date +%s.%N)"
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  awk -v s="$start" -v e="$end" 'BEGIN { printf "%.4f\n", e - s }'
}

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

bare_times=() monitor_times=()
for _ in $(seq "$runs"); do
  bare_times+=("$(shown_after "bare window" "$bare")")
  monitor_times+=("$(shown_after "Orlix Monitor---" "$monitor")")
done
b="$(printf '%s\n' "${bare_times[@]}" | median)"
m="$(printf '%s\n' "${monitor_times[@]}" | median)"
awk -v b="$b" -v m="$m" -v n="$runs" 'BEGIN {
  printf "bare Qt window: %.0f ms, orlix-monitor: %.0f ms (medians of %d starts); ratio %.2f (goal <= 2)\n",
         b * 1000, m * 1000, n, m / b }'
