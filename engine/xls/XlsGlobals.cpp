// Parsing of the workbook globals substream.
#include "engine/xls/XlsGlobals.h"

#include "engine/Deadline.h"
#include "engine/formula/R1C1Translator.h"
#include "engine/xls/OldBiffRecords.h"
#include "engine/xls/ThemeRecord.h"

#include <cctype>

namespace velquin::engine::xls {

namespace {

constexpr std::uint16_t kWindowProtect = 0x0019;
constexpr std::uint16_t kContinueFrt = 0x0812;
constexpr std::uint16_t kXfCrc = 0x087C;
constexpr std::uint16_t kXfExt = 0x087D;
constexpr std::uint16_t kTheme = 0x0896;
constexpr std::size_t kFrtHeaderSize = 12;

struct GlobalsParser
{
    RecordStream& stream;
    XlsGlobals& g;
    CodepageDecoder& decoder;
    StringReader strings;
    bool biff8;
    Record sstRecord;
    bool haveSst = false;

    GlobalsParser(RecordStream& s, XlsGlobals& globals, CodepageDecoder& d)
        : stream(s), g(globals), decoder(d), strings(globals.biffVersion == 8, d), biff8(globals.biffVersion == 8)
    {}

    Status limit(const Record& r) const
    {
        return {EngineErrc::LimitExceeded,
                "Too many records of type " + std::to_string(r.sid) + " at offset " + std::to_string(r.offset) + "."};
    }

    void codePage(ByteCursor& c)
    {
        int cp = c.u16();
        if (cp == 0x8000)
            cp = 10000;
        else if (cp == 0x8001 || cp == 1200 || cp == 367)
            cp = 1252;
        g.codepage = cp;
        decoder.setCodepage(cp);
    }

    void window1(ByteCursor& c)
    {
        auto& i = g.info;
        i.windowTopX = c.i16();
        i.windowTopY = c.i16();
        i.windowWidth = c.u16();
        i.windowHeight = c.u16();
        c.u16();
        i.activeSheet = c.u16();
        i.firstVisibleSheet = c.u16();
        c.u16();
        std::uint16_t ratio = c.u16();
        if (c.ok())
            i.tabRatio = ratio;
    }

    void format(ByteCursor& c)
    {
        std::uint16_t id = c.u16();
        std::string code = biff8 ? strings.longString(c) : strings.shortString(c);
        if (c.ok())
            g.styles.formats[id] = std::move(code);
    }

    void style(ByteCursor& c)
    {
        std::uint16_t v = c.u16();
        std::uint16_t xf = v & 0x0FFF;
        if (v & 0x8000)
        {
            int id = c.u8();
            int level = c.u8();
            std::string name;
            if (id == 1 || id == 2)
                name = (id == 1 ? "RowLevel_" : "ColLevel_") + std::to_string(level + 1);
            g.styles.styles.emplace(xf, std::make_pair(name, id));
        }
        else
        {
            std::string name = biff8 ? strings.longString(c) : strings.shortString(c);
            if (c.ok())
                g.styles.styles.emplace(xf, std::make_pair(name, -1));
        }
    }

    Status boundSheet(const Record& r, ByteCursor& c)
    {
        SheetRecord s;
        s.offset = c.u32();
        std::uint8_t state = c.u8();
        std::uint8_t type = c.u8();
        s.name = strings.shortString(c);
        if (!c.ok())
            return damagedRecord(r.sid, r.offset, "is truncated");
        s.visibility = (state & 3) == 1   ? model::Visibility::Hidden
                       : (state & 3) == 2 ? model::Visibility::VeryHidden
                                          : model::Visibility::Visible;
        s.kind = type == 2   ? model::SheetKind::Chart
                 : type == 0 ? model::SheetKind::Worksheet
                             : model::SheetKind::Macro;
        g.sheets.push_back(std::move(s));
        return {};
    }

