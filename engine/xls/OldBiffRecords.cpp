// Excel 2.x, 3.x and 4.x worksheet records: formatting and names into the globals, cells into the BIFF5 layout.
#include "engine/xls/OldBiffRecords.h"

#include "engine/Deadline.h"
#include "engine/xls/BiffStrings.h"
#include "engine/xls/ByteCursor.h"
#include "engine/xls/XlsGlobals.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velquin::engine::xls {

namespace {

namespace oldsid {
constexpr std::uint16_t Blank2 = 0x0001;
constexpr std::uint16_t Integer2 = 0x0002;
constexpr std::uint16_t Number2 = 0x0003;
constexpr std::uint16_t Label2 = 0x0004;
constexpr std::uint16_t BoolErr2 = 0x0005;
constexpr std::uint16_t Formula2 = 0x0006;
constexpr std::uint16_t String2 = 0x0007;
constexpr std::uint16_t Row2 = 0x0008;
constexpr std::uint16_t Name2 = 0x0018;
constexpr std::uint16_t Format2 = 0x001E;
constexpr std::uint16_t Array2 = 0x0021;
constexpr std::uint16_t ColWidth2 = 0x0024;
constexpr std::uint16_t DefaultRowHeight2 = 0x0025;
constexpr std::uint16_t Font2 = 0x0031;
constexpr std::uint16_t Window1 = 0x003D;
constexpr std::uint16_t Window2_2 = 0x003E;
constexpr std::uint16_t Xf2 = 0x0043;
constexpr std::uint16_t FontColor2 = 0x0045;
constexpr std::uint16_t Formula3 = 0x0206;
constexpr std::uint16_t Name3 = 0x0218;
constexpr std::uint16_t Font3 = 0x0231;
constexpr std::uint16_t Xf3 = 0x0243;
constexpr std::uint16_t Format4 = 0x041E;
constexpr std::uint16_t Xf4 = 0x0443;
} // namespace oldsid

/// Charts and pictures nest substreams of their own inside a sheet; deeper nesting than this is not believed.
constexpr int kMaxNestedSubstreams = 16;

bool isBof(std::uint16_t s)
{
    return s == sid::Bof || s == sid::Bof2 || s == sid::Bof3 || s == sid::Bof4;
}

/// What a bundled sheet is, by the substream type in its BOF record.
std::optional<model::SheetKind> bundledSheetKind(std::uint16_t bofType)
{
    switch (bofType)
    {
    case kBofWorksheet:
        return model::SheetKind::Worksheet;
    case 0x0020:
        return model::SheetKind::Chart;
    case 0x0040:
        return model::SheetKind::Macro;
    default:
        return std::nullopt;
    }
}

/// Moves `stream` past the EOF that closes the substream whose BOF was just read, over any nested substreams.
Status skipSubstream(RecordStream& stream, const Record& bof)
{
    int depth = 1;
    for (std::uint32_t count = 1; depth > 0; ++count)
    {
        if (count % 4096 == 0)
            if (Status st = checkDeadline(); !st)
                return st;
        if (stream.atEnd())
            return damagedRecord(bof.sid, bof.offset, "opens a sheet that ends before its EOF record");
        std::uint16_t s = 0;
        std::uint64_t offset = 0;
        if (Status st = stream.skipNext(s, offset); !st)
            return st;
        if (isBof(s) && ++depth > kMaxNestedSubstreams)
            return damagedRecord(s, offset, "opens too many nested substreams");
        if (s == sid::Eof)
            --depth;
    }
    return {};
}

/// WINDOW2 flags of the selected sheet and the active one.
constexpr std::uint16_t kSelectedAndActive = 0x0600;

/// Formats made for BIFF2 cells beyond this many share the default one: Excel 2.x had 64 XFs at most.
constexpr std::size_t kMaxBiff2CellFormats = 4096;

/// BIFF3 and BIFF4 keep colours in 5 bits: 24 and 25 are the system's window text and background, which later
/// versions number 64 and 65.
std::uint16_t oldColor(unsigned c)
{
    if (c == 24)
        return 64;
    if (c == 25)
        return 65;
    return static_cast<std::uint16_t>(c);
}

/// The order of formats in these files is not the numbering of built-in formats in later ones, so they are
/// kept where later versions keep a workbook's own formats.
std::uint16_t oldFormatId(std::size_t index)
{
    return static_cast<std::uint16_t>(164 + index);
}

std::uint32_t biff2Key(std::uint8_t a0, std::uint8_t a1, std::uint8_t a2)
{
    // The low six bits of the first byte name an XF that the other bits already describe.
    return static_cast<std::uint32_t>(a0 & 0xC0) << 16 | static_cast<std::uint32_t>(a1) << 8 | a2;
}

/// A BIFF2 cell keeps its formatting itself: locked and hidden, number format and font, alignment and borders.
XfRecord xfFromBiff2Attributes(std::uint32_t key)
{
    const auto a0 = static_cast<std::uint8_t>(key >> 16), a1 = static_cast<std::uint8_t>(key >> 8),
               a2 = static_cast<std::uint8_t>(key);
    XfRecord x;
    x.locked = a0 & 0x40;
    x.hidden = a0 & 0x80;
    x.format = oldFormatId(a1 & 0x3F);
    x.font = (a1 >> 6) & 0x03;
    x.horizontal = a2 & 0x07;
    x.parent = 0;
    x.usedFlags = 0x3F;
    auto border = [](bool on, std::uint8_t& line, std::uint16_t& color) {
        line = on ? 1 : 0;
        color = 64;
    };
    border(a2 & 0x08, x.lineLeft, x.colorLeft);
    border(a2 & 0x10, x.lineRight, x.colorRight);
    border(a2 & 0x20, x.lineTop, x.colorTop);
    border(a2 & 0x40, x.lineBottom, x.colorBottom);
    if (a2 & 0x80)
    {
        // Excel 2.x shades a cell with a light dotted grey.
        x.pattern = 17;
        x.patternColor = 64;
        x.backColor = 65;
    }
    return x;
}

/// The fill and border words that BIFF3 and BIFF4 XFs share.
void readOldFillAndBorders(ByteCursor& c, XfRecord& x)
{
    const std::uint16_t fill = c.u16();
    x.pattern = fill & 0x3F;
    x.patternColor = oldColor((fill >> 6) & 0x1F);
    x.backColor = oldColor((fill >> 11) & 0x1F);
    const std::uint32_t b = c.u32();
    x.lineTop = b & 0x07;
    x.colorTop = oldColor((b >> 3) & 0x1F);
    x.lineLeft = (b >> 8) & 0x07;
    x.colorLeft = oldColor((b >> 11) & 0x1F);
    x.lineBottom = (b >> 16) & 0x07;
    x.colorBottom = oldColor((b >> 19) & 0x1F);
    x.lineRight = (b >> 24) & 0x07;
    x.colorRight = oldColor((b >> 27) & 0x1F);
}

XfRecord parseXf3(ByteCursor& c)
{
    XfRecord x;
    x.font = c.u8();
    x.format = oldFormatId(c.u8());
    const std::uint8_t type = c.u8();
    x.locked = type & 0x01;
    x.hidden = type & 0x02;
    x.isStyle = type & 0x04;
    x.usedFlags = static_cast<std::uint8_t>(c.u8() >> 2);
    const std::uint16_t align = c.u16();
    x.horizontal = align & 0x07;
    x.wrap = align & 0x08;
    x.parent = static_cast<std::uint16_t>(align >> 4);
    readOldFillAndBorders(c, x);
    return x;
}

XfRecord parseXf4(ByteCursor& c)
{
    XfRecord x;
    x.font = c.u8();
    x.format = oldFormatId(c.u8());
    const std::uint16_t type = c.u16();
    x.locked = type & 0x0001;
    x.hidden = type & 0x0002;
    x.isStyle = type & 0x0004;
    x.parent = static_cast<std::uint16_t>(type >> 4);
    const std::uint8_t align = c.u8();
    x.horizontal = align & 0x07;
    x.wrap = align & 0x08;
    x.vertical = (align >> 4) & 0x03;
    setOrientation(x, (align >> 6) & 0x03u);
    x.usedFlags = static_cast<std::uint8_t>(c.u8() >> 2);
    readOldFillAndBorders(c, x);
    return x;
}

FontRecord parseOldFont(ByteCursor& c, bool withColor, StringReader& strings)
{
    FontRecord f;
    f.height = c.u16() / 20.0;
    const std::uint16_t flags = c.u16();
    f.weight = (flags & 0x01) ? 700 : 400;
    f.italic = flags & 0x02;
    f.underline = (flags & 0x04) ? 1 : 0;
    f.strike = flags & 0x08;
    f.outline = flags & 0x10;
    f.shadow = flags & 0x20;
    if (withColor)
        f.color = c.u16();
    f.name = strings.shortString(c);
    return f;
}

void noteBiff2CellFormat(XlsGlobals& g, std::uint8_t a0, std::uint8_t a1, std::uint8_t a2)
{
    const std::uint32_t key = biff2Key(a0, a1, a2);
    if (g.biff2CellFormats.count(key) || g.biff2CellFormats.size() >= kMaxBiff2CellFormats)
        return;
    g.biff2CellFormats.emplace(key, static_cast<std::uint16_t>(g.styles.xfs.size()));
    g.styles.xfs.push_back(xfFromBiff2Attributes(key));
}

void readOldName(const Record& r, XlsGlobals& g, StringReader& strings, int version)
{
    ByteCursor c(r.bytes());
    NameRecord n;
    std::uint16_t flags = 0;
    std::size_t cch = 0, cce = 0;
    if (version == 2)
    {
        flags = c.u8();
        c.u8(); // keyboard shortcut
        cch = c.u8();
        cce = c.u8();
    }
    else
    {
        flags = c.u16();
        c.u8();
        cch = c.u8();
        cce = c.u16();
    }
    n.hidden = flags & 0x0001;
    n.function = (flags & 0x000E) != 0;
    n.name = strings.chars(c, cch);
    if (version > 2 && (flags & 0x0020) && !n.name.empty())
        if (const char* text = builtinNameText(static_cast<unsigned char>(n.name[0])))
        {
            n.builtin = static_cast<unsigned char>(n.name[0]);
            n.name = text;
        }
    if (n.builtin < 0)
        n.name = nameForLargeGrid(std::move(n.name));
    auto rgce = c.bytes(cce);
    if (!c.ok())
        return;
    n.rgce.assign(rgce.begin(), rgce.end());
    g.names.push_back(std::move(n));
}

/// Writes `value` little-endian at the end of `out`.
void put16(std::vector<std::uint8_t>& out, std::uint16_t value)
{
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

} // namespace

// ---- The file --------------------------------------------------------------------------------------------------

FileSource::~FileSource()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

Status FileSource::open(const std::string& path)
{
    m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (m_fd < 0)
        return {errno == ENOENT ? EngineErrc::FileNotFound : EngineErrc::FileUnreadable,
                path + ": " + std::strerror(errno)};
    struct stat st
    {};
    if (::fstat(m_fd, &st) != 0)
        return {EngineErrc::FileUnreadable, path + ": " + std::strerror(errno)};
    m_size = static_cast<std::uint64_t>(st.st_size);
    return {};
}

bool FileSource::read(std::uint64_t offset, std::span<std::uint8_t> out)
{
    if (offset > m_size || out.size() > m_size - offset)
        return false;
    std::size_t done = 0;
    while (done < out.size())
    {
        const ssize_t got = ::pread(m_fd, out.data() + done, out.size() - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        done += static_cast<std::size_t>(got);
    }
    return true;
}

// ---- Globals -----------------------------------------------------------------------------------------------

void startOldGlobals(XlsGlobals& g, int version)
{
    g.biffVersion = version;
    g.sheets.push_back(SheetRecord{});
    if (version == 2)
    {
        // The cells' formats below inherit from a Normal style that Excel 2.x does not store.
        XfRecord normal;
        normal.isStyle = true;
        normal.format = oldFormatId(0);
        g.styles.xfs.push_back(normal);
    }
}

void startOldBundle(XlsGlobals& g)
{
    g.biffVersion = 4;
    g.bundle = true;
}

Status readBundledSheet(const Record& r, RecordStream& stream, XlsGlobals& g, StringReader& strings)
{
    if (g.sheets.size() >= kMaxBundledSheets)
        return {EngineErrc::LimitExceeded,
                "The workbook bundles more than " + std::to_string(kMaxBundledSheets) + " sheets."};
    // The header gives the sheet's extent in four bytes, then its name; the sheet substream itself follows.
    ByteCursor c(r.bytes());
    const std::uint32_t extent = c.u32();
    SheetRecord sheet;
    sheet.name = strings.shortString(c);
    if (!c.ok())
        return damagedRecord(r.sid, r.offset, "is truncated");
    if (extent > stream.size())
        return damagedRecord(r.sid, r.offset, "gives a sheet that reaches past the end of the file");
    const std::uint64_t bofAt = stream.position();
    if (bofAt > UINT32_MAX || stream.atEnd() || stream.peekSid() != sid::Bof4)
        return damagedRecord(r.sid, r.offset, "is not followed by the BOF record of its sheet");
    Record bof;
    if (Status st = stream.next(bof); !st)
        return st;
    ByteCursor b(bof.bytes());
    b.u16();
    const std::uint16_t type = b.u16();
    if (!b.ok())
        return damagedRecord(bof.sid, bof.offset, "is truncated");
    if (type == kBofWorkbook4)
        return damagedRecord(bof.sid, bof.offset, "opens a workbook inside a workbook");
    if (Status st = skipSubstream(stream, bof); !st)
        return st;
    // Substreams of unknown types are passed over as the reader passes over macro sheets.
    sheet.kind = bundledSheetKind(type).value_or(model::SheetKind::Macro);
    sheet.offset = static_cast<std::uint32_t>(bofAt);
    g.sheets.push_back(std::move(sheet));
    return {};
}

std::optional<Status> readOldGlobalsRecord(const Record& r, XlsGlobals& g, StringReader& strings)
{
    ByteCursor c(r.bytes());
    auto full = [&](std::size_t size) { return size >= kMaxTableEntries; };
    auto limit = [&]() -> Status {
        return {EngineErrc::LimitExceeded,
                "Too many records of type " + std::to_string(r.sid) + " at offset " + std::to_string(r.offset) + "."};
    };
    switch (r.sid)
    {
    case oldsid::Font2:
    case oldsid::Font3:
        if (full(g.styles.fonts.size()))
            return limit();
        g.styles.fonts.push_back(parseOldFont(c, r.sid == oldsid::Font3, strings));
        return Status{};
    case oldsid::FontColor2:
        if (!g.styles.fonts.empty() && r.data.size() >= 2)
            g.styles.fonts.back().color = c.u16();
        return Status{};
    case oldsid::Format2:
    case oldsid::Format4: {
        // Formats are numbered by their order in the file, which stores the built-in ones as well; an XF names
        // one in a byte, so later ones cannot be used.
        if (g.styles.formats.size() >= 256)
            return Status{};
        if (r.sid == oldsid::Format4)
            c.u16();
        std::string code = strings.shortString(c);
        if (c.ok())
            g.styles.formats[oldFormatId(g.styles.formats.size())] = std::move(code);
        return Status{};
    }
    case oldsid::Xf2:
        // BIFF2 cells carry their own formatting (below); its XF records add nothing to it.
        return Status{};
    case oldsid::Xf3:
    case oldsid::Xf4:
        if (full(g.styles.xfs.size()))
            return limit();
        g.styles.xfs.push_back(r.sid == oldsid::Xf3 ? parseXf3(c) : parseXf4(c));
        return Status{};
    case oldsid::Name2:
    case oldsid::Name3:
        if (full(g.names.size()))
            return limit();
        readOldName(r, g, strings, g.biffVersion);
        return Status{};
    case oldsid::Window1: {
        auto& i = g.info;
        i.windowTopX = c.i16();
        i.windowTopY = c.i16();
        i.windowWidth = c.u16();
        i.windowHeight = c.u16();
        return Status{};
    }
    case oldsid::Blank2:
    case oldsid::Integer2:
    case oldsid::Number2:
    case oldsid::Label2:
    case oldsid::BoolErr2:
    case oldsid::Formula2:
        if (g.biffVersion == 2 && r.data.size() >= 7)
            noteBiff2CellFormat(g, r.data[4], r.data[5], r.data[6]);
        return g.biffVersion == 2 ? std::optional<Status>(Status{}) : std::nullopt;
    case oldsid::Row2:
        if (g.biffVersion == 2 && r.data.size() >= 16 && r.data[10] != 0)
            noteBiff2CellFormat(g, r.data[13], r.data[14], r.data[15]);
        return Status{};
    default:
        return std::nullopt;
    }
}

// ---- Cells -------------------------------------------------------------------------------------------------

OldRecordTranslator::OldRecordTranslator(const XlsGlobals& g) : m_g(g), m_version(g.biffVersion) {}

std::uint16_t OldRecordTranslator::translatedSid(std::uint16_t s) const
{
    if (m_version >= 5)
        return s;
    if (m_version == 2)
    {
        switch (s)
        {
        case oldsid::Blank2:
            return sid::Blank;
        case oldsid::Integer2:
        case oldsid::Number2:
            return sid::Number;
        case oldsid::Label2:
            return sid::Label;
        case oldsid::BoolErr2:
            return sid::BoolErr;
        case oldsid::String2:
            return sid::String;
        case oldsid::Row2:
            return sid::Row;
        case oldsid::Array2:
            return sid::Array;
        case oldsid::ColWidth2:
            return sid::ColInfo;
        case oldsid::DefaultRowHeight2:
            return sid::DefaultRowHeight;
        case oldsid::Window2_2:
            return sid::Window2;
        default:
            return s;
        }
    }
    if (s == oldsid::Formula3 || s == sid::Formula4)
        return sid::Formula;
    return s;
}

std::uint16_t OldRecordTranslator::cellXf(std::uint8_t a0, std::uint8_t a1, std::uint8_t a2) const
{
    auto it = m_g.biff2CellFormats.find(biff2Key(a0, a1, a2));
    return it != m_g.biff2CellFormats.end() ? it->second : 0;
}

void OldRecordTranslator::translate(Record& r) const
{
    const std::uint16_t to = translatedSid(r.sid);
    const std::vector<std::uint8_t>& in = r.data;
    std::vector<std::uint8_t> out;
    auto copy = [&](std::size_t from, std::size_t to2) { out.insert(out.end(), in.begin() + from, in.begin() + to2); };
    const std::size_t n = in.size();
    switch (r.sid)
    {
    case oldsid::Blank2:
    case oldsid::Integer2:
    case oldsid::Number2:
    case oldsid::Label2:
    case oldsid::BoolErr2:
    case oldsid::Formula2: {
        if (m_version != 2 || n < 7)
            return;
        copy(0, 4);
        put16(out, cellXf(in[4], in[5], in[6]));
        if (r.sid == oldsid::Integer2)
        {
            if (n < 9)
                return;
            const double value = static_cast<double>(in[7] | in[8] << 8);
            std::uint8_t bytes[8];
            std::memcpy(bytes, &value, 8);
            out.insert(out.end(), bytes, bytes + 8);
        }
        else if (r.sid == oldsid::Label2)
        {
            if (n < 8)
                return;
            put16(out, in[7]);
            copy(8, n);
        }
        else if (r.sid == oldsid::Formula2)
        {
            // Result, then one byte of flags and one of token length; BIFF5 has two of each and four unused.
            if (n < 17)
                return;
            copy(7, 15);
            put16(out, in[15]);
            out.insert(out.end(), 4, 0);
            put16(out, in[16]);
            copy(17, n);
        }
        else
            copy(7, n);
        break;
    }
    case oldsid::String2:
        if (m_version != 2 || n < 1)
            return;
        put16(out, in[0]);
        copy(1, n);
        break;
    case oldsid::Row2: {
        if (m_version != 2 || n < 11)
            return;
        copy(0, 8);
        out.insert(out.end(), 4, 0);
        const std::uint16_t height = static_cast<std::uint16_t>(in[6] | in[7] << 8);
        std::uint16_t flags = 0x0100;
        if (!(height & 0x8000))
            flags |= 0x0040;
        std::uint16_t xf = 0;
        if (in[10] != 0 && n >= 16)
        {
            flags |= 0x0080;
            xf = cellXf(in[13], in[14], in[15]);
        }
        put16(out, flags);
        put16(out, xf);
        break;
    }
    case oldsid::Array2:
        if (m_version != 2 || n < 8)
            return;
        copy(0, 6);
        put16(out, in[6]);
        out.insert(out.end(), 4, 0);
        put16(out, in[7]);
        copy(8, n);
        break;
    case oldsid::ColWidth2:
        if (m_version != 2 || n < 4)
            return;
        put16(out, in[0]);
        put16(out, in[1]);
        copy(2, 4);
        out.insert(out.end(), 6, 0);
        break;
    case oldsid::DefaultRowHeight2:
        if (m_version != 2 || n < 2)
            return;
        put16(out, 0);
        put16(out, static_cast<std::uint16_t>((in[0] | in[1] << 8) & 0x7FFF));
        break;
    case oldsid::Window2_2: {
        if (m_version != 2 || n < 9)
            return;
        std::uint16_t flags = 0;
        for (int bit = 0; bit < 5; ++bit)
            if (in[static_cast<std::size_t>(bit)])
                flags = static_cast<std::uint16_t>(flags | 1u << bit);
        if (n >= 10 && in[9])
            flags |= 0x0020;
        put16(out, static_cast<std::uint16_t>(flags | kSelectedAndActive));
        copy(5, 9);
        out.insert(out.end(), 4, 0);
        break;
    }
    case sid::Window2:
        // The one sheet of these files is always the selected, active one; their WINDOW2 has no bit for it.
        if (n < 2 || !m_g.oldSheetSelected)
            return;
        out = in;
        out[1] = static_cast<std::uint8_t>(out[1] | kSelectedAndActive >> 8);
        break;
    case oldsid::Formula3:
    case sid::Formula4:
    case sid::Array:
        // BIFF3 and BIFF4 lack the four unused bytes that BIFF5 has after the option flags.
        if (m_version < 3 || m_version > 4)
            return;
        {
            const std::size_t flagsEnd = r.sid == sid::Array ? 8 : 16;
            if (n < flagsEnd + 2)
                return;
            copy(0, flagsEnd);
            out.insert(out.end(), 4, 0);
            copy(flagsEnd, n);
        }
        break;
    default:
        return;
    }
    r.sid = to;
    r.data = std::move(out);
}

} // namespace velquin::engine::xls
