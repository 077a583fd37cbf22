// Finds the cells whose formula is a HYPERLINK call with a literal target.
#include "engine/xlsx/FormulaLinkCollector.h"

#include "engine/formula/A1Tokenizer.h"
#include "engine/formula/R1C1Translator.h"
#include "engine/xlsx/XmlParser.h"

#include <string>

namespace velquin::engine::xlsx {

namespace {

constexpr std::size_t kMaxLinks = 1 << 16; // Excel's own limit of links per sheet
constexpr std::size_t kMaxFormulaText = 1 << 16;

formula::Token nextSignificant(formula::A1Tokenizer& tokenizer)
{
    formula::Token token = tokenizer.next();
    while (token.kind == formula::TokenKind::Whitespace)
        token = tokenizer.next();
    return token;
}

class LinkFormulaHandler : public XmlHandler
{
public:
    explicit LinkFormulaHandler(std::vector<model::Hyperlink>& out) : m_out(out) {}

    void startElement(std::string_view name, const XmlAttributes& a) override
    {
        if (name == "c")
            m_ref = a.get("r");
        else if (name == "f")
        {
            m_inFormula = true;
            m_text.clear();
        }
    }

    void endElement(std::string_view name) override
    {
        if (name != "f" || !m_inFormula)
            return;
        m_inFormula = false;
        std::string target = hyperlinkTarget(m_text);
        formula::CellRange cell;
        if (target.empty() || !formula::parseA1Range(m_ref, cell))
            return;
        if (m_out.size() >= kMaxLinks)
            return void(stopReason = {EngineErrc::LimitExceeded, "more than 65536 links in a sheet"});
        model::Hyperlink link;
        link.firstRow = link.lastRow = cell.firstRow;
        link.firstCol = link.lastCol = cell.firstCol;
        link.href = std::move(target);
        m_out.push_back(std::move(link));
    }

    void text(std::string_view text) override
    {
        if (m_inFormula && m_text.size() < kMaxFormulaText)
            m_text += text;
    }

private:
    std::vector<model::Hyperlink>& m_out;
    std::string m_ref, m_text;
    bool m_inFormula = false;
};

} // namespace

std::string hyperlinkTarget(std::string_view text)
{
    formula::A1Tokenizer tokenizer(text);
    formula::Token name = nextSignificant(tokenizer);
    if (name.kind != formula::TokenKind::Function || name.text != "HYPERLINK" ||
        nextSignificant(tokenizer).kind != formula::TokenKind::Open)
        return {};
    formula::Token target = nextSignificant(tokenizer);
    if (target.kind != formula::TokenKind::String || target.text.size() < 2)
        return {};
    std::string result;
    std::string_view inner = target.text.substr(1, target.text.size() - 2);
    for (std::size_t i = 0; i < inner.size(); ++i)
    {
        result += inner[i];
        if (inner[i] == '"' && i + 1 < inner.size() && inner[i + 1] == '"')
            ++i; // a doubled quote stands for one
    }
    return result;
}

Status collectFormulaLinks(std::string_view part, std::string_view partName, std::vector<model::Hyperlink>& out)
{
    LinkFormulaHandler handler(out);
    return parseXml(part, handler, partName);
}

Status collectFormulaLinks(ZipPartStream& stream, std::vector<model::Hyperlink>& out)
{
    LinkFormulaHandler handler(out);
    return parseXmlStream(stream, handler);
}

} // namespace velquin::engine::xlsx
