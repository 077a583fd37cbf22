// Reads workbook.xml: the sheets in order, defined names, the date system, the window and protection.
#pragma once

#include "engine/Error.h"
#include "engine/model/Workbook.h"

#include <string>
#include <string_view>
#include <vector>

namespace velquin::engine::xlsx {

struct WorkbookPart
{
    struct Sheet
    {
        std::string name;
        std::string relationshipId;
        model::Visibility visibility = model::Visibility::Visible;
    };
    std::vector<Sheet> sheets;
    std::vector<model::DefinedName> names;       ///< already in R1C1; local names carry their sheet index
    std::vector<std::string> namesA1;            ///< the A1 text of each name as the part stores it
    std::vector<std::string> externalReferences; ///< relationship ids of the external links, "[1]" first
    bool date1904 = false;
    int windowHeight = 0, windowWidth = 0, windowTopX = 0, windowTopY = 0;
    int tabRatio = 600;
    int activeTab = 0, firstSheet = 0;
    bool protectStructure = false, protectWindows = false;
};

/// Parses workbook.xml. Errors: DamagedFile (not well-formed, no sheets), LimitExceeded.
Status readWorkbookPart(std::string_view xml, std::string_view partName, WorkbookPart& out);

} // namespace velquin::engine::xlsx
