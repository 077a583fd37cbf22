// Start-up: the application object, the real services and the main window.
#include "app/Artwork.h"
#include "app/QtServices.h"
#include "app/form1.h"
#include "common/Paths.h"
#include "convert/automation/Automation.h"
#include "state/StateFiles.h"

#include <QApplication>
#include <cstdlib>
#include <memory>

#if __has_include("convert/automation/EngineAutomation.h")
#include "convert/automation/EngineAutomation.h"
#define VELQUIN_HAS_ENGINE_AUTOMATION 1
#endif

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velquin"));
    QApplication::setDesktopFileName(QStringLiteral("velquin"));
    QApplication::setWindowIcon(velquin::app::pictureIcon(velquin::app::Picture::Product, 48));

    velquin::app::QtPlatform platform;
    velquin::app::QtMessageBox messageBox;
    velquin::app::QtHelpKeySender helpKeys;
    auto applicationPath = velquin::common::applicationPath();
    auto stateFolder =
        velquin::state::chooseStateFolder(applicationPath, std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"));

    std::unique_ptr<velquin::convert::ApplicationFactory> automation;
#ifdef VELQUIN_HAS_ENGINE_AUTOMATION
    automation = std::make_unique<velquin::convert::EngineApplicationFactory>();
#endif

    velquin::app::form1 window(velquin::app::Services{
        platform, messageBox, helpKeys, applicationPath, stateFolder, nullptr, automation.get(), {}});
    helpKeys.setFallback(&window);
    window.show();
    return application.exec();
}
