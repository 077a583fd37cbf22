#!/usr/bin/env python3
"""Makes the seed inputs of one fuzz target: small hand-made inputs plus, when the shared corpus is there, its
workbooks and the pieces cut out of them (BIFF streams, formula tokens, package parts).

usage: make_seeds.py TARGET OUTDIR [CORPUSDIR]
"""
import hashlib
import io
import os
import struct
import sys
import zipfile

MINIMAL_PARTS = {
    "[Content_Types].xml": '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
    '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
    '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
    '<Default Extension="xml" ContentType="application/xml"/>'
    '<Override PartName="/xl/workbook.xml" '
    'ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/>'
    '<Override PartName="/xl/worksheets/sheet1.xml" '
    'ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"/>'
    '<Override PartName="/xl/sharedStrings.xml" '
    'ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml"/>'
    '<Override PartName="/xl/styles.xml" '
    'ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml"/></Types>',
    "_rels/.rels": '<?xml version="1.0" encoding="UTF-8"?>\n'
    '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
    '<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/'
    'officeDocument" Target="xl/workbook.xml"/></Relationships>',
    "xl/workbook.xml": '<?xml version="1.0" encoding="UTF-8"?>\n'
    '<workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" '
    'xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships">'
    '<workbookPr date1904="0"/><bookViews><workbookView activeTab="0"/></bookViews>'
    '<sheets><sheet name="Sheet1" sheetId="1" r:id="rId1"/></sheets>'
    '<definedNames><definedName name="Total">Sheet1!$A$1:$B$2</definedName></definedNames></workbook>',
    "xl/_rels/workbook.xml.rels": '<?xml version="1.0" encoding="UTF-8"?>\n'
    '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
    '<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet" '
    'Target="worksheets/sheet1.xml"/>'
    '<Relationship Id="rId2" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/'
    'sharedStrings" Target="sharedStrings.xml"/>'
    '<Relationship Id="rId3" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles" '
    'Target="styles.xml"/></Relationships>',
    "xl/sharedStrings.xml": '<?xml version="1.0" encoding="UTF-8"?>\n'
    '<sst xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" count="2" uniqueCount="2">'
    '<si><t>Hello</t></si><si><r><rPr><b/><sz val="11"/></rPr><t xml:space="preserve">rich </t></r>'
    '<r><t>text</t></r></si></sst>',
    "xl/styles.xml": '<?xml version="1.0" encoding="UTF-8"?>\n'
    '<styleSheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">'
    '<numFmts count="1"><numFmt numFmtId="164" formatCode="yyyy\\-mm\\-dd"/></numFmts>'
    '<fonts count="1"><font><sz val="11"/><name val="Calibri"/></font></fonts>'
    '<fills count="2"><fill><patternFill patternType="none"/></fill><fill><patternFill patternType="gray125"/>'
    '</fill></fills><borders count="1"><border><left/><right/><top/><bottom/><diagonal/></border></borders>'
    '<cellStyleXfs count="1"><xf numFmtId="0" fontId="0" fillId="0" borderId="0"/></cellStyleXfs>'
    '<cellXfs count="2"><xf numFmtId="0" fontId="0" fillId="0" borderId="0" xfId="0"/>'
    '<xf numFmtId="164" fontId="0" fillId="0" borderId="0" xfId="0" applyNumberFormat="1"/></cellXfs>'
    '<cellStyles count="1"><cellStyle name="Normal" xfId="0" builtinId="0"/></cellStyles></styleSheet>',
    "xl/worksheets/sheet1.xml": '<?xml version="1.0" encoding="UTF-8"?>\n'
    '<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">'
    '<dimension ref="A1:C3"/><sheetViews><sheetView workbookViewId="0" tabSelected="1">'
    '<pane ySplit="1" topLeftCell="A2" activePane="bottomLeft" state="frozen"/></sheetView></sheetViews>'
    '<cols><col min="1" max="2" width="12" customWidth="1"/></cols><sheetData>'
    '<row r="1" ht="20" customHeight="1"><c r="A1" t="s"><v>0</v></c><c r="B1" t="s"><v>1</v></c>'
    '<c r="C1" t="inlineStr"><is><t>inline</t></is></c></row>'
    '<row r="2"><c r="A2"><v>1.5</v></c><c r="B2" s="1"><v>43000</v></c><c r="C2" t="b"><v>1</v></c></row>'
    '<row r="3"><c r="A3"><f>SUM(A2:B2)*2</f><v>3</v></c><c r="B3" t="e"><v>#DIV/0!</v></c>'
    '<c r="C3" t="str"><f>IF(A2&gt;1,"big","small")&amp;Sheet1!$A$1</f><v>big</v></c></row></sheetData>'
    '<mergeCells count="1"><mergeCell ref="A4:B5"/></mergeCells></worksheet>',
}

