// Reads a binary comments part.
#include "engine/xlsb/BinaryComments.h"

#include "engine/xlsb/RecordReader.h"
#include "engine/xlsb/RecordTypes.h"
#include "engine/xlsb/WideString.h"

#include <algorithm>

namespace velquin::engine::xlsb {

namespace {

constexpr std::size_t kMaxComments = 1000000;
constexpr std::size_t kMaxCommentBytes = std::size_t(64) << 20;

// The text of a note as runs: one plain run, or the runs its formatting marks.
bool commentText(ByteCursor c, const xls::SharedStringTable::FontLookup& fonts, std::vector<model::TextRun>& runs)
{
    ByteCursor start = c;
    std::string text;
    std::vector<FontRun> marks;
    if (!readRichString(c, text, marks))
        return false;
    runs.clear();
    if (marks.empty() || !fonts)
    {
        runs.push_back({});
        runs.back().text = std::move(text);
        return true;
    }
    runs = splitRichString(start, marks, fonts);
    return true;
}

} // namespace

Status readBinaryComments(std::span<const std::uint8_t> bytes, const std::string& partName,
                          const xls::SharedStringTable::FontLookup& fonts, std::vector<model::Comment>& out)
{
    RecordReader reader(bytes, partName);
    std::vector<std::string> authors;
    std::size_t used = 0;
    bool inComment = false;
    Record record;
    bool more = true;
    auto cutShort = [&]() {
        return Status{EngineErrc::DamagedFile, partName + ": record " + std::to_string(record.type) + " at offset " +
                                                   std::to_string(record.offset) + " is cut short"};
    };
    while (true)
    {
        if (Status status = reader.next(record, more); !status)
            return status;
        if (!more)
            break;
        ByteCursor c(record.body);
        if (record.type == rt::BrtCommentAuthor)
        {
            std::string author;
            if (!readWideString(c, author))
                return cutShort();
            used += author.size() + 32;
            authors.push_back(std::move(author));
        }
        else if (record.type == rt::BrtBeginComment)
        {
            std::uint32_t author = 0, firstRow = 0, lastRow = 0, firstCol = 0, lastCol = 0;
            if (!c.readU32(author) || !c.readU32(firstRow) || !c.readU32(lastRow) || !c.readU32(firstCol) ||
                !c.readU32(lastCol))
                return cutShort();
            if (out.size() >= kMaxComments)
                return {EngineErrc::LimitExceeded, partName + " holds more than a million comments"};
            model::Comment comment;
            comment.row = std::min(firstRow, model::kMaxRows - 1);
            comment.col = std::min(firstCol, model::kMaxColumns - 1);
            if (author < authors.size())
                comment.author = authors[author];
            out.push_back(std::move(comment));
            inComment = true;
        }
        else if (record.type == rt::BrtCommentText && inComment)
        {
            if (!commentText(c, fonts, out.back().text))
                return cutShort();
            for (const model::TextRun& run : out.back().text)
                used += run.text.size() + sizeof(model::TextRun);
        }
        else if (record.type == rt::BrtEndComment)
            inComment = false;
        if (used > kMaxCommentBytes)
            return {EngineErrc::LimitExceeded, partName + ": comments take more than 64 MB"};
    }
    return {};
}

} // namespace velquin::engine::xlsb
