#!/usr/bin/env bash
# Converting a Jet 4.0 recording against mdbtools' own mdb-export writing the
# same table as CSV, in the same run: a generated file of N records (default
# 1,000,000), each program run R times (default 3) in turn, wall-clock times
# and their medians reported with the ratio (the target is at most 2).
#   bash bench/jet_import.sh BUILD_DIR [RECORDS] [ROUNDS]
set -euo pipefail
build=${1:?usage: bench/jet_import.sh BUILD_DIR [RECORDS] [ROUNDS]}
records=${2:-1000000}
rounds=${3:-3}
here=$(cd "$(dirname "$0")" && pwd)
import=$build/tools/orlix-import
[ -x "$import" ] || { echo "no $import: build the tree first" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

python3 "$here/../tests/jet/jet_fixture.py" "$work/old.mdb" --records "$records"
echo "Jet file: $records records, $(($(stat -c %s "$work/old.mdb") / 1048576)) MiB"

now() { date +%s.%N; }
ours=() theirs=()
for ((r = 1; r <= rounds; r++)); do
  t0=$(now); mdb-export "$work/old.mdb" emp1 > "$work/emp1.csv"; t1=$(now)
  rm -f "$work/new.mdb"
  "$import" "$work/old.mdb" "$work/new.mdb" 2>/dev/null; t2=$(now)
  theirs+=("$(awk "BEGIN {print $t1 - $t0}")") ours+=("$(awk "BEGIN {print $t2 - $t1}")")
  printf 'round %d: mdb-export %.2f s, orlix-import %.2f s\n' "$r" "${theirs[-1]}" "${ours[-1]}"
done
median() { printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
m_theirs=$(median "${theirs[@]}") m_ours=$(median "${ours[@]}")
rows=$(sqlite3 "$work/new.mdb" 'select count(*) from emp1')
[ "$rows" = "$records" ] || { echo "the copy holds $rows records, not $records" >&2; exit 1; }
printf 'median: mdb-export %.2f s, orlix-import %.2f s, ratio %.2f (target <= 2)\n' \
  "$m_theirs" "$m_ours" "$(awk "BEGIN {print $m_ours / $m_theirs}")"
