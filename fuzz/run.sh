#!/usr/bin/env bash
# Builds one libFuzzer target (clang, AddressSanitizer, UndefinedBehaviorSanitizer) and runs it for a while.
#
#   fuzz/run.sh TARGET SECONDS [extra libFuzzer options...]
#   fuzz/run.sh list                      the targets
#   fuzz/run.sh summary                   seconds, executions and findings per target, over every run so far
#   fuzz/run.sh TARGET repro FILE...      runs the target once over saved inputs (a finding, a minimised case)
#
# TARGET is one of the fuzz_* programs of this folder. Seeds come from the shared corpus (every folder of it, when
# present) and from small inputs fuzz/make_seeds.py makes; the growing corpus stays in fuzz/corpus-work/TARGET, and
# crashes, leaks, timeouts and out-of-memory inputs land in fuzz/findings/TARGET/ (both ignored by git). Each run appends one line
# (date, target, seconds, executions, outcome) to fuzz/findings/runs.tsv.
#
# Environment: FUZZ_TIMEOUT (seconds per input, 10), FUZZ_RSS_MB (2048), FUZZ_NICE (15), FUZZ_KEEP_GOING=1 (go on
# after a finding, in libFuzzer's fork mode), FUZZ_NO_BUILD=1 (run the target as last built), VELQUIN_SHARED_DIR (default ../shared next to the repository).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
shared=${VELQUIN_SHARED_DIR:-$root/../shared}
targets=$(sed -n 's/^[[:space:]]*velquin_fuzzer(\(fuzz_[a-z_0-9]*\).*/\1/p' "$here/CMakeLists.txt")

usage() {
    echo "usage: fuzz/run.sh TARGET SECONDS [libFuzzer options...] | fuzz/run.sh TARGET repro FILE... | fuzz/run.sh list|summary" >&2
    exit 2
}

[ $# -ge 1 ] || usage
if [ "$1" = list ]; then
    echo "$targets"
    exit 0
fi
if [ "$1" = summary ]; then
    [ -f "$here/findings/runs.tsv" ] || { echo "no runs yet"; exit 0; }
    awk -F'\t' '{ s[$2] += $3; e[$2] += $4; n[$2]++; if ($5 != "clean") f[$2]++ }
        END { printf "%-18s %5s %8s %12s %8s\n", "target", "runs", "seconds", "executions", "findings";
              for (t in s) printf "%-18s %5d %8d %12d %8d\n", t, n[t], s[t], e[t], f[t] }' "$here/findings/runs.tsv"
    exit 0
fi
[ $# -ge 2 ] || usage
target=$1
shift
grep -qx "$target" <<<"$targets" || { echo "unknown target $target; targets: $(echo $targets)" >&2; exit 2; }

# The state-file reader lives in a Qt library; everything else builds without Qt (much faster).
gui=OFF
case "$target" in fuzz_state*) gui=ON ;; esac
build=$root/build-fuzz
[ "$gui" = ON ] && build=$root/build-fuzz-qt

"$root/scripts/install-deps.sh" --fuzz
sanitize="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
if [ ! -f "$build/build.ninja" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
        -DCMAKE_C_FLAGS="$sanitize" -DCMAKE_CXX_FLAGS="$sanitize" \
        -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
        -DVELQUIN_FUZZ=ON -DVELQUIN_GUI=$gui -DVELQUIN_TESTS=OFF >/dev/null
fi
[ "${FUZZ_NO_BUILD:-0}" = 1 ] || nice -n "${FUZZ_NICE:-15}" ninja -C "$build" -j2 "$target" >/dev/null

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:allocator_may_return_null=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
# Targets that need a file path write their input to a scratch file; keep that in memory when possible.
[ -d /dev/shm ] && [ -w /dev/shm ] && export TMPDIR=/dev/shm

if [ "$1" = repro ]; then
    shift
    exec "$build/$target" -runs=1 "$@"
fi

seconds=$1
shift
work=$here/corpus-work/$target
seeds=$here/corpus-work/$target-seeds
findings=$here/findings/$target
mkdir -p "$work" "$findings"
rm -rf "$seeds"
python3 "$here/make_seeds.py" "$target" "$seeds" "$shared/corpus"

options=(-max_total_time="$seconds" -timeout="${FUZZ_TIMEOUT:-10}" -rss_limit_mb="${FUZZ_RSS_MB:-2048}"
    -malloc_limit_mb="${FUZZ_RSS_MB:-2048}" -artifact_prefix="$findings/" -print_final_stats=1)
[ -f "$here/dict/$target.dict" ] && options+=(-dict="$here/dict/$target.dict")
[ "${FUZZ_KEEP_GOING:-0}" = 1 ] && options+=(-fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1)

log=$here/findings/$target.log
start=$(date +%s)
set +e
nice -n "${FUZZ_NICE:-15}" "$build/$target" "${options[@]}" "$@" "$work" "$seeds" 2>&1 | tee "$log" | grep -E '^(#[0-9]+[[:space:]]+(INITED|DONE)|==[0-9]+==ERROR|SUMMARY|stat::|velquin-fuzz|artifact_prefix)' 
status=${PIPESTATUS[0]}
set -e
elapsed=$(( $(date +%s) - start ))
execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
if [ -z "$execs" ]; then
    # fork mode prints "#N DONE" / pulse lines instead of the final stats
    execs=$(sed -n 's/^#\([0-9]*\).*/\1/p' "$log" | tail -1)
fi
outcome=clean
[ "$status" -ne 0 ] && outcome="finding(exit $status)"
commit=$(git -C "$root" rev-parse --short HEAD 2>/dev/null || echo unknown)
printf '%s\t%s\t%s\t%s\t%s\t%s\n' "$(date -u +%FT%TZ)" "$target" "$elapsed" "${execs:-0}" "$outcome" "$commit" \
    >>"$here/findings/runs.tsv"
echo "$target: ${elapsed}s, ${execs:-0} executions, $outcome (log: $log)"
exit "$status"
