// Reader for Excel binary workbooks (.xlsb).
#include "engine/xlsb/XlsbReader.h"

#include "engine/xlsb/XlsbWorkbook.h"
#include "engine/xlsx/Relationships.h"
#include "engine/xlsx/ZipPackage.h"

#include <new>

namespace velquin::engine::xlsb {

namespace {

template <typename Source> Status openWith(Source source, std::unique_ptr<model::WorkbookReader>& reader)
{
    reader.reset();
    try
    {
        auto workbook = std::make_unique<XlsbWorkbook>();
        if (Status status = workbook->open(source); !status)
            return status;
        reader = std::move(workbook);
        return {};
    }
    catch (const std::bad_alloc&)
    {
        return {EngineErrc::OutOfMemory, {}};
    }
}

} // namespace

bool isBinaryPackage(const std::string& path)
{
    xlsx::ZipPackage package;
    return package.open(path) && isBinaryPackage(package);
}

bool isBinaryPackage(const xlsx::ZipPackage& package)
{
    std::vector<xlsx::Relationship> rels;
    if (!xlsx::readRelationships(package, "", rels))
        return false;
    std::string part;
    for (const xlsx::Relationship& rel : rels)
    {
        if (!rel.external && rel.typeIs("officeDocument"))
            part = rel.target;
    }
    if (part.empty())
        return !package.contains("xl/workbook.xml") && package.contains("xl/workbook.bin");
    xlsx::ContentTypes types;
    if (types.read(package) && types.of(part).find("binary") != std::string_view::npos)
        return true;
    return part.size() > 4 && part.compare(part.size() - 4, 4, ".bin") == 0;
}

Status openXlsb(const std::string& path, std::unique_ptr<model::WorkbookReader>& reader)
{
    return openWith(path, reader);
}

Status openXlsb(zip_source* source, std::unique_ptr<model::WorkbookReader>& reader)
{
    return openWith(source, reader);
}

} // namespace velquin::engine::xlsb
