// First pass over a worksheet part: keeps what surrounds <sheetData> (columns, views, merges, links...) as a small
// document of its own, and skips the cells, so the sheet's header is known before its cells are streamed.
#pragma once

#include "engine/Error.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace velquin::engine::xlsx {

class ZipPackage;

struct SheetPartSplit
{
    /// The part without the content of <sheetData>: a well-formed document when the part is.
    std::string skeleton;
    /// The whole inflated part when it was small enough to keep (then the second pass needs no inflating).
    std::string whole;
    bool keptWhole = false;
    /// Whether a cell formula calls HYPERLINK, whose target the sheet's links must then include.
    bool hasLinkFormulas = false;
};

/// The largest part kept whole after the first pass, and the most the skeleton may grow to.
inline constexpr std::size_t kKeepWholeLimit = std::size_t(48) << 20;
inline constexpr std::size_t kMaxSkeletonSize = std::size_t(64) << 20;

/// Inflates `partName` once. Errors: DamagedFile, LimitExceeded.
Status splitSheetPart(const ZipPackage& package, const std::string& partName, SheetPartSplit& out);

/// The same on bytes in memory (used by splitSheetPart, and by tests).
class SheetDataSkipper
{
public:
    /// Feeds the next piece of the part.
    void feed(const char* data, std::size_t size, std::string& skeleton);
    /// Whether the end of the cells was found or the part had no cells.
    bool complete() const { return m_phase != Phase::Data; }
    /// Whether the cells mention HYPERLINK( anywhere.
    bool sawLinkFormula() const { return m_sawLinkFormula; }

private:
    enum class Phase : std::uint8_t
    {
        Head,
        Data,
        Tail
    };
    bool findStart(std::string& skeleton);
    void findEnd(const char* data, std::size_t size, std::string& skeleton);

    Phase m_phase = Phase::Head;
    bool m_sawLinkFormula = false;
    std::size_t m_scanFrom = 0;
    std::string m_carry;  ///< the last bytes of the previous piece while in Data, for a tag split across pieces
    std::string m_window; ///< m_carry and the current piece
};

} // namespace velquin::engine::xlsx