TOKEN_SEEDS = [
    # flags, tokens, extra data: a few hand-made streams covering operands, operators, functions and attributes
    (0, bytes([0x1E, 0x01, 0x00, 0x1E, 0x02, 0x00, 0x03]), b""),  # 1+2
    (0, bytes([0x44, 0x00, 0x00, 0x01, 0xC0, 0x44, 0x02, 0x00, 0x01, 0xC0, 0x03]), b""),  # RC[1]+R[2]C[1]
    (0, bytes([0x25, 0x00, 0x00, 0x09, 0x00, 0x00, 0x00, 0x01, 0x00, 0x19, 0x10, 0x00, 0x00]), b""),  # SUM(area)
    (0, bytes([0x17, 0x03, 0x00, 0x00, ord("a"), ord("b"), ord("c")]), b""),  # "abc"
    (0, bytes([0x20, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00]), bytes([1, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0xF0, 0x3F])),
    (0, bytes([0x23, 0x01, 0x00, 0x00, 0x00]), b""),  # name 1
    (0, bytes([0x3A, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00]), b""),  # Ref3d
    (2, bytes([0x2C, 0xFF, 0xFF, 0xFF, 0xFF]), b""),  # RefN -1,-1
    (0, bytes([0x01, 0x00, 0x00, 0x00, 0x00]), b""),  # Exp
    (0, bytes([0x1D, 0x01, 0x1C, 0x07, 0x19, 0x40, 0x00, 0x00]), b""),  # TRUE, #DIV/0!, attr space
    (1, bytes([0x44, 0x00, 0xC0, 0x01, 0x1E, 0x05, 0x00, 0x05]), b""),  # BIFF5 ref * 5
    (0, bytes([0x23, 0x08, 0x00, 0x00, 0x00, 0x24, 0x00, 0x00, 0x00, 0x00, 0x17, 0x05, 0x00]) + b"Price" +
     bytes([0x22, 0x03, 0xFF, 0x00]), b""),  # _FV(A1,"Price") through the user-defined call
]

# EXCEL.txt, output.txt and set.txt, separated as fuzz_state splits them
STATE_SEEDS = [b"\n@@\n\n@@\n", b"/tmp/a.xls\r\n/tmp/b.xlsx\r\n\n@@\n/tmp\r\n/out\r\n\n@@\n1\r\n1\r\n",
               b"a\rb\nc\r\n\r\nlast\n@@\n" + b"d\r\n" * 230 + b"\n@@\n1\r\n1",
               b"\xe9t\xe9\r\n" * 3 + b"\n@@\n\xff\x00\r\n\n@@\n0\r\n1\r\n"]

A1_SEEDS = [b"SUM(A1:B2)", b"Sheet1!$A$1+'My Sheet'!B2:C$3", b"IF(A1>1,\"x\",#N/A)", b"{1,2;3,\"a\"}",
            b"Table1[[#This Row],[Col]]", b"[1]Sheet1!A1", b"A:A+1:1+XFD1048576", b"_xlfn.XLOOKUP(1,A:A,B:B)",
            b"-A1%^2&\"\"\"q\"", b"Name1 INDIRECT(\"R1C1\",FALSE)",
            b"_FV(A1,\"Population\")+_xlfn._FV(Sheet1!B2,\"Field name\",TRUE)", b"_FV(A1:B2,\"a]b\",FALSE)"]

