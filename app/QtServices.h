// The window system's implementations of the seams: message box, shell open and the Help key press.
#pragma once

#include "app/Services.h"
#include "common/MessageBox.h"
#include "platform/PosixPlatform.h"

class QWidget;

namespace velquin::app {

/// QMessageBox with the caption "Velquin" and an OK button only.
class QtMessageBox : public common::MessageBox
{
public:
    void show(const std::string& text, common::MessageIcon icon) override;
};

/// The POSIX services, with links and folders opened by the desktop's own opener.
class QtPlatform : public platform::PosixPlatform
{
public:
    void shellOpen(const std::string& file, int showCommand) override;
};

/// Posts an F1 key press to the active window (or the focus widget) and returns at once.
class QtHelpKeySender : public HelpKeySender
{
public:
    explicit QtHelpKeySender(QWidget* fallback = nullptr) : m_fallback(fallback) {}
    void setFallback(QWidget* fallback) { m_fallback = fallback; }
    void sendHelpKey() override;

private:
    QWidget* m_fallback;
};

} // namespace velquin::app
