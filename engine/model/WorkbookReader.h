// The interface both file-format readers implement: workbook-wide data first, then one sheet at a time.
#pragma once

#include "engine/Error.h"
#include "engine/model/Sheet.h"
#include "engine/model/Workbook.h"

#include <memory>
#include <string>

namespace velquin::engine::model {

class WorkbookReader
{
public:
    virtual ~WorkbookReader() = default;
    /// Properties, styles, names and the sheet list; valid after a successful open.
    virtual const WorkbookInfo& info() const = 0;
    /// Streams worksheet `index` (an index into info().sheets) to `sink`. Chart, macro and dialog sheets are
    /// not streamed. Errors: DamagedFile, LimitExceeded, OutOfMemory, Timeout.
    virtual Status readSheet(int index, SheetSink& sink) = 0;
};

} // namespace velquin::engine::model