XMLSS_SEED = (b'<?xml version="1.0"?>\n<Workbook xmlns="urn:schemas-microsoft-com:office:spreadsheet" '
              b'xmlns:ss="urn:schemas-microsoft-com:office:spreadsheet" xmlns:x="urn:schemas-microsoft-com:office:excel" '
              b'xmlns:html="http://www.w3.org/TR/REC-html40"><ExcelWorkbook><Date1904/></ExcelWorkbook><Styles>'
              b'<Style ss:ID="Default" ss:Name="Normal"><Font ss:FontName="Calibri" ss:Size="11"/></Style>'
              b'<Style ss:ID="s1" ss:Parent="Default"><NumberFormat ss:Format="Short Date"/><Interior ss:Color="#FF0000" '
              b'ss:Pattern="Solid"/><Borders><Border ss:Position="Left" ss:LineStyle="Continuous" ss:Weight="1"/></Borders>'
              b'</Style></Styles><Names><NamedRange ss:Name="Total" ss:RefersTo="=Sheet1!R1C1:R2C2"/></Names>'
              b'<Worksheet ss:Name="Sheet1"><Table><Column ss:Index="2" ss:Span="2" ss:Width="80"/>'
              b'<Row ss:Index="2" ss:Height="20"><Cell ss:MergeAcross="1" ss:HRef="http://x/"><Data ss:Type="String">a'
              b'&#7;</Data></Cell><Cell ss:Index="4" ss:StyleID="s1"><Data ss:Type="DateTime">2020-01-02T03:04:05.000'
              b'</Data></Cell><Cell ss:Formula="=SUM(R[-1]C:RC[-1])"><Data ss:Type="Number">3</Data>'
              b'<Comment ss:Author="me"><ss:Data xmlns="http://www.w3.org/TR/REC-html40"><B>bold <Font html:Color='
              b'"#0000FF">blue</Font></B></ss:Data></Comment></Cell></Row></Table><WorksheetOptions '
              b'xmlns="urn:schemas-microsoft-com:office:excel"><Selected/><FreezePanes/><SplitHorizontal>1'
              b'</SplitHorizontal><Panes><Pane><Number>3</Number><ActiveRow>1</ActiveRow></Pane></Panes>'
              b'</WorksheetOptions><AutoFilter x:Range="R1C1:R2C3" xmlns="urn:schemas-microsoft-com:office:excel"/>'
              b'</Worksheet></Workbook>\n')

HTML_SEEDS = [
    b'<html><head><meta charset="windows-1252"><style>.n{mso-number-format:"0\\.00";color:#FF0000}</style></head>'
    b'<body><h1>Report</h1><table><tr><th colspan=2>Name</th><th rowspan=2>007</th></tr><tr><td class=n>1,234.5</td>'
    b'<td><a href="http://example.com/">12%</a></td></tr><tr><td x:num="3.5">3,5</td><td x:str>0012</td>'
    b'<td x:fmla="=A3*2" x:num>7</td></tr></table><p>after</p><table><tr><td>1/2/2020<br>x</td></tr></table>'
    b'</body></html>',
    b'<table><tr><td><table><tr><td>nested</td></tr></table></td><td colspan=99999 rowspan=99999>big</td></tr>',
    # A frameset page of a workbook saved as several files; the target serves the page itself for every link.
    b'<html xmlns:x="urn:schemas-microsoft-com:office:excel"><head><meta name=ProgId content=Excel.Sheet>'
    b'<link rel=Stylesheet href=stylesheet.css><style>.xl65{font-weight:700;mso-number-format:"Short Date"}</style>'
    b'<![if !supportTabStrip]><script>fnUpdateTabs()</script><![endif]><!--[if gte mso 9]><xml><o:DocumentProperties>'
    b'<o:Author>Ann</o:Author></o:DocumentProperties></xml><![endif]-->'
    b'<!--[if gte mso 9]><xml><x:ExcelWorkbook><x:ExcelWorksheets><x:ExcelWorksheet><x:Name>A &amp; B</x:Name>'
    b'<x:WorksheetSource HRef="Book_files/sheet001.htm"/></x:ExcelWorksheet><x:ExcelWorksheet><x:Name>C</x:Name>'
    b"<x:WorksheetSource HRef='Book_files/sheet002.htm'/></x:ExcelWorksheet></x:ExcelWorksheets>"
    b'<x:WindowHeight>8700</x:WindowHeight><x:ActiveSheet>1</x:ActiveSheet></x:ExcelWorkbook></xml><![endif]--></head><frameset rows="*,39"><frame src="Book_files/sheet001.htm">'
    b'</frameset><table><tr><td class=xl65 x:num>1</td></tr></table></html>',
]

