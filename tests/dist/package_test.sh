#!/usr/bin/env bash
# The Debian package: cpack builds it from the build tree, dpkg -x unpacks it into a throwaway root, and the
# programs there start and convert. appstreamcli and lintian check the metadata and the package when installed.
# Usage: package_test.sh CPACK BUILD_DIR
set -euo pipefail
cpack=$1
build=$2

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
    echo "FAILED: $*"
    exit 1
}

(cd "$build" && "$cpack" -G DEB -B "$work/pkg" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack"; }
debs=("$work"/pkg/velquin_*_*.deb)
[ "${#debs[@]}" -eq 1 ] && [ -f "${debs[0]}" ] || fail "cpack made no single velquin package: ${debs[*]}"
deb=${debs[0]}

[ "$(dpkg-deb -f "$deb" Package)" = velquin ] || fail "the package is not named velquin"
depends=$(dpkg-deb -f "$deb" Depends)
for library in libc6 libqt6widgets6 libzip libxml2; do
    [[ $depends == *"$library"* ]] || fail "Depends lacks $library: $depends"
done

root=$work/root
dpkg -x "$deb" "$root"
for file in bin/velquin bin/velquin-convert share/velquin/velquin-help.html share/applications/velquin.desktop \
    share/icons/hicolor/scalable/apps/velquin.svg share/metainfo/org.example.velquin.metainfo.xml \
    share/man/man1/velquin.1.gz share/man/man1/velquin-convert.1.gz share/doc/velquin/copyright; do
    [ -s "$root/usr/$file" ] || fail "the package lacks /usr/$file"
done
if ldd "$root/usr/bin/velquin" "$root/usr/bin/velquin-convert" | grep -q "not found"; then
    fail "a library of the programs is missing"
fi

"$root/usr/bin/velquin-convert" --help | grep -q -- "--from0" || fail "velquin-convert --help"

# A workbook of one sheet with one text cell, built here so that the test needs no corpus.
python3 - "$work/book.xlsx" <<'PY'
import sys, zipfile
ns = 'xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"'
rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"
parts = {
    "[Content_Types].xml": '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
    '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
    '<Default Extension="xml" ContentType="application/xml"/>'
    '<Override PartName="/xl/workbook.xml" '
    'ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/>'
    '<Override PartName="/xl/worksheets/sheet1.xml" '
    'ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"/></Types>',
    "_rels/.rels": '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
    f'<Relationship Id="rId1" Type="{rel}/officeDocument" Target="xl/workbook.xml"/></Relationships>',
    "xl/workbook.xml": f'<workbook {ns} xmlns:r="{rel}"><sheets>'
    '<sheet name="Packaged" sheetId="1" r:id="rId1"/></sheets></workbook>',
    "xl/_rels/workbook.xml.rels": '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
    f'<Relationship Id="rId1" Type="{rel}/worksheet" Target="worksheets/sheet1.xml"/></Relationships>',
    "xl/worksheets/sheet1.xml": f'<worksheet {ns}><sheetData><row r="1">'
    '<c r="A1" t="inlineStr"><is><t>from the package</t></is></c></row></sheetData></worksheet>',
}
with zipfile.ZipFile(sys.argv[1], "w") as z:
    for name, text in parts.items():
        z.writestr(name, '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>' + text)
PY
"$root/usr/bin/velquin-convert" "$work/book.xlsx" "$work/book.xml" || fail "the conversion"
grep -q 'ss:Name="Packaged"' "$work/book.xml" && grep -q '>from the package<' "$work/book.xml" ||
    fail "the output lacks the sheet or its cell"

if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net "$root/usr/share/metainfo/org.example.velquin.metainfo.xml" ||
        fail "appstreamcli validate"
else
    echo "appstreamcli is not installed: the AppStream metadata is not validated."
fi
if command -v lintian >/dev/null; then
    status=0
    lintian --fail-on error "$deb" >"$work/lintian.log" 2>&1 || status=$?
    grep -v "running with root privileges" "$work/lintian.log" || true
    [ "$status" -eq 0 ] || fail "lintian reports errors"
else
    echo "lintian is not installed: the package is not checked."
fi
echo "package ${deb##*/} checked"
