// Reader for Excel 97-2003 (BIFF8) and Excel 5.0/95 (BIFF5) workbooks.
#include "engine/xls/XlsReader.h"

#include "engine/xls/OldBiffRecords.h"
#include "engine/xls/OleContainer.h"
#include "engine/xls/PropertySetReader.h"
#include "engine/xls/XlsFormulaContext.h"
#include "engine/xls/XlsGlobals.h"
#include "engine/xls/XlsSheetReader.h"

#include <filesystem>
#include <new>

namespace velquin::engine::xls {

namespace {

/// Property-set streams are small; anything larger is not believed.
constexpr std::size_t kMaxPropertyStream = 16u * 1024 * 1024;
constexpr std::uint16_t kWsBool = 0x0081;

class XlsWorkbookReader : public model::WorkbookReader
{
public:
    Status open(const std::string& path);
    Status openBare(const std::string& path);
    const model::WorkbookInfo& info() const override { return m_globals.info; }
    Status readSheet(int index, model::SheetSink& sink) override;

private:
    Status openStream();
    void classifySheets();
    void fillInfo();
    void fillNames();

    OleContainer m_container;
    std::unique_ptr<ByteSource> m_source;
    std::unique_ptr<RecordStream> m_stream;
    CodepageDecoder m_decoder;
    XlsGlobals m_globals;
};

Status XlsWorkbookReader::open(const std::string& path)
{
    if (Status st = m_container.open(path); !st)
        return st;
    if (Status st = openStream(); !st)
        return st;
    if (Status st = parseGlobals(*m_stream, m_globals, m_decoder); !st)
        return st;
    classifySheets();
    fillInfo();
    fillNames();
    auto summary = m_container.readAll("\005SummaryInformation", kMaxPropertyStream);
    readSummaryInformation(summary, m_globals.info.properties);
    auto docSummary = m_container.readAll("\005DocumentSummaryInformation", kMaxPropertyStream);
    readDocumentSummaryInformation(docSummary, m_globals.info.properties);
    return {};
}

/// An Excel 2.x-4.x worksheet is a record stream with no compound file; Excel names its one sheet after the file.
Status XlsWorkbookReader::openBare(const std::string& path)
{
    auto file = std::make_unique<FileSource>();
    if (Status st = file->open(path); !st)
        return st;
    m_source = std::move(file);
    m_stream = std::make_unique<RecordStream>(*m_source);
    if (Status st = parseGlobals(*m_stream, m_globals, m_decoder); !st)
        return st;
    if (m_globals.sheets.size() == 1)
        m_globals.sheets[0].name = std::filesystem::path(path).stem().string();
    fillInfo();
    fillNames();
    return {};
}

Status XlsWorkbookReader::openStream()
{
    std::string name = "Workbook";
    if (!m_container.hasStream(name))
        name = "Book";
    // Checked before the property sets, so that a property set sharing the workbook's sectors is the one dropped.
    if (Status st = m_container.checkSectors(name); !st)
        return st;
    std::unique_ptr<OleStream> stream;
    if (Status st = m_container.openStream(name, stream); !st)
        return st;
    if (!stream)
    {
        if (m_container.hasStream("WordDocument") || m_container.hasStream("PowerPoint Document"))
            return {EngineErrc::NotAWorkbook, "The compound file is not a workbook."};
        return {EngineErrc::NotAWorkbook, "The compound file holds no workbook stream."};
    }
    m_source = std::move(stream);
    m_stream = std::make_unique<RecordStream>(*m_source);
    return {};
}

/// BOUNDSHEET says "worksheet" for dialog sheets too; the sheet's own BOF and WSBOOL tell them apart.
void XlsWorkbookReader::classifySheets()
{
    for (auto& sheet : m_globals.sheets)
    {
        if (sheet.kind != model::SheetKind::Worksheet)
            continue;
        m_stream->seek(sheet.offset);
        Record r;
        BofInfo bof;
        if (!m_stream->next(r) || !parseBof(r, bof))
            continue;
        if (bof.type == 0x0020)
        {
            sheet.kind = model::SheetKind::Chart;
            continue;
        }
        if (bof.type == 0x0040 || bof.type == 0x0006)
        {
            sheet.kind = model::SheetKind::Macro;
            continue;
        }
        // WSBOOL comes among the first few records, before any cell.
        for (int i = 0; i < 64 && !m_stream->atEnd(); ++i)
        {
            std::uint16_t s = m_stream->peekSid();
            if (s == kWsBool)
            {
                if (m_stream->next(r) && r.data.size() >= 2 && (r.data[0] & 0x10))
                    sheet.kind = model::SheetKind::Dialog;
                break;
            }
            std::uint16_t skipped = 0;
            std::uint64_t offset = 0;
            if (s == sid::Eof || s == sid::Row || !m_stream->skipNext(skipped, offset))
                break;
        }
    }
}

void XlsWorkbookReader::fillInfo()
{
    auto& info = m_globals.info;
    info.date1904 = m_globals.date1904;
    info.sheets.clear();
    for (const auto& s : m_globals.sheets)
        info.sheets.push_back({s.name, s.kind, s.visibility});
    if (info.activeSheet < 0 || static_cast<std::size_t>(info.activeSheet) >= info.sheets.size())
        info.activeSheet = 0;
    if (info.firstVisibleSheet < 0 || static_cast<std::size_t>(info.firstVisibleSheet) >= info.sheets.size())
        info.firstVisibleSheet = 0;
    buildStyles(m_globals.styles, info.cellStyles, info.namedStyles);
}

void XlsWorkbookReader::fillNames()
{
    formula::FormulaContext ctx = makeFormulaContext(m_globals);
    for (const auto& name : m_globals.names)
    {
        if (name.function || name.name.empty() || name.rgce.empty())
            continue;
        if (name.sheet >= static_cast<int>(m_globals.sheets.size()))
            continue;
        auto result = formula::decompile(name.rgce, name.rgcb, ctx);
        if (!result.status || result.text.empty())
            continue;
        model::DefinedName out;
        out.name = name.name;
        out.refersTo = std::move(result.text);
        out.sheet = name.sheet;
        out.hidden = name.hidden;
        m_globals.info.names.push_back(std::move(out));
    }
}

Status XlsWorkbookReader::readSheet(int index, model::SheetSink& sink)
{
    if (index < 0 || static_cast<std::size_t>(index) >= m_globals.sheets.size())
        return {EngineErrc::InvalidState, "There is no sheet " + std::to_string(index) + "."};
    if (m_globals.sheets[static_cast<std::size_t>(index)].kind != model::SheetKind::Worksheet)
        return {};
    try
    {
        XlsSheetReader reader(m_globals, *m_stream, m_decoder, m_globals.info.cellStyles.size());
        return reader.read(index, sink);
    }
    catch (const std::bad_alloc&)
    {
        return {EngineErrc::OutOfMemory, "Memory ran out while reading sheet " + std::to_string(index + 1) + "."};
    }
}

} // namespace

namespace {

Status openWith(const std::string& path, std::unique_ptr<model::WorkbookReader>& reader, bool bare)
{
    reader.reset();
    try
    {
        auto xls = std::make_unique<XlsWorkbookReader>();
        if (Status st = bare ? xls->openBare(path) : xls->open(path); !st)
            return st;
        reader = std::move(xls);
        return {};
    }
    catch (const std::bad_alloc&)
    {
        return {EngineErrc::OutOfMemory, "Memory ran out while reading " + path + "."};
    }
}

} // namespace

Status openXls(const std::string& path, std::unique_ptr<model::WorkbookReader>& reader)
{
    return openWith(path, reader, false);
}

Status openBiff4OrOlder(const std::string& path, std::unique_ptr<model::WorkbookReader>& reader)
{
    return openWith(path, reader, true);
}

} // namespace velquin::engine::xls
