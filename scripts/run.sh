#!/usr/bin/env bash
# Builds Orlix Monitor (Release, g++) and starts it.
#
# With a display the monitor starts with a simulated plant on Com1 (--demo);
# press Start to watch live data. Arguments are passed on to the monitor;
# naming a port (--port ComN=PATH) leaves the simulated plant out.
# Without a display the simulated plant is decoded to the terminal as CSV.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

if [ "$(id -u)" = 0 ]; then
  bash scripts/deps.sh --gui
elif command -v sudo >/dev/null 2>&1; then
  sudo bash scripts/deps.sh --gui
else
  echo "run.sh: not root and no sudo; assuming the packages of scripts/deps.sh are installed" >&2
fi

build="${ORLIX_BUILD_DIR:-build/release}"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_CXX_COMPILER=g++ -DORLIX_BENCH=OFF >/dev/null
cmake --build "$build" --target orlix-monitor orlix-plant-sim orlix-decode

monitor="$build/app/orlix-monitor"
sim="$build/tools/orlix-plant-sim"
decode="$build/tools/orlix-decode"

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  demo=1
  for a in "$@"; do
    case "$a" in
      --port|--port=*|--demo) demo=0 ;;
    esac
  done
  if [ "$demo" = 1 ]; then
    exec "$monitor" --demo "$@"
  fi
  exec "$monitor" "$@"
fi

echo "run.sh: no display (DISPLAY and WAYLAND_DISPLAY unset): decoding the simulated plant to the terminal instead (Ctrl-C ends)."
"$sim" --stdout | "$decode" --csv
