// The output name rule: a workbook's file name, cut before its last ".", without spaces and dots, with counter
// digits while a folder of that name is in the way.
#pragma once

#include "platform/Platform.h"

#include <string>
#include <string_view>

namespace velquin::convert {

/// `text` without any space (U+0020) or "."; every other character, tabs included, stays in its place.
std::string RemoveSpacesAndDots(std::string_view text);

/// The base name of a workbook list entry: cut before its last "." (a name without "." stays whole), then
/// RemoveSpacesAndDots. Also the name the failure message shows.
std::string outputBaseName(std::string_view entryText);

/// `outputFolder` (ending in "/") + `baseName`, extended while a folder of that name exists: the counter's digits go
/// behind the already extended candidate (Book1, Book11, Book112, ...). Only a folder stops a name; a file of that
/// name, or the .xml file itself, is simply replaced later.
std::string outputBasePath(platform::Platform& platform, std::string_view outputFolder, std::string_view baseName);

} // namespace velquin::convert
