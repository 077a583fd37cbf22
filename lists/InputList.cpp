// The input list commands: Add Excel, Add Folder, Remove File, Move up and down, a click, Remove All, drops.
#include "lists/InputList.h"

#include "common/PathType.h"
#include "common/Paths.h"
#include "dialogs/CCommonDialogs.h"
#include "lists/ListWorkbooks.h"
#include "lists/WaitCursor.h"
#include "platform/Wildcard.h"

#include <QDropEvent>
#include <QMimeData>
#include <QScopedValueRollback>
#include <QTreeWidget>
#include <QUrl>
#include <utility>

namespace velquin::lists {
namespace {

// One filter entry in the dialog's NUL-separated form; the literal's own terminator is the closing NUL.
constexpr char kWorkbookFilter[] = "Excel File(*.xls;*.xlsx)\0*.xls;*.xlsx";

// A dropped file is added when a listing of its folder would show it.
bool isWorkbookName(const std::string& path)
{
    return platform::matchesPattern(kWorkbookPattern, common::fileNameOf(path));
}

std::vector<std::string> droppedPaths(const QMimeData* mime)
{
    std::vector<std::string> paths;
    if (mime == nullptr || !mime->hasUrls())
        return paths;
    for (const QUrl& url : mime->urls())
    {
        if (!url.isLocalFile())
            continue;
        std::string path = url.toLocalFile().toStdString();
        while (path.size() > 1 && path.back() == '/')
            path.pop_back();
        if (!path.empty())
            paths.push_back(path);
    }
    return paths;
}

// The list only remembers the paths. Accepting a move would tell the file manager to delete the dropped files.
Qt::DropAction safeDropAction(Qt::DropActions possible)
{
    if (possible.testFlag(Qt::CopyAction))
        return Qt::CopyAction;
    if (possible.testFlag(Qt::LinkAction))
        return Qt::LinkAction;
    return Qt::IgnoreAction;
}

} // namespace

InputList::InputList(QTreeWidget* ListView1, QTreeWidget* ListView2, const QList<QIcon>& images, ListServices services,
                     QObject* parent)
    : QObject(parent), m_listView1(ListView1), m_listView2(ListView2), m_images(images), m_services(std::move(services))
{
    m_listView1->setSelectionMode(QAbstractItemView::SingleSelection);
    m_listView1->setAcceptDrops(true);
    m_listView1->viewport()->setAcceptDrops(true);
    m_listView1->viewport()->installEventFilter(this);
    connect(m_listView1, &QTreeWidget::itemSelectionChanged, this, &InputList::selectionChangedByUser);
}

QTreeWidgetItem* InputList::appendEntry(const std::string& text, int image)
{
    auto* item = new QTreeWidgetItem(m_listView1, QStringList{QString::fromStdString(text)});
    if (image >= 1 && image <= m_images.size())
        item->setIcon(0, m_images[image - 1]);
    item->setData(0, kImageIndexRole, image);
    return item;
}

void InputList::select(QTreeWidgetItem* item)
{
    QScopedValueRollback changing(m_changingList, true);
    m_listView1->setCurrentItem(item);
    m_listView1->scrollToItem(item);
    m_listView1->update();
}

QTreeWidgetItem* InputList::selectedEntry() const
{
    const QList<QTreeWidgetItem*> selected = m_listView1->selectedItems();
    return selected.isEmpty() ? nullptr : selected.front();
}

void InputList::listWorkbooksBusy(const std::string& path)
{
    WaitCursor busy(m_services.window);
    ListWorkbooks(m_services.platform, *m_listView2, path);
}

void InputList::addWorkbook()
{
    dialogs::CCommonDialogs dialog(m_services.dialogs, m_services.applicationPath);
    dialog.Init(m_services.window);
    dialog.setTitle("Select Excel File");
    dialog.setFilter(std::string(kWorkbookFilter, sizeof kWorkbookFilter));
    if (!dialog.ShowOpen())
        return;
    const std::string path = dialog.FileName();
    select(appendEntry(path, kFileImage));
    listWorkbooksBusy(path);
}

void InputList::addFolder()
{
    dialogs::CCommonDialogs dialog(m_services.dialogs, m_services.applicationPath);
    dialog.Init(m_services.window);
    dialog.setTitle("Add all excel files in folder");
    if (!dialog.ShowFolder())
        return;
    const std::string path = dialog.Path();
    if (path.empty())
        return;
    select(appendEntry(path, kFolderImage));
    listWorkbooksBusy(path);
}

void InputList::removeEntry()
{
    QTreeWidgetItem* selected = selectedEntry();
    if (selected == nullptr)
        return;
    const int position = m_listView1->indexOfTopLevelItem(selected);
    {
        QScopedValueRollback changing(m_changingList, true);
        delete m_listView1->takeTopLevelItem(position);
    }
    if (m_listView1->topLevelItemCount() == 0)
    {
        m_listView2->clear();
        return;
    }
    QTreeWidgetItem* next = m_listView1->topLevelItem(position == 0 ? 0 : position - 1);
    select(next);
    listWorkbooksBusy(next->text(0).toStdString());
}

void InputList::moveSelected(int offset)
{
    QTreeWidgetItem* selected = selectedEntry();
    if (selected == nullptr)
        return;
    const int position = m_listView1->indexOfTopLevelItem(selected);
    const int target = position + offset;
    if (target < 0 || target >= m_listView1->topLevelItemCount())
        return;
    QScopedValueRollback changing(m_changingList, true);
    QTreeWidgetItem* moved = m_listView1->takeTopLevelItem(position);
    m_listView1->insertTopLevelItem(target, moved);
    select(moved);
}

void InputList::moveUp()
{
    moveSelected(-1);
}

void InputList::moveDown()
{
    moveSelected(+1);
}

void InputList::showWorkbooks()
{
    // A click that selected another entry has listed it already, when the press changed the selection.
    if (std::exchange(m_listedSincePress, false))
        return;
    // Ctrl+click on the selected entry clears the selection before the click arrives; nothing is listed then.
    if (QTreeWidgetItem* selected = selectedEntry())
        listWorkbooksBusy(selected->text(0).toStdString());
}

void InputList::selectionChangedByUser()
{
    if (m_changingList)
        return;
    m_listedSincePress = true;
    // Without a selected source Convert has no folder for the names, so they go too.
    if (QTreeWidgetItem* selected = selectedEntry())
        listWorkbooksBusy(selected->text(0).toStdString());
    else
        m_listView2->clear();
}

void InputList::removeAll()
{
    QScopedValueRollback changing(m_changingList, true);
    m_listView1->clear();
    m_listView2->clear();
}

bool InputList::acceptsDrag(QEvent* event) const
{
    const auto* drag = static_cast<QDropEvent*>(event);
    return safeDropAction(drag->possibleActions()) != Qt::IgnoreAction && !droppedPaths(drag->mimeData()).empty();
}

void InputList::dropSources(QEvent* event)
{
    QTreeWidgetItem* added = nullptr;
    std::string addedPath;
    for (const std::string& path : droppedPaths(static_cast<QDropEvent*>(event)->mimeData()))
    {
        const common::PathType type = common::GetPathType(m_services.platform, path);
        if (type == common::PathType::Folder)
            added = appendEntry(path, kFolderImage);
        else if (type == common::PathType::File && isWorkbookName(path))
            added = appendEntry(path, kFileImage);
        else
            continue;
        addedPath = path;
    }
    if (added == nullptr)
        return;
    select(added);
    listWorkbooksBusy(addedPath);
}

bool InputList::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_listView1->viewport())
        return QObject::eventFilter(watched, event);
    switch (event->type())
    {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        // A new user action: whether its press lists the source is seen afresh.
        m_listedSincePress = false;
        return QObject::eventFilter(watched, event);
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
        break;
    default:
        return QObject::eventFilter(watched, event);
    }
    // Every drag ends here: the view's own drop handling would insert whatever item data another program offers.
    auto* drop = static_cast<QDropEvent*>(event);
    if (!acceptsDrag(event))
    {
        drop->ignore();
        return true;
    }
    if (event->type() == QEvent::Drop)
        dropSources(event);
    drop->setDropAction(safeDropAction(drop->possibleActions()));
    drop->accept();
    return true;
}

} // namespace velquin::lists
