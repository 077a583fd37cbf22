// The output name rule.
#include "convert/OutputName.h"

#include "common/PathType.h"

#include <cstdint>
#include <limits>

namespace velquin::convert {

std::string RemoveSpacesAndDots(std::string_view text)
{
    std::string result;
    result.reserve(text.size());
    for (char c : text)
    {
        if (c != ' ' && c != '.')
            result += c;
    }
    return result;
}

std::string outputBaseName(std::string_view entryText)
{
    auto dot = entryText.rfind('.');
    if (dot != std::string_view::npos)
        entryText = entryText.substr(0, dot);
    return RemoveSpacesAndDots(entryText);
}

std::string outputBasePath(platform::Platform& platform, std::string_view outputFolder, std::string_view baseName)
{
    std::string candidate(outputFolder);
    candidate += baseName;
    // Each pass needs a real folder of the grown name, so the loop ends long before the counter could overflow;
    // the bound only keeps that promise explicit.
    std::int32_t counter = 0;
    while (counter < std::numeric_limits<std::int32_t>::max() &&
           common::GetPathType(platform, candidate) == common::PathType::Folder)
    {
        ++counter;
        candidate += std::to_string(counter);
    }
    return candidate;
}

} // namespace velquin::convert
