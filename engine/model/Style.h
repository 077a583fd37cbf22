// Cell formatting as SpreadsheetML 2003 expresses it: font, interior, borders, alignment, number format, protection.
// Readers translate their format's records (XF, FONT, styles.xml) into these values; the writer prints them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velquin::engine::model {

/// An RGB colour, written as "#RRGGBB".
struct Rgb
{
    std::uint8_t r = 0, g = 0, b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

enum class Underline : std::uint8_t
{
    None,
    Single,
    Double,
    SingleAccounting,
    DoubleAccounting
};

enum class VerticalAlign : std::uint8_t
{
    None,
    Superscript,
    Subscript
};

struct Font
{
    std::string name = "Arial"; ///< ss:FontName
    double size = 10;           ///< ss:Size, points
    bool bold = false;          ///< ss:Bold
    bool italic = false;        ///< ss:Italic
    bool strike = false;        ///< ss:StrikeThrough
    bool outline = false;       ///< ss:Outline
    bool shadow = false;        ///< ss:Shadow
    Underline underline = Underline::None;
    VerticalAlign verticalAlign = VerticalAlign::None;
    std::optional<Rgb> color; ///< nothing = automatic
    std::string family;       ///< x:Family ("Swiss", "Roman", "Modern", "Script", "Decorative"), empty = not written
    int charset = 0;          ///< x:CharSet, 0 = not written
    friend bool operator==(const Font&, const Font&) = default;
};

/// ss:Pattern values of Interior.
enum class Pattern : std::uint8_t
{
    None,
    Solid,
    Gray75,
    Gray50,
    Gray25,
    Gray125,
    Gray0625,
    HorzStripe,
    VertStripe,
    ReverseDiagStripe,
    DiagStripe,
    DiagCross,
    ThickDiagCross,
    ThinHorzStripe,
    ThinVertStripe,
    ThinReverseDiagStripe,
    ThinDiagStripe,
    ThinHorzCross,
    ThinDiagCross
};

struct Interior
{
    std::optional<Rgb> color;        ///< ss:Color
    Pattern pattern = Pattern::None; ///< ss:Pattern
    std::optional<Rgb> patternColor; ///< ss:PatternColor
    friend bool operator==(const Interior&, const Interior&) = default;
};

/// ss:LineStyle values of a Border.
enum class LineStyle : std::uint8_t
{
    None,
    Continuous,
    Dash,
    Dot,
    DashDot,
    DashDotDot,
    SlantDashDot,
    Double
};

struct BorderEdge
{
    LineStyle lineStyle = LineStyle::None;
    int weight = 0; ///< ss:Weight 0..3
    std::optional<Rgb> color;
    bool windowBackground = false; ///< without a colour: the system's window background (ss:Color="Background")
    friend bool operator==(const BorderEdge&, const BorderEdge&) = default;
};

struct Borders
{
    BorderEdge left, top, right, bottom, diagonalLeft, diagonalRight;
    friend bool operator==(const Borders&, const Borders&) = default;
};

enum class Horizontal : std::uint8_t
{
    Automatic, ///< "General" in the file formats
    Left,
    Center,
    Right,
    Fill,
    Justify,
    CenterAcrossSelection,
    Distributed,
    JustifyDistributed
};

enum class Vertical : std::uint8_t
{
    Bottom,
    Top,
    Center,
    Justify,
    Distributed,
    JustifyDistributed
};

enum class ReadingOrder : std::uint8_t
{
    Context,
    LeftToRight,
    RightToLeft
};

struct Alignment
{
    Horizontal horizontal = Horizontal::Automatic;
    Vertical vertical = Vertical::Bottom;
    bool wrapText = false;
    bool shrinkToFit = false;
    bool verticalText = false; ///< stacked letters (rotation 255 in the file formats)
    int rotate = 0;            ///< degrees, -90..90
    int indent = 0;
    ReadingOrder readingOrder = ReadingOrder::Context;
    friend bool operator==(const Alignment&, const Alignment&) = default;
};

struct Protection
{
    bool locked = true;       ///< ss:Protected
    bool hideFormula = false; ///< x:HideFormula
    friend bool operator==(const Protection&, const Protection&) = default;
};

/// One complete cell format. Every field holds its effective value (parent style already applied), so the
/// writer can print it without looking anything up.
struct CellStyle
{
    Font font;
    Interior interior;
    Borders borders;
    Alignment alignment;
    Protection protection;
    std::string numberFormat = "General"; ///< the format code as the workbook stores it ("0.00%", "m/d/yyyy", ...)
    int numberFormatId = 0;               ///< the built-in format number when there is one, else -1
    int parentStyle = -1;                 ///< index into WorkbookInfo::namedStyles, -1 = none
    friend bool operator==(const CellStyle&, const CellStyle&) = default;
};

/// A named cell style ("Normal", "Hyperlink", user styles). Index 0 is always "Normal".
struct NamedStyle
{
    std::string name;
    CellStyle style;
    int builtinId = -1; ///< built-in style number (0 = Normal, 8 = Hyperlink, ...), -1 for user styles
};

} // namespace velquin::engine::model
