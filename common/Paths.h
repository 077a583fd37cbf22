// Path helpers: the application path and joining paths the way every list builds them.
#pragma once

#include <string>
#include <string_view>

namespace velquin::common {

/// The folder of the running executable, without a trailing "/" (empty for the root folder, so that
/// applicationPath() + "/name" always names a file in it).
std::string applicationPath();

/// folder + "/" + name, with exactly one "/" between them whatever `folder` ends with.
std::string joinPath(std::string_view folder, std::string_view name);

/// The last component of a path (after its last "/").
std::string fileNameOf(std::string_view path);

} // namespace velquin::common
