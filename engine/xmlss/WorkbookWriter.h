// Writes a whole workbook from a reader as SpreadsheetML 2003.
#pragma once

#include "engine/Error.h"
#include "engine/model/WorkbookReader.h"
#include "engine/xmlss/ByteSink.h"

namespace velquin::engine::xmlss {

/// Streams every worksheet of `reader` through the writer into `sink` (chart, macro and dialog sheets are left
/// out, as Excel leaves them out of this format). Stops with Timeout once the thread's deadline (engine/Deadline.h)
/// has passed.
/// Errors: those of the reader (DamagedFile, LimitExceeded, OutOfMemory, ...), OutputNotWritable, DiskFull, Timeout.
Status writeWorkbook(model::WorkbookReader& reader, ByteSink& sink);

} // namespace velquin::engine::xmlss
