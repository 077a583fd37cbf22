// What the batch conversion needs from the main window: the two list views and the output box to read, and the
// progress bar and mouse pointer to drive. The window implements these; tests use plain fakes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace velquin::convert {

/// The sources, the workbooks of the selected source and the output directory box, as the batch reads them.
class WorkbookLists
{
public:
    virtual ~WorkbookLists() = default;

    /// Number of entries of the input list ListView1.
    virtual std::int32_t inputCount() const = 0;
    /// Text of the selected entry of ListView1; nothing when no entry is selected.
    virtual std::optional<std::string> selectedInput() const = 0;
    /// Number of entries of the workbook list ListView2.
    virtual std::int32_t workbookCount() const = 0;
    /// Text (a bare file name) of the ListView2 entry at the 1-based `index`.
    virtual std::string workbookText(std::int32_t index) const = 0;
    virtual bool workbookChecked(std::int32_t index) const = 0;
    /// The text Combo2 shows: a remembered output folder or a typed path.
    virtual std::string outputText() const = 0;
    /// Combo2's selected list position, or -1 when the text was typed and belongs to no entry.
    virtual std::int32_t outputListIndex() const = 0;
};

/// The progress bar and the mouse pointer of the window.
class BatchProgress
{
public:
    virtual ~BatchProgress() = default;
    virtual void setProgressMaximum(std::int32_t maximum) = 0;
    virtual void setProgressValue(std::int32_t value) = 0;
    /// The wait cursor over the window while true, the default pointer when false.
    virtual void setBusy(bool busy) = 0;
    /// Lets the window repaint (the progress bar moves) between two workbooks; takes no user input.
    virtual void repaintNow() = 0;
};

} // namespace velquin::convert
