// An opened .xlsb package: its workbook-wide parts read, its worksheets streamed on request.
#pragma once

#include "engine/Error.h"
#include "engine/model/WorkbookReader.h"
#include "engine/xls/SharedStringTable.h"
#include "engine/xls/formula/FormulaDecompiler.h"
#include "engine/xlsx/ColorResolver.h"
#include "engine/xlsx/Relationships.h"
#include "engine/xlsx/SharedStrings.h"
#include "engine/xlsx/ZipPackage.h"

#include <cstdint>
#include <string>
#include <vector>

namespace velquin::engine::xlsb {

struct BinaryTable;
struct BinaryWorkbookPart;

class XlsbWorkbook : public model::WorkbookReader
{
public:
    /// Opens the package and reads properties, theme, styles, shared strings and the workbook part. Errors:
    /// FileNotFound, FileUnreadable, NotAWorkbook, DamagedFile, LimitExceeded, OutOfMemory, Timeout.
    Status open(const std::string& path);
    /// The same for the package `source` gives; takes `source` over in every case.
    Status open(zip_source* source);

    const model::WorkbookInfo& info() const override { return m_info; }
    Status readSheet(int index, model::SheetSink& sink) override;

private:
    Status readPackage();
    Status readWorkbookWideParts(const std::vector<xlsx::Relationship>& workbookRels);
    Status readStylesAndStrings(const std::vector<xlsx::Relationship>& workbookRels);
    Status readWorkbookPart(const std::vector<xlsx::Relationship>& workbookRels);
    void readNames(const BinaryWorkbookPart& part);
    Status readTables(const std::vector<xlsx::Relationship>& rels, const BinaryWorkbookPart& part,
                      std::vector<BinaryTable>& tables) const;
    Status readBinaryPart(const std::string& partName, std::vector<std::uint8_t>& bytes) const;
    Status streamSheet(int index, model::SheetSink& sink);
    Status readSheetRelations(const std::string& partName, model::SheetHeader& header,
                              const std::vector<std::string>& linkRelationships,
                              const std::vector<std::string>& linkLocations) const;

    xlsx::ZipPackage m_package;
    model::WorkbookInfo m_info;
    std::string m_workbookPart;
    std::vector<std::string> m_sheetParts; ///< per info().sheets entry; empty when the sheet has no part
    xlsx::ColorResolver m_colors;
    xlsx::SharedStrings m_strings;
    std::vector<std::string> m_differentialCss;
    std::vector<model::Font> m_fonts; ///< of the styles part, for rich text
    xls::SharedStringTable::FontLookup m_fontLookup;
    xls::formula::FormulaContext m_formulas;
    int m_maxDigitWidth = 7;
};

} // namespace velquin::engine::xlsb
