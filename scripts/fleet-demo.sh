#!/usr/bin/env bash
# The office on one machine: a broker, a throwaway PostgreSQL cluster, a
# simulated fleet and orlix-hub with its pages, all on 127.0.0.1, all in a
# temporary folder that goes when the demo ends (Ctrl-C).
#
#   bash scripts/fleet-demo.sh [BUILD_DIR] [SITES]
#
# BUILD_DIR holds the built programs (default build/gcc, as the test command
# builds them). Run as root, the cluster runs as user nobody.
set -euo pipefail
build="${1:-build/gcc}"
sites="${2:-12}"
hub="$build/tools/orlix-hub"
sim="$build/tools/orlix-fleet-sim"
pgbin=/usr/lib/postgresql/15/bin
for p in "$hub" "$sim" /usr/sbin/mosquitto "$pgbin/initdb"; do
  [ -x "$p" ] || { echo "fleet-demo: $p is missing (build the project and run scripts/deps.sh first)" >&2; exit 2; }
done

work="$(mktemp -d /tmp/orlix-fleet-demo.XXXXXX)"
chmod 755 "$work"
pids=()
pg_user=()
[ "$(id -u)" = 0 ] && pg_user=(runuser -u nobody --)
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  "${pg_user[@]}" "$pgbin/pg_ctl" -D "$work/pg" -m fast -w stop >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 0' INT TERM

free_port() { python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
mqtt_port="$(free_port)"
pg_port="$(free_port)"
http_port="$(free_port)"

echo "== broker on 127.0.0.1:$mqtt_port"
cat >"$work/mosquitto.conf" <<EOF
listener $mqtt_port 127.0.0.1
allow_anonymous true
persistence true
persistence_location $work/
max_queued_messages 1000000
user $(id -un)
EOF
/usr/sbin/mosquitto -c "$work/mosquitto.conf" >"$work/mosquitto.log" 2>&1 &
pids+=($!)

echo "== PostgreSQL 15 on 127.0.0.1:$pg_port"
mkdir -p "$work/pg"
[ "$(id -u)" = 0 ] && chown nobody "$work/pg"
"${pg_user[@]}" "$pgbin/initdb" -D "$work/pg" -U orlix -A trust -E UTF8 --locale=C >"$work/initdb.log" 2>&1
"${pg_user[@]}" "$pgbin/pg_ctl" -D "$work/pg" -l "$work/pg/server.log" -w \
  -o "-c listen_addresses=127.0.0.1 -c port=$pg_port -c unix_socket_directories=$work/pg" start >/dev/null
"${pg_user[@]}" "$pgbin/createdb" -h 127.0.0.1 -p "$pg_port" -U orlix office
db="postgresql://orlix@127.0.0.1:$pg_port/office"

cat >"$work/rules.ini" <<EOF
[hub]
offline_after = 60s
fault_receivers = board
offline_receivers = board

[receiver:board]
type = mqtt

[threshold:high-discharge-pressure]
value = Pd
above = 2500
on_delay = 30s
deadband = 50
sites = *
receivers = board
EOF

echo "== a user for the pages"
password="demo-$(od -An -N6 -tx1 /dev/urandom | tr -d ' \n')"
printf '%s\n' "$password" | "$hub" --db "$db" --add-user demo --role admin

echo "== orlix-hub"
"$hub" --mqtt "mqtt://127.0.0.1:$mqtt_port/plants" --db "$db" --rules "$work/rules.ini" \
  --http "127.0.0.1:$http_port" --status &
pids+=($!)

for _ in $(seq 100); do
  curl -fs "http://127.0.0.1:$http_port/health" >/dev/null 2>&1 && break
  sleep 0.2
done
# The hub's broker session stands now, so the sites' backlog reaches it.
echo "== $sites simulated sites (the last hour first, then live; site0002 goes quiet for 3 minutes after 2 minutes)"
"$sim" --mqtt "mqtt://127.0.0.1:$mqtt_port/plants" --sites "$sites" --backlog 1h --raw \
  --outage 2:2m:3m --random-outages 2 >"$work/fleet.log" 2>&1 &
pids+=($!)

cat <<EOF

The office runs. Open http://127.0.0.1:$http_port/ and log in as demo / $password
  Fleet:   every site, online or not, its alarms and a line of Pd
  Site:    click a site: its 160 fields live, decoded from its bus bytes
  History: an hour of samples at once (the backlog), then live; site0002's gap
  Alarms:  site0002 goes offline after about 3 minutes; acknowledge it there
Also:
  mosquitto_sub -p $mqtt_port -t 'plants/+/alarms' -v        # the alarm notices
  psql "$db" -c 'SELECT name, status, last_seen FROM sites'
  $hub --db $db --export-alarms
Ctrl-C ends the demo and removes everything it made ($work).
EOF
wait
