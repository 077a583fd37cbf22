// Collects the text of a string item (<si>, <is>, a comment's <text>): plain <t> or formatted runs <r>, with
// phonetic runs <rPh> left out and the _xHHHH_ escapes of OOXML decoded.
#pragma once

#include "engine/model/Sheet.h"

#include <string>
#include <string_view>
#include <vector>

namespace velquin::engine::xlsx {

class ColorResolver;
class XmlAttributes;

class RichTextCollector
{
public:
    explicit RichTextCollector(const ColorResolver* colors) : m_colors(colors) {}

    /// Starts a new item (clears text and runs).
    void begin();
    /// Elements and text inside the item; the item's own element is not passed.
    void startElement(std::string_view name, const XmlAttributes& attributes);
    void endElement(std::string_view name);
    void text(std::string_view text);
    /// Decodes escapes; after it, text() is the whole plain text and runs() is empty unless a run had formatting.
    void finish();

    const std::string& plainText() const { return m_text; }
    const std::vector<model::TextRun>& runs() const { return m_runs; }
    std::vector<model::TextRun>& runs() { return m_runs; }

private:
    const ColorResolver* m_colors;
    std::string m_text;
    std::vector<model::TextRun> m_runs;
    bool m_inT = false, m_inPhonetic = false, m_inRun = false, m_inRunProperties = false, m_anyFont = false;
};

/// Replaces the _xHHHH_ escapes OOXML uses for characters XML cannot hold ("_x000D_" is a carriage return,
/// "_x005F_" an underscore) by the UTF-8 of the character.
void decodeOoxmlEscapes(std::string& text);

} // namespace velquin::engine::xlsx
