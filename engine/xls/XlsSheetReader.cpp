// Worksheet substreams: the two passes over a sheet's records, and the table that hands each record of the first
// pass to the reader of its family.
#include "engine/xls/XlsSheetReader.h"

#include "engine/Deadline.h"
#include "engine/xls/XlsFormulaContext.h"

namespace velquin::engine::xls {

namespace {

/// Nested substreams (charts inside a worksheet) deeper than this are not believed.
constexpr int kMaxDepth = 16;

bool isCellRecord(std::uint16_t s)
{
    switch (s)
    {
    case sid::LabelSst:
    case sid::Label:
    case sid::RString:
    case sid::Number:
    case sid::Rk:
    case sid::MulRk:
    case sid::BoolErr:
    case sid::Blank:
    case sid::MulBlank:
    case sid::Formula:
    case sid::Formula4:
    case sid::String:
    case sid::Row:
    case sid::DbCell:
        return true;
    default:
        return false;
    }
}

/// Records the collecting pass reads in full; every other record is passed over by its header.
bool collectsRecord(std::uint16_t s)
{
    switch (s)
    {
    case sid::DefColWidth:
    case sid::StandardWidth:
    case sid::DefaultRowHeight:
    case sid::ColInfo:
    case sid::MergeCells:
    case sid::HLink:
    case sid::HLinkTooltip:
    case sid::Note:
    case sid::Obj:
    case sid::Txo:
    case sid::Window2:
    case sid::Pane:
    case sid::Selection:
    case sid::Scl:
    case sid::AutoFilterInfo:
    case sid::Dv:
    case sid::CondFmt:
    case sid::CondFmt12:
    case sid::Cf:
    case sid::CfEx:
    case sid::ShrFmla:
    case sid::Array:
    case sid::Protect:
    case sid::ObjProtect:
    case sid::ScenProtect:
    case sid::SheetExt:
    case sid::Formula:
    case sid::Formula4:
        return true;
    default:
        return false;
    }
}

} // namespace

XlsSheetReader::XlsSheetReader(const XlsGlobals& globals, RecordStream& stream, CodepageDecoder& decoder,
                               std::size_t cellStyleCount, std::size_t styleBase)
    : m_g(globals), m_stream(stream), m_decoder(decoder), m_strings(globals.biffVersion == 8, decoder),
      m_styleCount(cellStyleCount), m_styleBase(styleBase), m_biff8(globals.biffVersion == 8), m_old(globals), m_ctx(makeFormulaContext(globals)),
      m_digitPixels(digitPixelsOf(globals))
{}

Status XlsSheetReader::read(int index, model::SheetSink& sink, int workbookIndex)
{
    if (index < 0 || static_cast<std::size_t>(index) >= m_g.sheets.size())
        return {EngineErrc::DamagedFile, "There is no sheet " + std::to_string(index) + "."};
    m_sheetIndex = index;
    m_start = m_g.sheets[static_cast<std::size_t>(index)].offset;
    model::SheetHeader header;
    model::SheetOptions options;
    header.index = workbookIndex < 0 ? index : workbookIndex;
    header.name = m_g.sheets[static_cast<std::size_t>(index)].name;
    if (Status st = collect(header, options); !st)
        return st;
    finishHeader(header, options);
    sink.beginSheet(header);
    if (Status st = stream(sink); !st)
        return st;
    if (m_stopped)
        return {EngineErrc::Timeout, "The conversion was stopped in sheet \"" + header.name + "\"."};
    sink.endSheet(options);
    return {};
}

// ---- Both passes ------------------------------------------------------------------------------------------

template <typename Wanted, typename Handle>
Status XlsSheetReader::walkSubstream(Record& r, Wanted wanted, Handle handle)
{
    // Charts and other objects embed substreams of their own (BOF ... EOF) whose records are not the sheet's.
    int depth = 0;
    for (std::uint32_t count = 1;; ++count)
    {
        if (count % 4096 == 1)
            if (Status st = checkDeadline(); !st)
                return st;
        if (m_stream.atEnd())
            return damagedRecord(r.sid, r.offset, "is followed by the end of the stream before the sheet's EOF");
        const std::uint16_t next = m_old.translatedSid(m_stream.peekSid());
        const bool nested = next == sid::Bof || next == sid::Bof2 || next == sid::Bof3 || next == sid::Bof4;
        if (!(next == sid::Eof || nested || (depth == 0 && wanted(next))))
        {
            std::uint16_t skipped = 0;
            std::uint64_t offset = 0;
            if (Status st = m_stream.skipNext(skipped, offset); !st)
                return st;
            continue;
        }
        if (Status st = m_stream.next(r); !st)
            return st;
        if (m_old.active())
            m_old.translate(r);
        // Some writers give a BIFF8 formula cell the record number of BIFF4's FORMULA; its layout is BIFF8's.
        else if (m_biff8 && r.sid == sid::Formula4)
            r.sid = sid::Formula;
        if (nested)
        {
            if (++depth > kMaxDepth)
                return damagedRecord(r.sid, r.offset, "opens too many nested substreams");
            continue;
        }
        if (r.sid == sid::Eof)
        {
            if (depth == 0)
                return {};
            --depth;
            continue;
        }
        if (Status st = handle(r); !st)
            return st;
        if (m_stopped)
            return {};
    }
}

// ---- First pass --------------------------------------------------------------------------------------------

Status XlsSheetReader::collect(model::SheetHeader& header, model::SheetOptions& options)
{
    m_stream.seek(m_start);
    Record r;
    if (Status st = m_stream.next(r); !st)
        return st;
    BofInfo bof;
    if (Status st = parseBof(r, bof); !st)
        return st;
    return walkSubstream(r, collectsRecord, [&](Record& record) { return collectRecord(record, header, options); });
}

Status XlsSheetReader::collectRecord(Record& r, model::SheetHeader& header, model::SheetOptions& options)
{
    switch (r.sid)
    {
    case sid::DefColWidth:
    case sid::StandardWidth:
    case sid::DefaultRowHeight:
    case sid::ColInfo:
    case sid::MergeCells:
        collectRowColumnRecord(r, header);
        return {};
    case sid::HLink:
    case sid::HLinkTooltip:
    case sid::Obj:
    case sid::Txo:
    case sid::Note:
    case sid::Formula:
        return collectObjectRecord(r, header);
    case sid::Window2:
    case sid::Pane:
    case sid::Selection:
    case sid::Scl:
    case sid::AutoFilterInfo:
    case sid::Dv:
    case sid::CondFmt:
    case sid::CondFmt12:
    case sid::Cf:
    case sid::CfEx:
    case sid::Protect:
    case sid::ObjProtect:
    case sid::ScenProtect:
    case sid::SheetExt:
        return collectOptionRecord(r, options);
    case sid::ShrFmla:
    case sid::Array:
        return collectFormulaTokens(r);
    default:
        return {};
    }
}

void XlsSheetReader::finishHeader(model::SheetHeader& header, model::SheetOptions& options)
{
    finishConditionalFormats(options);
    finishColumns(header);
    finishLinks(header);
    finishComments(header);
    finishAutoFilter(options);
}

// ---- Second pass -------------------------------------------------------------------------------------------

Status XlsSheetReader::stream(model::SheetSink& sink)
{
    m_stream.seek(m_start);
    Record r;
    if (Status st = m_stream.next(r); !st)
        return st;
    Status st = walkSubstream(r, isCellRecord, [&](Record& record) { return streamRecord(record, sink); });
    if (!st || m_stopped)
        return st;
    flush(sink, true);
    return {};
}

std::optional<std::string> XlsSheetReader::decompile(std::span<const std::uint8_t> rgce,
                                                     std::span<const std::uint8_t> rgcb, std::uint32_t row,
                                                     std::uint32_t col, bool shared)
{
    if (rgce.empty())
        return std::nullopt;
    formula::FormulaContext ctx = m_ctx;
    ctx.row = row;
    ctx.col = col;
    ctx.sharedFormula = shared;
    auto result = formula::decompile(rgce, rgcb, ctx);
    if (!result.status || result.text.empty() || result.anchor)
        return std::nullopt;
    return std::move(result.text);
}

} // namespace velquin::engine::xls
