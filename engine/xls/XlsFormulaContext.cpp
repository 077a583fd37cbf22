// Formula context callbacks over the workbook globals.
#include "engine/xls/XlsFormulaContext.h"

#include <algorithm>
#include <cctype>

namespace velquin::engine::xls {

namespace {

std::optional<std::string> sheetRange(const std::vector<std::string>& names, int first, int last)
{
    if (first < 0 || last < 0 || static_cast<std::size_t>(first) >= names.size() ||
        static_cast<std::size_t>(last) >= names.size())
        return std::nullopt;
    std::string text = names[static_cast<std::size_t>(first)];
    if (last != first)
        text += ":" + names[static_cast<std::size_t>(last)];
    return quoteSheetName(text);
}

std::vector<std::string> sheetNames(const XlsGlobals& g)
{
    std::vector<std::string> names;
    names.reserve(g.sheets.size());
    for (const auto& s : g.sheets)
        names.push_back(s.name);
    return names;
}

std::string offset(char axis, std::int64_t delta)
{
    std::string s(1, axis);
    if (delta != 0)
    {
        s.push_back('[');
        s.append(std::to_string(delta));
        s.push_back(']');
    }
    return s;
}

/// Where an external workbook lives, from the encoded path of its SUPBOOK: the folder ("C:\\Docs\\", empty for a
/// bare file name) and the file name.
struct BookLocation
{
    std::string folder, file;
};

BookLocation decodeVirtualPath(std::string_view path)
{
    std::string text;
    std::size_t i = 0;
    if (!path.empty())
    {
        switch (path[0])
        {
        case '\x01': // a volume: a drive letter, or '@' for a UNC share
            if (path.size() > 1 && path[1] == '@')
                text = "\\\\";
            else if (path.size() > 1)
                text = std::string(1, path[1]) + ":\\";
            i = std::min<std::size_t>(2, path.size());
            break;
        case '\x02': // the root of the drive this workbook is on
            text = "\\";
            i = 1;
            break;
        case '\x05': { // a URL, after the character that counts it
            if (path.size() < 2)
                return {};
            std::string_view url = path.substr(2, static_cast<unsigned char>(path[1]));
            const std::size_t slash = url.find_last_of("/\\");
            if (slash == std::string_view::npos)
                return {"", std::string(url)};
            return {std::string(url.substr(0, slash + 1)), std::string(url.substr(slash + 1))};
        }
        case '\x06': // the startup, alternate startup and library folders, which only the reading machine knows
        case '\x07':
        case '\x08':
            i = 1;
            break;
        default:
            break;
        }
    }
    for (; i < path.size(); ++i)
    {
        const char ch = path[i];
        if (ch == '\x03')
            text += '\\';
        else if (ch == '\x04')
            text += "..\\";
        else if (static_cast<unsigned char>(ch) >= 0x20)
            text += ch;
    }
    const std::size_t separator = text.find_last_of("\\/");
    if (separator == std::string::npos)
        return {"", text};
    return {text.substr(0, separator + 1), text.substr(separator + 1)};
}

/// A DDE item as Excel writes it after "server|topic!": quoted unless it is a plain word.
std::string ddeItem(const std::string& item)
{
    const bool plain = !item.empty() && std::all_of(item.begin(), item.end(), [](char ch) {
        return std::isalnum(static_cast<unsigned char>(ch)) || ch == '_' || ch == '.';
    });
    if (plain)
        return item;
    std::string quoted = "'";
    for (char ch : item)
    {
        quoted += ch;
        if (ch == '\'')
            quoted += ch;
    }
    return quoted + "'";
}

} // namespace

std::string relativeRangeR1C1(std::uint32_t row, std::uint32_t col, std::uint32_t firstRow, std::uint32_t firstCol,
                              std::uint32_t lastRow, std::uint32_t lastCol)
{
    auto cell = [&](std::string& out, std::uint32_t r, std::uint32_t c) {
        out.append(offset('R', static_cast<std::int64_t>(r) - row));
        out.append(offset('C', static_cast<std::int64_t>(c) - col));
    };
    std::string text;
    cell(text, firstRow, firstCol);
    if (lastRow != firstRow || lastCol != firstCol)
    {
        text.push_back(':');
        cell(text, lastRow, lastCol);
    }
    return text;
}

std::string absoluteRangeR1C1(std::uint32_t firstRow, std::uint32_t firstCol, std::uint32_t lastRow,
                              std::uint32_t lastCol)
{
    // All 65,536 rows of a BIFF8 sheet are whole columns, which Excel widens to its larger grid on opening.
    constexpr std::uint32_t kBiff8LastRow = 65535;
    std::string text;
    if (firstRow == 0 && lastRow == kBiff8LastRow)
    {
        text = "C" + std::to_string(std::uint64_t{firstCol} + 1);
        if (lastCol != firstCol)
            text += ":C" + std::to_string(std::uint64_t{lastCol} + 1);
        return text;
    }
    auto cell = [](std::string& out, std::uint32_t r, std::uint32_t c) {
        out.push_back('R');
        out.append(std::to_string(std::uint64_t{r} + 1));
        out.push_back('C');
        out.append(std::to_string(std::uint64_t{c} + 1));
    };
    cell(text, firstRow, firstCol);
    if (lastRow != firstRow || lastCol != firstCol)
    {
        text.push_back(':');
        cell(text, lastRow, lastCol);
    }
    return text;
}

formula::FormulaContext makeFormulaContext(const XlsGlobals& g)
{
    formula::FormulaContext ctx;
    ctx.biffVersion = g.biffVersion;
    const XlsGlobals* gp = &g;
    auto names = std::make_shared<std::vector<std::string>>(sheetNames(g));
    ctx.definedName = [gp](std::uint32_t index) -> std::optional<std::string> {
        if (index == 0 || index > gp->names.size())
            return std::nullopt;
        return gp->names[index - 1].name;
    };
    // A name of this workbook reached through PtgNameX: Excel qualifies it by its sheet when it is local to one
    // (or by the sheet the reference goes through).
    auto ownName = [gp, names](std::uint32_t index, std::optional<std::string> sheet) -> std::optional<std::string> {
        if (index == 0 || index > gp->names.size())
            return std::nullopt;
        const NameRecord& n = gp->names[index - 1];
        if (!sheet && n.sheet >= 0)
            sheet = sheetRange(*names, n.sheet, n.sheet);
        if (sheet)
            return *sheet + "!" + n.name;
        return n.name;
    };
    ctx.externalName = [gp, names, ownName](std::uint32_t sheetRef, std::uint32_t index) -> std::optional<std::string> {
        const SupBook* book = nullptr;
        if (gp->biffVersion == 8)
        {
            if (sheetRef >= gp->xti.size() || gp->xti[sheetRef].supBook >= gp->supBooks.size())
                return std::nullopt;
            const XtiRecord& x = gp->xti[sheetRef];
            book = &gp->supBooks[x.supBook];
            if (book->kind == SupBook::Kind::Self)
                return ownName(index, sheetRange(*names, x.firstSheet, x.firstSheet));
            if (book->kind == SupBook::Kind::External || book->kind == SupBook::Kind::Dde)
            {
                if (index == 0 || index > book->externNames.size())
                    return std::nullopt;
                if (book->kind == SupBook::Kind::Dde)
                    return book->path + "!" + ddeItem(book->externNames[index - 1]);
                return decodeVirtualPath(book->path).file + "!" + book->externNames[index - 1];
            }
        }
        else
        {
            // BIFF5 gives a 1-based EXTERNSHEET index, negative for one of this workbook's own; the names of an
            // external book follow its EXTERNSHEET, those of this workbook are its NAME records.
            const auto signedRef = static_cast<std::int32_t>(sheetRef);
            const std::uint32_t entry =
                signedRef < 0 ? static_cast<std::uint32_t>(-static_cast<std::int64_t>(signedRef)) : sheetRef;
            if (entry == 0 || entry > gp->supBooks.size())
                return std::nullopt;
            book = &gp->supBooks[entry - 1];
            if (book->kind == SupBook::Kind::Self)
                return ownName(index, std::nullopt);
        }
        if (index == 0 || index > book->externNames.size())
            return std::nullopt;
        return book->externNames[index - 1];
    };
    ctx.sheetPrefix = [gp, names](std::uint32_t ixti) -> std::optional<std::string> {
        if (ixti >= gp->xti.size())
            return std::nullopt;
        const XtiRecord& x = gp->xti[ixti];
        if (x.supBook >= gp->supBooks.size())
            return std::nullopt;
        const SupBook& book = gp->supBooks[x.supBook];
        if (book.kind == SupBook::Kind::Self)
            return sheetRange(*names, x.firstSheet, x.lastSheet);
        if (book.kind == SupBook::Kind::External)
        {
            // The folder goes before the brackets, the file name alone inside: 'C:\\Docs\\[Book2.xls]Sheet1'.
            const BookLocation location = decodeVirtualPath(book.path);
            auto sheets = sheetRange(book.sheets, x.firstSheet, x.lastSheet);
            if (!sheets)
                return std::nullopt;
            std::string bare = sheets->front() == '\'' ? sheets->substr(1, sheets->size() - 2) : *sheets;
            return "'" + location.folder + "[" + location.file + "]" + bare + "'";
        }
        return std::nullopt;
    };
    ctx.sheetPrefixBiff5 = [gp, names](std::int32_t ixals, std::int32_t first,
                                       std::int32_t last) -> std::optional<std::string> {
        if (first >= 0 && last >= first)
            if (auto r = sheetRange(*names, first, last))
                return r;
        std::int32_t index = ixals < 0 ? -ixals : ixals;
        if (index <= 0 || static_cast<std::size_t>(index) > gp->biff5ExternSheets.size())
            return std::nullopt;
        const std::string& text = gp->biff5ExternSheets[static_cast<std::size_t>(index - 1)];
        if (text.empty())
            return std::nullopt;
        return quoteSheetName(text);
    };
    auto decoder = std::make_shared<CodepageDecoder>(g.codepage);
    ctx.decodeByteString = [decoder](std::span<const std::uint8_t> bytes) { return decoder->decode(bytes); };
    return ctx;
}

} // namespace velquin::engine::xls
