// The SpreadsheetML 2003 writer: the workbook parts before and after the worksheets, one function per element.
#pragma once

#include "engine/model/Workbook.h"
#include "engine/xmlss/StyleTable.h"
#include "engine/xmlss/XmlOutput.h"

#include <cstdint>
#include <vector>

namespace velquin::engine::xmlss {

class XmlssWriter
{
public:
    XmlssWriter(XmlOutput& out, const model::WorkbookInfo& info);

    /// The start of the document: declaration, processing instruction, Workbook start tag, DocumentProperties,
    /// CustomDocumentProperties, OfficeDocumentSettings and ExcelWorkbook.
    void writeHead();
    /// Styles: Default, then the cell formats whose entry in `used` is non-zero (by cell format index) and that
    /// differ from Default, then `merged` as ss:ID "m0", "m1"... (the formats made for merged areas' anchors).
    void writeStyles(const std::vector<std::uint8_t>& used, const std::vector<model::CellStyle>& merged = {});
    /// The workbook's Names.
    void writeNames();
    /// The Workbook end tag.
    void writeTail();

    const StyleTable& styles() const { return m_styles; }

private:
    void writeWorkbookStart();
    void writeDocumentProperties();
    void writeCustomDocumentProperties();
    void writeOfficeDocumentSettings();
    void writeExcelWorkbook();
    void writeStyle(const model::CellStyle& style, char prefix, int index);
    void writeGroups(const model::CellStyle& style, const model::CellStyle* parent);
    const model::NamedStyle* parentOf(const model::CellStyle& style) const;
    int namedStyleId(int named) const;
    void writeAlignment(const model::Alignment& alignment);
    void writeBorders(const model::Borders& borders);
    void writeBorder(const char* position, const model::BorderEdge& edge);
    void writeFont(const model::Font& font);
    void writeInterior(const model::Interior& interior);
    void writeNumberFormat(const model::CellStyle& style);
    void writeProtection(const model::Protection& protection);
    void writeProperty(const char* element, const std::string& value);
    void writeBoolElement(const char* element, bool value);

    XmlOutput& m_out;
    const model::WorkbookInfo& m_info;
    StyleTable m_styles;
    bool m_formatWritten = false; ///< a style written so far has a number format other than General
};

/// Writes `<Names>` with one NamedRange per name of `scope` (-1 = workbook, else a sheet index); nothing when the
/// scope has no names.
void writeNames(XmlOutput& out, const model::WorkbookInfo& info, int scope);

/// "#RRGGBB".
void writeColor(XmlOutput& out, const model::Rgb& color);

} // namespace velquin::engine::xmlss
