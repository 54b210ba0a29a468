#!/usr/bin/env bash
# In place against a conversion between two names, and (given) an earlier
# build against this one: 150 MiB of Windows 1251 prose to KOI8-R, and the
# same prose in UTF-8 (280 MiB; in place looks over the whole of it for
# ill-formed sequences) to KOI8-R,
# each run on a fresh copy, the builds interleaved; the medians of 11 runs of
# the elapsed and the CPU (user + system) seconds. Elapsed time is mostly the
# flush to disk, which both ways do; CPU time is the conversion and the checks.
#   bench/in_place.sh path/to/recodia [path/to/earlier/recodia]
set -euo pipefail
builds=("$(realpath "$1")")
[ $# -ge 2 ] && builds+=("$(realpath "$2")")
prose=$(realpath "$(dirname "$0")/../tests/data/russian.txt")
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
# Whole copies of the prose, so that no character is cut.
cat "$prose" > big.txt
while [ "$(stat -c %s big.txt)" -lt 268435456 ]; do cat big.txt big.txt > twice.txt && mv twice.txt big.txt; done
iconv -f UTF-8 -t CP1251 big.txt > cp1251.txt
median() { sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }
declare -A elapsed cpu
for run in $(seq 11); do
  for b in "${!builds[@]}"; do
    for mode in "1251 in place" "1251 to another name" "UTF-8 in place"; do
      case $mode in
        1251*) cp cp1251.txt a.txt; args=(-ni -w -tokoi8) ;;
        UTF-8*) cp big.txt a.txt; args=(-ni -utf8 -tokoi8) ;;
      esac
      case $mode in *place) names=(-i a.txt) ;; *) names=(a.txt b.txt) ;; esac
      sync
      /usr/bin/time -o t -f "%e %U %S" "${builds[$b]}" "${args[@]}" "${names[@]}" >/dev/null 2>&1
      read -r e u s < t
      elapsed[$b,$mode]+="$e "
      cpu[$b,$mode]+="$(echo "$u + $s" | bc) "
    done
  done
done
printf '%-8s %-22s %10s %10s\n' build mode elapsed cpu
for b in "${!builds[@]}"; do
  for mode in "1251 in place" "1251 to another name" "UTF-8 in place"; do
    printf '%-8s %-22s %10s %10s\n' "$([ "$b" = 0 ] && echo this || echo earlier)" "$mode" \
      "$(tr ' ' '\n' <<<"${elapsed[$b,$mode]}" | grep . | median)" "$(tr ' ' '\n' <<<"${cpu[$b,$mode]}" | grep . | median)"
  done
done
