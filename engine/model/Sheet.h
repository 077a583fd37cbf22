// One worksheet as readers stream it to the writer: a header with everything a cell needs to know about its
// neighbours (merges, links, comments), then rows and cells in order, then the sheet's options.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velquin::engine::model {

/// Maximum size of a sheet in the newest format; readers reject anything beyond it.
inline constexpr std::uint32_t kMaxRows = 1048576;
inline constexpr std::uint32_t kMaxColumns = 16384;

/// A column range with the same properties. Indices are 0-based.
struct ColumnInfo
{
    std::uint32_t first = 0, last = 0;
    double width = -1; ///< points; < 0 = default width
    bool hidden = false;
    int style = -1; ///< index into WorkbookInfo::cellStyles, -1 = none
    bool autoFit = false;
};

struct MergedRange
{
    std::uint32_t firstRow = 0, firstCol = 0, lastRow = 0, lastCol = 0;
};

struct Hyperlink
{
    std::uint32_t firstRow = 0, firstCol = 0, lastRow = 0, lastCol = 0;
    std::string href;      ///< "http://...", "mailto:...", a file path, or "#Sheet1!A1" for a place in the workbook
    std::string screenTip; ///< x:HRefScreenTip
};

/// A run of rich text: its characters and, when formatted, its font.
struct TextRun
{
    std::string text; ///< UTF-8
    bool hasFont = false;
    struct Font
    {
        std::string name;
        double size = 0; ///< 0 = inherit
        bool bold = false, italic = false, strike = false;
        std::uint8_t underline = 0;     ///< as model::Underline
        std::uint8_t verticalAlign = 0; ///< as model::VerticalAlign
        bool hasColor = false;
        std::uint8_t r = 0, g = 0, b = 0;
    } font;
};

struct Comment
{
    std::uint32_t row = 0, col = 0;
    std::string author;
    std::vector<TextRun> text; ///< one unformatted run for plain text
    bool shown = false;        ///< ss:ShowAlways
};

/// Everything about a sheet that must be known before its cells are written. Readers gather merges, links and
/// comments in a cheap pass before streaming the cells (in both file formats they come after the cells).
struct SheetHeader
{
    int index = 0; ///< index into WorkbookInfo::sheets
    std::string name;
    double defaultColumnWidth = -1;    ///< points; < 0 = not known
    double defaultRowHeight = -1;      ///< points; < 0 = not known
    std::vector<ColumnInfo> columns;   ///< sorted, not overlapping
    std::vector<MergedRange> merges;   ///< any order
    std::vector<Hyperlink> hyperlinks; ///< any order
    std::vector<Comment> comments;     ///< any order
};

struct RowInfo
{
    std::uint32_t row = 0; ///< 0-based
    double height = -1;    ///< points; < 0 = default
    bool customHeight = false;
    bool hidden = false;
    int style = -1; ///< index into WorkbookInfo::cellStyles, -1 = none
};

enum class CellType : std::uint8_t
{
    Blank,  ///< a styled cell without a value
    Number, ///< the writer turns it into DateTime when its format is a date format
    String,
    Boolean,
    Error
};

/// One cell, valid only during the SheetSink::cell call (views point into reader buffers).
struct Cell
{
    std::uint32_t row = 0, col = 0; ///< 0-based
    int style = -1;                 ///< index into WorkbookInfo::cellStyles, -1 = default
    CellType type = CellType::Blank;
    double number = 0;             ///< Number
    bool boolean = false;          ///< Boolean
    std::string_view text;         ///< String (UTF-8) or Error ("#DIV/0!", "#N/A", ...)
    std::span<const TextRun> runs; ///< rich text of a String; empty = plain
    std::string_view formula;      ///< R1C1 with its leading "=", empty = none
    std::string_view arrayRange;   ///< R1C1 range of an array formula relative to this cell, e.g. "RC:R[2]C"
};

enum class PaneKind : std::uint8_t
{
    None,
    Frozen,
    Split
};

struct Selection
{
    int pane = 3; ///< 3 = top-left / only pane, 1 = top-right, 2 = bottom-left, 0 = bottom-right
    std::uint32_t activeRow = 0, activeCol = 0;
    std::string rangeR1C1; ///< x:RangeSelection, e.g. "R1C1:R3C4"; empty when only the active cell
};

struct DataValidation
{
    std::string rangeR1C1; ///< e.g. "R2C1:R10C1"
    std::string type;      ///< x:Type: "Whole", "Decimal", "List", "Date", "Time", "TextLength", "Custom"; empty = any
    std::string qualifier; ///< x:Qualifier: "Between", "NotBetween", "Equal", "NotEqual", "Greater", "Less", ...
    std::string value, min, max;   ///< R1C1 formulas without "=" (x:Value, x:Min, x:Max)
    bool allowBlank = true;        ///< x:IgnoreBlanks when true
    bool suppressDropDown = false; ///< the in-cell drop-down of a list is hidden (x:ComboHide)
    std::string inputTitle, inputMessage, errorTitle, errorMessage;
    std::string errorStyle; ///< "Stop" (default), "Warn", "Info"
    bool showInput = true, showError = true;
};

struct ConditionalRule
{
    std::string qualifier;      ///< x:Qualifier, empty for expression rules
    std::string value1, value2; ///< R1C1 formulas without "="
    std::string css;            ///< x:Format Style attribute, e.g. "color:red;font-weight:700"
};

struct ConditionalFormat
{
    std::string rangeR1C1;
    std::vector<ConditionalRule> rules;
};

/// What comes after the cells: window, panes, selection, filter, validation, conditional formats, protection.
struct SheetOptions
{
    bool selected = false; ///< the active tab
    PaneKind paneKind = PaneKind::None;
    std::uint32_t splitRows = 0; ///< frozen: rows above the split; split: vertical position in twips
    std::uint32_t splitCols = 0; ///< frozen: columns left of the split; split: horizontal position in twips
    std::uint32_t topRowBottomPane = 0, leftColRightPane = 0;
    int activePane = 3;
    std::uint32_t topRowVisible = 0, leftColVisible = 0;
    std::vector<Selection> selections;
    bool showGridlines = true, showRowColHeaders = true, showZeros = true, rightToLeft = false;
    int zoom = 100;
    bool pageBreakPreview = false;
    std::optional<std::string> autoFilterR1C1; ///< x:AutoFilter x:Range, e.g. "R1C1:R10C4"
    std::vector<DataValidation> validations;
    std::vector<ConditionalFormat> conditionalFormats;
    bool protectContents = false, protectObjects = false, protectScenarios = false;
    std::uint32_t tabColorIndex = 0; ///< 0 = none
};

/// Receives one sheet. Readers call beginSheet, then row/cell in row-major order (row() for a row before its
/// cells, or alone for a formatted empty row), then endSheet. A reader that fails stops calling; the caller
/// discards the output.
class SheetSink
{
public:
    virtual ~SheetSink() = default;
    virtual void beginSheet(const SheetHeader& header) = 0;
    virtual void row(const RowInfo& row) = 0;
    virtual void cell(const Cell& cell) = 0;
    virtual void endSheet(const SheetOptions& options) = 0;
    /// Readers poll this every few thousand cells and stop with the sink's reason (a time limit ran out, the disk
    /// is full); the caller asks the sink for the error.
    virtual bool shouldStop() const { return false; }
};

} // namespace velquin::engine::model
