// Formula context callbacks over the binary workbook part.
#include "engine/xlsb/BinaryFormulaContext.h"

#include "engine/xls/XlsGlobals.h"
#include "engine/xlsx/ExternalLinkReader.h"

#include <string_view>
#include <utility>

namespace velquin::engine::xlsb {

namespace {

struct Tables
{
    std::vector<std::string> sheets;
    std::vector<std::string> names;
    std::vector<int> nameSheets;
    std::vector<SupportingBook> books;
    std::vector<SheetReference> references;
    std::vector<std::string> paths;
    std::vector<BinaryTable> tables;
};

std::optional<std::string> sheetRange(const std::vector<std::string>& names, std::int32_t first, std::int32_t last)
{
    if (first < 0 || last < 0 || static_cast<std::size_t>(first) >= names.size() ||
        static_cast<std::size_t>(last) >= names.size())
        return std::nullopt;
    std::string text = names[static_cast<std::size_t>(first)];
    if (last != first)
        text += ":" + names[static_cast<std::size_t>(last)];
    return xls::quoteSheetName(text);
}

/// The folder and the file of another workbook's path, as a formula shows them: "C:\Docs\" and "Book2.xlsx" for
/// "file:///C:\Docs\Book2.xlsx"; the same as for .xlsx links.
std::pair<std::string, std::string> splitBookPath(std::string_view path)
{
    formula::ExternalBook book = xlsx::externalBookFromTarget(path);
    return {std::move(book.folder), std::move(book.file)};
}

const SupportingBook* bookOf(const Tables& t, std::uint32_t ixti, const SheetReference*& reference)
{
    if (ixti >= t.references.size())
        return nullptr;
    reference = &t.references[ixti];
    if (reference->book >= t.books.size())
        return nullptr;
    return &t.books[reference->book];
}

} // namespace

xls::formula::FormulaContext makeBinaryFormulaContext(const BinaryWorkbookPart& part,
                                                      const std::vector<std::string>& externalPaths,
                                                      std::vector<BinaryTable> tables)
{
    auto t = std::make_shared<Tables>();
    for (const auto& sheet : part.sheets)
        t->sheets.push_back(sheet.name);
    for (const BinaryName& name : part.names)
    {
        t->names.push_back(name.name);
        t->nameSheets.push_back(name.sheet);
    }
    t->books = part.books;
    t->references = part.references;
    t->paths = externalPaths;
    t->tables = std::move(tables);

    xls::formula::FormulaContext ctx;
    ctx.biffVersion = 12;
    ctx.definedName = [t](std::uint32_t index) -> std::optional<std::string> {
        if (index == 0 || index > t->names.size())
            return std::nullopt;
        return t->names[index - 1];
    };
    ctx.externalName = [t](std::uint32_t ixti, std::uint32_t index) -> std::optional<std::string> {
        const SheetReference* reference = nullptr;
        const SupportingBook* book = bookOf(*t, ixti, reference);
        if (!book || index == 0)
            return std::nullopt;
        if (book->kind == SupportingBook::Kind::AddIn)
        {
            if (index > book->names.size())
                return std::nullopt;
            return book->names[index - 1];
        }
        if (book->kind == SupportingBook::Kind::External)
        {
            // A name of another workbook: "Book2.xlsx!Rate", as the .xls reader writes one.
            const auto slot = static_cast<std::size_t>(book - t->books.data());
            if (index > book->names.size() || slot >= t->paths.size() || t->paths[slot].empty())
                return std::nullopt;
            return splitBookPath(t->paths[slot]).second + "!" + book->names[index - 1];
        }
        if (book->kind != SupportingBook::Kind::Self || index > t->names.size())
            return std::nullopt;
        // A name of this workbook: qualified by its sheet when it is local to one.
        const int sheet = t->nameSheets[index - 1];
        if (auto prefix = sheetRange(t->sheets, sheet, sheet))
            return *prefix + "!" + t->names[index - 1];
        return t->names[index - 1];
    };
    ctx.sheetPrefix = [t](std::uint32_t ixti) -> std::optional<std::string> {
        const SheetReference* reference = nullptr;
        const SupportingBook* book = bookOf(*t, ixti, reference);
        if (!book)
            return std::nullopt;
        if (book->kind == SupportingBook::Kind::Self)
            return sheetRange(t->sheets, reference->firstSheet, reference->lastSheet);
        if (book->kind != SupportingBook::Kind::External)
            return std::nullopt;
        auto sheets = sheetRange(book->sheets, reference->firstSheet, reference->lastSheet);
        const std::size_t index = static_cast<std::size_t>(book - t->books.data());
        if (!sheets || index >= t->paths.size() || t->paths[index].empty())
            return std::nullopt;
        // The folder goes before the brackets, the file alone inside: 'C:\Docs\[Book2.xlsx]Sheet1'.
        std::string bare = sheets->front() == '\'' ? sheets->substr(1, sheets->size() - 2) : *sheets;
        const auto [folder, file] = splitBookPath(t->paths[index]);
        return "'" + folder + "[" + file + "]" + bare + "'";
    };
    ctx.tableReference = [t](std::uint32_t id, std::uint16_t flags, std::uint16_t first,
                             std::uint16_t last) -> std::optional<std::string> {
        for (const BinaryTable& table : t->tables)
        {
            if (table.id == id)
                return structuredReference(table, flags, first, last);
        }
        return std::nullopt;
    };
    return ctx;
}

} // namespace velquin::engine::xlsb
