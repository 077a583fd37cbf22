// The password dialog of an encrypted workbook.
#include "app/PasswordDialog.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace velquin::app {

PasswordDialog::PasswordDialog(const QString& workbookName, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("PasswordDialog"));
    setWindowTitle(QStringLiteral("Password"));
    Label1 = new QLabel(QStringLiteral("'%1' is protected.\nPassword:").arg(workbookName), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Text1 = new QLineEdit(this);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setEchoMode(QLineEdit::Password);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(Text1);
    layout->addWidget(buttons);
}

std::optional<std::string> DialogPasswords::ask(const std::string& path, bool lastFailed)
{
    if (lastFailed)
        return std::nullopt;
    PasswordDialog dialog(QFileInfo(QString::fromStdString(path)).fileName(), m_parent);
    if (m_showModal)
        m_showModal(dialog);
    else
        dialog.exec();
    if (dialog.result() != QDialog::Accepted)
        return std::nullopt;
    std::string password = dialog.Text1->text().toStdString();
    dialog.Text1->clear();
    return password;
}

} // namespace velquin::app
