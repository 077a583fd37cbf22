// ListWorkbooks: the shared workbook listing, one checked entry per workbook.
#include "lists/ListWorkbooks.h"

#include "common/WorkbookListing.h"

#include <QTreeWidget>

namespace velquin::lists {

void ListWorkbooks(platform::Platform& platform, QTreeWidget& ListView2, const std::string& path)
{
    ListView2.clear();
    for (const std::string& name : common::listWorkbookNames(platform, path))
    {
        auto* item = new QTreeWidgetItem(&ListView2, QStringList{QString::fromStdString(name)});
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(0, Qt::Checked);
    }
    ListView2.show();
    ListView2.update();
}

} // namespace velquin::lists
