// Reads the document properties of a package: docProps/core.xml, app.xml and custom.xml.
#pragma once

#include "engine/Error.h"
#include "engine/model/Workbook.h"

#include <string_view>

namespace velquin::engine::xlsx {

/// Each reader fills what its part holds; an empty part leaves the properties alone. Errors: DamagedFile.
Status readCoreProperties(std::string_view xml, model::DocumentProperties& properties);
Status readAppProperties(std::string_view xml, model::DocumentProperties& properties);
Status readCustomProperties(std::string_view xml, model::DocumentProperties& properties);

} // namespace velquin::engine::xlsx
