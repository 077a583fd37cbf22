// ListWorkbooks: directory searches through the platform, one checked entry per workbook.
#include "lists/ListWorkbooks.h"

#include "common/PathType.h"
#include "platform/Platform.h"

#include <QTreeWidget>

namespace velquin::lists {
namespace {

constexpr int kNormalFilesOnly = platform::attr::Normal;

void appendWorkbook(QTreeWidget& ListView2, const std::string& name)
{
    auto* item = new QTreeWidgetItem(&ListView2, QStringList{QString::fromStdString(name)});
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(0, Qt::Checked);
}

std::string withSeparator(const std::string& folder)
{
    return folder.back() == '/' ? folder : folder + '/';
}

void listFile(platform::Platform& platform, QTreeWidget& ListView2, const std::string& path)
{
    // A file source was named by the user, so a dot-name is listed like any other; only a folder hides its own.
    const platform::SearchResult found = platform.findFirst(path, kNormalFilesOnly | platform::attr::Hidden);
    if (found.error == platform::FsError::None && !found.name.empty())
        appendWorkbook(ListView2, found.name);
}

void listFolder(platform::Platform& platform, QTreeWidget& ListView2, const std::string& path)
{
    const std::string folder = withSeparator(path);
    const platform::SearchResult anyFile = platform.findFirst(folder, kNormalFilesOnly);
    if (anyFile.error != platform::FsError::None || anyFile.name.empty())
        return;
    platform::SearchResult found = platform.findFirst(folder + kWorkbookPattern, kNormalFilesOnly);
    while (found.error == platform::FsError::None && !found.name.empty())
    {
        appendWorkbook(ListView2, found.name);
        found = platform.findNext();
    }
}

} // namespace

void ListWorkbooks(platform::Platform& platform, QTreeWidget& ListView2, const std::string& path)
{
    ListView2.clear();
    // An empty source would turn into a search of the root folder.
    if (!path.empty())
    {
        if (common::GetPathType(platform, path) == common::PathType::File)
            listFile(platform, ListView2, path);
        else
            listFolder(platform, ListView2, path);
    }
    ListView2.show();
    ListView2.update();
}

} // namespace velquin::lists
