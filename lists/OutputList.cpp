// The output directory list commands.
#include "lists/OutputList.h"

#include "common/PathType.h"
#include "dialogs/CCommonDialogs.h"
#include "platform/Platform.h"

#include <QComboBox>
#include <QLineEdit>

namespace velquin::lists {

OutputList::OutputList(QComboBox* Combo2, ListServices services, QObject* parent)
    : QObject(parent), m_combo2(Combo2), m_services(std::move(services)), m_listIndex(Combo2->currentIndex())
{
    // A typed path is used as the box's text but never becomes an entry.
    m_combo2->setInsertPolicy(QComboBox::NoInsert);
    // The box holds exactly what the user types: the default completer would complete a prefix of a remembered
    // folder into that folder, and Return would swap a path for a remembered one that differs only in case.
    m_combo2->setCompleter(nullptr);
    connect(m_combo2, &QComboBox::activated, this, [this](int index) { m_listIndex = index; });
    connect(m_combo2, &QComboBox::currentIndexChanged, this, [this](int index) { m_listIndex = index; });
    if (QLineEdit* edit = m_combo2->lineEdit())
        connect(edit, &QLineEdit::textEdited, this, [this] { m_listIndex = -1; });
}

void OutputList::select(int index)
{
    m_combo2->setCurrentIndex(index);
    // Choosing the index Qt still holds from before an edit emits nothing, so record the choice here.
    m_listIndex = m_combo2->currentIndex();
}

void OutputList::browse()
{
    dialogs::CCommonDialogs dialog(m_services.dialogs, m_services.applicationPath);
    dialog.Init(m_services.window);
    dialog.setTitle("Add all word files in folder");
    if (!dialog.ShowFolder())
        return;
    const std::string path = dialog.Path();
    if (path.empty())
        return;
    m_combo2->insertItem(0, QString::fromStdString(path));
    select(0);
}

void OutputList::view()
{
    const std::string folder = m_combo2->currentText().toStdString();
    if (common::GetPathType(m_services.platform, folder) == common::PathType::Folder)
        m_services.platform.shellOpen(folder, platform::kShowNormal);
}

void OutputList::removeCurrent()
{
    const int count = m_combo2->count();
    const int index = m_listIndex;
    if (count == 0 || index < 0 || index >= count)
        return;
    m_combo2->removeItem(index);
    if (m_combo2->count() == 0)
        select(-1);
    else if (index == count - 1)
        select(index - 1);
    else
        select(index);
}

void OutputList::removeAll()
{
    const int count = m_combo2->count();
    for (int i = 0; i < count; ++i)
        m_combo2->removeItem(0);
    if (count > 0)
        select(-1);
}

} // namespace velquin::lists
