// Reads a legacy comments part.
#include "engine/xlsx/CommentsReader.h"

#include "engine/formula/R1C1Translator.h"
#include "engine/xlsx/RichTextCollector.h"
#include "engine/xlsx/XmlParser.h"

#include <string>

namespace velquin::engine::xlsx {

namespace {

constexpr std::size_t kMaxComments = 1 << 20;
constexpr std::size_t kMaxAuthorBytes = 1 << 16;

class CommentsHandler : public XmlHandler
{
public:
    CommentsHandler(const ColorResolver& colors, std::vector<model::Comment>& out) : m_text(&colors), m_out(out) {}

    void startElement(std::string_view name, const XmlAttributes& a) override
    {
        if (m_inText)
            return m_text.startElement(name, a);
        if (name == "author")
        {
            if (m_authors.size() >= kMaxComments)
                return void(stopReason = {EngineErrc::LimitExceeded, "more than a million comment authors"});
            m_inAuthor = true;
            m_authors.emplace_back();
        }
        else if (name == "comment")
            commentStart(a);
        else if (name == "text" && m_inComment)
        {
            m_inText = true;
            m_text.begin();
        }
    }

    void endElement(std::string_view name) override
    {
        if (m_inText && name != "text")
            return m_text.endElement(name);
        if (name == "text" && m_inText)
        {
            m_inText = false;
            m_text.finish();
        }
        else if (name == "author")
            m_inAuthor = false;
        else if (name == "comment" && m_inComment)
            commentEnd();
    }

    void text(std::string_view text) override
    {
        if (m_inText)
            m_text.text(text);
        else if (m_inAuthor && m_authors.back().size() < kMaxAuthorBytes)
            m_authors.back() += text;
    }

private:
    void commentStart(const XmlAttributes& a)
    {
        formula::CellRange range;
        m_inComment = formula::parseA1Range(a.get("ref"), range);
        if (!m_inComment)
            return;
        if (m_out.size() >= kMaxComments)
        {
            stopReason = {EngineErrc::LimitExceeded, "more than a million comments in a sheet"};
            return;
        }
        m_comment = {};
        m_comment.row = range.firstRow;
        m_comment.col = range.firstCol;
        m_author = a.integer("authorId", -1);
    }

    void commentEnd()
    {
        m_inComment = false;
        if (m_author >= 0 && static_cast<std::size_t>(m_author) < m_authors.size())
            m_comment.author = m_authors[static_cast<std::size_t>(m_author)];
        if (m_text.runs().empty())
        {
            model::TextRun run;
            run.text = m_text.plainText();
            m_comment.text.push_back(std::move(run));
        }
        else
            m_comment.text = std::move(m_text.runs());
        m_text.begin();
        m_out.push_back(std::move(m_comment));
    }

    RichTextCollector m_text;
    std::vector<model::Comment>& m_out;
    std::vector<std::string> m_authors;
    model::Comment m_comment;
    long long m_author = -1;
    bool m_inAuthor = false, m_inComment = false, m_inText = false;
};

} // namespace

Status readComments(std::string_view xml, std::string_view partName, const ColorResolver& colors,
                    std::vector<model::Comment>& out)
{
    CommentsHandler handler(colors, out);
    return parseXml(xml, handler, partName);
}

} // namespace velquin::engine::xlsx
