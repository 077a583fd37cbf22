#!/usr/bin/env bash
# The GNU Parallel recipe of the README, run on this machine with two job slots over copies of corpus workbooks:
# every source must appear once in the merged report with the status a one-process run gives it, the outputs must
# equal that run's byte for byte, and a rerun with --skip-existing must skip every converted source.
# Usage: parallel_recipe.sh VELQUIN_CONVERT SHARED_DIR. Exits 77 (skipped) without GNU Parallel or the corpus.
set -euo pipefail
convert=$1
corpus=$2/corpus

if ! command -v parallel >/dev/null; then
    echo "GNU Parallel is not installed (scripts/install-deps.sh installs it): the Parallel recipe is not tested."
    exit 77
fi
if [ ! -d "$corpus" ]; then
    echo "The shared corpus is not present: the Parallel recipe is not tested."
    exit 77
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/archive/first folder" "$work/archive/second"

# Thirty small workbooks under names that must survive the trip: spaces, a line break, shell syntax.
n=0
book_for_pair=
while IFS= read -r -d '' book; do
    n=$((n + 1))
    [[ $book == *.xlsx ]] && book_for_pair=$book
    case $((n % 3)) in
    0) cp "$book" "$work/archive/first folder/c$n $(basename "$book")" ;;
    1) cp "$book" "$work/archive/second/c$n"$'\n'"$(basename "$book")" ;;
    2) cp "$book" "$work/archive/second/c$n \$(touch pwned);'$(basename "$book")" ;;
    esac
done < <(find "$corpus" -maxdepth 1 -type f \( -name '*.xls' -o -name '*.xlsx' \) -size -40k -print0 | sort -z |
    head -z -n 30)
# Binary data that is no workbook (text would open as delimited text, as in Excel).
printf '\177ELF\002\001\001\000\000\000 not a workbook' > "$work/archive/second/notes.xls"
# Two copies of one workbook whose names give the same output name: exactly one may take it, in any process.
cp "$book_for_pair" "$work/archive/first folder/dup x.xlsx"
cp "$book_for_pair" "$work/archive/second/dupx.xlsx"
(cd "$work" && find archive -type f -print0) > "$work/list0"

cd "$work"
"$convert" -j 1 --no-sync --from0 list0 --report single.jsonl -d single >/dev/null 2>&1 || true

# The recipe: each job slot gets chunks of the NUL-separated list on its standard input; the report lines of all
# jobs reach Parallel's standard output whole.
status=0
parallel --pipepart -a list0 --recend '\0' --block -2 -S : -j 2 --line-buffer \
    "$convert" -j 1 --no-sync --claims out/.claims-1 --from0 - --report - -d out >merged.jsonl 2>/dev/null ||
    status=$?
status_rerun=0
parallel --pipepart -a list0 --recend '\0' --block -2 -S : -j 2 --line-buffer \
    "$convert" -j 1 --no-sync --skip-existing --claims out/.claims-2 --from0 - --report - -d out >rerun.jsonl \
    2>/dev/null || status_rerun=$?

python3 - "$status" "$status_rerun" <<'PY'
import filecmp, json, os, sys

def report(name):
    entries = {}
    with open(name, "rb") as f:
        for line in f:
            entry = json.loads(line)
            source = os.fsencode(entry["source"])
            assert source not in entries, f"{name}: {source!r} reported twice"
            entries[source] = entry
    return entries

sources = set(s for s in open("list0", "rb").read().split(b"\0") if s)
single, merged, rerun = report("single.jsonl"), report("merged.jsonl"), report("rerun.jsonl")
for name, entries in (("single", single), ("merged", merged), ("rerun", rerun)):
    assert set(entries) == sources, f"{name}: sources {sorted(set(entries) ^ sources)!r} missing or extra"
pair = {s for s in sources if os.path.basename(s).startswith(b"dup")}
def outcome(entries, source):
    return entries[source]["status"], entries[source]["error"]
for name, entries, expected in (("single", single, [("converted", 0), ("failed", 2001)]),
                                ("merged", merged, [("converted", 0), ("failed", 2001)]),
                                ("rerun", rerun, [("failed", 2001), ("skipped", 0)])):
    got = sorted(outcome(entries, s) for s in pair)
    assert got == expected, f"{name}: the two sources of one output name gave {got}"
failed = {s for s, e in single.items() if e["status"] == "failed"} - pair
assert b"archive/second/notes.xls" in failed and len(failed) < len(sources) / 2, f"failures {failed!r}"
for source in sources - pair:
    entry, expected = merged[source], single[source]
    assert outcome(merged, source) == outcome(single, source), f"{source!r}: {entry}"
    assert os.path.basename(entry["output"]) == os.path.basename(expected["output"]), f"{source!r}: {entry}"
    again = rerun[source]["status"]
    assert again == ("failed" if source in failed else "skipped"), f"{source!r} on the rerun: {again}"
# Parallel's exit status counts the jobs that failed: each one that met notes.xls.
assert sys.argv[1] != "0" and sys.argv[2] != "0", f"exit statuses {sys.argv[1:]}"
names = sorted(n for n in os.listdir("single") if not n.startswith("."))
assert names == sorted(n for n in os.listdir("out") if not n.startswith(".")), "the outputs differ in name"
match, mismatch, errors = filecmp.cmpfiles("single", "out", names, shallow=False)
assert not mismatch and not errors, f"outputs differ: {mismatch + errors}"
assert not os.path.exists("pwned"), "a file name was run by a shell"
print(f"{len(sources)} sources, {len(names)} outputs equal to the one-process run, {len(failed) + 1} failed as expected")
PY
