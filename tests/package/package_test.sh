#!/usr/bin/env bash
# Builds the Debian package with CMake and CPack (Release, a build folder of
# its own, or a build folder already configured with ORLIX_PACKAGE=ON) and
# checks it: its name, version and Depends, the menu entry, the
# AppStream metainfo, the icons, the manual pages against each program's
# --help, lintian; then installs it with apt into a fresh Debian root made by
# debootstrap (only what its Depends pull in) and runs the programs there
# (tests/package/in_root.sh). Without root or debootstrap, the programs run
# from the unpacked package with this system's libraries instead.
#
# Environment: ORLIX_PACKAGE_BUILD_DIR (default build/package),
# ORLIX_DEBIAN_MIRROR (default: the mirror this machine's apt takes Debian 12
# from, so that a local mirror or proxy serves the fresh root as it serves
# apt).
set -euo pipefail
src="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
here="$src/tests/package"
build="${ORLIX_PACKAGE_BUILD_DIR:-$src/build/package}"
# The URL of bookworm's main component in apt's own sources, and apt's HTTP
# proxy for debootstrap (which reads http_proxy).
apt_mirror() {
  apt-cache policy 2>/dev/null | awk '$3 == "bookworm/main" && $NF == "Packages" {print $2; exit}'
}
mirror="${ORLIX_DEBIAN_MIRROR:-$(apt_mirror)}"
if [ -z "${http_proxy:-}" ]; then
  eval "$(apt-config shell apt_proxy Acquire::http::Proxy 2>/dev/null || true)"
  if [ -n "${apt_proxy:-}" ] && [ "$apt_proxy" != DIRECT ]; then export http_proxy="$apt_proxy"; fi
fi
passed=0
failed=0
work=$(mktemp -d)
trap 'rm -rf --one-file-system "$work"' EXIT

report() {  # report ok|FAIL WHAT [DETAIL]
  if [ "$1" = ok ]; then
    echo "ok - $2"; passed=$((passed + 1))
  else
    echo "FAIL - $2${3:+: $3}"; failed=$((failed + 1))
  fi
}
check() {  # check WHAT COMMAND...: the command's success is the check
  local what=$1; shift
  if "$@" >"$work/check.out" 2>&1; then report ok "$what"; else report FAIL "$what" "$(head -c 800 "$work/check.out")"; fi
}
# Counts the "ok - " and "FAIL - " lines of a checking script.
tally() {
  local line
  while IFS= read -r line; do
    echo "$line"
    case "$line" in
      "ok - "*) passed=$((passed + 1)) ;;
      "FAIL - "*) failed=$((failed + 1)) ;;
    esac
  done
}
run_logged() {  # run_logged LOG COMMAND...: quiet unless it fails
  local log=$1; shift
  if ! "$@" >"$log" 2>&1; then
    tail -n 40 "$log"
    return 1
  fi
}

started=$SECONDS
if grep -qs '^ORLIX_PACKAGE:BOOL=ON' "$build/CMakeCache.txt"; then
  # A tree configured for the package already (the test command's g++
  # build): packaged as it is, so that nothing is built twice.
  echo "-- packaging the build in $build"
else
  echo "-- building the package in $build"
  cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=g++ \
    -DORLIX_WERROR=ON -DORLIX_PACKAGE=ON -DORLIX_TESTS=OFF -DORLIX_BENCH=OFF >/dev/null
fi
run_logged "$work/build.log" cmake --build "$build" -j "$(nproc)"
rm -f "$build"/*.deb
(cd "$build" && run_logged "$work/cpack.log" cpack -G DEB)
debs=("$build"/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { echo "FAIL - cpack made ${#debs[@]} packages"; exit 1; }
deb=${debs[0]}
version=$(dpkg-deb -f "$deb" Version)
project_version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
echo "-- $(basename "$deb") built in $((SECONDS - started)) s"
dpkg-deb -c "$deb" | awk '{print "   " $1, $3, $6}'
depends=$(dpkg-deb -f "$deb" Depends)
echo "   Depends: $depends"

check "the file is orlix-monitor_<version>_<arch>.deb" \
  test "$(basename "$deb")" = "orlix-monitor_${version}_$(dpkg --print-architecture).deb"
check "the package's version is the project's ($project_version)" test "$version" = "$project_version"
check "Depends holds the libraries dpkg-shlibdeps found" grep -qE "libqt6widgets6 \(>= [^)]+\).*libsqlite3-0" <<<"$depends"
check "Depends holds the CJK font" grep -qE "(^|, )fonts-wqy-microhei(,|$)" <<<"$depends"

dpkg-deb -x "$deb" "$work/unpacked"
check "desktop-file-validate orlix-monitor.desktop" \
  desktop-file-validate "$work/unpacked/usr/share/applications/orlix-monitor.desktop"
for meta in "$work"/unpacked/usr/share/metainfo/*.xml; do
  check "appstreamcli validate $(basename "$meta")" appstreamcli validate --no-net "$meta"
done
tally < <(python3 "$here/check_contents.py" "$work/unpacked" "$version")

# lintian: no errors; every warning is one the README lists with its reason.
lintian --fail-on none "$deb" >"$work/lintian.out" 2>&1 || true
sed -n '/^[EW]: /p' "$work/lintian.out"
check "lintian reports no errors" test -z "$(grep '^E: ' "$work/lintian.out")"
unlisted=""
for tag in $(sed -n 's/^W: [^:]*: \([a-z0-9-]*\).*/\1/p' "$work/lintian.out" | sort -u); do
  grep -qF "\`$tag\`" "$src/README.md" || unlisted="$unlisted $tag"
