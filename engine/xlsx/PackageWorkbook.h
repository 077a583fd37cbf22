// The workbook-level reading that .xlsx and .xlsb packages share: finding the workbook part, its sheets, window
// and protection, and the document properties.
#pragma once

#include "engine/Error.h"
#include "engine/model/Workbook.h"
#include "engine/xlsx/Relationships.h"

#include <string>
#include <string_view>
#include <vector>

namespace velquin::engine::xlsx {

class ZipPackage;

/// What the workbook part says of its sheets, the date system, the window and protection, in either form.
struct WorkbookFrame
{
    struct Sheet
    {
        std::string name;
        std::string relationshipId;
        model::Visibility visibility = model::Visibility::Visible;
    };
    std::vector<Sheet> sheets;
    bool date1904 = false;
    int windowHeight = 0, windowWidth = 0, windowTopX = 0, windowTopY = 0;
    int tabRatio = 600;
    int activeTab = 0, firstSheet = 0;
    bool protectStructure = false, protectWindows = false;
};

/// The first internal relationship of type `kind` ("styles", "theme"...), or null.
const Relationship* findRelationshipByType(const std::vector<Relationship>& rels, std::string_view kind);
/// The relationship with identifier `id`, or null.
const Relationship* findRelationshipById(const std::vector<Relationship>& rels, std::string_view id);

/// The workbook part the package relationships name, else `usualName` when the package holds it.
/// Errors: NotAWorkbook.
Status findWorkbookPart(const ZipPackage& package, const std::vector<Relationship>& packageRels,
                        std::string_view usualName, std::string& workbookPart);

/// Moves the frame into `info` and gives each sheet its part through `workbookRels` (empty when it has none).
void takeWorkbookFrame(WorkbookFrame& frame, const std::vector<Relationship>& workbookRels, model::WorkbookInfo& info,
                       std::vector<std::string>& sheetParts);

/// The core, extended and custom properties the package relationships name; a part that does not parse is passed
/// over. Errors: those of reading a part.
Status readPackageProperties(const ZipPackage& package, const std::vector<Relationship>& packageRels,
                             model::DocumentProperties& properties);

} // namespace velquin::engine::xlsx
