// A workbook reader whose content a test states directly: workbook data plus one function per sheet that feeds
// the sink, so writer and engine tests need no workbook file.
#pragma once

#include "engine/model/WorkbookReader.h"

#include <functional>
#include <utility>
#include <vector>

namespace velquin::test {

class FakeWorkbookReader : public engine::model::WorkbookReader
{
public:
    using SheetFeeder = std::function<engine::Status(engine::model::SheetSink&)>;

    engine::model::WorkbookInfo workbook;
    std::vector<SheetFeeder> feeders; ///< by index into workbook.sheets

    /// Adds a worksheet named `name` fed by `feeder`.
    void addSheet(std::string name, SheetFeeder feeder)
    {
        workbook.sheets.push_back(
            {std::move(name), engine::model::SheetKind::Worksheet, engine::model::Visibility::Visible});
        feeders.push_back(std::move(feeder));
    }

    const engine::model::WorkbookInfo& info() const override { return workbook; }

    engine::Status readSheet(int index, engine::model::SheetSink& sink) override
    {
        if (index < 0 || static_cast<std::size_t>(index) >= feeders.size() || !feeders[static_cast<std::size_t>(index)])
            return {};
        return feeders[static_cast<std::size_t>(index)](sink);
    }
};

/// A sheet header with only its index and name.
inline engine::model::SheetHeader sheetHeader(int index, std::string name)
{
    engine::model::SheetHeader header;
    header.index = index;
    header.name = std::move(name);
    return header;
}

/// A sheet with the given header and cells in order and default options.
inline engine::Status feedCells(engine::model::SheetSink& sink, const engine::model::SheetHeader& header,
                                const std::vector<engine::model::Cell>& cells,
                                const engine::model::SheetOptions& options = {})
{
    sink.beginSheet(header);
    for (const engine::model::Cell& cell : cells)
        sink.cell(cell);
    sink.endSheet(options);
    return {};
}

} // namespace velquin::test
