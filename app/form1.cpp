// The main window: controls, menus, load and unload, and the shell's own commands.
#include "app/form1.h"

#include "app/Artwork.h"
#include "app/BatchWindow.h"
#include "app/Dialog1.h"
#include "common/MessageBox.h"
#include "common/PathType.h"
#include "common/Paths.h"
#include "common/Product.h"
#include "convert/BatchConversion.h"
#include "dialogs/QtDialogBackend.h"
#include "platform/Platform.h"
#include "state/Setting.h"
#include "state/StateFiles.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenuBar>
#include <QStyleOptionToolButton>
#include <QStylePainter>
#include <QWindow>
#include <algorithm>

namespace velquin::app {

namespace {

QFont arial(qreal points)
{
    QFont font(QStringLiteral("Arial"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    return font;
}

void place(QWidget* widget, int left, int top, int width, int height)
{
    widget->setGeometry(twips(left), twips(top), twips(width), twips(height));
}

// A tool button that lays out its own picture and caption: the style's margins would push the caption of a 48-pixel
// icon out of the 65-pixel button, so the button face comes from the style and the contents are centred here.
class PictureButton : public QToolButton
{
public:
    using QToolButton::QToolButton;

protected:
    void paintEvent(QPaintEvent* /*event*/) override
    {
        QStylePainter painter(this);
        QStyleOptionToolButton option;
        initStyleOption(&option);
        QStyleOptionToolButton face = option;
        face.text.clear();
        face.icon = QIcon();
        painter.drawComplexControl(QStyle::CC_ToolButton, face);

        const bool down = option.state & (QStyle::State_Sunken | QStyle::State_On);
        const int shift = down ? 1 : 0;
        const QSize size = iconSize();
        const int textHeight = text().isEmpty() ? 0 : fontMetrics().height();
        const int top = std::max(1, (height() - size.height() - textHeight) / 2) + shift;
        const QPixmap pixmap = icon().pixmap(size, isEnabled() ? QIcon::Normal : QIcon::Disabled);
        painter.drawPixmap((width() - size.width()) / 2 + shift, top, pixmap);
        if (!text().isEmpty())
        {
            QRect textRect(shift, top + size.height(), width(), textHeight);
            painter.drawItemText(textRect, Qt::AlignHCenter | Qt::AlignTop | Qt::TextShowMnemonic, palette(),
                                 isEnabled(), text(), QPalette::ButtonText);
        }
        if (option.state & QStyle::State_HasFocus)
        {
            QStyleOptionFocusRect focus;
            focus.initFrom(this);
            focus.rect = rect().adjusted(3, 3, -3, -3);
            painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
        }
    }
};

QToolButton* pictureButton(QWidget* parent, const char* name, const QString& caption, Picture picture, int iconSize)
{
    auto* button = new PictureButton(parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setText(caption);
    button->setIcon(pictureIcon(picture, iconSize));
    button->setIconSize(QSize(iconSize, iconSize));
    button->setToolButtonStyle(caption.isEmpty() ? Qt::ToolButtonIconOnly : Qt::ToolButtonTextUnderIcon);
    button->setFont(arial(9.75));
    button->setFocusPolicy(Qt::StrongFocus);
    return button;
}

QTreeWidget* listView(QWidget* parent, const char* name)
{
    auto* view = new QTreeWidget(parent);
    view->setObjectName(QString::fromLatin1(name));
    view->setColumnCount(1);
    view->setRootIsDecorated(false);
    view->setItemsExpandable(false);
    view->setUniformRowHeights(true);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setIconSize(QSize(16, 16));
    view->header()->setStretchLastSection(false);
    view->header()->setSectionsMovable(false);
    return view;
}

QAction* menuItem(QMenu* menu, const char* name, const QString& caption)
{
    auto* action = menu->addAction(caption);
    action->setObjectName(QString::fromLatin1(name));
    return action;
}

} // namespace

form1::form1(Services services, QWidget* parent) : QMainWindow(parent), m_services(std::move(services))
{
    setObjectName(QStringLiteral("form1"));
    setWindowTitle(QString::fromLatin1(common::kCaption));
    setWindowIcon(pictureIcon(Picture::Product, 48));
    setFont(arial(8.25));

    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(twips(10170), twips(6405));
    setCentralWidget(client);
    createControls(client);
    createMenus();
    createLists();
    createBatch();
    connectHandlers();
    // The window is never resized: fix it at the client area plus the menu bar.
    setFixedSize(client->width(), client->height() + menuBar()->sizeHint().height());
    qApp->installEventFilter(this);

    Form_Load();
}

form1::~form1()
{
    qApp->removeEventFilter(this);
}

void form1::createControls(QWidget* client)
{
    Command5 = pictureButton(client, "Command5", QStringLiteral("Add Folder"), Picture::AddFolder, 48);
    place(Command5, 120, 0, 1210, 975);
    Command1 = pictureButton(client, "Command1", QStringLiteral("Add Excel"), Picture::AddExcel, 48);
    place(Command1, 1440, 0, 1210, 975);
    Command2 = pictureButton(client, "Command2", QStringLiteral("Remove File"), Picture::RemoveFile, 32);
    place(Command2, 2760, 0, 1330, 975);
    Command6 = pictureButton(client, "Command6", QStringLiteral("Convert"), Picture::Convert, 48);
    place(Command6, 5520, 0, 1090, 975);
    Command8 = pictureButton(client, "Command8", QStringLiteral("Help"), Picture::Help, 32);
    place(Command8, 6720, 0, 970, 975);
    Command7 = pictureButton(client, "Command7", QStringLiteral("HomePage"), Picture::HomePage, 48);
    place(Command7, 7800, 0, 1090, 975);
    Command9 = pictureButton(client, "Command9", QStringLiteral("Exit"), Picture::Exit, 32);
    place(Command9, 9000, 0, 970, 975);

    ListView1 = listView(client, "ListView1");
    place(ListView1, 120, 1080, 5175, 4575);
    ListView2 = listView(client, "ListView2");
    place(ListView2, 5880, 1080, 4095, 4575);

    Command3 = pictureButton(client, "Command3", QString(), Picture::ArrowUp, 16);
    place(Command3, 5400, 1800, 370, 610);
    Command4 = pictureButton(client, "Command4", QString(), Picture::ArrowDown, 16);
    place(Command4, 5400, 2640, 370, 610);

    ProgressBar1 = new QProgressBar(client);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    place(ProgressBar1, 120, 6120, 9975, 255);

    Command11 = new QPushButton(QStringLiteral("View"), client);
    Command11->setObjectName(QStringLiteral("Command11"));
    place(Command11, 9240, 5760, 855, 325);
    Command10 = new QPushButton(QStringLiteral("Browse"), client);
    Command10->setObjectName(QStringLiteral("Command10"));
    Command10->setFont(arial(9));
    place(Command10, 8160, 5760, 975, 325);
    for (auto* button : {Command10, Command11})
    {
        button->setAutoDefault(false);
        button->setDefault(false);
    }

    Combo2 = new QComboBox(client);
    Combo2->setObjectName(QStringLiteral("Combo2"));
    Combo2->setEditable(true);
    Combo2->setInsertPolicy(QComboBox::NoInsert);
    Combo2->setDuplicatesEnabled(true);
    place(Combo2, 2160, 5760, 5895, 330);

    Label1 = new QLabel(QStringLiteral("Select  output directory:"), client);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFont(arial(9));
    place(Label1, 120, 5760, 1935, 255);

    QWidget* order[] = {Command5,  Command1,  Command2, Command6, Command8,  Command7,  Command9,
                        ListView1, ListView2, Command3, Command4, Command11, Command10, Combo2};
    for (std::size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

void form1::createMenus()
{
    auto* bar = menuBar();
    EE = bar->addMenu(QStringLiteral("File"));
    EE->setObjectName(QStringLiteral("EE"));
    AddExcel = menuItem(EE, "AddExcel", QStringLiteral("Add Excel"));
    AddFolder = menuItem(EE, "AddFolder", QStringLiteral("Add Folder"));

    FF = bar->addMenu(QStringLiteral("Edit"));
    FF->setObjectName(QStringLiteral("FF"));
    RemoveItem = menuItem(FF, "RemoveItem", QStringLiteral("Remove Item"));
    RemoveAll = menuItem(FF, "RemoveAll", QStringLiteral("Remove All Items"));
    Removeoutput = menuItem(FF, "Removeoutput", QStringLiteral("Remove Current Output Directory"));
    RemoveAllOutput = menuItem(FF, "RemoveAllOutput", QStringLiteral("Remove All Output Directory"));

    Actions = bar->addMenu(QStringLiteral("Actions"));
    Actions->setObjectName(QStringLiteral("Actions"));
    Separate = menuItem(Actions, "Separate", QStringLiteral("Convert"));

    Settings = bar->addAction(QStringLiteral("Settings"));
    Settings->setObjectName(QStringLiteral("Settings"));

    Help = bar->addMenu(QStringLiteral("Help"));
    Help->setObjectName(QStringLiteral("Help"));
    Help1 = menuItem(Help, "Help1", QStringLiteral("Help"));
    HomePage = menuItem(Help, "HomePage", QStringLiteral("HomePage"));
    About = menuItem(Help, "About", QStringLiteral("About"));
}

void form1::createLists()
{
    dialogs::DialogBackend* backend = m_services.dialogBackend;
    if (backend == nullptr)
    {
        m_qtDialogs = std::make_unique<dialogs::QtDialogBackend>();
        backend = m_qtDialogs.get();
    }
    const lists::ListServices services{m_services.platform, *backend, this, m_services.applicationPath};
    m_inputList = new lists::InputList(ListView1, ListView2, m_imageList1, services, this);
    m_outputList = new lists::OutputList(Combo2, services, this);
}

void form1::createBatch()
{
    convert::ApplicationFactory* automation = m_services.automation;
    if (automation == nullptr)
    {
        m_noConverter = std::make_unique<NoConverter>();
        automation = m_noConverter.get();
    }
    m_batchWindow = std::make_unique<BatchWindow>(*this);
    m_batch = std::make_unique<convert::BatchConversion>(m_services.platform, m_services.messageBox, *automation,
                                                         *m_batchWindow, *m_batchWindow, m_services.batchWorkers);
}

bool form1::converting() const
{
    return m_batch && m_batch->running();
}

void form1::connectHandlers()
{
    connect(Command1, &QToolButton::clicked, this, &form1::Command1_Click);
    connect(Command2, &QToolButton::clicked, this, &form1::Command2_Click);
    connect(Command3, &QToolButton::clicked, this, &form1::Command3_Click);
    connect(Command4, &QToolButton::clicked, this, &form1::Command4_Click);
    connect(Command5, &QToolButton::clicked, this, &form1::Command5_Click);
    connect(Command6, &QToolButton::clicked, this, &form1::Command6_Click);
    connect(Command7, &QToolButton::clicked, this, &form1::Command7_Click);
    connect(Command8, &QToolButton::clicked, this, &form1::Command8_Click);
    connect(Command9, &QToolButton::clicked, this, &form1::Command9_Click);
    connect(Command10, &QPushButton::clicked, this, &form1::Command10_Click);
    connect(Command11, &QPushButton::clicked, this, &form1::Command11_Click);
    connect(ListView1, &QTreeWidget::itemClicked, this, &form1::ListView1_ItemClick);

    // A menu item runs the same handler as the button with its role.
    connect(AddExcel, &QAction::triggered, this, &form1::Command1_Click);
    connect(AddFolder, &QAction::triggered, this, &form1::Command5_Click);
    connect(RemoveItem, &QAction::triggered, this, &form1::Command2_Click);
    connect(RemoveAll, &QAction::triggered, this, &form1::RemoveAll_Click);
    connect(Removeoutput, &QAction::triggered, this, &form1::Removeoutput_Click);
    connect(RemoveAllOutput, &QAction::triggered, this, &form1::RemoveAllOutput_Click);
    connect(Separate, &QAction::triggered, this, &form1::Command6_Click);
    connect(Settings, &QAction::triggered, this, &form1::Settings_Click);
    connect(Help1, &QAction::triggered, this, &form1::Command8_Click);
    connect(HomePage, &QAction::triggered, this, &form1::Command7_Click);
    connect(About, &QAction::triggered, this, &form1::About_Click);
}

QTreeWidgetItem* form1::appendInputEntry(const QString& text, int imageIndex)
{
    auto* item = new QTreeWidgetItem(ListView1, QStringList{text});
    if (imageIndex >= 1 && imageIndex <= m_imageList1.size())
        item->setIcon(0, m_imageList1[imageIndex - 1]);
    item->setData(0, kImageIndexRole, imageIndex);
    return item;
}

void form1::Form_Load()
{
    m_imageList1 = listImages();
    ListView1->setHeaderLabels({QStringLiteral("Please Select the Excel File or Folder to Convert")});
    ListView1->headerItem()->setTextAlignment(0, Qt::AlignLeft | Qt::AlignVCenter);
    ListView1->setColumnWidth(0, twips(4770));
    ListView2->setHeaderLabels({QStringLiteral("Excel Files")});
    ListView2->headerItem()->setTextAlignment(0, Qt::AlignLeft | Qt::AlignVCenter);
    ListView2->setColumnWidth(0, twips(3670));

    state::StateFiles files(m_services.stateFolder, &m_services.messageBox);
    auto lists = files.LoadLists();
    for (const auto& text : lists.inputs)
    {
        // Image 1 for a file, 2 for a folder, 3 for a path that is not there.
        int image = 3;
        switch (common::GetPathType(m_services.platform, text))
        {
        case common::PathType::File:
            image = 1;
            break;
        case common::PathType::Folder:
            image = 2;
            break;
        case common::PathType::Missing:
            break;
        }
        appendInputEntry(QString::fromStdString(text), image);
    }
    for (const auto& text : lists.outputs)
        Combo2->addItem(QString::fromStdString(text));
    if (Combo2->count() > 0)
        Combo2->setCurrentIndex(0);
    else
        Combo2->setEditText(QString());
}

void form1::Form_Unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    state::SavedLists lists;
    for (int i = 0; i < ListView1->topLevelItemCount(); ++i)
        lists.inputs.push_back(ListView1->topLevelItem(i)->text(0).toStdString());
    for (int i = 0; i < Combo2->count(); ++i)
        lists.outputs.push_back(Combo2->itemText(i).toStdString());
    state::StateFiles files(m_services.stateFolder, &m_services.messageBox);
    files.SaveLists(lists);
}

void form1::closeEvent(QCloseEvent* event)
{
    // Tearing the window down under a running batch would pull the lists from under it: close when it is over.
    if (converting())
    {
        m_closeRequested = true;
        event->ignore();
        return;
    }
    // Closing always ends the program; the lists are written first as the settings ask.
    Form_Unload();
    event->accept();
}

namespace {

bool isUserInput(QEvent::Type type)
{
    switch (type)
    {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
        return true;
    default:
        return false;
    }
}

} // namespace

bool form1::eventFilter(QObject* watched, QEvent* event)
{
    // While a batch runs the window repaints but takes no input: a click then is dropped, not queued for later,
    // so nothing starts a second batch or changes the lists the batch is reading. Message boxes are windows of
    // their own and still take their OK.
    if (converting() && isUserInput(event->type()))
    {
        auto* widget = qobject_cast<QWidget*>(watched);
        if ((widget != nullptr && widget->window() == this) || watched == static_cast<QObject*>(windowHandle()))
        {
            event->accept();
            return true;
        }
    }
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_F1 &&
        static_cast<QKeyEvent*>(event)->modifiers() == Qt::NoModifier)
    {
        openHelp();
        event->accept();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void form1::showModal(QDialog& dialog)
{
    if (m_services.runModal)
        m_services.runModal(dialog);
    else
        dialog.exec();
}

std::string form1::helpFilePath() const
{
    auto chm = common::joinPath(m_services.applicationPath, "help.chm");
    if (common::GetPathType(m_services.platform, chm) == common::PathType::File)
        return chm;
    return ownHelpPage();
}

std::string form1::ownHelpPage() const
{
    auto local = common::joinPath(m_services.applicationPath, "velquin-help.html");
    if (common::GetPathType(m_services.platform, local) == common::PathType::File)
        return local;
    return common::joinPath(m_services.applicationPath, "../share/velquin/velquin-help.html");
}

std::string form1::webSiteTarget() const
{
    return common::isRealWebSite(common::kWebSiteUrl) ? std::string(common::kWebSiteUrl) : ownHelpPage();
}

void form1::openHelp()
{
    m_services.platform.shellOpen(helpFilePath(), platform::kShowNormal);
}

// --- Input list: the handlers of the lists work go here. ---

void form1::Command1_Click()
{
    m_inputList->addWorkbook();
}

void form1::Command5_Click()
{
    m_inputList->addFolder();
}

void form1::Command2_Click()
{
    m_inputList->removeEntry();
}

void form1::Command3_Click()
{
    m_inputList->moveUp();
}

void form1::Command4_Click()
{
    m_inputList->moveDown();
}

void form1::ListView1_ItemClick(QTreeWidgetItem* /*item*/)
{
    m_inputList->showWorkbooks();
}

void form1::RemoveAll_Click()
{
    m_inputList->removeAll();
}

// --- Output directory list. ---

void form1::Command10_Click()
{
    m_outputList->browse();
}

void form1::Command11_Click()
{
    m_outputList->view();
}

void form1::Removeoutput_Click()
{
    m_outputList->removeCurrent();
}

void form1::RemoveAllOutput_Click()
{
    m_outputList->removeAll();
}

// --- The batch conversion. ---

void form1::Command6_Click()
{
    m_batch->Command6_Click();
    if (m_closeRequested && !converting())
    {
        m_closeRequested = false;
        close();
    }
}

// --- The shell's own commands. ---

void form1::Command7_Click()
{
    m_services.platform.shellOpen(webSiteTarget(), platform::kShowNormal);
}

void form1::Command8_Click()
{
    m_services.helpKeys.sendHelpKey();
}

void form1::Command9_Click()
{
    close();
}

void form1::Settings_Click()
{
    state::StateFiles files(m_services.stateFolder, &m_services.messageBox);
    state::Setting dialog(files, this);
    showModal(dialog);
}

void form1::About_Click()
{
    Dialog1 dialog(m_services.platform, webSiteTarget(), this);
    showModal(dialog);
}

} // namespace velquin::app