DELIMITED_SEEDS = [
    b'name,amount,date\r\n"Smith, J",007,1/2/2020\r\n"multi\nline","1,234.50",12%\r\nTRUE,#N/A,($5)\r\n',
    b'a\tb\tc\n1\t2.5e3\t"x""y"\n',
    b'\xef\xbb\xbfcaf\xc3\xa9,1\n',
    b'\xff\xfea\x00\t\x001\x00\n\x00',
    b'caf\xe9;10:30 PM,2020-03-04 10:00\n',
]


CFB_SIGNATURE = bytes.fromhex("D0CF11E0A1B11AE1")


def u16(b, o):
    return struct.unpack_from("<H", b, o)[0]


def u32(b, o):
    return struct.unpack_from("<I", b, o)[0]


def cfb_streams(data):
    """Streams of a compound file by name, best effort (seeds only need to be plausible)."""
    if data[:8] != CFB_SIGNATURE:
        return {}
    ssz = 1 << u16(data, 30)
    nfat, dir_start, cutoff = u32(data, 44), u32(data, 48), u32(data, 56)
    minifat_start, difat_start, ndifat = u32(data, 60), u32(data, 68), u32(data, 72)
    difat = [u32(data, 76 + 4 * i) for i in range(109)]
    sec = difat_start
    for _ in range(ndifat):
        off = (sec + 1) * ssz
        entries = list(struct.unpack_from("<%dI" % (ssz // 4), data, off))
        difat += entries[:-1]
        sec = entries[-1]
    fat = []
    for s in difat[:nfat]:
        fat += struct.unpack_from("<%dI" % (ssz // 4), data, (s + 1) * ssz)

    def chain(start, table):
        out, seen = [], set()
        while start < len(table) and start not in seen:
            seen.add(start)
            out.append(start)
            start = table[start]
        return out

    def read(start, size=None):
        b = b"".join(data[(s + 1) * ssz:(s + 2) * ssz] for s in chain(start, fat))
        return b if size is None else b[:size]

    directory = read(dir_start)
    entries = []
    for o in range(0, len(directory) - 127, 128):
        nlen = u16(directory, o + 64)
        name = directory[o:o + max(nlen - 2, 0)].decode("utf-16-le", "replace")
        entries.append((name, directory[o + 66], u32(directory, o + 116), u32(directory, o + 120)))
    if not entries:
        return {}
    ministream = read(entries[0][2], entries[0][3])
    minifat_bytes = read(minifat_start) if minifat_start < len(fat) else b""
    minifat = list(struct.unpack_from("<%dI" % (len(minifat_bytes) // 4), minifat_bytes))
    streams = {}
    for name, kind, start, size in entries:
        if kind != 2:
            continue
        if size < cutoff:
            streams[name] = b"".join(ministream[s * 64:(s + 1) * 64] for s in chain(start, minifat))[:size]
        else:
            streams[name] = read(start, size)
    return streams


def biff_records(stream):
    o = 0
    while o + 4 <= len(stream):
        rid, rlen = u16(stream, o), u16(stream, o + 4 - 2)
        yield rid, stream[o + 4:o + 4 + rlen]
        o += 4 + rlen


def formula_seeds(stream):
    biff5 = False
    for rid, d in biff_records(stream):
        if rid == 0x0809 and len(d) >= 2:
            biff5 = u16(d, 0) != 0x0600
        flags = 1 if biff5 else 0
        if rid == 0x0006 and len(d) >= 22:
            yield flags, u16(d, 0), u16(d, 2), d[20:22], d[22:]
        elif rid == 0x04BC and len(d) >= 10:
            yield flags | 2, u16(d, 0), d[4], d[8:10], d[10:]
        elif rid == 0x0221 and len(d) >= 14:
            yield flags, u16(d, 0), d[4], d[12:14], d[14:]


def package_parts(data, extensions=(".xml", ".rels", ".vml")):
    out = []
    with zipfile.ZipFile(io.BytesIO(data)) as z:
        for info in z.infolist():
            if info.file_size > 400000 or not info.filename.endswith(extensions):
                continue
            out.append(info.filename.encode() + b"\n" + z.read(info))
    return b"\n@@\n".join(out)


def minimal_xlsx():
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w", zipfile.ZIP_DEFLATED) as z:
        for name, text in MINIMAL_PARTS.items():
            z.writestr(name, text)
    return buf.getvalue()


def old_record(sid, payload):
    return struct.pack("<HH", sid, len(payload)) + payload


def old_worksheet(version):
    """A small Excel 2.x, 3.0 or 4.0 worksheet: fonts, formats, an XF, a row, cells of each kind and a formula."""
    bof = {2: 0x0009, 3: 0x0209, 4: 0x0409}[version]
    s = old_record(bof, struct.pack("<HHH", 0, 0x10, 0)[: 4 if version == 2 else 6])
    if version == 2:
        s += old_record(0x31, struct.pack("<HH", 200, 1) + b"\x05Arial") + old_record(0x45, b"\x0a\x00")
        s += old_record(0x1E, b"\x07General") + old_record(0x1E, b"\x04" + b"0.00")
        s += old_record(0x18, b"\x00\x00\x01\x03N\x1e\x05\x00")
        attrs = b"\x40\x41\x7a"
        s += old_record(0x08, struct.pack("<HHHHH", 0, 0, 3, 300, 0) + b"\x01\x00\x00" + attrs)
        s += old_record(0x24, b"\x00\x02\x00\x0a")
        s += old_record(0x03, struct.pack("<HH", 0, 0) + attrs + struct.pack("<d", 1.5))
        s += old_record(0x02, struct.pack("<HH", 0, 1) + attrs + struct.pack("<H", 7))
        s += old_record(0x04, struct.pack("<HH", 1, 0) + attrs + b"\x02hi")
        s += old_record(0x05, struct.pack("<HH", 1, 1) + attrs + b"\x01\x00")
        tokens = b"\x23\x01\x00" + b"\x00" * 5 + b"\x44\x00\x00\x00\x03\x41\x18"
        s += old_record(0x06, struct.pack("<HH", 2, 0) + attrs + struct.pack("<d", 3) + bytes([0, len(tokens)]) + tokens)
        s += old_record(0x3E, b"\x00\x01\x01\x00\x01\x00\x00\x00\x00\x01\x00\x00\x00\x00")
    else:
        s += old_record(0x231, struct.pack("<HHH", 200, 1, 0x7FFF) + b"\x05Arial")
        fmt = 0x1E if version == 3 else 0x41E
        prefix = b"" if version == 3 else b"\x00\x00"
        s += old_record(fmt, prefix + b"\x07General") + old_record(fmt, prefix + b"\x04" + b"0.00")
        xf = 0x243 if version == 3 else 0x443
        s += old_record(xf, bytes([0, 0, 5, 0, 0xF0, 0xFF, 0, 0xCE, 0, 0, 0, 0]))
        s += old_record(xf, bytes([0, 1, 1, 0xFC, 0x38, 0xFC, 0x41, 0x10, 0x09, 0x01, 0x11, 0x01]))
        s += old_record(0x218, b"\x00\x00\x00\x01\x03\x00N\x1e\x05\x00")
        s += old_record(0x208, struct.pack("<HHHHHHHH", 0, 0, 3, 300, 0, 0, 0x1C0, 1))
        s += old_record(0x7D, struct.pack("<HHHHHH", 0, 2, 2560, 1, 0, 0))
        s += old_record(0x203, struct.pack("<HHHd", 0, 0, 1, 1.5))
        s += old_record(0x27E, struct.pack("<HHHI", 0, 1, 1, (7 << 2) | 2))
        s += old_record(0x204, struct.pack("<HHHH", 1, 0, 1, 2) + b"hi")
        s += old_record(0x205, struct.pack("<HHHBB", 1, 1, 1, 1, 0))
        idx = b"\x18" if version == 3 else b"\x18\x00"
        tokens = b"\x23\x01\x00" + b"\x00" * 8 + b"\x44\x00\x00\x00\x03\x41" + idx
        s += old_record(0x206 if version == 3 else 0x406,
                        struct.pack("<HHHdHH", 2, 0, 1, 3, 0, len(tokens)) + tokens)
        s += old_record(0x23E, struct.pack("<HHHI", 0xB6, 0, 0, 0))
    return s + old_record(0x0A, b"")


def old_workbook():
    """An Excel 4.0 workbook: globals, then two worksheets and a chart, each after its SHEETHEADER."""
    chart = old_record(0x409, struct.pack("<HHH", 0, 0x20, 0)) + old_record(0x0A, b"")
    s = old_record(0x409, struct.pack("<HHH", 0, 0x100, 0))
    s += old_record(0x3D, struct.pack("<HHHHB", 0, 0, 8000, 5000, 0))
    for name, sheet in ((b"First", old_worksheet(4)), (b"Chart", chart), (b"Second", old_worksheet(4))):
        s += old_record(0x8F, struct.pack("<I", len(sheet)) + bytes([len(name)]) + name) + sheet
    return s + old_record(0x0A, b"")


OLD_BIFF_SEEDS = [old_worksheet(v) for v in (2, 3, 4)] + [old_workbook()]


def standard_encryption(package, password="VelvetSweatshop"):
    """EncryptionInfo and EncryptedPackage of `package` encrypted in the standard form (AES-128, ECB) with
    `password`, AES by the openssl command; None without it."""
    import hashlib
    import subprocess
    salt, verifier = bytes(range(1, 17)), bytes(range(0x70, 0x80))
    h = hashlib.sha1(salt + password.encode("utf-16-le")).digest()
    for i in range(50000):
        h = hashlib.sha1(struct.pack("<I", i) + h).digest()
    h = hashlib.sha1(h + struct.pack("<I", 0)).digest()
    key = hashlib.sha1(bytes(b ^ 0x36 for b in h.ljust(64, b"\0"))).digest()[:16]

    def aes(data):
        data += b"\0" * (-len(data) % 16)
        try:
            return subprocess.run(["openssl", "enc", "-aes-128-ecb", "-nopad", "-K", key.hex()], input=data,
                                  capture_output=True, check=True).stdout
        except (OSError, subprocess.CalledProcessError):
            return None

    checked = aes(verifier + hashlib.sha1(verifier).digest())
    data = aes(package)
    if checked is None or data is None:
        return None
    header = struct.pack("<8I", 0x24, 0, 0x660E, 0x8004, 128, 0x18, 0, 0) + b"x\0\0\0"
    info = (struct.pack("<HHII", 3, 2, 0x24, len(header)) + header + struct.pack("<I", 16) + salt + checked[:16] +
            struct.pack("<I", 20) + checked[16:])
    return info, struct.pack("<Q", len(package)) + data


def filepass_salt(stream):
    """Salt and key length (bytes) of an RC4 CryptoAPI FILEPASS, or None."""
    for rid, body in biff_records(stream):
        if rid == 0x2F and len(body) >= 14 and u16(body, 0) == 1 and u16(body, 4) == 2:
            size = u32(body, 10)
            at = 14 + size
            if len(body) >= at + 20 and size >= 20:
                return body[at + 4:at + 20], max(5, (u32(body, 14 + 16) or 40) // 8)
    return None


def corpus_files(corpus, extensions):
    """The corpus's files with one of these extensions, in every folder (encrypted/ holds workbooks too)."""
    if not corpus or not os.path.isdir(corpus):
        return []
    found = []
    for folder, _, names in os.walk(corpus):
        found += [os.path.join(folder, f) for f in names if f.lower().endswith(extensions)]
    return sorted(found)


def compound_files(corpus):
    """Every compound file of the corpus, whatever its name (encrypted packages are compound files named .xlsx)."""
    for f in corpus_files(corpus, ("",)):
        with open(f, "rb") as handle:
            data = handle.read()
        if data[:8] == CFB_SIGNATURE:
            yield data


def seeds_for(target, corpus):
    if target == "fuzz_xlsx":
        yield minimal_xlsx()
        for f in corpus_files(corpus, (".xlsx", ".xlsm")):
            yield open(f, "rb").read()
    elif target == "fuzz_xlsx_parts":
        yield b"\n@@\n".join(k.encode() + b"\n" + v.encode() for k, v in MINIMAL_PARTS.items())
        for f in corpus_files(corpus, (".xlsx", ".xlsm")):
            try:
                yield package_parts(open(f, "rb").read())
            except (zipfile.BadZipFile, OSError):
                pass
    elif target == "fuzz_xlsb":
        for f in corpus_files(corpus, (".xlsb",)):
            try:
                yield package_parts(open(f, "rb").read(), (".xml", ".rels", ".bin"))
            except (zipfile.BadZipFile, OSError):
                pass
    elif target == "fuzz_xls":
        for f in corpus_files(corpus, (".xls",)):
            yield open(f, "rb").read()
        yield from compound_files(corpus)
    elif target == "fuzz_cfb":
        yield from compound_files(corpus)
    elif target == "fuzz_oldbiff":
        yield from OLD_BIFF_SEEDS
        for f in corpus_files(corpus, (".xls",)):
            data = open(f, "rb").read()
            if data[:1] == b"\x09" and data[1:2] in (b"\x00", b"\x02", b"\x04"):
                yield data
    elif target == "fuzz_biff":
        for data in compound_files(corpus):
            try:
                streams = cfb_streams(data)
            except (struct.error, IndexError):
                continue
            for name in ("Workbook", "Book"):
                if name in streams:
                    yield streams[name]
                    break
    elif target == "fuzz_crypt":
        encrypted = os.path.join(corpus, "encrypted") if corpus else None
        for f in corpus_files(encrypted, (".xls", ".xlsx")):
            streams = cfb_streams(open(f, "rb").read())
            if "EncryptionInfo" in streams and "EncryptedPackage" in streams:
                info = streams["EncryptionInfo"]
                yield b"P" + struct.pack("<H", len(info)) + info + streams["EncryptedPackage"]
            for name in ("Workbook", "Book"):
                if name in streams:
                    yield b"X" + streams[name]
                    found = filepass_salt(streams[name])
                    if found and "encryption" in streams:
                        yield b"S" + found[0] + bytes([found[1]]) + streams["encryption"]
                    break
        # A decrypted package can be a binary workbook; the corpus has no encrypted one, so one is made.
        for f in corpus_files(corpus, (".xlsb",))[:1]:
            made = standard_encryption(open(f, "rb").read())
            if made:
                yield b"P" + struct.pack("<H", len(made[0])) + made[0] + made[1]
    elif target == "fuzz_formula":
        for flags, tokens, extra in TOKEN_SEEDS:
            yield bytes([flags]) + struct.pack("<HHB", len(tokens), 0, 0) + tokens + extra
        for f in corpus_files(corpus, (".xls",)):
            streams = cfb_streams(open(f, "rb").read())
            stream = streams.get("Workbook") or streams.get("Book") or b""
            for flags, row, col, cce, rest in formula_seeds(stream):
                yield bytes([flags]) + cce + struct.pack("<HB", row & 0xFFFF, col & 0xFF) + rest
    elif target.startswith("fuzz_a1"):
        # row (3 bytes), column (2 bytes), flags, formula
        for i, s in enumerate(A1_SEEDS):
            yield struct.pack("<I", i * 7)[:3] + struct.pack("<HB", i, i & 1) + s
        for f in corpus_files(corpus, (".xlsx", ".xlsm")):
            for s in a1_formulas(f):
                yield struct.pack("<I", 99)[:3] + struct.pack("<HB", 3, 0) + s
    elif target.startswith("fuzz_state"):
        yield from STATE_SEEDS
    elif target == "fuzz_xmlss":
        yield XMLSS_SEED
        for f in corpus_files(corpus, ("-xmlss.xls",)):
            yield open(f, "rb").read()
    elif target == "fuzz_html":
        yield from HTML_SEEDS
        for f in corpus_files(corpus, ("-html.xls",)):
            yield open(f, "rb").read()
    elif target == "fuzz_delimited":
        yield from DELIMITED_SEEDS


def a1_formulas(path):
    import re
    try:
        with zipfile.ZipFile(path) as z:
            for name in z.namelist():
                if name.startswith("xl/worksheets/") and name.endswith(".xml"):
                    text = z.read(name).decode("utf-8", "replace")
                    for m in re.finditer(r"<f[^>]*>([^<]+)</f>", text):
                        yield m.group(1).replace("&amp;", "&").replace("&lt;", "<").replace("&gt;", ">") \
                            .replace("&quot;", '"').replace("&apos;", "'").encode()
    except (zipfile.BadZipFile, OSError):
        return


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    target, outdir = sys.argv[1], sys.argv[2]
    corpus = sys.argv[3] if len(sys.argv) > 3 else None
    os.makedirs(outdir, exist_ok=True)
    seen = set()
    for seed in seeds_for(target, corpus):
        try:
            digest = hashlib.sha1(seed).hexdigest()
        except TypeError:
            continue
        if digest in seen or len(seen) >= 5000:
            continue
        seen.add(digest)
        with open(os.path.join(outdir, digest), "wb") as f:
            f.write(seed)
    print("%s: %d seeds in %s" % (target, len(seen), outdir))


if __name__ == "__main__":
    main()
