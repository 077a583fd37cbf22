// Builds small .xlsx packages for tests and records streamed sheets.
#include "XlsxTestPackage.h"

#include <algorithm>
#include <cstdio>
#include <zip.h>

namespace velquin::test {

namespace {

std::string columnName(std::uint32_t col)
{
    std::string name;
    for (std::uint32_t c = col + 1; c > 0; c = (c - 1) / 26)
        name.insert(name.begin(), static_cast<char>('A' + (c - 1) % 26));
    return name;
}

} // namespace

XlsxTestPackage::XlsxTestPackage()
{
    m_parts["[Content_Types].xml"] =
        R"(<?xml version="1.0" encoding="UTF-8"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">)"
        R"(<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>)"
        R"(<Default Extension="xml" ContentType="application/xml"/>)"
        R"(<Override PartName="/xl/workbook.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/></Types>)";
    m_parts["_rels/.rels"] =
        R"(<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
        R"(<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="xl/workbook.xml"/></Relationships>)";
    m_parts["xl/workbook.xml"] =
        R"(<?xml version="1.0" encoding="UTF-8"?><workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" )"
        R"(xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"><sheets>)"
        R"(<sheet name="Sheet1" sheetId="1" r:id="rId1"/></sheets></workbook>)";
    m_parts["xl/_rels/workbook.xml.rels"] =
        R"(<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
        R"(<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet" Target="worksheets/sheet1.xml"/>)"
        R"(<Relationship Id="rId2" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings" Target="sharedStrings.xml"/>)"
        R"(</Relationships>)";
    m_parts["xl/sharedStrings.xml"] =
        R"(<sst xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" count="2" uniqueCount="2">)"
        R"(<si><t>first</t></si><si><r><t>bold </t></r><r><rPr><b/></rPr><t>part</t></r><rPh><t>ignored</t></rPh></si></sst>)";
    sheetData("");
}

std::string XlsxTestPackage::sheet(std::string_view rows, std::string_view after)
{
    return std::string(
               R"(<?xml version="1.0" encoding="UTF-8"?><worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" )"
               R"(xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"><sheetData>)") +
           std::string(rows) + "</sheetData>" + std::string(after) + "</worksheet>";
}

XlsxTestPackage& XlsxTestPackage::part(std::string name, std::string content)
{
    m_parts[std::move(name)] = std::move(content);
    return *this;
}

XlsxTestPackage& XlsxTestPackage::sheetData(std::string_view rows, std::string_view after)
{
    return part("xl/worksheets/sheet1.xml", sheet(rows, after));
}

bool XlsxTestPackage::save(const std::string& path) const
{
    int error = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!archive)
        return false;
    for (const auto& [name, content] : m_parts)
    {
        std::string entry = name;
        if (m_backslashes)
            std::replace(entry.begin(), entry.end(), '/', '\\');
        zip_source_t* source = zip_source_buffer(archive, content.data(), content.size(), 0);
        zip_int64_t index = source ? zip_file_add(archive, entry.c_str(), source, ZIP_FL_OVERWRITE) : -1;
        if (index < 0)
        {
            zip_source_free(source);
            zip_discard(archive);
            return false;
        }
        zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE,
                                 static_cast<zip_uint32_t>(m_level));
    }
    return zip_close(archive) == 0;
}

void RecordingSink::beginSheet(const engine::model::SheetHeader& h)
{
    header = h;
}

void RecordingSink::row(const engine::model::RowInfo& r)
{
    std::string line = "row " + std::to_string(r.row + 1);
    if (r.height >= 0)
        line += " ht " + std::to_string(r.height).substr(0, 4);
    if (r.hidden)
        line += " hidden";
    if (r.style >= 0)
        line += " s" + std::to_string(r.style);
    lines.push_back(line);
}

void RecordingSink::cell(const engine::model::Cell& c)
{
    using engine::model::CellType;
    std::string line = columnName(c.col) + std::to_string(c.row + 1);
    if (c.style > 0)
        line += " s" + std::to_string(c.style);
    char number[32];
    switch (c.type)
    {
    case CellType::Blank:
        line += " blank";
        break;
    case CellType::Number:
        std::snprintf(number, sizeof number, "%.15g", c.number);
        line += std::string(" n ") + number;
        break;
    case CellType::String:
        line += " s '" + std::string(c.text) + "'";
        for (const auto& run : c.runs)
            line += std::string(run.hasFont && run.font.bold ? " [b:" : " [") + run.text + "]";
        break;
    case CellType::Boolean:
        line += c.boolean ? " b 1" : " b 0";
        break;
    case CellType::Error:
        line += " e " + std::string(c.text);
        break;
    }
    if (!c.formula.empty())
        line += " " + std::string(c.formula);
    if (!c.arrayRange.empty())
        line += " {" + std::string(c.arrayRange) + "}";
    lines.push_back(line);
}

void RecordingSink::endSheet(const engine::model::SheetOptions& o)
{
    options = o;
    ended = true;
}

} // namespace velquin::test
