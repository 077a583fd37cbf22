// Workbook-wide data that readers collect before any sheet is streamed: properties, styles, names, sheet list.
#pragma once

#include "engine/model/Style.h"

#include <cstdint>
#include <string>
#include <vector>

namespace velquin::engine::model {

struct CustomProperty
{
    enum class Type : std::uint8_t
    {
        String,
        Number,
        Boolean,
        DateTime
    };
    std::string name;
    Type type = Type::String;
    std::string value; ///< as written in the output: text, shortest number, "1"/"0", ISO date-time
};

/// Document properties. Empty strings are not written. Times are ISO 8601 "YYYY-MM-DDTHH:MM:SSZ".
struct DocumentProperties
{
    std::string title, subject, author, keywords, description, lastAuthor, category, manager, company;
    std::string created, lastSaved, lastPrinted;
    std::string appVersion; ///< e.g. "16.00"; the writer picks a default when empty
    std::vector<CustomProperty> custom;
};

/// A defined name, global (sheet == -1) or local to one sheet.
struct DefinedName
{
    std::string name;     ///< e.g. "Print_Area", "_FilterDatabase", "MyRange"
    std::string refersTo; ///< R1C1 text with its leading "=", e.g. "=Sheet1!R1C1:R4C2"
    int sheet = -1;       ///< index into WorkbookInfo::sheets for a local name
    bool hidden = false;
};

enum class SheetKind : std::uint8_t
{
    Worksheet,
    Chart,
    Macro,
    Dialog
};

enum class Visibility : std::uint8_t
{
    Visible,
    Hidden,
    VeryHidden
};

struct SheetEntry
{
    std::string name;
    SheetKind kind = SheetKind::Worksheet;
    Visibility visibility = Visibility::Visible;
};

/// Everything the writer needs before the first worksheet.
struct WorkbookInfo
{
    DocumentProperties properties;
    bool date1904 = false;
    // Window of the workbook (WINDOW1 / bookViews), written in ExcelWorkbook.
    int windowHeight = 0, windowWidth = 0, windowTopX = 0, windowTopY = 0;
    int tabRatio = 600;
    int activeSheet = 0;     ///< index into sheets
    int firstVisibleSheet = 0;
    bool protectStructure = false;
    bool protectWindows = false;
    std::vector<NamedStyle> namedStyles; ///< [0] is "Normal"
    std::vector<CellStyle> cellStyles;   ///< indexed by Cell::style
    std::vector<DefinedName> names;
    std::vector<SheetEntry> sheets;      ///< in workbook order, charts and macro sheets included
};

} // namespace velquin::engine::model
