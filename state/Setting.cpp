// The settings dialog.
#include "state/Setting.h"

#include "state/StateFiles.h"

#include <QKeyEvent>

namespace velquin::state {

namespace {

int twips(int value)
{
    return (value * 2 + 15) / 30;
}

void place(QWidget* widget, int left, int top, int width, int height)
{
    widget->setGeometry(twips(left), twips(top), twips(width), twips(height));
}

} // namespace

Setting::Setting(const StateFiles& files, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      m_files(files)
{
    setObjectName(QStringLiteral("Setting"));
    setWindowTitle(QStringLiteral("Setting"));
    QFont font(QStringLiteral("Arial"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(8.25);
    setFont(font);
    setFixedSize(twips(3735), twips(1560));

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    place(OKButton, 360, 1080, 1215, 375);
    CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));
    place(CancelButton, 2040, 1080, 1215, 375);
    // Neither button answers Enter or Escape: the user has to pick one.
    for (auto* button : {OKButton, CancelButton})
    {
        button->setAutoDefault(false);
        button->setDefault(false);
    }
    Check1 = new QCheckBox(QStringLiteral("Automatically save the current file\r\n"), this);
    Check1->setObjectName(QStringLiteral("Check1"));
    place(Check1, 360, 240, 2895, 370);
    Check2 = new QCheckBox(QStringLiteral("Automatically save the output directory"), this);
    Check2->setObjectName(QStringLiteral("Check2"));
    place(Check2, 360, 600, 3135, 255);

    setTabOrder(OKButton, CancelButton);
    setTabOrder(CancelButton, Check1);
    setTabOrder(Check1, Check2);
    connect(OKButton, &QPushButton::clicked, this, &Setting::OKButton_Click);
    connect(CancelButton, &QPushButton::clicked, this, &Setting::CancelButton_Click);

    Form_Load();
}

void Setting::Form_Load()
{
    Check1->setChecked(false);
    Check2->setChecked(false);
    auto flags = m_files.ReadSettingFlags();
    Check1->setChecked(flags.saveInputList);
    Check2->setChecked(flags.saveOutputList);
}

void Setting::OKButton_Click()
{
    // A failed write has told the user already; the dialog closes either way.
    m_files.WriteSettingFlags(Check1->isChecked(), Check2->isChecked());
    accept();
}

void Setting::CancelButton_Click()
{
    reject();
}

void Setting::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
    {
        event->ignore();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace velquin::state