    void name(ByteCursor& c)
    {
        NameRecord n;
        std::uint16_t flags = c.u16();
        c.u8();
        std::size_t cch = c.u8();
        std::size_t cce = c.u16();
        std::uint16_t ixals = c.u16();
        std::uint16_t itab = c.u16();
        c.skip(4);
        n.hidden = flags & 0x0001;
        n.function = (flags & 0x000E) != 0;
        bool builtin = flags & 0x0020;
        n.name = strings.chars(c, cch);
        if (builtin && !n.name.empty())
        {
            int code = static_cast<unsigned char>(n.name[0]);
            if (const char* text = builtinNameText(code))
            {
                n.builtin = code;
                n.name = text;
            }
        }
        if (n.builtin < 0)
            n.name = nameForLargeGrid(std::move(n.name));
        auto rgce = c.bytes(cce);
        auto rgcb = c.rest();
        if (!c.ok())
            return;
        n.rgce.assign(rgce.begin(), rgce.end());
        n.rgcb.assign(rgcb.begin(), rgcb.end());
        n.sheet = itab > 0 ? itab - 1 : -1;
        // BIFF5 says which sheet a local name belongs to through the EXTERNSHEET entry naming that sheet; the
        // sheets themselves are listed later, so the name is looked up once the globals are read.
        if (!biff8 && itab > 0 && ixals > 0 && ixals <= g.biff5ExternSheets.size())
            n.biff5SheetName = g.biff5ExternSheets[ixals - 1u];
        g.names.push_back(std::move(n));
    }

    void supBook(ByteCursor& c)
    {
        SupBook b;
        std::uint16_t ctab = c.u16();
        std::uint16_t cch = c.u16();
        if (cch == 0x0401)
        {
            b.kind = SupBook::Kind::Self;
        }
        else if (cch == 0x3A01)
        {
            b.kind = SupBook::Kind::AddIn;
        }
        else if (cch >= 1 && cch <= 0xFF)
        {
            b.kind = SupBook::Kind::External;
            b.path = strings.chars(c, cch);
            for (std::size_t i = 0; i < ctab && c.ok() && !c.atEnd(); ++i)
                b.sheets.push_back(strings.longString(c));
            // A DDE link names no sheets, and its path is "server" 0x03 "topic" with no volume or folder codes.
            const std::size_t separator = b.path.find('\x03');
            if (ctab == 0 && separator != std::string::npos && separator > 0 &&
                static_cast<unsigned char>(b.path[0]) >= 0x20 &&
                b.path.find('\x03', separator + 1) == std::string::npos)
            {
                b.kind = SupBook::Kind::Dde;
                b.path[separator] = '|';
            }
        }
        g.supBooks.push_back(std::move(b));
    }

    void externName(ByteCursor& c)
    {
        if (biff8 && g.supBooks.empty())
            return;
        c.u16();
        c.skip(4);
        std::string text = strings.shortString(c);
        if (!c.ok())
            text.clear();
        if (biff8)
            g.supBooks.back().externNames.push_back(std::move(text));
        else
        {
            if (g.supBooks.empty())
                g.supBooks.emplace_back();
            g.supBooks.back().externNames.push_back(std::move(text));
        }
    }

    void externSheet(ByteCursor& c)
    {
        if (biff8)
        {
            std::size_t count = c.u16();
            for (std::size_t i = 0; i < count && c.remaining() >= 6; ++i)
            {
                XtiRecord x;
                x.supBook = c.u16();
                x.firstSheet = c.i16();
                x.lastSheet = c.i16();
                g.xti.push_back(x);
            }
            return;
        }
        // The count leaves out the encoding byte in front of a sheet name, so the name is the rest of the record.
        c.u8();
        auto bytes = c.rest();
        std::string text;
        if (!bytes.empty() && (bytes[0] == 0x03 || bytes[0] == 0x01))
            text = decoder.decode(bytes.subspan(1));
        else if (!bytes.empty() && bytes[0] >= 0x20)
            text = decoder.decode(bytes);
        g.biff5ExternSheets.push_back(std::move(text));
        // Each BIFF5 EXTERNSHEET starts a new set of external names; a lone 0x04 stands for this workbook itself.
        g.supBooks.emplace_back();
        if (bytes.size() == 1 && bytes[0] == 0x04)
            g.supBooks.back().kind = SupBook::Kind::Self;
    }

