// The sheet loop: workbook head, each worksheet streamed from the reader, workbook tail.
#include "engine/xmlss/WorkbookWriter.h"

#include "engine/xmlss/SheetWriter.h"
#include "engine/xmlss/XmlOutput.h"
#include "engine/xmlss/XmlssWriter.h"

namespace velquin::engine::xmlss {

Status writeWorkbook(model::WorkbookReader& reader, ByteSink& sink)
{
    const model::WorkbookInfo& info = reader.info();
    XmlOutput out(sink);
    XmlssWriter writer(out, info);
    writer.writeHead();
    SheetWriter sheets(out, info, writer.styles());
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
    writer.writeTail();
    return out.flush();
}

} // namespace velquin::engine::xmlss
