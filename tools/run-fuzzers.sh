#!/bin/bash
# Runs every libFuzzer harness of a fuzz build ("make fuzz") for a set time
# over its committed corpus.
#
#   tools/run-fuzzers.sh FUZZ_BUILD [SECONDS] [HARNESS...]
#   tools/run-fuzzers.sh --merge FUZZ_BUILD [HARNESS...]
#
# Inputs that reach new code are written to FUZZ_BUILD/new-inputs/<harness>/,
# never into the repository; an input that crashes, leaks, hangs or trips a
# sanitizer is written to tests/fuzz/crashes/<harness>/ (rename it after what
# it shows; the replay tests feed it through the harness from then on). With
# --merge the new inputs that add coverage are merged into
# tests/fuzz/corpus/<harness>/ instead (libFuzzer's -merge=1).
set -u
here=$(cd "$(dirname "$0")/.." && pwd)
merge=0
if [ "${1:-}" = "--merge" ]; then
    merge=1
    shift
fi
build=$(cd "${1:?usage: run-fuzzers.sh [--merge] FUZZ_BUILD [SECONDS] [HARNESS...]}" && pwd)
shift
seconds=60
if [ $merge -eq 0 ] && [ $# -ge 1 ]; then
    seconds=$1
    shift
fi

harnesses=("$@")
if [ ${#harnesses[@]} -eq 0 ]; then
    for binary in "$build"/tests/fuzz/fuzz_*; do
        [ -f "$binary" ] && [ -x "$binary" ] && harnesses+=("$(basename "$binary" | sed 's/^fuzz_//')")
    done
fi
[ ${#harnesses[@]} -gt 0 ] || { echo "no harnesses built in $build"; exit 1; }

# Settings and data of the code under test stay out of the user's home.
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1
export LSAN_OPTIONS=suppressions=$here/tests/fuzz/lsan.supp
export UBSAN_OPTIONS=print_stacktrace=1

status=0
for name in "${harnesses[@]}"; do
    binary=$build/tests/fuzz/fuzz_$name
    corpus=$here/tests/fuzz/corpus/$name
    crashes=$here/tests/fuzz/crashes/$name
    scratch=$build/new-inputs/$name
    mkdir -p "$corpus" "$crashes" "$scratch"
    log=$build/fuzz-$name.log
    if [ $merge -eq 1 ]; then
        echo "== merging new inputs of $name"
        "$binary" -merge=1 "$corpus" "$scratch" >"$log" 2>&1 || { tail -n 20 "$log"; status=1; }
        continue
    fi
    echo "== fuzzing $name for $seconds s"
    # The scratch folder comes first: libFuzzer writes new inputs there.
    "$binary" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$crashes/" "$scratch" "$corpus" >"$log" 2>&1
    result=$?
    grep -E '^stat::number_of_executed_units|^stat::peak_rss_mb|^#[0-9]+ *DONE' "$log" | sed 's/^/   /'
    if [ $result -ne 0 ]; then
        echo "   harness $name failed (exit $result); log: $log"
        grep -E 'ERROR: |SUMMARY: |check failed|^artifact_prefix|Test unit written' "$log" | head -n 20 | sed 's/^/   /'
        status=1
    fi
done
exit $status
