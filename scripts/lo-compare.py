#!/usr/bin/env python3
"""Shows how LibreOffice Calc displays our output beside Excel's own file for the same workbook.

    scripts/lo-compare.py --corpus DIR --ours DIR [--only REGEX] [--work DIR] [--show N]

For every row of DIR/MANIFEST.tsv whose format is xls-biff5, xls-biff8, xlsx or xlsm (and whose source matches
REGEX), takes our output OURS/SOURCE.xml and Excel's expected file, has LibreOffice save every sheet of each as
the text it displays (CSV, one file per sheet), and compares them sheet by sheet. Prints one line per workbook with
the sheets that differ and the first differing cells, then the totals. A developer's tool: it needs soffice
(Debian package libreoffice-calc-nogui) and is not part of the test suite.
"""

import argparse
import csv
import os
import re
import shutil
import subprocess
import sys
import tempfile

FORMATS = ('xls-biff5', 'xls-biff8', 'xlsx', 'xlsm')
FILTER = 'csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,true,false,false,-1'


def manifest_rows(corpus, only):
    with open(os.path.join(corpus, 'MANIFEST.tsv'), encoding='utf-8') as f:
        for row in csv.DictReader(f, delimiter='\t'):
            if row['format'] in FORMATS and (not only or re.search(only, row['source'])):
                yield row


def convert(files, outdir, profile):
    """One soffice run for many files; each sheet becomes NAME-SHEET.csv."""
    os.makedirs(outdir, exist_ok=True)
    for start in range(0, len(files), 40):
        subprocess.run(['soffice', '--headless', '--norestore', '-env:UserInstallation=file://' + profile,
                        '--convert-to', FILTER, '--outdir', outdir] + files[start:start + 40],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=1800, check=False)


def sheets_of(outdir, stem):
    found = {}
    prefix = stem + '-'
    for name in os.listdir(outdir):
        if name.startswith(prefix) and name.endswith('.csv'):
            found[name[len(prefix):-4]] = os.path.join(outdir, name)
    if not found and os.path.exists(os.path.join(outdir, stem + '.csv')):
        found[''] = os.path.join(outdir, stem + '.csv')
    return found


def read_grid(path):
    with open(path, encoding='utf-8', errors='replace', newline='') as f:
        rows = list(csv.reader(f))
    while rows and not any(rows[-1]):
        rows.pop()
    return [[cell for cell in row] for row in rows]


def cell_name(row, col):
    letters = ''
    col += 1
    while col:
        col, rest = divmod(col - 1, 26)
        letters = chr(65 + rest) + letters
    return '%s%d' % (letters, row + 1)


def differences(expected, actual, limit):
    found = []
    for r in range(max(len(expected), len(actual))):
        erow = expected[r] if r < len(expected) else []
        arow = actual[r] if r < len(actual) else []
        for c in range(max(len(erow), len(arow))):
            e = erow[c] if c < len(erow) else ''
            a = arow[c] if c < len(arow) else ''
            if e != a:
                found.append('%s: Excel %r, ours %r' % (cell_name(r, c), e, a))
                if len(found) >= limit:
                    return found
    return found


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n')[1])
    parser.add_argument('--corpus', required=True)
    parser.add_argument('--ours', required=True, help='folder of SOURCE.xml files (corpus-score --keep)')
    parser.add_argument('--only')
    parser.add_argument('--work', help='folder for the CSV files (default: a temporary one)')
    parser.add_argument('--show', type=int, default=3, help='differing cells shown per sheet')
    args = parser.parse_args()
    if not shutil.which('soffice'):
        sys.exit('lo-compare: soffice not found (apt-get install libreoffice-calc-nogui)')

    work = args.work or tempfile.mkdtemp(prefix='lo-compare-')
    rows = list(manifest_rows(args.corpus, args.only))
    inputs = {'excel': [], 'ours': []}
    for side in inputs:
        os.makedirs(os.path.join(work, side + '-in'), exist_ok=True)
    present = []
    for row in rows:
        ours = os.path.join(args.ours, row['source'] + '.xml')
        if not os.path.exists(ours):
            print('%-45s no output of ours' % row['source'])
            continue
        present.append(row)
        for side, path in (('excel', os.path.join(args.corpus, row['expected'])), ('ours', ours)):
            link = os.path.join(work, side + '-in', row['source'] + '.xml')
            if os.path.lexists(link):
                os.unlink(link)
            os.symlink(os.path.abspath(path), link)
            inputs[side].append(link)
    profile = os.path.join(work, 'profile')
    for side, files in inputs.items():
        convert(files, os.path.join(work, side + '-csv'), profile)

    same_sheets = total_sheets = 0
    for row in present:
        stem = row['source']
        excel = sheets_of(os.path.join(work, 'excel-csv'), stem)
        ours = sheets_of(os.path.join(work, 'ours-csv'), stem)
        lines = []
        for sheet in sorted(set(excel) | set(ours)):
            total_sheets += 1
            if sheet not in ours or sheet not in excel:
                lines.append('  [%s] only in %s' % (sheet, 'Excel' if sheet in excel else 'ours'))
                continue
            diff = differences(read_grid(excel[sheet]), read_grid(ours[sheet]), args.show)
            if diff:
                lines.append('  [%s] %s' % (sheet, '; '.join(diff)))
            else:
                same_sheets += 1
        print('%-45s %s' % (stem, 'same' if not lines else 'DIFFERENT'))
        for line in lines:
            print(line)
    print('\nsheets shown the same: %d of %d (%d workbooks)' % (same_sheets, total_sheets, len(present)))


if __name__ == '__main__':
    main()
