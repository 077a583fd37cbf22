// Record numbers of the binary workbook parts that the reader understands; all others are passed over.
#pragma once

#include <cstdint>

namespace velquin::engine::xlsb::rt {

// Cells and rows of a worksheet.
inline constexpr std::uint32_t BrtRowHdr = 0;
inline constexpr std::uint32_t BrtCellBlank = 1;
inline constexpr std::uint32_t BrtCellRk = 2;
inline constexpr std::uint32_t BrtCellError = 3;
inline constexpr std::uint32_t BrtCellBool = 4;
inline constexpr std::uint32_t BrtCellReal = 5;
inline constexpr std::uint32_t BrtCellSt = 6;
inline constexpr std::uint32_t BrtCellIsst = 7;
inline constexpr std::uint32_t BrtFmlaString = 8;
inline constexpr std::uint32_t BrtFmlaNum = 9;
inline constexpr std::uint32_t BrtFmlaBool = 10;
inline constexpr std::uint32_t BrtFmlaError = 11;
// The short forms of the value cells leave out the column: each stands in the column after the previous cell.
inline constexpr std::uint32_t BrtShortBlank = 12;
inline constexpr std::uint32_t BrtShortRk = 13;
inline constexpr std::uint32_t BrtShortError = 14;
inline constexpr std::uint32_t BrtShortBool = 15;
inline constexpr std::uint32_t BrtShortReal = 16;
inline constexpr std::uint32_t BrtShortSt = 17;
inline constexpr std::uint32_t BrtShortIsst = 18;
inline constexpr std::uint32_t BrtCellRString = 62;
inline constexpr std::uint32_t BrtArrFmla = 426;
inline constexpr std::uint32_t BrtShrFmla = 427;

// Shared strings.
inline constexpr std::uint32_t BrtSSTItem = 19;

// Workbook.
inline constexpr std::uint32_t BrtName = 39;
inline constexpr std::uint32_t BrtWbProp = 153;
inline constexpr std::uint32_t BrtBundleSh = 156;
inline constexpr std::uint32_t BrtBookView = 158;
inline constexpr std::uint32_t BrtSupSelf = 357;
inline constexpr std::uint32_t BrtSupSame = 358;
inline constexpr std::uint32_t BrtSupTabs = 359;
inline constexpr std::uint32_t BrtBeginSupBook = 360;
inline constexpr std::uint32_t BrtPlaceholderName = 361;
inline constexpr std::uint32_t BrtExternSheet = 362;
inline constexpr std::uint32_t BrtBookProtection = 534;
inline constexpr std::uint32_t BrtSupAddin = 667;

// Styles.
inline constexpr std::uint32_t BrtFont = 43;
inline constexpr std::uint32_t BrtFmt = 44;
inline constexpr std::uint32_t BrtFill = 45;
inline constexpr std::uint32_t BrtBorder = 46;
inline constexpr std::uint32_t BrtXF = 47;
inline constexpr std::uint32_t BrtStyle = 48;
inline constexpr std::uint32_t BrtDXF = 507;
inline constexpr std::uint32_t BrtIndexedColor = 475;
inline constexpr std::uint32_t BrtBeginCellStyleXFs = 626;
inline constexpr std::uint32_t BrtEndCellStyleXFs = 627;
inline constexpr std::uint32_t BrtBeginCellXFs = 617;
inline constexpr std::uint32_t BrtEndCellXFs = 618;

// Worksheet structure.
inline constexpr std::uint32_t BrtColInfo = 60;
inline constexpr std::uint32_t BrtDVal = 64;
inline constexpr std::uint32_t BrtBeginWsView = 137;
inline constexpr std::uint32_t BrtEndWsView = 138;
inline constexpr std::uint32_t BrtBeginSheetData = 145;
inline constexpr std::uint32_t BrtEndSheetData = 146;
inline constexpr std::uint32_t BrtWsProp = 147;
inline constexpr std::uint32_t BrtPane = 151;
inline constexpr std::uint32_t BrtSel = 152;
inline constexpr std::uint32_t BrtBeginAFilter = 161;
inline constexpr std::uint32_t BrtMergeCell = 176;
inline constexpr std::uint32_t BrtBeginCondFormatting = 461;
inline constexpr std::uint32_t BrtEndCondFormatting = 462;
inline constexpr std::uint32_t BrtBeginCFRule = 463;
inline constexpr std::uint32_t BrtWsFmtInfo = 485;
inline constexpr std::uint32_t BrtHLink = 494;
inline constexpr std::uint32_t BrtSheetProtection = 535;

// Comments.
inline constexpr std::uint32_t BrtCommentAuthor = 632;
inline constexpr std::uint32_t BrtBeginComment = 635;
inline constexpr std::uint32_t BrtEndComment = 636;
inline constexpr std::uint32_t BrtCommentText = 637;

} // namespace velquin::engine::xlsb::rt
