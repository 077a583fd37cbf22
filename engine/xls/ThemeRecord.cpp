// Reading the theme package of a THEME record from memory.
#include "engine/xls/ThemeRecord.h"

#include "engine/xlsx/ColorResolver.h"
#include "engine/xlsx/XmlParser.h"

#include <memory>
#include <string>
#include <zip.h>

namespace velquin::engine::xls {

namespace {

constexpr std::string_view kThemeContentType = "application/vnd.openxmlformats-officedocument.theme+xml";
constexpr std::string_view kUsualThemePart = "theme/theme/theme1.xml";

struct ArchiveCloser
{
    void operator()(zip_t* archive) const { zip_discard(archive); }
};
using Archive = std::unique_ptr<zip_t, ArchiveCloser>;

struct FileCloser
{
    void operator()(zip_file_t* file) const { zip_fclose(file); }
};

/// Finds the theme part through [Content_Types].xml, the way a package names its parts' kinds.
class ContentTypesHandler : public xlsx::XmlHandler
{
public:
    void startElement(std::string_view name, const xlsx::XmlAttributes& attributes) override
    {
        if (name == "Override" && attributes.get("ContentType") == kThemeContentType && partName.empty())
        {
            std::string_view part = attributes.get("PartName");
            if (!part.empty() && part.front() == '/')
                part.remove_prefix(1);
            partName.assign(part.substr(0, 1024));
        }
    }
    void endElement(std::string_view) override {}

    std::string partName;
};

/// Inflates one entry whole, refusing entries whose stated or actual size passes `limit`.
bool readEntry(zip_t* archive, std::string_view name, std::size_t limit, std::string& out)
{
    const std::string key(name);
    const zip_int64_t index = zip_name_locate(archive, key.c_str(), ZIP_FL_NOCASE);
    if (index < 0)
        return false;
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(archive, static_cast<zip_uint64_t>(index), 0, &stat) != 0 || !(stat.valid & ZIP_STAT_SIZE) ||
        stat.size > limit)
        return false;
    std::unique_ptr<zip_file_t, FileCloser> file(zip_fopen_index(archive, static_cast<zip_uint64_t>(index), 0));
    if (!file)
        return false;
    // One byte more than stated shows an entry that inflates past its declared size.
    out.resize(static_cast<std::size_t>(stat.size) + 1);
    std::size_t got = 0;
    while (got < out.size())
    {
        const zip_int64_t n = zip_fread(file.get(), out.data() + got, out.size() - got);
        if (n < 0)
            return false;
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    if (got != stat.size)
        return false;
    out.resize(got);
    return true;
}

} // namespace

std::optional<std::array<model::Rgb, 12>> readThemePackage(std::span<const std::uint8_t> package)
{
    if (package.empty() || package.size() > kMaxThemePackage)
        return std::nullopt;
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(package.data(), package.size(), 0, &error);
    if (!source)
    {
        zip_error_fini(&error);
        return std::nullopt;
    }
    Archive archive(zip_open_from_source(source, ZIP_RDONLY, &error));
    zip_error_fini(&error);
    if (!archive)
    {
        zip_source_free(source);
        return std::nullopt;
    }

    std::string partName(kUsualThemePart);
    std::string xml;
    if (readEntry(archive.get(), "[Content_Types].xml", kMaxThemePart, xml))
    {
        ContentTypesHandler types;
        if (xlsx::parseXml(xml, types, "[Content_Types].xml") && !types.partName.empty())
            partName = types.partName;
    }
    if (!readEntry(archive.get(), partName, kMaxThemePart, xml))
        return std::nullopt;

    xlsx::ColorResolver resolver;
    if (!resolver.readTheme(xml))
        return std::nullopt;
    // The resolver numbers the scheme as styles do (first two pairs swapped); the swap is its own inverse.
    static constexpr std::size_t kStyleIndex[12] = {1, 0, 3, 2, 4, 5, 6, 7, 8, 9, 10, 11};
    std::array<model::Rgb, 12> scheme;
    for (std::size_t i = 0; i < scheme.size(); ++i)
        scheme[i] = resolver.themeColor(kStyleIndex[i]).value_or(model::Rgb{});
    return scheme;
}

} // namespace velquin::engine::xls