    // THEME: the built-in theme by number, or a theme package continued in CONTINUEFRT records. A package that
    // cannot be read leaves theme colours unresolved, so cells keep their palette colours.
    Status theme(const Record& r)
    {
        ByteCursor c(r.bytes());
        c.skip(kFrtHeaderSize);
        const std::uint32_t version = c.u32();
        std::vector<std::uint8_t> package(r.data.begin() + static_cast<std::ptrdiff_t>(c.ok() ? c.pos() : 0),
                                          c.ok() ? r.data.end() : r.data.begin());
        bool fits = c.ok();
        Record part;
        while (stream.peekSid() == kContinueFrt)
        {
            if (Status st = stream.next(part); !st)
                return st;
            if (!fits || part.data.size() < kFrtHeaderSize ||
                package.size() + part.data.size() - kFrtHeaderSize > kMaxThemePackage)
            {
                fits = false;
                continue;
            }
            package.insert(package.end(), part.data.begin() + kFrtHeaderSize, part.data.end());
        }
        if (fits && version == kBuiltinThemeVersion)
            return {};
        std::optional<std::array<model::Rgb, 12>> scheme;
        if (fits)
            scheme = readThemePackage(package);
        if (scheme)
            g.styles.palette.setTheme(*scheme);
        else
            g.styles.palette.clearTheme();
        return {};
    }

    void xfExt(const Record& r)
    {
        if (g.styles.extensions.size() >= kMaxTableEntries)
            return;
        if (auto ext = parseXfExt(r.bytes()))
            g.styles.extensions.emplace(ext->first, ext->second); // a second XFEXT for the same XF is ignored
    }

    Status handle(Record& r)
    {
        if (g.biffVersion < 5)
            if (auto old = readOldGlobalsRecord(r, g, strings))
                return *old;
        ByteCursor c(r.bytes());
        switch (r.sid)
        {
        case sid::FilePass:
            if (stream.decrypting())
                break;
            g.filePass = r.data;
            g.filePassEnd = stream.position();
            return {EngineErrc::EncryptedWorkbook, "The workbook is protected by a password."};
        case sid::CodePage:
            codePage(c);
            break;
        case sid::DateMode:
            g.date1904 = c.u16() == 1;
            break;
        case sid::Window1:
            window1(c);
            break;
        case sid::Protect:
            g.info.protectStructure = c.u16() != 0;
            break;
        case kWindowProtect:
            g.info.protectWindows = c.u16() != 0;
            break;
        case sid::Font:
            if (g.styles.fonts.size() >= kMaxTableEntries)
                return limit(r);
            g.styles.fonts.push_back(parseFont(c, strings));
            break;
        case sid::Format:
        case sid::Format4:
            format(c);
            break;
        case sid::Xf:
            if (g.styles.xfs.size() >= kMaxTableEntries)
                return limit(r);
            g.styles.xfs.push_back(parseXf(c, biff8));
            g.styles.xfChecksum = officeChecksum(g.styles.xfChecksum, r.bytes());
            break;
        case sid::Style:
            style(c);
            break;
        case sid::Palette:
            g.styles.palette.parse(c);
            break;
        case kTheme:
            if (biff8)
                return theme(r);
            break;
        case kXfExt:
            if (biff8)
                xfExt(r);
            break;
        case kXfCrc:
            if (biff8)
            {
                c.skip(kFrtHeaderSize + 2);
                const std::uint16_t count = c.u16();
                const std::uint32_t checksum = c.u32();
                if (c.ok())
                {
                    g.styles.extendedXfCount = count;
                    g.styles.extendedXfChecksum = checksum;
                }
            }
            break;
        case kSheetHeader:
            if (g.bundle)
                return readBundledSheet(r, stream, g, strings);
            break;
        case sid::BoundSheet:
            if (g.sheets.size() >= kMaxTableEntries)
                return limit(r);
            return boundSheet(r, c);
        case sid::Name:
            if (g.names.size() >= kMaxTableEntries)
                return limit(r);
            if (Status st = stream.joinContinues(r, kMaxJoinedRecord); !st)
                return st;
            c = ByteCursor(r.bytes());
            name(c);
            break;
        case sid::SupBook:
            if (g.supBooks.size() >= kMaxTableEntries)
                return limit(r);
            supBook(c);
            break;
        case sid::ExternName:
            externName(c);
            break;
        case sid::ExternSheet:
            if (g.xti.size() >= kMaxTableEntries || g.biff5ExternSheets.size() >= kMaxTableEntries)
                return limit(r);
            if (biff8)
            {
                if (Status st = stream.joinContinues(r, kMaxJoinedRecord); !st)
                    return st;
                c = ByteCursor(r.bytes());
            }
            externSheet(c);
            break;
        case sid::Sst:
            sstRecord = std::move(r);
            haveSst = true;
            return stream.joinContinues(sstRecord, kMaxJoinedRecord);
        default:
            break;
        }
        return {};
    }

