// An opened .xlsb package.
#include "engine/xlsb/XlsbWorkbook.h"

#include "engine/xls/XlsStyles.h"
#include "engine/xlsb/BinaryComments.h"
#include "engine/xlsb/BinaryFormulaContext.h"
#include "engine/xlsb/BinarySheetReader.h"
#include "engine/xlsb/BinaryStyles.h"
#include "engine/xlsb/BinaryTables.h"
#include "engine/xlsb/BinaryWorkbookPart.h"
#include "engine/xlsb/RecordReader.h"
#include "engine/xlsb/RecordTypes.h"
#include "engine/xlsb/WideString.h"
#include "engine/xlsx/PackageWorkbook.h"
#include "engine/xlsx/SheetStructureReader.h"
#include "engine/xlsx/VmlNotes.h"

#include <algorithm>
#include <new>

namespace velquin::engine::xlsb {

using namespace model;
using xlsx::Relationship;

namespace {

// The shared string table, streamed: it can be the largest part of a workbook.
Status readSharedStrings(xlsx::ZipPartStream& stream, const xls::SharedStringTable::FontLookup& fonts,
                         xlsx::SharedStrings& strings)
{
    const std::size_t budget = xlsx::SharedStrings::budgetFor(stream.storedSize());
    RecordReader reader(stream);
    Record record;
    bool more = true;
    std::string text;
    std::vector<FontRun> marks;
    while (true)
    {
        if (Status status = reader.next(record, more); !status)
            return status;
        if (!more)
            return {};
        if (record.type != rt::BrtSSTItem)
            continue;
        ByteCursor c(record.body);
        if (!readRichString(c, text, marks))
            return {EngineErrc::DamagedFile, reader.partName() + ": a string at offset " +
                                                 std::to_string(record.offset) + " is cut short"};
        std::vector<TextRun> runs;
        if (!marks.empty() && fonts)
        {
            // The runs count UTF-16 units, so the text is split in that form.
            ByteCursor units(record.body);
            std::uint8_t flags = 0;
            std::uint32_t count = 0;
            units.readU8(flags);
            units.readU32(count);
            std::vector<std::uint16_t> utf16(count);
            for (std::uint16_t& unit : utf16)
                units.readU16(unit);
            std::vector<std::pair<std::uint16_t, std::uint16_t>> points;
            for (const FontRun& mark : marks)
                points.emplace_back(mark.first, mark.font);
            runs = xls::splitRuns(utf16, points, fonts);
        }
        strings.add(text, std::move(runs));
        if (strings.footprint() > budget)
            return {EngineErrc::LimitExceeded, reader.partName() + ": shared strings take more than " +
                                                   std::to_string(budget >> 20) + " MB"};
    }
}

} // namespace

Status XlsbWorkbook::readBinaryPart(const std::string& partName, std::vector<std::uint8_t>& bytes) const
{
    bytes.clear();
    if (partName.empty() || !m_package.contains(partName))
        return {};
    std::string data;
    if (Status status = m_package.read(partName, data); !status)
        return status;
    bytes.assign(data.begin(), data.end());
    return {};
}

Status XlsbWorkbook::open(const std::string& path)
{
    if (Status status = m_package.open(path); !status)
        return status;
    return readPackage();
}

Status XlsbWorkbook::open(zip_source* source)
{
    if (Status status = m_package.open(source); !status)
        return status;
    return readPackage();
}

Status XlsbWorkbook::readPackage()
{
    std::vector<Relationship> packageRels;
    if (Status status = xlsx::readRelationships(m_package, "", packageRels); !status)
        return status;
    if (Status status = xlsx::findWorkbookPart(m_package, packageRels, "xl/workbook.bin", m_workbookPart); !status)
        return status;
    std::vector<Relationship> workbookRels;
    if (Status status = xlsx::readRelationships(m_package, m_workbookPart, workbookRels); !status)
        return status;
    if (Status status = readWorkbookWideParts(workbookRels); !status)
        return status;
    return xlsx::readPackageProperties(m_package, packageRels, m_info.properties);
}

Status XlsbWorkbook::readWorkbookWideParts(const std::vector<Relationship>& rels)
{
    const Relationship* theme = xlsx::findRelationshipByType(rels, "theme");
    if (theme && m_package.contains(theme->target))
    {
        std::string xml;
        if (Status status = m_package.read(theme->target, xml); !status)
            return status;
        m_colors.readTheme(xml);
    }
    if (Status status = readStylesAndStrings(rels); !status)
        return status;
    return readWorkbookPart(rels);
}

Status XlsbWorkbook::readStylesAndStrings(const std::vector<Relationship>& rels)
{
    std::vector<std::uint8_t> bytes;
    const Relationship* styles = xlsx::findRelationshipByType(rels, "styles");
    const std::string stylesPart = styles ? styles->target : std::string();
    if (Status status = readBinaryPart(stylesPart, bytes); !status)
        return status;
    xlsx::StylesResult result;
    if (Status status = readBinaryStyles(bytes, stylesPart, m_colors, result, m_fonts); !status)
        return status;
    m_info.namedStyles = std::move(result.namedStyles);
    m_info.cellStyles = std::move(result.cellStyles);
    m_differentialCss = std::move(result.differentialCss);
    const Font& normal = m_info.namedStyles.front().style.font;
    m_maxDigitWidth = xlsx::maxDigitWidthOf(normal.name, normal.size);
    m_fontLookup = [this](std::uint16_t index) {
        return index < m_fonts.size() ? xls::toRunFont(m_fonts[index]) : TextRun::Font{};
    };

    const Relationship* strings = xlsx::findRelationshipByType(rels, "sharedStrings");
    if (!strings || !m_package.contains(strings->target))
        return {};
    xlsx::ZipPartStream stream;
    if (Status status = m_package.openStream(strings->target, stream); !status)
        return status;
    return readSharedStrings(stream, m_fontLookup, m_strings);
}

Status XlsbWorkbook::readWorkbookPart(const std::vector<Relationship>& rels)
{
    std::vector<std::uint8_t> bytes;
    if (Status status = readBinaryPart(m_workbookPart, bytes); !status)
        return status;
    BinaryWorkbookPart part;
    if (Status status = readBinaryWorkbookPart(bytes, m_workbookPart, part); !status)
        return status;
    // Another workbook is named by the target of its external link part's own relationship.
    std::vector<std::string> paths(part.books.size());
    for (std::size_t i = 0; i < part.books.size(); ++i)
    {
        const Relationship* link = xlsx::findRelationshipById(rels, part.books[i].relationshipId);
        std::vector<Relationship> linkRels;
        if (!link || link->external || !xlsx::readRelationships(m_package, link->target, linkRels))
            continue;
        for (const Relationship& target : linkRels)
        {
            if (target.external)
                paths[i] = target.target;
        }
    }
    std::vector<BinaryTable> tables;
    if (Status status = readTables(rels, part, tables); !status)
        return status;
    m_formulas = makeBinaryFormulaContext(part, paths, std::move(tables));
    readNames(part);
    xlsx::takeWorkbookFrame(part, rels, m_info, m_sheetParts);
    return {};
}

// The tables of every worksheet, which formulas anywhere may name.
Status XlsbWorkbook::readTables(const std::vector<Relationship>& rels, const BinaryWorkbookPart& part,
                                std::vector<BinaryTable>& tables) const
{
    constexpr std::size_t kMaxTables = 65536;
    for (const BinaryWorkbookPart::Sheet& sheet : part.sheets)
    {
        const Relationship* rel = xlsx::findRelationshipById(rels, sheet.relationshipId);
        std::vector<Relationship> sheetRels;
        if (!rel || rel->external || !m_package.contains(rel->target))
            continue;
        if (Status status = xlsx::readRelationships(m_package, rel->target, sheetRels); !status)
            return status;
        for (const Relationship& table : sheetRels)
        {
            if (table.external || !table.typeIs("table"))
                continue;
            if (tables.size() >= kMaxTables)
                return {EngineErrc::LimitExceeded, "the workbook holds more than 65536 tables"};
            std::vector<std::uint8_t> bytes;
            if (Status status = readBinaryPart(table.target, bytes); !status)
                return status;
            if (Status status = readBinaryTable(bytes, table.target, tables); !status)
                return status;
        }
    }
    return {};
}

void XlsbWorkbook::readNames(const BinaryWorkbookPart& part)
{
    for (const BinaryName& name : part.names)
    {
        // Functions newer than the format reach formulas as names ("_xlfn.IFERROR"), and a name without a formula
        // refers to nothing: neither is written.
        if (name.function || name.name.starts_with("_xlfn.") || name.rgce.empty())
            continue;
        DefinedName defined;
        defined.name = name.name;
        defined.sheet = name.sheet;
        defined.hidden = name.hidden;
        m_formulas.row = 0;
        m_formulas.col = 0;
        auto result = xls::formula::decompile(name.rgce, name.rgcb, m_formulas);
        if (result.status && !result.anchor)
            defined.refersTo = std::move(result.text);
        else
            defined.refersTo = "=#REF!";
        m_info.names.push_back(std::move(defined));
    }
}

Status XlsbWorkbook::readSheetRelations(const std::string& partName, SheetHeader& header,
                                        const std::vector<std::string>& linkRelationships,
                                        const std::vector<std::string>& linkLocations) const
{
    std::vector<Relationship> rels;
    if (Status status = xlsx::readRelationships(m_package, partName, rels); !status)
        return status;
    for (std::size_t i = 0; i < header.hyperlinks.size(); ++i)
    {
        std::string& href = header.hyperlinks[i].href;
        const Relationship* rel =
            linkRelationships[i].empty() ? nullptr : xlsx::findRelationshipById(rels, linkRelationships[i]);
        if (rel)
            href = rel->target;
        if (!linkLocations[i].empty())
            href += "#" + linkLocations[i];
    }
    std::erase_if(header.hyperlinks, [](const Hyperlink& link) { return link.href.empty(); });
    for (const Relationship& rel : rels)
    {
        if (rel.external || !rel.typeIs("comments"))
            continue;
        std::vector<std::uint8_t> bytes;
        if (Status status = readBinaryPart(rel.target, bytes); !status)
            return status;
        if (Status status = readBinaryComments(bytes, rel.target, m_fontLookup, header.comments); !status)
            return status;
    }
    // Whether a note is always shown is kept with its shape, in the sheet's legacy drawing.
    for (const Relationship& rel : rels)
    {
        if (header.comments.empty() || rel.external || !rel.typeIs("vmlDrawing"))
            continue;
        std::vector<std::uint8_t> bytes;
        if (Status status = readBinaryPart(rel.target, bytes); !status)
            return status;
        xlsx::markShownNotes({reinterpret_cast<const char*>(bytes.data()), bytes.size()}, header.comments);
    }
    return {};
}

Status XlsbWorkbook::readSheet(int index, SheetSink& sink)
{
    try
    {
        return streamSheet(index, sink);
    }
    catch (const std::bad_alloc&)
    {
        return {EngineErrc::OutOfMemory, "reading sheet " + std::to_string(index + 1)};
    }
}

Status XlsbWorkbook::streamSheet(int index, SheetSink& sink)
{
    if (index < 0 || static_cast<std::size_t>(index) >= m_info.sheets.size())
        return {EngineErrc::InvalidState, "there is no sheet " + std::to_string(index)};
    const auto slot = static_cast<std::size_t>(index);
    const std::string& part = m_sheetParts[slot];
    if (m_info.sheets[slot].kind != SheetKind::Worksheet || part.empty())
        return {};
    if (!m_package.contains(part))
        return {EngineErrc::DamagedFile, "the package lacks the sheet part " + part};

    BinarySheetContext context;
    context.strings = &m_strings;
    context.styleCount = m_info.cellStyles.size();
    context.maxDigitWidth = m_maxDigitWidth;
    context.differentialCss = &m_differentialCss;
    context.fonts = m_fontLookup;
    context.formulas = m_formulas;

    BinarySheetStructure structure;
    {
        xlsx::ZipPartStream stream;
        if (Status status = m_package.openStream(part, stream); !status)
            return status;
        RecordReader records(stream);
        if (Status status = readBinarySheetStructure(records, context, structure); !status)
            return status;
    }
    if (Status status =
            readSheetRelations(part, structure.header, structure.linkRelationships, structure.linkLocations);
        !status)
        return status;
    structure.header.index = index;
    structure.header.name = m_info.sheets[slot].name;
    if (index == m_info.activeSheet)
        structure.options.selected = true;

    sink.beginSheet(structure.header);
    xlsx::ZipPartStream stream;
    if (Status status = m_package.openStream(part, stream); !status)
        return status;
    RecordReader records(stream);
    if (Status status = readBinarySheetCells(records, context, sink); !status)
        return status;
    sink.endSheet(structure.options);
    return {};
}

} // namespace velquin::engine::xlsb
