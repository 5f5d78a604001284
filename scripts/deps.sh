#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the monitor need,
# only those that are missing. Run as root on Debian 12.
set -euo pipefail
pkgs=(g++ clang libclang-rt-14-dev cmake ninja-build pkg-config
      libgtest-dev libbenchmark-dev libsqlite3-dev sqlite3 python3 libpcap-dev tcpdump
      qt6-base-dev qt6-base-dev-tools qt6-serialport-dev qt6-qpa-plugins libgl-dev
      fonts-wqy-microhei mdbtools-dev mdbtools
      libmosquitto-dev libssl-dev mosquitto mosquitto-clients openssl
      postgresql-15 libpq-dev libsimdjson-dev msmtp python3-aiosmtpd
      qt6-httpserver-dev qt6-websockets-dev libargon2-dev
      chromium chromium-driver python3-selenium
      dpkg-dev scdoc librsvg2-bin lintian desktop-file-utils appstream debootstrap)
# npm vendors uPlot (pinned by src/web/assets/package-lock.json) into the
# build of the office's pages, and the tests prove their Jet files with the
# npm package mdb-reader: Debian's node and npm, unless a node is there.
if ! command -v node >/dev/null 2>&1 || ! command -v npm >/dev/null 2>&1; then
  pkgs+=(nodejs npm)
fi
if [ "${1:-}" = "--gui" ]; then
  pkgs+=(xvfb xauth xdotool)
fi
missing=()
for p in "${pkgs[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}" >/dev/null
fi
