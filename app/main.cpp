// Start-up: the application object, the real services and the main window.
#include "app/Artwork.h"
#include "app/QtServices.h"
#include "app/form1.h"
#include "common/Paths.h"
#include "state/StateFiles.h"

#include <QApplication>
#include <cstdlib>

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

    velquin::app::form1 window(
        velquin::app::Services{platform, messageBox, helpKeys, applicationPath, stateFolder, nullptr, nullptr, {}});
    helpKeys.setFallback(&window);
    window.show();
    return application.exec();
}
