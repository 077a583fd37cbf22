// The colour, font and printer dialogs of CCommonDialogs, and the font height arithmetic.
#include "dialogs/CCommonDialogs.h"
#include "dialogs/FontHeight.h"
#include "dialogs/ScriptedDialogBackend.h"

#include <QWidget>
#include <gtest/gtest.h>

using namespace velquin::dialogs;

namespace {

class OtherDialogs : public ::testing::Test
{
protected:
    CCommonDialogs makeDialogs()
    {
        CCommonDialogs dialogs(backend, "/app");
        dialogs.Init(&owner);
        return dialogs;
    }

    QWidget owner;
    ScriptedDialogBackend backend;
};

TEST(FontHeight, RoundsLikeMulDiv)
{
    EXPECT_EQ(logFontHeight(10, 96), -13);
    EXPECT_EQ(logFontHeight(11, 96), -15);
    EXPECT_EQ(logFontHeight(8, 96), -11);
    EXPECT_EQ(logFontHeight(10, 120), -17);
    EXPECT_EQ(logFontHeight(0, 96), 0);
    // Halves round away from zero, on both sides.
    EXPECT_EQ(mulDiv(3, 1, 2), 2);
    EXPECT_EQ(mulDiv(-3, 1, 2), -2);
    EXPECT_EQ(mulDiv(3, 1, -2), -2);
    EXPECT_EQ(mulDiv(-5, 3, 4), -4);
    EXPECT_EQ(mulDiv(1, 1, 0), -1);
    EXPECT_EQ(mulDiv(0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF), 0x7FFFFFFF);
    EXPECT_EQ(mulDiv(0x7FFFFFFF, 4, 2), -1);
}

TEST_F(OtherDialogs, FontRecordCarriesSizeStyleAndNameFromProperties)
{
    CCommonDialogs dialogs = makeDialogs();
    backend.setScreenDpiY(120);
    dialogs.setFontSize(10);
    dialogs.setFontBold(true);
    dialogs.setFontUnderline(true);
    dialogs.setFontName(std::string(31, 'F') + "GH");

    EXPECT_FALSE(dialogs.ShowFont());

    const LogFont& font = backend.fontRequests().at(0).font;
    EXPECT_EQ(font.height, -17);
    EXPECT_EQ(font.weight, 700);
    EXPECT_FALSE(font.italic);
    EXPECT_TRUE(font.underline);
    EXPECT_EQ(font.faceName, std::string(31, 'F'));
}

TEST_F(OtherDialogs, FaceNameLimitCountsCharactersNotBytes)
{
    CCommonDialogs dialogs = makeDialogs();
    std::string name;
    for (int i = 0; i < 33; ++i)
        name += "\xC3\xA9";
    dialogs.setFontName(name);

    EXPECT_FALSE(dialogs.ShowFont());

    EXPECT_EQ(backend.fontRequests().at(0).font.faceName, name.substr(0, 62));
}

TEST_F(OtherDialogs, ConfirmedFontSetsNameStyleAndWholePointsButNotUnderlineOrColor)
{
    CCommonDialogs dialogs = makeDialogs();
    dialogs.setFontBold(true);
    dialogs.setFontUnderline(true);
    dialogs.setColor(0x00FF00);
    backend.answerFont(FontDialogAnswer{"DejaVu Sans", 105, false, true});

    ASSERT_TRUE(dialogs.ShowFont());

    EXPECT_EQ(dialogs.FontName(), "DejaVu Sans");
    EXPECT_EQ(dialogs.FontSize(), 10);
    EXPECT_FALSE(dialogs.FontBold());
    EXPECT_TRUE(dialogs.FontItalic());
    EXPECT_TRUE(dialogs.FontUnderline());
    EXPECT_EQ(dialogs.Color(), 0x00FF00);
}

TEST_F(OtherDialogs, CancelledFontChangesNothing)
{
    CCommonDialogs dialogs = makeDialogs();
    dialogs.setFontName("Arial");
    dialogs.setFontSize(9);

    EXPECT_FALSE(dialogs.ShowFont());

    EXPECT_EQ(dialogs.FontName(), "Arial");
    EXPECT_EQ(dialogs.FontSize(), 9);
}

TEST_F(OtherDialogs, FontShowsWithoutOwnerAndWithoutPrinter)
{
    CCommonDialogs dialogs(backend, "/app");
    backend.answerFont(FontDialogAnswer{"Arial", 90, true, true});

    const auto result = dialogs.ShowFont();

    EXPECT_TRUE(result);
    EXPECT_EQ(backend.fontRequests().at(0).owner, nullptr);
    EXPECT_FALSE(backend.fontRequests().at(0).printerDeviceContext);
    EXPECT_EQ(dialogs.FontSize(), 9);
    EXPECT_TRUE(dialogs.FontBold());
    EXPECT_TRUE(dialogs.FontItalic());
}

TEST_F(OtherDialogs, ColorStartsFromColorWithFreshBlackCustomColours)
{
    CCommonDialogs dialogs = makeDialogs();
    dialogs.setColor(0x123456);
    backend.answerColor(0x00ABCDEF);

    ASSERT_TRUE(dialogs.ShowColor(false));
    EXPECT_EQ(dialogs.Color(), 0x00ABCDEF);
    EXPECT_FALSE(dialogs.ShowColor(true));
    EXPECT_EQ(dialogs.Color(), 0x00ABCDEF);

    ASSERT_EQ(backend.colorRequests().size(), 2u);
    EXPECT_EQ(backend.colorRequests()[0].initialColor, 0x123456);
    EXPECT_FALSE(backend.colorRequests()[0].fullOpen);
    EXPECT_TRUE(backend.colorRequests()[1].fullOpen);
    EXPECT_EQ(backend.colorRequests()[1].initialColor, 0x00ABCDEF);
    for (const auto& request : backend.colorRequests())
    {
        for (std::int32_t custom : request.customColors)
            EXPECT_EQ(custom, 0);
    }
}

TEST_F(OtherDialogs, ColorAndPrinterNeedAnOwner)
{
    CCommonDialogs dialogs(backend, "/app");
    backend.answerColor(0xFF);
    backend.answerPrint(true);

    EXPECT_EQ(dialogs.ShowColor(false).error(), DialogErrc::NoOwner);
    EXPECT_EQ(dialogs.ShowPrinter().error(), DialogErrc::NoOwner);
    EXPECT_EQ(backend.dialogsShown(), 0u);
    EXPECT_EQ(dialogs.Color(), 0);
}

TEST_F(OtherDialogs, PrinterConfirmedChangesNoProperty)
{
    CCommonDialogs dialogs = makeDialogs();
    dialogs.setPath("/p");
    backend.answerPrint(true);

    EXPECT_TRUE(dialogs.ShowPrinter());

    const auto& request = backend.printRequests().at(0);
    EXPECT_TRUE(request.noSelection);
    EXPECT_TRUE(request.noPageNumbers);
    EXPECT_TRUE(request.hidePrintToFile);
    EXPECT_EQ(dialogs.Path(), "/p");
}

TEST_F(OtherDialogs, PrinterPropertiesNeedADefaultPrinter)
{
    CCommonDialogs dialogs = makeDialogs();
    backend.answerPrinterProperties(true);

    EXPECT_FALSE(dialogs.ShowPrinterProperties());
    EXPECT_EQ(backend.dialogsShown(), 0u);

    backend.setDefaultPrinter("Office LaserJet");
    EXPECT_TRUE(dialogs.ShowPrinterProperties());
    EXPECT_EQ(backend.printerPropertiesRequests(), std::vector<std::string>{"Office LaserJet"});
}

} // namespace
