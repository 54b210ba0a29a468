#!/usr/bin/env bash
# Start-up cost: the time per process to convert a 1 KB file, Recodia against
# iconv. Scripts call a converter once per file (find -exec, xargs), so this
# is their throughput. Uses hyperfine where installed (Debian: hyperfine),
# otherwise a plain loop of runs.
#   bench/startup.sh path/to/recodia [runs]
set -euo pipefail
recodia=$(realpath "$1")
runs=${2:-1000}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
# 1 KB of Russian prose in Windows 1251.
text="Съешь же ещё этих мягких французских булок, да выпей чаю. "
while [ "$(printf %s "$text" | wc -c)" -lt 1900 ]; do text="$text$text"; done
printf %s "$text" | head -c 1800 | iconv -f UTF-8 -t CP1251 -c > in.txt
truncate -s 1024 in.txt
commands=("$recodia -ni -w -tokoi8 in.txt out.txt" "iconv -f CP1251 -t KOI8-R -o out2.txt in.txt")
if command -v hyperfine >/dev/null; then
  hyperfine -N --warmup 50 --runs "$runs" --style basic "${commands[@]}" 2>&1 | grep -E "^Benchmark|Time \(mean|Range"
else
  for c in "${commands[@]}"; do
    start=$(date +%s%N)
    for ((i = 0; i < runs; i++)); do $c >/dev/null; done
    end=$(date +%s%N)
    echo "$c: $(( (end - start) / runs / 1000 )) µs per process (with the shell's own start of each)"
  done
fi
echo "system calls per run: recodia $(strace -fc -o /dev/stdout $recodia -ni -w -tokoi8 in.txt out.txt 2>/dev/null | awk '/total/ {print $(NF-2)}'), iconv $(strace -fc -o /dev/stdout iconv -f CP1251 -t KOI8-R -o out2.txt in.txt 2>/dev/null | awk '/total/ {print $(NF-2)}')" 2>/dev/null || true
