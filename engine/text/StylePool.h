// The cell formats of a text file, each kept once: readers ask for the index of a format and get the existing one
// when it is already there.
#pragma once

#include "engine/model/Workbook.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace velquin::engine::text {

/// The most distinct cell formats one text file may use (Excel's own limit is about 64000).
inline constexpr std::size_t kMaxCellStyles = 64000;

/// Sets the number format of `style` from a format as XML Spreadsheets and Excel's web pages write it: one of
/// their names ("Fixed", "Short Date", ...) or a format code ("" is General).
void setNumberFormat(std::string_view format, model::CellStyle& style);

class StylePool
{
public:
    explicit StylePool(model::WorkbookInfo& workbook) : m_workbook(workbook) {}

    /// The index of `style` in the workbook's cellStyles, added when new; -1 when the pool is full (the cell then
    /// keeps the default format).
    int add(const model::CellStyle& style);
    /// `base` with the built-in number format `formatId` (0 = General).
    int withFormat(const model::CellStyle& base, int formatId);

private:
    model::WorkbookInfo& m_workbook;
};

} // namespace velquin::engine::text
