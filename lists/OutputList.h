// The output directory list Combo2: Browse, View, Remove Current and Remove All, and which entry is chosen.
#pragma once

#include "lists/ListServices.h"

#include <QObject>

class QComboBox;

namespace velquin::lists {

/// The commands of the output directory list. Nothing here shows a message.
///
/// listIndex() is the position of the chosen entry, or -1 while no entry is chosen, which includes a path typed
/// into the box: Qt's combo box keeps its old current index while its text is edited, so the choice is tracked
/// here from the user's picks and this class's own selections.
class OutputList : public QObject
{
    Q_OBJECT

public:
    OutputList(QComboBox* Combo2, ListServices services, QObject* parent = nullptr);

    /// 0-based position of the chosen entry; -1 when none is chosen or a typed path is shown.
    int listIndex() const { return m_listIndex; }

    /// Browse: a folder from the folder dialog becomes the new first entry and is chosen. No duplicate check.
    void browse();
    /// View: opens the box's text in the file browser when it names an existing folder.
    void view();
    /// Remove Current Output Directory: removes the chosen entry and chooses its neighbour.
    void removeCurrent();
    /// Remove All Output Directory: removes every entry.
    void removeAll();

private:
    void select(int index);

    QComboBox* m_combo2;
    ListServices m_services;
    int m_listIndex = -1;
};

} // namespace velquin::lists
