// An opened .xlsx/.xlsm package.
#include "engine/xlsx/XlsxWorkbook.h"

#include "engine/xlsx/CommentsReader.h"
#include "engine/xlsx/ExternalLinkReader.h"
#include "engine/xlsx/FormulaLinkCollector.h"
#include "engine/xlsx/PropertiesReader.h"
#include "engine/xlsx/SheetDataReader.h"
#include "engine/xlsx/SheetPartSplitter.h"
#include "engine/xlsx/SheetStructureReader.h"
#include "engine/xlsx/StylesReader.h"
#include "engine/xlsx/VmlNotes.h"
#include "engine/xlsx/WorkbookPartReader.h"

#include <algorithm>
#include <new>

namespace velquin::engine::xlsx {

using namespace velquin::engine::model;

namespace {

const Relationship* findByType(const std::vector<Relationship>& rels, std::string_view kind)
{
    for (const Relationship& rel : rels)
    {
        if (!rel.external && rel.typeIs(kind))
            return &rel;
    }
    return nullptr;
}

const Relationship* findById(const std::vector<Relationship>& rels, std::string_view id)
{
    for (const Relationship& rel : rels)
    {
        if (rel.id == id)
            return &rel;
    }
    return nullptr;
}

SheetKind kindOf(const Relationship& rel)
{
    if (rel.typeIs("chartsheet"))
        return SheetKind::Chart;
    if (rel.typeIs("macrosheet") || rel.typeIs("xlMacrosheet") || rel.typeIs("xlIntlMacrosheet"))
        return SheetKind::Macro;
    if (rel.typeIs("dialogsheet"))
        return SheetKind::Dialog;
    return SheetKind::Worksheet;
}

} // namespace

Status XlsxWorkbook::readOptionalPart(const std::string& partName, std::string& xml) const
{
    xml.clear();
    if (partName.empty() || !m_package.contains(partName))
        return {};
    return m_package.read(partName, xml);
}

Status XlsxWorkbook::open(const std::string& path)
{
    if (Status status = m_package.open(path); !status)
        return status;
    return readPackage();
}

Status XlsxWorkbook::open(zip_source* source)
{
    if (Status status = m_package.open(source); !status)
        return status;
    return readPackage();
}

Status XlsxWorkbook::readPackage()
{
    ContentTypes types;
    if (Status status = types.read(m_package); !status)
        return status;
    std::vector<Relationship> packageRels;
    if (Status status = readRelationships(m_package, "", packageRels); !status)
        return status;
    if (Status status = findWorkbookPart(packageRels); !status)
        return status;
    std::string_view type = types.of(m_workbookPart);
    if (type.find("binary") != std::string_view::npos)
        return {EngineErrc::UnsupportedFormat, "binary workbooks (.xlsb) are not read"};
    std::vector<Relationship> workbookRels;
    if (Status status = readRelationships(m_package, m_workbookPart, workbookRels); !status)
        return status;
    if (Status status = readWorkbookWideParts(workbookRels); !status)
        return status;
    return readProperties(packageRels);
}

Status XlsxWorkbook::findWorkbookPart(const std::vector<Relationship>& packageRels)
{
    if (const Relationship* rel = findByType(packageRels, "officeDocument"))
        m_workbookPart = rel->target;
    else if (m_package.contains("xl/workbook.xml"))
        m_workbookPart = "xl/workbook.xml";
    if (m_workbookPart.empty() || !m_package.contains(m_workbookPart))
        return {EngineErrc::NotAWorkbook, "the package holds no workbook part"};
    return {};
}

Status XlsxWorkbook::readWorkbookWideParts(const std::vector<Relationship>& rels)
{
    std::string xml;
    const Relationship* theme = findByType(rels, "theme");
    if (Status status = readOptionalPart(theme ? theme->target : std::string(), xml); !status)
        return status;
    if (!xml.empty())
        m_colors.readTheme(xml);

    const Relationship* styles = findByType(rels, "styles");
    if (Status status = readOptionalPart(styles ? styles->target : std::string(), xml); !status)
        return status;
    StylesResult stylesResult;
    if (Status status = readStyles(xml, m_colors, stylesResult); !status)
        return status;
    m_info.namedStyles = std::move(stylesResult.namedStyles);
    m_info.cellStyles = std::move(stylesResult.cellStyles);
    m_differentialCss = std::move(stylesResult.differentialCss);
    const Font& normal = m_info.namedStyles.front().style.font;
    m_maxDigitWidth = maxDigitWidthOf(normal.name, normal.size);

    const Relationship* strings = findByType(rels, "sharedStrings");
    if (strings && m_package.contains(strings->target))
    {
        if (Status status = m_strings.read(m_package, strings->target, m_colors); !status)
            return status;
    }

    if (Status status = m_package.read(m_workbookPart, xml); !status)
        return status;
    WorkbookPart workbook;
    if (Status status = readWorkbookPart(xml, m_workbookPart, workbook); !status)
        return status;
    m_info.date1904 = workbook.date1904;
    m_info.windowHeight = workbook.windowHeight;
    m_info.windowWidth = workbook.windowWidth;
    m_info.windowTopX = workbook.windowTopX;
    m_info.windowTopY = workbook.windowTopY;
    m_info.tabRatio = workbook.tabRatio;
    m_info.activeSheet = workbook.activeTab;
    m_info.firstVisibleSheet = workbook.firstSheet;
    m_info.protectStructure = workbook.protectStructure;
    m_info.protectWindows = workbook.protectWindows;
    m_info.names = std::move(workbook.names);
    m_namesA1 = std::move(workbook.namesA1);
    readExternalBooks(rels, workbook.externalReferences);
    // Names are read before the links they may go through: those that do are translated again.
    for (std::size_t i = 0; !m_externalBooks.empty() && i < m_info.names.size() && i < m_namesA1.size(); ++i)
        if (m_namesA1[i].find('[') != std::string::npos)
            m_info.names[i].refersTo = formula::toR1C1Formula(m_namesA1[i], 0, 0, m_externalBooks);
    for (WorkbookPart::Sheet& sheet : workbook.sheets)
    {
        SheetEntry entry;
        entry.name = std::move(sheet.name);
        entry.visibility = sheet.visibility;
        const Relationship* rel = findById(rels, sheet.relationshipId);
        std::string part;
        if (rel && !rel->external)
        {
            entry.kind = kindOf(*rel);
            part = rel->target;
        }
        m_info.sheets.push_back(std::move(entry));
        m_sheetParts.push_back(std::move(part));
    }
    return {};
}

// A link that cannot be read leaves its "[n]" as written rather than refusing the workbook.
void XlsxWorkbook::readExternalBooks(const std::vector<Relationship>& workbookRels, const std::vector<std::string>& ids)
{
    m_externalBooks.assign(ids.size(), {});
    std::string xml, bookId;
    std::vector<Relationship> linkRels;
    for (std::size_t i = 0; i < ids.size(); ++i)
    {
        const Relationship* link = findById(workbookRels, ids[i]);
        if (!link || link->external || !readOptionalPart(link->target, xml) || xml.empty() ||
            !readExternalBookId(xml, link->target, bookId) || bookId.empty())
            continue;
        linkRels.clear();
        if (!readRelationships(m_package, link->target, linkRels))
            continue;
        if (const Relationship* path = findById(linkRels, bookId); path && path->external)
            m_externalBooks[i] = externalBookFromTarget(path->target);
    }
}

Status XlsxWorkbook::readProperties(const std::vector<Relationship>& packageRels)
{
    std::string xml;
    struct Source
    {
        std::string_view kind;
        Status (*read)(std::string_view, DocumentProperties&);
    };
    for (Source source :
         {Source{"core-properties", readCoreProperties}, Source{"extended-properties", readAppProperties},
          Source{"custom-properties", readCustomProperties}})
    {
        const Relationship* rel = findByType(packageRels, source.kind);
        if (!rel)
            continue;
        if (Status status = readOptionalPart(rel->target, xml); !status)
            return status;
        // Properties are not worth refusing a workbook over.
        (void)source.read(xml, m_info.properties);
    }
    return {};
}

// A link to a sheet's own name ("WSScope1" on its sheet, or "Sheet1!WSScope1") shows the name's range
// ("#Sheet1!C7:E8"); workbook names and cells stay as written.
std::string XlsxWorkbook::linkLocation(int sheet, std::string_view location) const
{
    std::string_view nameText = location;
    std::size_t bang = location.rfind('!');
    if (bang != std::string_view::npos)
    {
        std::string_view sheetName = location.substr(0, bang);
        if (sheetName.size() >= 2 && sheetName.front() == '\'' && sheetName.back() == '\'')
            sheetName = sheetName.substr(1, sheetName.size() - 2);
        sheet = -1;
        for (std::size_t i = 0; i < m_info.sheets.size(); ++i)
        {
            if (m_info.sheets[i].name == sheetName)
                sheet = static_cast<int>(i);
        }
        nameText = location.substr(bang + 1);
    }
    std::string result = "#";
    for (std::size_t i = 0; sheet >= 0 && i < m_info.names.size() && i < m_namesA1.size(); ++i)
    {
        const DefinedName& name = m_info.names[i];
        if (name.sheet == sheet && name.name == nameText)
        {
            for (char c : m_namesA1[i])
            {
                if (c != '$')
                    result += c;
            }
            return result;
        }
    }
    result += location;
    return result;
}

Status XlsxWorkbook::readSheetRelations(const std::string& partName, SheetHeader& header,
                                        const std::vector<std::string>& linkRelationships,
                                        const std::vector<std::string>& linkLocations)
{
    std::vector<Relationship> rels;
    if (Status status = readRelationships(m_package, partName, rels); !status)
        return status;
    for (std::size_t i = 0; i < header.hyperlinks.size(); ++i)
    {
        std::string& href = header.hyperlinks[i].href;
        const Relationship* rel = linkRelationships[i].empty() ? nullptr : findById(rels, linkRelationships[i]);
        if (rel)
            href = rel->target;
        if (!linkLocations[i].empty())
            href += linkLocation(header.index, linkLocations[i]);
    }
    // A link without a target stays a link, as in Excel's output (ss:HRef="").
    for (const Relationship& rel : rels)
    {
        if (rel.external || !rel.typeIs("comments"))
            continue;
        std::string xml;
        if (Status status = readOptionalPart(rel.target, xml); !status)
            return status;
        if (Status status = readComments(xml, rel.target, m_colors, header.comments); !status)
            return status;
    }
    // Whether a note is always shown is kept with its shape, in the sheet's legacy drawing.
    for (const Relationship& rel : rels)
    {
        if (header.comments.empty() || rel.external || !rel.typeIs("vmlDrawing"))
            continue;
        std::string vml;
        if (Status status = readOptionalPart(rel.target, vml); !status)
            return status;
        markShownNotes(vml, header.comments);
    }
    return {};
}

// Cells whose formula is HYPERLINK("target", ...) are links too, unless the sheet links them itself; finding them
// takes one more pass over the cells, which only sheets that call HYPERLINK pay for.
Status XlsxWorkbook::addFormulaLinks(const std::string& part, const SheetPartSplit& split, SheetHeader& header) const
{
    std::vector<Hyperlink> found;
    Status status;
    if (split.keptWhole)
        status = collectFormulaLinks(split.whole, part, found);
    else
    {
        ZipPartStream stream;
        status = m_package.openStream(part, stream);
        if (status)
            status = collectFormulaLinks(stream, found);
    }
    if (!status)
        return status;
    for (Hyperlink& link : found)
    {
        bool linked = std::any_of(header.hyperlinks.begin(), header.hyperlinks.end(), [&](const Hyperlink& own) {
            return own.firstRow <= link.firstRow && link.firstRow <= own.lastRow && own.firstCol <= link.firstCol &&
                   link.firstCol <= own.lastCol;
        });
        if (!linked)
            header.hyperlinks.push_back(std::move(link));
    }
    return {};
}

Status XlsxWorkbook::readSheet(int index, SheetSink& sink)
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

Status XlsxWorkbook::streamSheet(int index, SheetSink& sink)
{
    if (index < 0 || static_cast<std::size_t>(index) >= m_info.sheets.size())
        return {EngineErrc::InvalidState, "there is no sheet " + std::to_string(index)};
    const std::string& part = m_sheetParts[static_cast<std::size_t>(index)];
    if (m_info.sheets[static_cast<std::size_t>(index)].kind != SheetKind::Worksheet || part.empty())
        return {};

    SheetPartSplit split;
    if (Status status = splitSheetPart(m_package, part, split); !status)
        return status;
    SheetStructure structure;
    SheetContext context{m_maxDigitWidth, &m_differentialCss};
    if (Status status = readSheetStructure(split.skeleton, part, context, structure); !status)
        return status;
    split.skeleton = {};
    if (Status status =
            readSheetRelations(part, structure.header, structure.linkRelationships, structure.linkLocations);
        !status)
        return status;
    structure.header.index = index;
    structure.header.name = m_info.sheets[static_cast<std::size_t>(index)].name;
    if (split.hasLinkFormulas)
    {
        if (Status status = addFormulaLinks(part, split, structure.header); !status)
            return status;
    }
    if (index == m_info.activeSheet)
        structure.options.selected = true;
    // A column may name a cell format that styles.xml does not hold; like cells, it then has none.
    for (auto& column : structure.header.columns)
        if (column.style >= 0 && static_cast<std::size_t>(column.style) >= m_info.cellStyles.size())
            column.style = -1;

    sink.beginSheet(structure.header);
    SheetDataContext dataContext{&m_strings, &m_colors, m_info.cellStyles.size(), m_info.date1904, m_externalBooks};
    Status status;
    if (split.keptWhole)
        status = readSheetData(split.whole, part, dataContext, sink);
    else
    {
        ZipPartStream stream;
        status = m_package.openStream(part, stream);
        if (status)
            status = readSheetData(stream, dataContext, sink);
    }
    if (!status)
        return status;
    sink.endSheet(structure.options);
    return {};
}

} // namespace velquin::engine::xlsx
