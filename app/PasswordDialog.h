// The password dialog that opening an encrypted workbook shows, and the password source of the window behind it.
#pragma once

#include "convert/automation/Automation.h"

#include <QDialog>
#include <functional>

class QLabel;
class QLineEdit;

namespace velquin::app {

/// Names the workbook and takes its password in a masked box, with OK and Cancel.
class PasswordDialog : public QDialog
{
    Q_OBJECT

public:
    PasswordDialog(const QString& workbookName, QWidget* parent = nullptr);

    QLabel* Label1 = nullptr;
    QLineEdit* Text1 = nullptr;
};

/// Asks the user once per workbook, as opening a workbook does while alerts are on: Cancel, or a password that
/// does not fit, fails that workbook. The password is handed on and kept nowhere.
class DialogPasswords : public convert::PasswordSource
{
public:
    /// `showModal` shows the dialog and returns when it is closed (tests answer it there).
    DialogPasswords(QWidget* parent, std::function<void(QDialog&)> showModal)
        : m_parent(parent), m_showModal(std::move(showModal))
    {}
    std::optional<std::string> ask(const std::string& path, bool lastFailed) override;

private:
    QWidget* m_parent;
    std::function<void(QDialog&)> m_showModal;
};

} // namespace velquin::app
