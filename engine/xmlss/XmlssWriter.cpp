// Workbook-level parts of SpreadsheetML 2003: properties, settings, styles and names.
#include "engine/xmlss/XmlssWriter.h"

#include "engine/Text.h"
#include "engine/model/DifferentialStyle.h"
#include "engine/xmlss/NumberFormat.h"

#include <array>
#include <cstdio>
#include <expat.h>
#include <memory>

namespace velquin::engine::xmlss {

namespace {

constexpr std::string_view kWorkbookStart = "<?xml version=\"1.0\"?>\n"
                                            "<?mso-application progid=\"Excel.Sheet\"?>\n"
                                            "<Workbook xmlns=\"urn:schemas-microsoft-com:office:spreadsheet\"\n"
                                            " xmlns:o=\"urn:schemas-microsoft-com:office:office\"\n"
                                            " xmlns:x=\"urn:schemas-microsoft-com:office:excel\"\n";
constexpr std::string_view kWorkbookStartEnd = " xmlns:ss=\"urn:schemas-microsoft-com:office:spreadsheet\"\n"
                                               " xmlns:html=\"http://www.w3.org/TR/REC-html40\">\n";

std::string_view horizontalName(model::Horizontal value)
{
    using H = model::Horizontal;
    switch (value)
    {
    case H::Automatic:
        return "Automatic";
    case H::Left:
        return "Left";
    case H::Center:
        return "Center";
    case H::Right:
        return "Right";
    case H::Fill:
        return "Fill";
    case H::Justify:
        return "Justify";
    case H::CenterAcrossSelection:
        return "CenterAcrossSelection";
    case H::Distributed:
        return "Distributed";
    case H::JustifyDistributed:
        return "JustifyDistributed";
    }
    return "Automatic";
}

std::string_view verticalName(model::Vertical value)
{
    using V = model::Vertical;
    switch (value)
    {
    case V::Bottom:
        return "Bottom";
    case V::Top:
        return "Top";
    case V::Center:
        return "Center";
    case V::Justify:
        return "Justify";
    case V::Distributed:
        return "Distributed";
    case V::JustifyDistributed:
        return "JustifyDistributed";
    }
    return "Bottom";
}

std::string_view lineStyleName(model::LineStyle value)
{
    using L = model::LineStyle;
    switch (value)
    {
    case L::None:
        return "None";
    case L::Continuous:
        return "Continuous";
    case L::Dash:
        return "Dash";
    case L::Dot:
        return "Dot";
    case L::DashDot:
        return "DashDot";
    case L::DashDotDot:
        return "DashDotDot";
    case L::SlantDashDot:
        return "SlantDashDot";
    case L::Double:
        return "Double";
    }
    return "None";
}

std::string_view underlineName(model::Underline value)
{
    using U = model::Underline;
    switch (value)
    {
    case U::None:
        return "None";
    case U::Single:
        return "Single";
    case U::Double:
        return "Double";
    case U::SingleAccounting:
        return "SingleAccounting";
    case U::DoubleAccounting:
        return "DoubleAccounting";
    }
    return "None";
}

constexpr std::array<std::string_view, 19> kPatternNames{"None",           "Solid",
                                                         "Gray75",         "Gray50",
                                                         "Gray25",         "Gray125",
                                                         "Gray0625",       "HorzStripe",
                                                         "VertStripe",     "ReverseDiagStripe",
                                                         "DiagStripe",     "DiagCross",
                                                         "ThickDiagCross", "ThinHorzStripe",
                                                         "ThinVertStripe", "ThinReverseDiagStripe",
                                                         "ThinDiagStripe", "ThinHorzCross",
                                                         "ThinDiagCross"};

void appendEscape(std::string& out, std::uint32_t unit)
{
    char escape[12];
    std::snprintf(escape, sizeof escape, "_x%04X_", static_cast<unsigned>(unit));
    out += escape;
}

/// Whether an XML parser takes `name` as an element name. Which characters beyond ASCII a name may hold is a long
/// list that differs between editions of XML; asking the parser the tests and readers use settles it.
bool parsesAsElementName(const std::string& name)
{
    std::unique_ptr<XML_ParserStruct, decltype(&XML_ParserFree)> parser(XML_ParserCreate("UTF-8"), XML_ParserFree);
    if (!parser)
        return false;
    const std::string document = "<" + name + "/>";
    return XML_Parse(parser.get(), document.data(), static_cast<int>(document.size()), 1) == XML_STATUS_OK;
}

/// Custom property names become element names; characters a name cannot hold are written as _xHHHH_ (UTF-16 code
/// units). Letters beyond ASCII stay as they are when the parser accepts the whole name; otherwise every one of
/// them is escaped, which keeps the document well-formed whatever the name holds.
std::string elementName(std::string_view name)
{
    std::string ascii;
    bool beyondAscii = false;
    for (std::size_t i = 0; i < name.size(); ++i)
    {
        const auto c = static_cast<unsigned char>(name[i]);
        const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
        const bool digit = (c >= '0' && c <= '9') || c == '-' || c == '.';
        beyondAscii = beyondAscii || c >= 0x80;
        if (letter || c >= 0x80 || (digit && i > 0))
            ascii += static_cast<char>(c);
        else
            appendEscape(ascii, c);
    }
    if (name.empty())
        return "_";
    if (!beyondAscii || parsesAsElementName(ascii))
        return ascii;
    std::string escaped;
    for (std::size_t i = 0; i < ascii.size();)
    {
        const auto c = static_cast<unsigned char>(ascii[i]);
        if (c < 0x80)
        {
            escaped += static_cast<char>(c);
            ++i;
            continue;
        }
        // The text is UTF-8 (the readers replace what is not); a byte that starts no sequence becomes U+FFFD.
        char32_t code = 0;
        std::size_t length = decodeUtf8(std::string_view(ascii).substr(i), code);
        if (length == 0)
        {
            code = 0xFFFD;
            length = 1;
        }
        if (code >= 0x10000)
        {
            appendEscape(escaped, 0xD800 + ((code - 0x10000) >> 10));
            appendEscape(escaped, 0xDC00 + ((code - 0x10000) & 0x3FF));
        }
        else
            appendEscape(escaped, code);
        i += length;
    }
    return escaped;
}

} // namespace

void writeColor(XmlOutput& out, const model::Rgb& color)
{
    out.raw(model::hexColor(color));
}

XmlssWriter::XmlssWriter(XmlOutput& out, const model::WorkbookInfo& info) : m_out(out), m_info(info), m_styles(info) {}

void XmlssWriter::writeHead()
{
    writeWorkbookStart();
    writeDocumentProperties();
    writeCustomDocumentProperties();
    writeOfficeDocumentSettings();
    writeExcelWorkbook();
}

void XmlssWriter::writeTail()
{
    m_out.raw("</Workbook>\n");
}

void XmlssWriter::writeWorkbookStart()
{
    m_out.raw(kWorkbookStart);
    if (!m_info.properties.custom.empty())
        m_out.raw(" xmlns:dt=\"uuid:C2F41010-65B3-11d1-A29F-00AA00C14882\"\n");
    m_out.raw(kWorkbookStartEnd);
}

void XmlssWriter::writeProperty(const char* element, const std::string& value)
{
    if (value.empty())
        return;
    m_out.raw("  ");
    m_out.textElement(element, value);
    m_out.raw('\n');
}

void XmlssWriter::writeDocumentProperties()
{
    const model::DocumentProperties& p = m_info.properties;
    m_out.raw(" <DocumentProperties xmlns=\"urn:schemas-microsoft-com:office:office\">\n");
    writeProperty("Title", p.title);
    writeProperty("Subject", p.subject);
    writeProperty("Author", p.author);
    writeProperty("Keywords", p.keywords);
    writeProperty("Description", p.description);
    writeProperty("LastAuthor", p.lastAuthor);
    writeProperty("LastPrinted", p.lastPrinted);
    writeProperty("Created", p.created);
    writeProperty("LastSaved", p.lastSaved);
    writeProperty("Category", p.category);
    writeProperty("Manager", p.manager);
    writeProperty("Company", p.company);
    writeProperty("Version", p.appVersion.empty() ? std::string("16.00") : p.appVersion);
    m_out.raw(" </DocumentProperties>\n");
}

void XmlssWriter::writeCustomDocumentProperties()
{
    if (m_info.properties.custom.empty())
        return;
    m_out.raw(" <CustomDocumentProperties xmlns=\"urn:schemas-microsoft-com:office:office\">\n");
    for (const model::CustomProperty& property : m_info.properties.custom)
    {
        std::string_view type = "string";
        switch (property.type)
        {
        case model::CustomProperty::Type::String:
            type = "string";
            break;
        case model::CustomProperty::Type::Number:
            type = "float";
            break;
        case model::CustomProperty::Type::Boolean:
            type = "boolean";
            break;
        case model::CustomProperty::Type::DateTime:
            type = "dateTime.tz";
            break;
        }
        const std::string name = elementName(property.name);
        m_out.raw("  <");
        m_out.raw(name);
        m_out.attribute("dt:dt", type);
        m_out.raw('>');
        m_out.text(property.value);
        m_out.raw("</");
        m_out.raw(name);
        m_out.raw(">\n");
    }
    m_out.raw(" </CustomDocumentProperties>\n");
}

void XmlssWriter::writeOfficeDocumentSettings()
{
    m_out.raw(" <OfficeDocumentSettings xmlns=\"urn:schemas-microsoft-com:office:office\">\n"
              "  <AllowPNG/>\n"
              " </OfficeDocumentSettings>\n");
}

void XmlssWriter::writeBoolElement(const char* element, bool value)
{
    m_out.raw("  <");
    m_out.raw(element);
    m_out.raw(value ? ">True</" : ">False</");
    m_out.raw(element);
    m_out.raw(">\n");
}

void XmlssWriter::writeExcelWorkbook()
{
    m_out.raw(" <ExcelWorkbook xmlns=\"urn:schemas-microsoft-com:office:excel\">\n");
    const auto number = [this](const char* element, std::int64_t value) {
        m_out.raw("  ");
        m_out.integerElement(element, value);
        m_out.raw('\n');
    };
    if (m_info.windowHeight > 0)
        number("WindowHeight", m_info.windowHeight);
    if (m_info.windowWidth > 0)
        number("WindowWidth", m_info.windowWidth);
    number("WindowTopX", m_info.windowTopX);
    number("WindowTopY", m_info.windowTopY);
    if (m_info.tabRatio != 600)
        number("TabRatio", m_info.tabRatio);
    // Indices here count the worksheets written, as the Worksheet elements do.
    int activeWritten = 0, firstWritten = 0, written = 0;
    for (std::size_t i = 0; i < m_info.sheets.size(); ++i)
    {
        if (m_info.sheets[i].kind != model::SheetKind::Worksheet)
            continue;
        if (static_cast<int>(i) == m_info.activeSheet)
            activeWritten = written;
        if (static_cast<int>(i) == m_info.firstVisibleSheet)
            firstWritten = written;
        ++written;
    }
    if (activeWritten > 0)
        number("ActiveSheet", activeWritten);
    if (firstWritten > 0)
        number("FirstVisibleSheet", firstWritten);
    if (m_info.date1904)
        m_out.raw("  <Date1904/>\n");
    writeBoolElement("ProtectStructure", m_info.protectStructure);
    writeBoolElement("ProtectWindows", m_info.protectWindows);
    m_out.raw(" </ExcelWorkbook>\n");
}

void XmlssWriter::writeStyles(const std::vector<std::uint8_t>& used, const std::vector<model::CellStyle>& merged)
{
    m_out.raw(" <Styles>\n  <Style ss:ID=\"Default\" ss:Name=\"Normal\">\n");
    const model::CellStyle& base = m_styles.defaultStyle();
    writeAlignment(base.alignment);
    writeBorders(base.borders);
    writeFont(base.font);
    writeInterior(base.interior);
    writeNumberFormat(base);
    writeProtection(base.protection);
    m_out.raw("  </Style>\n");
    m_formatWritten = !excelFormatName(base.numberFormat, base.numberFormatId).empty();
    // The named styles the written cell formats inherit from come first, as in Excel's files.
    std::vector<std::uint8_t> parents(m_info.namedStyles.size(), 0);
    for (std::size_t i = 0; i < m_info.cellStyles.size(); ++i)
    {
        if (i < used.size() && used[i] != 0 && m_styles.isWritten(static_cast<int>(i)))
            if (parentOf(m_info.cellStyles[i]) != nullptr)
                parents[static_cast<std::size_t>(m_info.cellStyles[i].parentStyle)] = 1;
    }
    for (const model::CellStyle& style : merged)
        if (parentOf(style) != nullptr)
            parents[static_cast<std::size_t>(style.parentStyle)] = 1;
    for (std::size_t p = 1; p < parents.size(); ++p)
    {
        if (parents[p] == 0)
            continue;
        m_out.raw("  <Style ss:ID=\"s");
        m_out.integer(namedStyleId(static_cast<int>(p)));
        m_out.raw('"');
        m_out.attribute("ss:Name", m_info.namedStyles[p].name);
        m_out.raw(">\n");
        writeGroups(m_info.namedStyles[p].style, nullptr);
        m_out.raw("  </Style>\n");
    }
    for (std::size_t i = 0; i < m_info.cellStyles.size(); ++i)
    {
        if (i < used.size() && used[i] != 0 && m_styles.isWritten(static_cast<int>(i)))
            writeStyle(m_info.cellStyles[i], 's', static_cast<int>(i));
    }
    for (std::size_t i = 0; i < merged.size(); ++i)
        writeStyle(merged[i], 'm', static_cast<int>(i));
    m_out.raw(" </Styles>\n");
}

const model::NamedStyle* XmlssWriter::parentOf(const model::CellStyle& style) const
{
    // Normal is the Default style itself; styles without a name cannot be referred to.
    const int p = style.parentStyle;
    if (p <= 0 || static_cast<std::size_t>(p) >= m_info.namedStyles.size())
        return nullptr;
    const model::NamedStyle& parent = m_info.namedStyles[static_cast<std::size_t>(p)];
    return parent.name.empty() ? nullptr : &parent;
}

int XmlssWriter::namedStyleId(int named) const
{
    return static_cast<int>(m_info.cellStyles.size()) + named;
}

void XmlssWriter::writeStyle(const model::CellStyle& style, char prefix, int index)
{
    m_out.raw("  <Style ss:ID=\"");
    m_out.raw(prefix);
    m_out.integer(index);
    m_out.raw('"');
    const model::NamedStyle* parent = parentOf(style);
    if (parent)
    {
        m_out.raw(" ss:Parent=\"s");
        m_out.integer(namedStyleId(style.parentStyle));
        m_out.raw('"');
    }
    m_out.raw(">\n");
    writeGroups(style, parent ? &parent->style : nullptr);
    m_out.raw("  </Style>\n");
}

// Each group that differs from the default is written whole, so the cell's effective format never depends on
// whether a reader of the file merges a style with its parent; a group that differs from the parent is written
// for the readers that do.
void XmlssWriter::writeGroups(const model::CellStyle& style, const model::CellStyle* parent)
{
    const model::CellStyle& base = m_styles.defaultStyle();
    const auto differs = [&style, &base, parent](auto member) {
        return !(style.*member == base.*member) || (parent && !(style.*member == parent->*member));
    };
    if (differs(&model::CellStyle::alignment))
        writeAlignment(style.alignment);
    if (differs(&model::CellStyle::borders))
        writeBorders(style.borders);
    if (differs(&model::CellStyle::font))
        writeFont(style.font);
    if (differs(&model::CellStyle::interior))
        writeInterior(style.interior);
    const std::string format = excelFormatName(style.numberFormat, style.numberFormatId);
    const bool ownFormat = format != excelFormatName(base.numberFormat, base.numberFormatId) ||
                           (parent && format != excelFormatName(parent->numberFormat, parent->numberFormatId));
    if (ownFormat || (format.empty() && m_formatWritten))
        writeNumberFormat(style);
    m_formatWritten = m_formatWritten || !format.empty();
    if (differs(&model::CellStyle::protection))
        writeProtection(style.protection);
}

void XmlssWriter::writeAlignment(const model::Alignment& a)
{
    m_out.raw("   <Alignment");
    if (a.horizontal != model::Horizontal::Automatic)
        m_out.attribute("ss:Horizontal", horizontalName(a.horizontal));
    m_out.attribute("ss:Vertical", verticalName(a.vertical));
    if (a.indent != 0)
        m_out.attribute("ss:Indent", std::int64_t{a.indent});
    if (a.readingOrder == model::ReadingOrder::LeftToRight)
        m_out.attribute("ss:ReadingOrder", "LeftToRight");
    else if (a.readingOrder == model::ReadingOrder::RightToLeft)
        m_out.attribute("ss:ReadingOrder", "RightToLeft");
    if (a.rotate != 0)
        m_out.attribute("ss:Rotate", std::int64_t{a.rotate});
    if (a.shrinkToFit)
        m_out.attribute("ss:ShrinkToFit", "1");
    if (a.verticalText)
        m_out.attribute("ss:VerticalText", "1");
    if (a.wrapText)
        m_out.attribute("ss:WrapText", "1");
    m_out.raw("/>\n");
}

void XmlssWriter::writeBorder(const char* position, const model::BorderEdge& edge)
{
    if (edge.lineStyle == model::LineStyle::None)
        return;
    m_out.raw("    <Border");
    m_out.attribute("ss:Position", position);
    m_out.attribute("ss:LineStyle", lineStyleName(edge.lineStyle));
    m_out.attribute("ss:Weight", std::int64_t{edge.weight});
    if (edge.color)
    {
        m_out.raw(" ss:Color=\"");
        writeColor(m_out, *edge.color);
        m_out.raw('"');
    }
    else if (edge.windowBackground)
        m_out.attribute("ss:Color", "Background");
    m_out.raw("/>\n");
}

void XmlssWriter::writeBorders(const model::Borders& b)
{
    const bool any = b.left.lineStyle != model::LineStyle::None || b.top.lineStyle != model::LineStyle::None ||
                     b.right.lineStyle != model::LineStyle::None || b.bottom.lineStyle != model::LineStyle::None ||
                     b.diagonalLeft.lineStyle != model::LineStyle::None ||
                     b.diagonalRight.lineStyle != model::LineStyle::None;
    if (!any)
    {
        m_out.raw("   <Borders/>\n");
        return;
    }
    m_out.raw("   <Borders>\n");
    writeBorder("Bottom", b.bottom);
    writeBorder("DiagonalLeft", b.diagonalLeft);
    writeBorder("DiagonalRight", b.diagonalRight);
    writeBorder("Left", b.left);
    writeBorder("Right", b.right);
    writeBorder("Top", b.top);
    m_out.raw("   </Borders>\n");
}

void XmlssWriter::writeFont(const model::Font& f)
{
    const model::Font& base = m_styles.defaultStyle().font;
    m_out.raw("   <Font");
    m_out.attribute("ss:FontName", f.name);
    if (f.charset != 0)
        m_out.attribute("x:CharSet", std::int64_t{f.charset});
    if (!f.family.empty())
        m_out.attribute("x:Family", f.family);
    m_out.raw(" ss:Size=\"");
    m_out.number(f.size);
    m_out.raw('"');
    if (f.color)
    {
        m_out.raw(" ss:Color=\"");
        writeColor(m_out, *f.color);
        m_out.raw('"');
    }
    // An automatic colour is left out, as Excel does, even where the default font has a colour.
    // A flag the default sets must be cleared explicitly, or the cell would inherit it.
    const auto flag = [this](const char* name, bool value, bool inherited) {
        if (value || inherited)
            m_out.attribute(name, value ? "1" : "0");
    };
    flag("ss:Bold", f.bold, base.bold);
    flag("ss:Italic", f.italic, base.italic);
    flag("ss:Outline", f.outline, base.outline);
    flag("ss:Shadow", f.shadow, base.shadow);
    flag("ss:StrikeThrough", f.strike, base.strike);
    if (f.underline != model::Underline::None || base.underline != model::Underline::None)
        m_out.attribute("ss:Underline", underlineName(f.underline));
    if (f.verticalAlign == model::VerticalAlign::Superscript)
        m_out.attribute("ss:VerticalAlign", "Superscript");
    else if (f.verticalAlign == model::VerticalAlign::Subscript)
        m_out.attribute("ss:VerticalAlign", "Subscript");
    else if (base.verticalAlign != model::VerticalAlign::None)
        m_out.attribute("ss:VerticalAlign", "None");
    m_out.raw("/>\n");
}

void XmlssWriter::writeInterior(const model::Interior& interior)
{
    const model::Interior& base = m_styles.defaultStyle().interior;
    m_out.raw("   <Interior");
    if (interior.color)
    {
        m_out.raw(" ss:Color=\"");
        writeColor(m_out, *interior.color);
        m_out.raw('"');
    }
    else if (base.color)
        m_out.attribute("ss:Color", "Automatic");
    if (interior.pattern != model::Pattern::None || base.pattern != model::Pattern::None)
        m_out.attribute("ss:Pattern", kPatternNames[static_cast<std::size_t>(interior.pattern) % kPatternNames.size()]);
    if (interior.patternColor)
    {
        m_out.raw(" ss:PatternColor=\"");
        writeColor(m_out, *interior.patternColor);
        m_out.raw('"');
    }
    else if (base.patternColor)
        m_out.attribute("ss:PatternColor", "Automatic");
    m_out.raw("/>\n");
}

// General is spelt out where an earlier style has a format: some readers carry that one over otherwise.
void XmlssWriter::writeNumberFormat(const model::CellStyle& style)
{
    const std::string name = excelFormatName(style.numberFormat, style.numberFormatId);
    m_out.raw("   <NumberFormat");
    if (!name.empty())
        m_out.attribute("ss:Format", name);
    else if (m_formatWritten)
        m_out.attribute("ss:Format", "General");
    m_out.raw("/>\n");
}

// The element stands for the whole group, so a locked format under an unlocked Default writes it bare.
void XmlssWriter::writeProtection(const model::Protection& protection)
{
    m_out.raw("   <Protection");
    if (!protection.locked)
        m_out.raw(" ss:Protected=\"0\"");
    if (protection.hideFormula)
        m_out.raw(" x:HideFormula=\"1\"");
    m_out.raw("/>\n");
}

void XmlssWriter::writeNames()
{
    xmlss::writeNames(m_out, m_info, -1);
}

void writeNames(XmlOutput& out, const model::WorkbookInfo& info, int scope)
{
    bool open = false;
    for (const model::DefinedName& name : info.names)
    {
        if (name.sheet != scope)
            continue;
        if (!open)
        {
            out.raw(scope < 0 ? " <Names>\n" : "  <Names>\n");
            open = true;
        }
        out.raw(scope < 0 ? "  <NamedRange" : "   <NamedRange");
        out.attribute("ss:Name", name.name);
        out.attribute("ss:RefersTo", name.refersTo);
        if (name.hidden)
            out.raw(" ss:Hidden=\"1\"");
        out.raw("/>\n");
    }
    if (open)
        out.raw(scope < 0 ? " </Names>\n" : "  </Names>\n");
}

} // namespace velquin::engine::xmlss
