// Which notes of a legacy drawing are always shown.
#include "engine/xlsx/VmlNotes.h"

#include <charconv>
#include <set>
#include <utility>

namespace velquin::engine::xlsx {

namespace {

/// The text of the first <x:`tag`> element inside `block`, or nothing.
std::string_view elementText(std::string_view block, std::string_view tag)
{
    const std::string open = "<x:" + std::string(tag) + ">";
    const std::size_t at = block.find(open);
    if (at == std::string_view::npos)
        return {};
    const std::size_t from = at + open.size();
    const std::size_t to = block.find('<', from);
    return to == std::string_view::npos ? std::string_view{} : block.substr(from, to - from);
}

bool readNumber(std::string_view text, std::uint32_t& value)
{
    while (!text.empty() &&
           (text.front() == ' ' || text.front() == '\n' || text.front() == '\r' || text.front() == '\t'))
        text.remove_prefix(1);
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end != text.data();
}

/// x:Visible shows a note whether written empty (as Excel writes it) or with a value other than False.
bool visible(std::string_view block)
{
    const std::size_t at = block.find("<x:Visible");
    if (at == std::string_view::npos)
        return false;
    const std::string_view rest = block.substr(at + 10);
    if (rest.starts_with("/>") || rest.starts_with(" />"))
        return true;
    if (!rest.starts_with(">"))
        return false;
    const std::string_view text = elementText(block, "Visible");
    return text.find("False") == std::string_view::npos && text.find("false") == std::string_view::npos;
}

} // namespace

void markShownNotes(std::string_view vml, std::vector<model::Comment>& comments)
{
    if (comments.empty())
        return;
    std::set<std::pair<std::uint32_t, std::uint32_t>> shown;
    constexpr std::string_view open = "<x:ClientData", close = "</x:ClientData>";
    for (std::size_t at = vml.find(open); at != std::string_view::npos; at = vml.find(open, at + open.size()))
    {
        const std::size_t end = vml.find(close, at);
        if (end == std::string_view::npos)
            break;
        const std::string_view block = vml.substr(at, end - at);
        const std::size_t tagEnd = block.find('>');
        if (tagEnd == std::string_view::npos ||
            block.substr(0, tagEnd).find("ObjectType=\"Note\"") == std::string_view::npos)
            continue;
        std::uint32_t row = 0, col = 0;
        if (visible(block) && readNumber(elementText(block, "Row"), row) &&
            readNumber(elementText(block, "Column"), col))
            shown.emplace(row, col);
    }
    for (auto& comment : comments)
        if (shown.count({comment.row, comment.col}))
            comment.shown = true;
}

} // namespace velquin::engine::xlsx
