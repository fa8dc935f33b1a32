#!/usr/bin/env bash
# Builds the fuzz targets with clang's libFuzzer (into build-fuzz/ beside the
# sources), then for each target:
#   1. replays the hand-written seeds and the kept corpus as regression inputs,
#   2. fuzzes for a bounded time,
#   3. folds what it found into tests/fuzz/corpus/<target>/, pruned to the
#      inputs that add coverage (-merge=1).
# Usage: tests/fuzz/run.sh [SECONDS] [TARGET...]   (default 20 s, every target)
# KORMIAL_FUZZ_KEEP_CORPUS=1 leaves the corpora as they are.
# Exit status: 0 when every target held, 1 when one failed (its input is kept
# under build-fuzz/work/<target>/ and named in the output).
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${KORMIAL_FUZZ_BUILD:-$root/build-fuzz}
seconds=${1:-20}
[ $# -gt 0 ] && shift
case "$seconds" in
'' | *[!0-9]*) echo "run.sh: SECONDS must be a whole number, not \"$seconds\"" >&2; exit 2 ;;
esac

CXX=${FUZZ_CXX:-clang++} cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null || exit 1
cmake --build "$build" || exit 1

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for bin in "$build"/fuzz_*; do
        [ -x "$bin" ] && targets+=("${bin##*/fuzz_}")
    done
fi
[ -e "$root/mainwindow/tipsfile.cpp" ] || echo "note: mainwindow/tipsfile.cpp is missing: no tips-file target" >&2

# Leaks count as failures; undefined behaviour stops at once.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:symbolize=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

failed=()
for t in "${targets[@]}"; do
    bin=$build/fuzz_$t
    if [ ! -x "$bin" ]; then
        echo "run.sh: no fuzz target \"$t\"" >&2
        failed+=("$t")
        continue
    fi
    seeds=$here/seeds/$t
    corpus=$here/corpus/$t
    work=$build/work/$t
    rm -rf "$work"
    mkdir -p "$work/new" "$work/merged" "$corpus"
    dict=()
    [ -f "$here/$t.dict" ] && dict=(-dict="$here/$t.dict")
    inputs=("$corpus")
    [ -d "$seeds" ] && inputs+=("$seeds")

    echo "== $t: replaying $(find "${inputs[@]}" -type f | wc -l) kept inputs"
    if ! "$bin" -runs=0 -artifact_prefix="$work/" "${inputs[@]}" >"$work/replay.log" 2>&1; then
        tail -n 30 "$work/replay.log"
        echo "== $t: FAILED on a kept input (log: $work/replay.log)"
        failed+=("$t")
        continue
    fi

    echo "== $t: fuzzing for ${seconds}s"
    if ! "$bin" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=4096 \
        -artifact_prefix="$work/" -print_final_stats=1 "${dict[@]}" \
        "$work/new" "${inputs[@]}" >"$work/fuzz.log" 2>&1; then
        tail -n 30 "$work/fuzz.log"
        echo "== $t: FAILED; the input is in $work/ (log: $work/fuzz.log)"
        failed+=("$t")
        continue
    fi
    grep -E "^stat::number_of_executed_units|^Done" "$work/fuzz.log" | tr '\n' ' '
    echo

    if [ "${KORMIAL_FUZZ_KEEP_CORPUS:-0}" != 1 ]; then
        # keep the smallest set of inputs that covers what all of them cover
        if "$bin" -merge=1 "$work/merged" "$corpus" "$work/new" >"$work/merge.log" 2>&1; then
            find "$corpus" -type f -delete
            find "$work/merged" -type f -exec cp {} "$corpus"/ \;
            echo "== $t: corpus now $(find "$corpus" -type f | wc -l) inputs"
        else
            echo "== $t: merge failed, corpus left as it was (log: $work/merge.log)"
        fi
    fi
done

if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzzing failed: ${failed[*]}" >&2
    exit 1
fi
echo "fuzzing: all ${#targets[@]} targets held"
