#!/usr/bin/env bash
# Runs the installed programs from their installed paths: every program and
# the Qt platform plugins find their libraries, the version and help texts
# come out, and the monitor starts offscreen on its simulated plant and ends
# cleanly on SIGTERM. Run inside the root the package was installed into.
# usage: in_root.sh VERSION [PREFIX]   (PREFIX: where the package's /usr is,
# for a root unpacked beside the running system instead of installed)
# Prints one "ok - ..." or "FAIL - ..." line per check; exits with the
# number of failed checks.
set -uo pipefail
version=$1
prefix=${2:-}
bin=$prefix/usr/bin
failed=0
report() {  # report OK|FAIL WHAT [DETAIL]
  if [ "$1" = ok ]; then echo "ok - $2"; else echo "FAIL - $2${3:+: $3}"; failed=$((failed + 1)); fi
}

qt_plugins=$(dirname "$(ldd "$bin/orlix-monitor" | awk '/libQt6Gui/ {print $3}')")/qt6/plugins/platforms
for f in "$bin"/orlix-* "$qt_plugins/libqxcb.so" "$qt_plugins/libqoffscreen.so"; do
  if [ ! -e "$f" ]; then report FAIL "$f is there"; continue; fi
  missing=$(ldd "$f" 2>&1 | grep -F "not found")
  if [ -z "$missing" ]; then report ok "ldd $f"; else report FAIL "ldd $f" "$missing"; fi
done

out=$("$bin/orlix-monitor" --version 2>&1)
expected="^orlix-monitor ${version//./\\.} \\(git ([0-9a-f]+|unknown)\\)$"
if [[ "$out" =~ $expected ]]; then
  report ok "orlix-monitor --version: $out"
else
  report FAIL "orlix-monitor --version" "$out"
fi
if out=$("$bin/orlix-decode" --help 2>&1) && [[ "$out" == "Usage: orlix-decode "* ]]; then
  report ok "orlix-decode --help"
else
  report FAIL "orlix-decode --help" "${out:0:200}"
fi
if out=$("$bin/orlix-record" --help 2>&1) && [[ "$out" == *"--mqtt-password-file"* ]]; then
  report ok "orlix-record --help"
else
  report FAIL "orlix-record --help" "${out:0:200}"
fi
if [ -f "$prefix/usr/lib/systemd/system/orlix-record@.service" ] || [ -f "$prefix/lib/systemd/system/orlix-record@.service" ]; then
  report ok "orlix-record@.service installed"
else
  report FAIL "orlix-record@.service installed"
fi

# The monitor on its simulated plant, offscreen: it comes up, finds
# orlix-plant-sim beside it, stays up, and a SIGTERM closes it with status 0
# and ends the plant too.
work=$(mktemp -d)
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$work HOME=$work
"$bin/orlix-monitor" --demo >"$work/out" 2>&1 &
monitor=$!
plant=""
for _ in $(seq 1 100); do
  plant=$(cat "/proc/$monitor/task/$monitor/children" 2>/dev/null | awk '{print $1}')
  if [ -n "$plant" ] && grep -q "simulated plant" "$work/out"; then break; fi
  sleep 0.1
done
if grep -qF "simulated plant $bin/orlix-plant-sim runs on" "$work/out"; then
  report ok "orlix-monitor --demo started $bin/orlix-plant-sim"
else
  report FAIL "orlix-monitor --demo started $bin/orlix-plant-sim" "$(head -c 600 "$work/out")"
fi
sleep 3
if kill -0 "$monitor" 2>/dev/null && [ -n "$plant" ] && kill -0 "$plant" 2>/dev/null; then
  report ok "the monitor and its plant are up after 3 s"
else
  report FAIL "the monitor and its plant are up after 3 s" "$(head -c 600 "$work/out")"
fi
kill -TERM "$monitor" 2>/dev/null
status=timeout
for _ in $(seq 1 100); do
  if ! kill -0 "$monitor" 2>/dev/null; then wait "$monitor"; status=$?; break; fi
  sleep 0.1
done
if [ "$status" = 0 ]; then report ok "SIGTERM ends the monitor with status 0"; else
  report FAIL "SIGTERM ends the monitor with status 0" "status $status; $(tail -c 600 "$work/out")"
  kill -KILL "$monitor" 2>/dev/null
fi
for _ in $(seq 1 50); do [ -n "$plant" ] && kill -0 "$plant" 2>/dev/null || break; sleep 0.1; done
if [ -n "$plant" ] && kill -0 "$plant" 2>/dev/null; then
  report FAIL "the plant ends with the monitor"
  kill -KILL "$plant" 2>/dev/null
else
  report ok "the plant ends with the monitor"
fi
rm -rf "$work"
exit "$failed"
