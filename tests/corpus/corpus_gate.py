#!/usr/bin/env python3
"""Corpus gate: scores velquin-convert on the shared corpus and checks the floors.

Runs ../shared/tools/corpus-score over every row of the corpus, sums the scores per format, and fails when a
format that has floors scores below one of them (its overall score or a category such as cells or styles), when
one of its rows has no expected file any more, or when any output is not well-formed. Formats without floors are
reported and not checked, so a format that starts converting cannot fail the gate.

Exit status: 0 passed, 1 failed, 77 skipped (no shared folder), 2 usage error.
With --write-floors, prints a floors file just under today's figures instead of checking.
"""

import argparse
import collections
import json
import math
import os
import subprocess
import sys
import tempfile

SKIP = 77
# The categories kept per format: a group such as "styles" sums its parts (styles.font, styles.numfmt, ...).
CATEGORIES = ['overall', 'cells', 'formulas', 'styles', 'names', 'links', 'comments', 'sheets', 'merges', 'columns',
              'rows', 'options']


def read_floors(path):
    floors = {}
    with open(path, encoding='utf-8') as f:
        for number, line in enumerate(f, 1):
            line = line.split('#', 1)[0].strip()
            if not line:
                continue
            fields = line.split()
            if len(fields) != 3 or fields[1] not in CATEGORIES:
                raise ValueError('%s:%d: expected "FORMAT CATEGORY PERCENT"' % (path, number))
            floors[(fields[0], fields[1])] = float(fields[2])
    return floors


def sum_by_format(report):
    sums = collections.defaultdict(lambda: collections.defaultdict(lambda: [0, 0]))
    for row in report['files']:
        per = sums[row['format']]
        per['overall'][0] += row['overall']['matched']
        per['overall'][1] += row['overall']['total']
        for name, value in row['categories'].items():
            group = name.split('.', 1)[0]
            if group in CATEGORIES:
                per[group][0] += value['matched']
                per[group][1] += value['total']
    return sums


def percent(pair):
    matched, total = pair
    return 100.0 * matched / total if total else None


def write_floors(sums):
    print('# FORMAT CATEGORY FLOOR (percent; the gate fails below it). Just under the figures of the last raise.')
    for fmt in sorted(sums):
        for category in CATEGORIES:
            score = percent(sums[fmt][category])
            if score is None or sums[fmt]['overall'][0] == 0:
                continue
            print('%-10s %-9s %6.2f' % (fmt, category, max(0.0, math.floor((score - 0.005) * 100) / 100)))


def check(report, sums, floors):
    failures = []
    for row in report['files']:
        if row['status'] == 'not-well-formed':
            failures.append('%s: the output is not well-formed: %s' % (row['source'], row['detail']))
    formats = sorted({fmt for fmt, _ in floors})
    for fmt in formats:
        if fmt not in sums:
            failures.append('%s: the corpus holds no workbook of this format' % fmt)
            continue
        for category in CATEGORIES:
            floor = floors.get((fmt, category))
            score = percent(sums[fmt][category])
            if floor is None or score is None:
                continue
            line = '%-10s %-9s %7.3f%%  floor %6.2f%%' % (fmt, category, score, floor)
            print(line)
            if score < floor:
                failures.append(line + '  BELOW THE FLOOR')
    for fmt in sorted(set(sums) - set(formats)):
        score = percent(sums[fmt]['overall'])
        print('%-10s overall   %7.3f%%  (no floors)' % (fmt, score or 0.0))
    return failures


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('--shared', required=True, help='the shared folder with corpus/ and tools/')
    parser.add_argument('--convert', required=True, help='the velquin-convert executable')
    parser.add_argument('--floors', required=True)
    parser.add_argument('--jobs', type=int, default=2)
    parser.add_argument('--write-floors', action='store_true')
    args = parser.parse_args()

    scorer = os.path.join(args.shared, 'tools', 'corpus-score')
    corpus = os.path.join(args.shared, 'corpus')
    if not os.path.isfile(scorer) or not os.path.isfile(os.path.join(corpus, 'MANIFEST.tsv')):
        print('skipped: no shared corpus at %s' % args.shared)
        return SKIP
    floors = {} if args.write_floors else read_floors(args.floors)

    with tempfile.TemporaryDirectory(prefix='velquin-corpus-gate-') as work:
        json_path = os.path.join(work, 'report.json')
        command = '%s --no-sync {in} {out}' % subprocess.list2cmdline([args.convert])
        run = subprocess.run([sys.executable, scorer, '--convert', command, '--corpus', corpus, '--json', json_path,
                              '--jobs', str(args.jobs)], stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        if run.returncode != 0 or not os.path.isfile(json_path):
            print(run.stdout)
            print('corpus-score did not complete (exit %d)' % run.returncode)
            return 1
        with open(json_path, encoding='utf-8') as f:
            report = json.load(f)
    sums = sum_by_format(report)
    if args.write_floors:
        write_floors(sums)
        return 0
    failures = check(report, sums, floors)
    if failures:
        print('\nThe corpus gate failed:')
        for line in failures:
            print('  ' + line)
        return 1
    print('\nThe corpus gate passed.')
    return 0


if __name__ == '__main__':
    sys.exit(main())