    Status run()
    {
        Record r;
        bool closed = false; // the sheets of an Excel 4.0 workbook come before its EOF; after it, they are read too
        for (std::uint32_t count = 1;; ++count)
        {
            if (count % 4096 == 1)
                if (Status st = checkDeadline(); !st)
                    return st;
            if (stream.atEnd() && closed)
                break;
            if (stream.atEnd())
                return {EngineErrc::DamagedFile, "The workbook globals end without an EOF record."};
            if (Status st = stream.next(r); !st)
                return st;
            if (r.sid == sid::Eof && g.bundle && !stream.atEnd() && stream.peekSid() == kSheetHeader)
            {
                closed = true;
                continue;
            }
            if (r.sid == sid::Eof)
                break;
            if (closed && r.sid != kSheetHeader)
                break; // what follows the last bundled sheet is not the workbook's
            if (Status st = handle(r); !st)
                return st;
        }
        for (auto& n : g.names)
            for (std::size_t i = 0; i < g.sheets.size() && !n.biff5SheetName.empty(); ++i)
                if (g.sheets[i].name == n.biff5SheetName)
                    n.sheet = static_cast<int>(i);
        if (haveSst)
        {
            auto fonts = [this](std::uint16_t ifnt) {
                const FontRecord* f = fontAt(g.styles, ifnt);
                return f ? toRunFont(*f, g.styles.palette) : model::TextRun::Font{};
            };
            if (Status st = g.sst.parse(sstRecord, fonts); !st)
                return st;
        }
        return {};
    }
};

} // namespace

const char* builtinNameText(int code)
{
    static constexpr const char* kNames[] = {"Consolidate_Area", "Auto_Open",      "Auto_Close",    "Extract",
                                             "Database",         "Criteria",       "Print_Area",    "Print_Titles",
                                             "Recorder",         "Data_Form",      "Auto_Activate", "Auto_Deactivate",
                                             "Sheet_Title",      "_FilterDatabase"};
    if (code >= 0 && code < 14)
        return kNames[code];
    return nullptr;
}

Status parseBof(const Record& record, BofInfo& bof)
{
    switch (record.sid)
    {
    case sid::Bof2:
    case sid::Bof3:
    case sid::Bof4: {
        bof.biffVersion = record.sid == sid::Bof2 ? 2 : record.sid == sid::Bof3 ? 3 : 4;
        ByteCursor c(record.bytes());
        c.u16();
        const std::uint16_t type = c.u16();
        bof.type = c.ok() ? type : kBofWorksheet;
        return {};
    }
    case sid::Bof:
        break;
    default:
        return damagedRecord(record.sid, record.offset, "is not the BOF record a substream starts with");
    }
    ByteCursor c(record.bytes());
    std::uint16_t vers = c.u16();
    bof.type = c.u16();
    if (!c.ok())
        return damagedRecord(record.sid, record.offset, "is truncated");
    bof.biffVersion = vers == 0x0600 ? 8 : vers == 0x0500 ? 5 : vers < 0x0500 && vers != 0 ? 4 : 8;
    // Some writers leave the version empty; the record length tells BIFF8 (16 bytes) from BIFF5 (8).
    if (vers == 0)
        bof.biffVersion = record.data.size() >= 16 ? 8 : 5;
    return {};
}

Status parseGlobals(RecordStream& stream, XlsGlobals& globals, CodepageDecoder& decoder)
{
    Record first;
    if (stream.size() == 0)
        return {EngineErrc::NotAWorkbook, "The workbook stream is empty."};
    std::uint16_t firstSid = stream.peekSid();
    // peekSid gives 0 when the first bytes cannot be read: a stream whose sector chain is broken is damaged.
    if (firstSid == 0 && stream.size() >= 4)
        if (Status st = stream.next(first); !st)
            return st;
    bool bofLike = firstSid == sid::Bof || firstSid == sid::Bof2 || firstSid == sid::Bof3 || firstSid == sid::Bof4;
    if (!bofLike && stream.size() >= 4)
        return {EngineErrc::NotAWorkbook, "The workbook stream does not start with a BOF record."};
    // A stream that starts like a workbook but cannot be read is damaged (a broken sector chain, a cut file).
    if (Status st = stream.next(first); !st)
        return st;
    BofInfo bof;
    if (Status st = parseBof(first, bof); !st)
        return {EngineErrc::NotAWorkbook, "The workbook stream does not start with a BOF record."};
    if (bof.biffVersion < 5)
    {
        // An Excel 2.x-4.x worksheet keeps its formatting and its cells in one substream: the globals are read
        // from it, and its one sheet is the same substream read again.
        if (bof.biffVersion == 4 && bof.type == kBofWorkbook4)
            startOldBundle(globals);
        else if (bof.type != kBofWorksheet)
            return {EngineErrc::UnsupportedFormat,
                    "Excel " + std::to_string(bof.biffVersion) + ".0 charts and macro sheets are not supported."};
        else
            startOldGlobals(globals, bof.biffVersion);
    }
    else if (bof.type != 0x0005)
        return {EngineErrc::UnsupportedFormat, "The file holds a single sheet, not a workbook."};
    globals.biffVersion = bof.biffVersion;
    GlobalsParser parser(stream, globals, decoder);
    if (Status st = parser.run(); !st)
        return st;
    if (globals.bundle && globals.sheets.empty())
        return {EngineErrc::DamagedFile, "The Excel 4.0 workbook holds no sheets."};
    return {};
}

std::string nameForLargeGrid(std::string name)
{
    std::size_t i = 0;
    std::uint32_t column = 0;
    while (i < name.size() && i < 4 && std::isalpha(static_cast<unsigned char>(name[i])))
        column =
            column * 26 + static_cast<std::uint32_t>(std::toupper(static_cast<unsigned char>(name[i++])) - 'A' + 1);
    const std::size_t letters = i;
    std::uint64_t row = 0;
    while (i < name.size() && i < letters + 8 && std::isdigit(static_cast<unsigned char>(name[i])))
        row = row * 10 + static_cast<std::uint64_t>(name[i++] - '0');
    if (letters > 0 && letters <= 3 && i > letters && i == name.size() && column <= model::kMaxColumns && row >= 1 &&
        row <= model::kMaxRows)
        name.insert(name.begin(), '_');
    return name;
}

std::string quoteSheetName(const std::string& name)
{
    if (!name.empty() && name[0] != '.' && !formula::sheetNameNeedsQuotes(name))
        return name;
    std::string out = "'";
    for (char ch : name)
    {
        out += ch;
        if (ch == '\'')
            out += '\'';
    }
    out += '\'';
    return out;
}

} // namespace velquin::engine::xls
