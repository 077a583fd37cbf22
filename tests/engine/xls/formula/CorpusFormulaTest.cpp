// Formulas of real workbooks read through the .xls reader, compared with the text Excel wrote for the same cells.
#include "engine/xls/XlsReader.h"
#include "tests/support/TestSupport.h"

#include <cstdlib>
#include <expat.h>
#include <gtest/gtest.h>
#include <map>
#include <tuple>

namespace {

using velquin::engine::model::Cell;
using velquin::engine::model::RowInfo;
using velquin::engine::model::SheetHeader;
using velquin::engine::model::SheetOptions;
using velquin::engine::model::SheetSink;

// (sheet name, 0-based row, 0-based column) -> formula text.
using FormulaMap = std::map<std::tuple<std::string, std::uint32_t, std::uint32_t>, std::string>;

// Collects the ss:Formula attributes of an XML Spreadsheet 2003 file, following ss:Index and ss:MergeAcross.
class ExpectedFormulas
{
public:
    static FormulaMap read(std::string xml)
    {
        // Excel writes control characters of cell text as "&#1;", which XML 1.0 forbids and expat refuses.
        for (std::size_t at = xml.find("&#"); at != std::string::npos; at = xml.find("&#", at + 1))
        {
            const std::size_t end = xml.find(';', at);
            if (end == std::string::npos || end - at > 8 || xml[at + 2] == 'x')
                continue;
            const int code = std::atoi(xml.c_str() + at + 2);
            if (code < 32 && code != 9 && code != 10 && code != 13)
            {
                xml[at] = '?';
                xml.erase(at + 1, end - at);
            }
        }
        ExpectedFormulas state;
        XML_Parser parser = XML_ParserCreateNS(nullptr, '|');
        XML_SetUserData(parser, &state);
        XML_SetStartElementHandler(parser, &ExpectedFormulas::start);
        const bool ok = XML_Parse(parser, xml.data(), static_cast<int>(xml.size()), 1) == XML_STATUS_OK;
        XML_ParserFree(parser);
        EXPECT_TRUE(ok) << "expected file is not well-formed";
        return state.m_formulas;
    }

private:
    static constexpr const char* kNs = "urn:schemas-microsoft-com:office:spreadsheet|";

    static const char* attribute(const char** attributes, const char* name)
    {
        const std::string wanted = std::string(kNs) + name;
        for (int i = 0; attributes[i]; i += 2)
        {
            if (wanted == attributes[i])
                return attributes[i + 1];
        }
        return nullptr;
    }

    static void start(void* data, const char* element, const char** attributes)
    {
        auto& state = *static_cast<ExpectedFormulas*>(data);
        const std::string name(element);
        if (name == std::string(kNs) + "Worksheet")
        {
            const char* sheet = attribute(attributes, "Name");
            state.m_sheet = sheet ? sheet : "";
            state.m_row = 0;
        }
        else if (name == std::string(kNs) + "Row")
        {
            const char* index = attribute(attributes, "Index");
            state.m_row = index ? static_cast<std::uint32_t>(std::stoul(index)) : state.m_row + 1;
            state.m_col = 0;
        }
        else if (name == std::string(kNs) + "Cell")
        {
            const char* index = attribute(attributes, "Index");
            state.m_col = index ? static_cast<std::uint32_t>(std::stoul(index)) : state.m_col + 1;
            if (const char* formula = attribute(attributes, "Formula"))
                state.m_formulas[{state.m_sheet, state.m_row - 1, state.m_col - 1}] = formula;
            if (const char* across = attribute(attributes, "MergeAcross"))
                state.m_col += static_cast<std::uint32_t>(std::stoul(across));
        }
    }

    FormulaMap m_formulas;
    std::string m_sheet;
    std::uint32_t m_row = 0;
    std::uint32_t m_col = 0;
};

class FormulaCollector : public SheetSink
{
public:
    explicit FormulaCollector(FormulaMap& formulas) : m_formulas(formulas) {}
    void beginSheet(const SheetHeader& header) override { m_sheet = header.name; }
    void row(const RowInfo&) override {}
    void cell(const Cell& cell) override
    {
        if (!cell.formula.empty())
            m_formulas[{m_sheet, cell.row, cell.col}] = std::string(cell.formula);
    }
    void endSheet(const SheetOptions&) override {}

private:
    FormulaMap& m_formulas;
    std::string m_sheet;
};

// Every formula Excel wrote for `name` that our reading gives differently, as "Sheet!RxCy: ours | Excel's".
std::vector<std::string> formulaMismatches(const std::string& name, std::size_t& checked)
{
    std::unique_ptr<velquin::engine::model::WorkbookReader> reader;
    velquin::engine::Status status = velquin::engine::xls::openXls(velquin::test::requiredCorpusFile(name), reader);
    EXPECT_TRUE(status) << status.description();
    FormulaMap ours;
    if (status)
    {
        FormulaCollector collector(ours);
        for (int i = 0; i < static_cast<int>(reader->info().sheets.size()); ++i)
            EXPECT_TRUE(reader->readSheet(i, collector)) << name << " sheet " << i;
    }
    const FormulaMap excel =
        ExpectedFormulas::read(velquin::test::readFile(velquin::test::requiredCorpusFile(name + ".expected.xml")));
    std::vector<std::string> mismatches;
    for (const auto& [where, text] : excel)
    {
        auto it = ours.find(where);
        const std::string got = it == ours.end() ? "(none)" : it->second;
        if (got != text)
        {
            mismatches.push_back(std::get<0>(where) + "!R" + std::to_string(std::get<1>(where) + 1) + "C" +
                                 std::to_string(std::get<2>(where) + 1) + ": " + got + " | " + text);
        }
    }
    checked = excel.size();
    return mismatches;
}

TEST(FormulaCorpus, EveryFunctionOfTheStressWorkbookReadsAsExcelWroteIt)
{
    VELQUIN_REQUIRE_CORPUS();
    // 447 formulas over every function category, future functions, add-ins, array constants and unions.
    std::size_t checked = 0;
    const auto mismatches = formulaMismatches("formula_stress_test.xls", checked);
    EXPECT_GE(checked, 400u);
    EXPECT_TRUE(mismatches.empty()) << mismatches.size() << " mismatches, first: " << mismatches.front();
}

TEST(FormulaCorpus, SmallerWorkbooksOfBothVersions)
{
    VELQUIN_REQUIRE_CORPUS();
    // Shared and array formulas, string constants with line-break functions, 3-D references with quoted sheet
    // names, linked data type fields, BIFF5 byte strings and references.
    for (const char* name : {"formulae_test_simple.xls", "pivot_table_named_range.xls", "crlf.xls", "metadata_2019.xls",
                             "comments_stress_test.xls", "biff5-crlf.xls", "biff5-issue2717.xls",
                             "biff5-comments_stress_test.xls", "biff5-number_format.xls"})
    {
        std::size_t checked = 0;
        const auto mismatches = formulaMismatches(name, checked);
        EXPECT_GT(checked, 0u) << name;
        EXPECT_TRUE(mismatches.empty()) << name << ": " << mismatches.size()
                                        << " mismatches, first: " << mismatches.front();
    }
}

} // namespace
