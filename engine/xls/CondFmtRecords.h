// Conditional-format records of a worksheet: CONDFMT (the ranges), CF (one rule each, with the differential
// format it applies) and CFEX (what Excel 2007 and later add to a CF rule, such as the exact colours).
#pragma once

#include "engine/model/Style.h"
#include "engine/xls/XlsStyles.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace velquin::engine::xls {

/// The formatting a rule applies: only what it sets. Colours are palette indexes unless the rule's CFEX record
/// gave an exact colour (RGB, or of the theme), which then wins.
struct DifferentialFormat
{
    std::optional<std::uint16_t> fontColorIndex, fillColorIndex;
    std::optional<FullColor> fontColor, fillColor;
    std::optional<bool> bold, italic, underline, strike;

    /// The rule's Style attribute in the order Excel writes it, e.g. "color:#9C0006;font-weight:700;
    /// background:#FFC7CE"; automatic and system colours are left out.
    std::string css(const Palette& palette) const;
};

/// CONDFMT: the cells that the CF records after it format.
struct CondFmtRecord
{
    std::uint16_t ruleCount = 0; ///< CF records that follow, at most 3
    std::uint16_t id = 0;        ///< the number CFEX records name it by
    /// 0-based first cell of the first range: the cell the rules' relative references count from.
    std::uint32_t firstRow = 0, firstCol = 0;
    std::string rangeR1C1; ///< "R7C2:R8C4", several ranges joined with ','
};

/// CF: one rule. The token spans point into the record's payload.
struct CfRecord
{
    std::uint8_t type = 0;       ///< 1 compares the cell's value, 2 is a formula that must be true
    std::uint8_t comparison = 0; ///< type 1: 1..8 = between, not between, =, <>, >, <, >=, <=
    std::span<const std::uint8_t> rgce1, rgce2;
    DifferentialFormat format;
};

/// CFEX extending a CF rule: which rule, and the exact colours its format carries, if any.
struct CfExRecord
{
    std::uint16_t id = 0;        ///< the CONDFMT's id
    std::uint16_t ruleIndex = 0; ///< 0-based position of the CF record after that CONDFMT
    std::optional<FullColor> fontColor, fillColor;
};

/// Parses a CONDFMT payload; nothing when it is damaged or names no range.
std::optional<CondFmtRecord> parseCondFmt(std::span<const std::uint8_t> payload);
/// Parses a CF payload; nothing when it is damaged (lengths past the end, a format that does not fit).
std::optional<CfRecord> parseCf(std::span<const std::uint8_t> payload);
/// Parses a CFEX payload; nothing when it is damaged or extends a rule of the newer kind (CF12).
std::optional<CfExRecord> parseCfEx(std::span<const std::uint8_t> payload);

} // namespace velquin::engine::xls
