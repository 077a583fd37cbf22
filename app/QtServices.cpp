// The window system's implementations of the seams.
#include "app/QtServices.h"

#include "common/Product.h"

#include <QApplication>
#include <QDesktopServices>
#include <QKeyEvent>
#include <QMessageBox>
#include <QUrl>

namespace velquin::app {

void QtMessageBox::show(const std::string& text, common::MessageIcon icon)
{
    QMessageBox::Icon qtIcon = QMessageBox::NoIcon;
    if (icon == common::MessageIcon::Critical)
        qtIcon = QMessageBox::Critical;
    else if (icon == common::MessageIcon::Information)
        qtIcon = QMessageBox::Information;
    QMessageBox box(qtIcon, QString::fromLatin1(common::kCaption), QString::fromStdString(text), QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
}

void QtPlatform::shellOpen(const std::string& file, int /*showCommand*/)
{
    if (file.empty())
        return;
    QString text = QString::fromStdString(file);
    // Links keep their scheme; everything else is a local path (a folder or the help file).
    QUrl url = (text.contains(QStringLiteral("://")) || text.startsWith(QStringLiteral("mailto:")))
                   ? QUrl(text)
                   : QUrl::fromLocalFile(text);
    QDesktopServices::openUrl(url);
}

void QtHelpKeySender::sendHelpKey()
{
    QWidget* target = QApplication::focusWidget();
    if (!target)
        target = QApplication::activeWindow();
    if (!target)
        target = m_fallback;
    if (target)
        QCoreApplication::postEvent(target, new QKeyEvent(QEvent::KeyPress, Qt::Key_F1, Qt::NoModifier));
}

} // namespace velquin::app
