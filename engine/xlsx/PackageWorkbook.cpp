// The workbook-level reading that .xlsx and .xlsb packages share.
#include "engine/xlsx/PackageWorkbook.h"

#include "engine/xlsx/PropertiesReader.h"
#include "engine/xlsx/ZipPackage.h"

namespace velquin::engine::xlsx {

using namespace model;

namespace {

SheetKind kindOf(const Relationship& rel)
{
    if (rel.typeIs("chartsheet"))
        return SheetKind::Chart;
    if (rel.typeIs("macrosheet") || rel.typeIs("xlMacrosheet") || rel.typeIs("xlIntlMacrosheet"))
        return SheetKind::Macro;
    if (rel.typeIs("dialogsheet"))
        return SheetKind::Dialog;
    return SheetKind::Worksheet;
}

} // namespace

const Relationship* findRelationshipByType(const std::vector<Relationship>& rels, std::string_view kind)
{
    for (const Relationship& rel : rels)
    {
        if (!rel.external && rel.typeIs(kind))
            return &rel;
    }
    return nullptr;
}

const Relationship* findRelationshipById(const std::vector<Relationship>& rels, std::string_view id)
{
    for (const Relationship& rel : rels)
    {
        if (rel.id == id)
            return &rel;
    }
    return nullptr;
}

Status findWorkbookPart(const ZipPackage& package, const std::vector<Relationship>& packageRels,
                        std::string_view usualName, std::string& workbookPart)
{
    if (const Relationship* rel = findRelationshipByType(packageRels, "officeDocument"))
        workbookPart = rel->target;
    else if (package.contains(usualName))
        workbookPart = usualName;
    if (workbookPart.empty() || !package.contains(workbookPart))
        return {EngineErrc::NotAWorkbook, "the package holds no workbook part"};
    return {};
}

void takeWorkbookFrame(WorkbookFrame& frame, const std::vector<Relationship>& workbookRels, WorkbookInfo& info,
                       std::vector<std::string>& sheetParts)
{
    info.date1904 = frame.date1904;
    info.windowHeight = frame.windowHeight;
    info.windowWidth = frame.windowWidth;
    info.windowTopX = frame.windowTopX;
    info.windowTopY = frame.windowTopY;
    info.tabRatio = frame.tabRatio;
    info.activeSheet = frame.activeTab;
    info.firstVisibleSheet = frame.firstSheet;
    info.protectStructure = frame.protectStructure;
    info.protectWindows = frame.protectWindows;
    for (WorkbookFrame::Sheet& sheet : frame.sheets)
    {
        SheetEntry entry;
        entry.name = std::move(sheet.name);
        entry.visibility = sheet.visibility;
        const Relationship* rel = findRelationshipById(workbookRels, sheet.relationshipId);
        std::string part;
        if (rel && !rel->external)
        {
            entry.kind = kindOf(*rel);
            part = rel->target;
        }
        info.sheets.push_back(std::move(entry));
        sheetParts.push_back(std::move(part));
    }
}

Status readPackageProperties(const ZipPackage& package, const std::vector<Relationship>& packageRels,
                             DocumentProperties& properties)
{
    struct Source
    {
        std::string_view kind;
        Status (*read)(std::string_view, DocumentProperties&);
    };
    for (Source source :
         {Source{"core-properties", readCoreProperties}, Source{"extended-properties", readAppProperties},
          Source{"custom-properties", readCustomProperties}})
    {
        const Relationship* rel = findRelationshipByType(packageRels, source.kind);
        if (!rel || !package.contains(rel->target))
            continue;
        std::string xml;
        if (Status status = package.read(rel->target, xml); !status)
            return status;
        // Properties are not worth refusing a workbook over.
        (void)source.read(xml, properties);
    }
    return {};
}

} // namespace velquin::engine::xlsx
