#!/bin/sh
# Times one change command of lockharbour-cli (add one entry to a vault of
# 10,000 passwords in 100 groups, PBKDF2 with one round) and reports its
# peak memory, for one or more built programs in the same run:
#   bench/cli_change.sh BUILD/bench/bench_change CLI [CLI...]
# The programs take turns, RUNS times each (default 9), on fresh copies of
# one vault; per program the median wall and CPU (user + system) times and
# the largest peak resident size are printed.
set -eu
maker=$1; shift
runs=${RUNS:-9}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$maker" --make-vault "$work/vault.lhdb"
printf 'vault: %s bytes, %s runs each\n' "$(stat -c %s "$work/vault.lhdb")" "$runs"
i=0
while [ "$i" -lt "$runs" ]; do
    n=0
    for cli in "$@"; do
        cp "$work/vault.lhdb" "$work/copy.lhdb"
        printf 'bench\n' | /usr/bin/time -f '%e %U %S %M' -o "$work/one" \
            "$cli" add "$work/copy.lhdb" "Group 0" "Added" --no-password --password-stdin > /dev/null
        cat "$work/one" >> "$work/times.$n"
        n=$((n + 1))
    done
    i=$((i + 1))
done
n=0
for cli in "$@"; do
    awk -v cli="$cli" '
        { wall[NR] = $1; cpu[NR] = $2 + $3; if ($4 > peak) peak = $4 }
        function median(a, n,    i, j, t) {
            for (i = 2; i <= n; i++) for (j = i; j > 1 && a[j - 1] > a[j]; j--) { t = a[j]; a[j] = a[j - 1]; a[j - 1] = t }
            return a[int((n + 1) / 2)]
        }
        END { printf "%s: median wall %.3f s, median cpu %.3f s, peak %.1f MiB\n",
                     cli, median(wall, NR), median(cpu, NR), peak / 1024 }' "$work/times.$n"
    n=$((n + 1))
done
