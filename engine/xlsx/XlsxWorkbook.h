// An opened .xlsx/.xlsm package: its workbook-wide parts read, its worksheets streamed on request.
#pragma once

#include "engine/Error.h"
#include "engine/formula/R1C1Translator.h"
#include "engine/model/WorkbookReader.h"
#include "engine/xlsx/ColorResolver.h"
#include "engine/xlsx/Relationships.h"
#include "engine/xlsx/SharedStrings.h"
#include "engine/xlsx/SheetPartSplitter.h"
#include "engine/xlsx/ZipPackage.h"

#include <string>
#include <vector>

namespace velquin::engine::xlsx {

class XlsxWorkbook : public model::WorkbookReader
{
public:
    /// Opens the package and reads properties, theme, styles, shared strings and the workbook part. Errors:
    /// FileNotFound, FileUnreadable, NotAWorkbook, UnsupportedFormat (.xlsb), EncryptedWorkbook, DamagedFile,
    /// LimitExceeded, OutOfMemory.
    Status open(const std::string& path);
    /// The same for the package that a libzip source gives (a decrypted package); takes `source` over.
    Status open(zip_source* source);

    const model::WorkbookInfo& info() const override { return m_info; }
    Status readSheet(int index, model::SheetSink& sink) override;

private:
    Status readPackage();
    Status findWorkbookPart(const std::vector<Relationship>& packageRels);
    Status readWorkbookWideParts(const std::vector<Relationship>& workbookRels);
    Status readProperties(const std::vector<Relationship>& packageRels);
    Status streamSheet(int index, model::SheetSink& sink);
    Status readOptionalPart(const std::string& partName, std::string& xml) const;
    std::string linkLocation(int sheet, std::string_view location) const;
    void readExternalBooks(const std::vector<Relationship>& workbookRels, const std::vector<std::string>& ids);
    Status addFormulaLinks(const std::string& part, const SheetPartSplit& split, model::SheetHeader& header) const;
    Status readSheetRelations(const std::string& partName, model::SheetHeader& header,
                              const std::vector<std::string>& linkRelationships,
                              const std::vector<std::string>& linkLocations);

    ZipPackage m_package;
    model::WorkbookInfo m_info;
    std::string m_workbookPart;
    std::vector<std::string> m_sheetParts; ///< per info().sheets entry; empty when the sheet has no part
    ColorResolver m_colors;
    SharedStrings m_strings;
    std::vector<std::string> m_differentialCss;
    std::vector<std::string> m_namesA1;                 ///< per info().names entry
    std::vector<formula::ExternalBook> m_externalBooks; ///< what "[1]", "[2]"... of formula text stand for
    int m_maxDigitWidth = 7;
};

} // namespace velquin::engine::xlsx
