// Text rules of the dialog class.
#include "dialogs/DialogText.h"

namespace velquin::dialogs {
namespace {

bool isContinuationByte(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

} // namespace

std::string cutAtNul(std::string_view text)
{
    return std::string(text.substr(0, text.find('\0')));
}

std::string folderOfFile(std::string_view fullPath)
{
    const std::size_t slash = fullPath.rfind('/');
    if (slash == std::string_view::npos)
        return {};
    // Cutting "/book.xls" at its slash would leave an empty folder, which names nothing.
    if (slash == 0)
        return "/";
    return std::string(fullPath.substr(0, slash));
}

std::string lastComponent(std::string_view fullPath)
{
    const std::size_t slash = fullPath.rfind('/');
    return std::string(slash == std::string_view::npos ? fullPath : fullPath.substr(slash + 1));
}

std::size_t characterCount(std::string_view utf8)
{
    std::size_t count = 0;
    for (char c : utf8)
    {
        if (!isContinuationByte(c))
            ++count;
    }
    return count;
}

std::string firstCharacters(std::string_view utf8, std::size_t count)
{
    std::size_t seen = 0;
    for (std::size_t i = 0; i < utf8.size(); ++i)
    {
        if (!isContinuationByte(utf8[i]))
        {
            if (seen == count)
                return std::string(utf8.substr(0, i));
            ++seen;
        }
    }
    return std::string(utf8);
}

} // namespace velquin::dialogs
