// The main window: tool bar, the input and workbook lists, the output directory box, the progress bar and menus.
#pragma once

#include "app/Services.h"
#include "dialogs/DialogBackend.h"
#include "lists/InputList.h"
#include "lists/OutputList.h"

#include <QComboBox>
#include <QIcon>
#include <QLabel>
#include <QList>
#include <QMainWindow>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QToolButton>
#include <QTreeWidget>
#include <memory>

namespace velquin::convert {
class BatchConversion;
}

namespace velquin::app {

class BatchWindow;

/// Twips (1/1440 inch) to pixels at 96 dots per inch.
constexpr int twips(int value)
{
    return (value * 2 + 15) / 30;
}

/// The data role of an input entry that holds its 1-based image index (1 file, 2 folder, 3 missing).
inline constexpr int kImageIndexRole = Qt::UserRole;

class form1 : public QMainWindow
{
    Q_OBJECT

public:
    /// Creates the window and runs its load handler (help file, column headers, the saved lists).
    explicit form1(Services services, QWidget* parent = nullptr);
    ~form1() override;

    const Services& services() const { return m_services; }
    /// The three small images of ListView1 (index 0..2 for images 1..3).
    const QList<QIcon>& ImageList1() const { return m_imageList1; }
    /// Appends an input entry with its image (1 file, 2 folder, 3 missing path).
    QTreeWidgetItem* appendInputEntry(const QString& text, int imageIndex);
    /// Combo2's list index: the 0-based position of the chosen output directory, -1 while none is chosen,
    /// which includes a path typed into the box.
    int Combo2ListIndex() const { return m_outputList->listIndex(); }
    /// True while the Convert command runs; the window takes no input then.
    bool converting() const;
    /// The help file F1 opens: "help.chm" in the application path when it is there, else our own page.
    std::string helpFilePath() const;
    /// Our own help page: beside the executable in a build tree, under share/ once installed.
    std::string ownHelpPage() const;
    /// What HomePage and the About box's web-site link open: the maker's web site when the build names a real one,
    /// else our own help page rather than an address that leads nowhere.
    std::string webSiteTarget() const;

    // Controls, in tab order. Each member's objectName is its own name.
    QToolButton* Command5 = nullptr;
    QToolButton* Command1 = nullptr;
    QToolButton* Command2 = nullptr;
    QToolButton* Command6 = nullptr;
    QToolButton* Command8 = nullptr;
    QToolButton* Command7 = nullptr;
    QToolButton* Command9 = nullptr;
    QTreeWidget* ListView1 = nullptr;
    QTreeWidget* ListView2 = nullptr;
    QToolButton* Command3 = nullptr;
    QToolButton* Command4 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QPushButton* Command11 = nullptr;
    QPushButton* Command10 = nullptr;
    QComboBox* Combo2 = nullptr;
    QLabel* Label1 = nullptr;

    // Menus and their items.
    QMenu* EE = nullptr;
    QAction* AddExcel = nullptr;
    QAction* AddFolder = nullptr;
    QMenu* FF = nullptr;
    QAction* RemoveItem = nullptr;
    QAction* RemoveAll = nullptr;
    QAction* Removeoutput = nullptr;
    QAction* RemoveAllOutput = nullptr;
    QMenu* Actions = nullptr;
    QAction* Separate = nullptr;
    QAction* Settings = nullptr;
    QMenu* Help = nullptr;
    QAction* Help1 = nullptr;
    QAction* HomePage = nullptr;
    QAction* About = nullptr;

public slots:
    // Input list (filled in by the lists work).
    void Command1_Click(); ///< Add Excel
    void Command5_Click(); ///< Add Folder
    void Command2_Click(); ///< Remove File
    void Command3_Click(); ///< move the selected input entry up
    void Command4_Click(); ///< move the selected input entry down
    void ListView1_ItemClick(QTreeWidgetItem* item);
    void RemoveAll_Click();
    // Output directory list (filled in by the lists work).
    void Command10_Click(); ///< Browse
    void Command11_Click(); ///< View
    void Removeoutput_Click();
    void RemoveAllOutput_Click();
    // The batch conversion.
    void Command6_Click();
    // The shell's own commands.
    void Command7_Click(); ///< the maker's web site
    void Command8_Click(); ///< Help: an F1 key press
    void Command9_Click(); ///< Exit
    void Settings_Click();
    void About_Click();
    /// What F1 does anywhere in the application: open the help file.
    void openHelp();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createControls(QWidget* client);
    void createMenus();
    void connectHandlers();
    void createLists();
    void createBatch();
    void Form_Load();
    void Form_Unload();
    void showModal(QDialog& dialog);

    Services m_services;
    /// The Qt dialogs, used when the services bring no dialog backend of their own.
    std::unique_ptr<dialogs::DialogBackend> m_qtDialogs;
    QList<QIcon> m_imageList1;
    lists::InputList* m_inputList = nullptr;
    lists::OutputList* m_outputList = nullptr;
    bool m_unloaded = false;
    std::unique_ptr<BatchWindow> m_batchWindow;
    std::unique_ptr<convert::ApplicationFactory> m_noConverter;
    std::unique_ptr<convert::BatchConversion> m_batch;
    /// The window was asked to close while a batch ran; it closes when the batch is over.
    bool m_closeRequested = false;
};

} // namespace velquin::app
