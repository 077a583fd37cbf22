// The input list ListView1: sources added, removed, reordered and dropped, and the workbook list they select.
#pragma once

#include "lists/ListServices.h"

#include <QIcon>
#include <QList>
#include <QObject>
#include <string>

class QTreeWidget;
class QTreeWidgetItem;

namespace velquin::lists {

/// The data role of an input entry that holds its 1-based image index (1 file, 2 folder, 3 missing path).
inline constexpr int kImageIndexRole = Qt::UserRole;
inline constexpr int kFileImage = 1;
inline constexpr int kFolderImage = 2;

/// The commands of the input list. Every command ends quietly: nothing here shows a message.
class InputList : public QObject
{
    Q_OBJECT

public:
    /// `images` are the three small images of ListView1 (index 0 for image 1); they must outlive this object.
    InputList(QTreeWidget* ListView1, QTreeWidget* ListView2, const QList<QIcon>& images, ListServices services,
              QObject* parent = nullptr);

    /// Add Excel: one file from the open dialog becomes the new last entry, selected, and is listed.
    void addWorkbook();
    /// Add Folder: one folder from the folder dialog becomes the new last entry, selected, and is listed.
    void addFolder();
    /// Remove File: removes the selected entry and lists the entry selected after it.
    void removeEntry();
    /// Moves the selected entry one place up; the workbook list stays as it is.
    void moveUp();
    /// Moves the selected entry one place down; the workbook list stays as it is.
    void moveDown();
    /// A click on an entry: lists the selected entry's workbooks, all checked again.
    void showWorkbooks();
    /// Remove All Items: empties the input list and the workbook list.
    void removeAll();

    /// Folders, and the workbook files a folder's listing would show, dropped on the list are added as the Add
    /// commands add them; anything else is ignored.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    /// The user chose another entry without a click (arrow keys) or cleared the selection (Ctrl+click): the
    /// workbook list follows, so that it always belongs to the selected source.
    void selectionChangedByUser();
    QTreeWidgetItem* appendEntry(const std::string& text, int image);
    void select(QTreeWidgetItem* item);
    QTreeWidgetItem* selectedEntry() const;
    void listWorkbooksBusy(const std::string& path);
    void moveSelected(int offset);
    bool acceptsDrag(QEvent* event) const;
    void dropSources(QEvent* event);

    QTreeWidget* m_listView1;
    QTreeWidget* m_listView2;
    const QList<QIcon>& m_images;
    ListServices m_services;
    /// Set while a command changes ListView1 itself; its selection changes then list nothing on their own.
    bool m_changingList = false;
    /// The selection changed, and the new source was listed, since the last mouse press on ListView1: the click that
    /// ends that press lists nothing more.
    bool m_listedSincePress = false;
};

} // namespace velquin::lists