done
check "every lintian warning is listed in the README" test -z "$unlisted"
[ -z "$unlisted" ] || echo "   not listed:$unlisted"

# The README tells what the package holds: every program and unit by name,
# every lintian note as lintian prints it, and orlix-record's --help whole.
lacking=""
for f in "$work"/unpacked/usr/bin/* "$work"/unpacked/usr/lib/systemd/system/*; do
  grep -qF "\`$(basename "$f")\`" "$src/README.md" || lacking="$lacking $(basename "$f")"
done
check "the README names every installed program and unit" test -z "$lacking"
[ -z "$lacking" ] || echo "   not named:$lacking"
sed -n 's/^    //p' "$src/README.md" >"$work/readme-blocks.txt"
lintian -I --fail-on none "$deb" 2>/dev/null | grep '^I: ' >"$work/lintian-notes.txt" || true
check "the README quotes every lintian note" test -z "$(grep -vxF -f "$work/readme-blocks.txt" "$work/lintian-notes.txt")"
"$work/unpacked/usr/bin/orlix-record" --help | grep -v '^$' >"$work/record-help.txt"
check "the README holds orlix-record --help whole" \
  test -z "$(grep -vxF -f "$work/readme-blocks.txt" "$work/record-help.txt")"

# A fresh Debian root holding the package and what its Depends pull in.
install_root() {
  local root="$work/root" cache="$build/debian-root.tar" name
  mkdir "$root"
  if [ -f "$cache" ] && [ -n "$(find "$cache" -mtime -7)" ]; then
    tar -xf "$cache" -C "$root"
  else
    [ -n "$mirror" ] || { echo "FAIL - no Debian 12 mirror in apt's sources (set ORLIX_DEBIAN_MIRROR)"; return 1; }
    echo "-- debootstrap bookworm from $mirror"
    run_logged "$work/debootstrap.log" debootstrap --variant=minbase bookworm "$root" "$mirror" || return 1
    tar -cf "$cache" -C "$root" .
  fi
  cp /etc/resolv.conf "$root/etc/resolv.conf"
  # The root's apt goes the way this machine's goes.
  if [ -n "${http_proxy:-}" ]; then
    printf 'Acquire::http::Proxy "%s";\n' "$http_proxy" > "$root/etc/apt/apt.conf.d/01proxy"
  fi
  name=$(basename "$deb")
  cp "$deb" "$here/in_root.sh" "$root/tmp/"
  echo "-- apt-get install --no-install-recommends ./$name in the fresh root"
  # A mount namespace of its own: the mounts go with it, whatever happens.
  unshare --mount --propagation private -- bash -euc '
    r=$1
    mount --rbind /dev "$r/dev"
    mount -t proc proc "$r/proc"
    chroot "$r" apt-get update -qq >"$r/tmp/apt.log" 2>&1 &&
      chroot "$r" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
        "/tmp/$2" >>"$r/tmp/apt.log" 2>&1 || { tail -n 40 "$r/tmp/apt.log"; echo "FAIL - apt-get install"; exit 0; }
    echo "ok - apt-get install ./$2 with what its Depends pull in"
    chroot "$r" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin bash /tmp/in_root.sh "$3" || true
  ' _ "$root" "$name" "$version"
}

if [ "$(id -u)" = 0 ] && command -v debootstrap >/dev/null && command -v unshare >/dev/null; then
  installed=$SECONDS
  tally < <(install_root || echo "FAIL - a fresh Debian root")
  echo "-- installed and run in $((SECONDS - installed)) s"
else
  echo "-- not root or no debootstrap: the programs run from the unpacked package with this system's libraries"
  tally < <(bash "$here/in_root.sh" "$version" "$work/unpacked" || true)
fi

echo "-- package checks took $((SECONDS - started)) s"
echo "package: $passed passed, $failed failed"
[ "$failed" = 0 ]
