#!/bin/sh
# Times one change command of lockharbour-cli (add one entry to a vault of
# 10,000 passwords in 100 groups, PBKDF2 with one round) and reports its
# peak memory, for one or more built programs in the same run:
#   bench/cli_change.sh BUILD/bench/bench_change CLI [CLI...]
# Each program runs RUNS times (default 7) on a fresh copy of one vault; the
# median wall time and the largest peak resident size are printed.
set -eu
maker=$1; shift
runs=${RUNS:-7}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$maker" --make-vault "$work/vault.lhdb"
printf 'vault: %s bytes\n' "$(stat -c %s "$work/vault.lhdb")"
for cli in "$@"; do
    : > "$work/times"
    i=0
    while [ "$i" -lt "$runs" ]; do
        cp "$work/vault.lhdb" "$work/copy.lhdb"
        printf 'bench\n' | /usr/bin/time -f '%e %M' -o "$work/one" \
            "$cli" add "$work/copy.lhdb" "Group 0" "Added" --no-password --password-stdin > /dev/null
        cat "$work/one" >> "$work/times"
        i=$((i + 1))
    done
    sort -n "$work/times" | awk -v cli="$cli" '
        { t[NR] = $1; if ($2 > peak) peak = $2 }
        END { printf "%s: median %.3f s (min %.3f, max %.3f), peak %.1f MiB\n",
                     cli, t[int((NR + 1) / 2)], t[1], t[NR], peak / 1024 }'
done
