// A main window on fakes for the list tests: in-memory file system, scripted dialogs, recorded messages.
#pragma once

#include "app/Services.h"
#include "app/form1.h"
#include "common/MessageBox.h"
#include "dialogs/ScriptedDialogBackend.h"
#include "platform/FakePlatform.h"
#include "tests/support/TestSupport.h"

#include <QTest>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace velquin::test {

class NoHelpKeys : public app::HelpKeySender
{
public:
    void sendHelpKey() override {}
};

/// A workbook list entry as the user sees it.
struct Workbook
{
    std::string name;
    bool checked = false;
    bool operator==(const Workbook&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const Workbook& workbook)
{
    return out << workbook.name << (workbook.checked ? " [x]" : " [ ]");
}

class ListsWindow
{
public:
    explicit ListsWindow(platform::FakePlatform& fs) : m_fs(fs) {}

    /// Creates and shows the window; call after the fake file system and saved state are prepared.
    app::form1& open()
    {
        m_window = std::make_unique<app::form1>(
            app::Services{m_fs, messages, helpKeys, "/opt/velquin", stateDir.path().string(), &dialogs, nullptr, {}});
        m_window->show();
        return *m_window;
    }

    app::form1& window() { return *m_window; }

    std::vector<std::string> inputs() const
    {
        std::vector<std::string> texts;
        for (int i = 0; i < m_window->ListView1->topLevelItemCount(); ++i)
            texts.push_back(m_window->ListView1->topLevelItem(i)->text(0).toStdString());
        return texts;
    }

    /// The 1-based image index of each input entry.
    std::vector<int> images() const
    {
        std::vector<int> indexes;
        for (int i = 0; i < m_window->ListView1->topLevelItemCount(); ++i)
            indexes.push_back(m_window->ListView1->topLevelItem(i)->data(0, Qt::UserRole).toInt());
        return indexes;
    }

    /// 0-based position of the selected input entry, -1 when none is selected.
    int selectedInput() const
    {
        const auto selected = m_window->ListView1->selectedItems();
        return selected.isEmpty() ? -1 : m_window->ListView1->indexOfTopLevelItem(selected.front());
    }

    std::vector<Workbook> workbooks() const
    {
        std::vector<Workbook> list;
        for (int i = 0; i < m_window->ListView2->topLevelItemCount(); ++i)
        {
            const auto* item = m_window->ListView2->topLevelItem(i);
            list.push_back({item->text(0).toStdString(), item->checkState(0) == Qt::Checked});
        }
        return list;
    }

    std::vector<std::string> outputs() const
    {
        std::vector<std::string> texts;
        for (int i = 0; i < m_window->Combo2->count(); ++i)
            texts.push_back(m_window->Combo2->itemText(i).toStdString());
        return texts;
    }

    std::string outputText() const { return m_window->Combo2->currentText().toStdString(); }

    /// Clicks input entry `row` (0-based) with the mouse, as a user would.
    void clickInput(int row, Qt::KeyboardModifiers modifiers = {})
    {
        QTreeWidget* view = m_window->ListView1;
        const QRect rect = view->visualItemRect(view->topLevelItem(row));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, modifiers, rect.center());
    }

    /// Writes the saved input and output lists the window loads at start ("EXCEL.txt", "output.txt").
    void saveLists(const std::vector<std::string>& inputs, const std::vector<std::string>& outputs)
    {
        std::string excel;
        for (const auto& line : inputs)
            excel += line + "\r\n";
        std::string output;
        for (const auto& line : outputs)
            output += line + "\r\n";
        stateDir.write("EXCEL.txt", excel);
        stateDir.write("output.txt", output);
    }

    common::RecordingMessageBox messages;
    NoHelpKeys helpKeys;
    dialogs::ScriptedDialogBackend dialogs;
    TempDir stateDir;

private:
    platform::FakePlatform& m_fs;
    std::unique_ptr<app::form1> m_window;
};

} // namespace velquin::test
