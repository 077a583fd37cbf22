// The Qt backend: what the real dialogs are given and what comes back when they are closed.
#include "dialogs/QtDialogBackend.h"

#include "tests/support/TestSupport.h"

#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

using namespace velquin::dialogs;

namespace {

// Runs `act` on the modal dialog as soon as the event loop of its exec() is running.
template <typename Dialog> void whenShown(std::function<void(Dialog&)> act)
{
    QTimer::singleShot(0, [act] {
        auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        act(*dialog);
    });
}

TEST(QtDialogBackend, OpenDialogOffersTheFileTypesAndReturnsTheChosenFile)
{
    velquin::test::TempDir dir;
    const std::string book = dir.write("Book One.xls", "x");
    QWidget owner;
    FileDialogRequest request;
    request.owner = &owner;
    request.caption = "Select Excel File";
    request.filters = {{"Excel File(*.xls;*.xlsx)", "*.xls;*.xlsx"}};
    request.initialFile = book;
    request.fileMustExist = true;
    QStringList seenFilters;
    QString seenTitle;
    whenShown<QFileDialog>([&](QFileDialog& dialog) {
        seenFilters = dialog.nameFilters();
        seenTitle = dialog.windowTitle();
        static_cast<QDialog&>(dialog).accept();
    });

    QtDialogBackend backend;
    const auto chosen = backend.openFile(request);

    EXPECT_EQ(seenTitle, "Select Excel File");
    ASSERT_EQ(seenFilters.size(), 1);
    EXPECT_TRUE(seenFilters.front().startsWith("Excel File(*.xls;*.xlsx) ("));
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(*chosen, book);
}

TEST(QtDialogBackend, CancelledFolderDialogGivesNothing)
{
    QWidget owner;
    whenShown<QFileDialog>([](QFileDialog& dialog) { dialog.reject(); });

    QtDialogBackend backend;
    EXPECT_FALSE(backend.browseFolder({&owner, "Add all word files in folder"}).has_value());
}

TEST(QtDialogBackend, ColourTravelsAsRedGreenBlueInLowToHighBytes)
{
    QWidget owner;
    QColor seenInitial;
    whenShown<QColorDialog>([&](QColorDialog& dialog) {
        seenInitial = dialog.currentColor();
        dialog.setCurrentColor(QColor(0x10, 0x20, 0x30));
        static_cast<QDialog&>(dialog).accept();
    });
    ColorDialogRequest request;
    request.owner = &owner;
    request.initialColor = 0x00030201;

    QtDialogBackend backend;
    const auto chosen = backend.chooseColor(request);

    EXPECT_EQ(seenInitial, QColor(0x01, 0x02, 0x03));
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(*chosen, 0x00302010);
}

} // namespace
