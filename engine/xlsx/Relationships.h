// Package relationships and content types: how the parts of an OOXML package find each other.
#pragma once

#include "engine/Error.h"

#include <string>
#include <string_view>
#include <vector>

namespace velquin::engine::xlsx {

class ZipPackage;

struct Relationship
{
    std::string id;
    std::string type;   ///< the full type URI; compare with typeIs()
    std::string target; ///< a part name inside the package, or the external target as written
    bool external = false;

    /// Whether the type URI ends in "/" + `kind` ("worksheet", "styles"...): transitional and strict differ only
    /// in the front part of the URI.
    bool typeIs(std::string_view kind) const;
};

/// The relationships of `sourcePart` ("" for the package itself). A missing relationship part gives an empty list.
/// Errors: DamagedFile, LimitExceeded.
Status readRelationships(const ZipPackage& package, std::string_view sourcePart, std::vector<Relationship>& out);

/// `text` with its %XX escapes decoded: targets are URIs, so a space may come as %20.
std::string percentDecoded(std::string_view text);

/// The part a relative or absolute target names, seen from `sourcePart`: "worksheets/sheet1.xml" from
/// "xl/workbook.xml" is "xl/worksheets/sheet1.xml"; "/xl/x.xml" is "xl/x.xml"; ".." climbs but never above the root.
std::string resolvePartName(std::string_view sourcePart, std::string_view target);

/// Content types of the package by part name.
class ContentTypes
{
public:
    /// Errors: DamagedFile (missing or malformed [Content_Types].xml), LimitExceeded.
    Status read(const ZipPackage& package);
    /// The content type of a part ("application/vnd...sheet.main+xml"), empty when unknown.
    std::string_view of(std::string_view partName) const;

private:
    std::vector<std::pair<std::string, std::string>> m_overrides; ///< lower-case part name -> type
    std::vector<std::pair<std::string, std::string>> m_defaults;  ///< lower-case extension -> type
};

} // namespace velquin::engine::xlsx
