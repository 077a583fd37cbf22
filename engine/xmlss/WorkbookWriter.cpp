// The sheet loop: workbook head, each worksheet streamed from the reader, the styles they use, workbook tail.
#include "engine/xmlss/WorkbookWriter.h"

#include "engine/xmlss/SheetWriter.h"
#include "engine/xmlss/XmlOutput.h"
#include "engine/xmlss/XmlssWriter.h"

namespace velquin::engine::xmlss {

namespace {

Status writeSheets(model::WorkbookReader& reader, SheetWriter& sheets)
{
    const model::WorkbookInfo& info = reader.info();
    for (std::size_t i = 0; i < info.sheets.size(); ++i)
    {
        if (info.sheets[i].kind != model::SheetKind::Worksheet)
            continue;
        sheets.setSheetIndex(static_cast<int>(i));
        const Status read = reader.readSheet(static_cast<int>(i), sheets);
        // A stop the writer asked for explains a reader's failure better than the reader can.
        if (Status stopped = sheets.error(); !stopped)
            return stopped;
        if (!read)
            return read;
        if (sheets.sheetOpen())
            return {EngineErrc::DamagedFile, "Sheet \"" + info.sheets[i].name + "\" ended early."};
    }
    return {};
}

} // namespace

Status writeWorkbook(model::WorkbookReader& reader, ByteSink& sink)
{
    const model::WorkbookInfo& info = reader.info();
    // Styles come before the worksheets but list only the formats the worksheets use, which the reader tells only
    // as it streams them: the worksheets go to a spill first and follow the styles once those are written.
    std::unique_ptr<Spill> spill;
    if (Status created = sink.createSpill(spill); !created)
        return created;
    XmlOutput out(sink);
    XmlssWriter writer(out, info);
    writer.writeHead();
    {
        XmlOutput body(*spill);
        SheetWriter sheets(body, info, writer.styles());
        if (Status written = writeSheets(reader, sheets); !written)
            return written;
        if (Status flushed = body.flush(); !flushed)
            return flushed;
        writer.writeStyles(sheets.usedStyles(), sheets.mergedStyles());
        writer.writeNames();
    }
    if (Status flushed = out.flush(); !flushed)
        return flushed;
    if (Status copied = spill->copyTo(sink); !copied)
        return copied;
    writer.writeTail();
    return out.flush();
}

} // namespace velquin::engine::xmlss
