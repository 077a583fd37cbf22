// The output name rule: base names and the counter that steps around folders of the same name.
#include "convert/OutputName.h"

#include "platform/FakePlatform.h"

#include <gtest/gtest.h>

using namespace velquin::convert;
using velquin::platform::FakePlatform;

TEST(OutputNameRule, RemoveSpacesAndDots)
{
    EXPECT_EQ(RemoveSpacesAndDots(""), "");
    EXPECT_EQ(RemoveSpacesAndDots(" . .."), "");
    EXPECT_EQ(RemoveSpacesAndDots("Q1 Sales.2009"), "Q1Sales2009");
    EXPECT_EQ(RemoveSpacesAndDots("a\tb\u00a0c"), "a\tb\u00a0c"); // only U+0020 counts as a space
    EXPECT_EQ(RemoveSpacesAndDots("Umsatz März.v2"), "UmsatzMärzv2");
}

TEST(OutputNameRule, BaseNameCutsBeforeTheLastDot)
{
    EXPECT_EQ(outputBaseName("Q1 Sales.2009.xls"), "Q1Sales2009");
    EXPECT_EQ(outputBaseName("Data"), "Data");
    EXPECT_EQ(outputBaseName("A B.xls"), "AB");
    EXPECT_EQ(outputBaseName("AB.xlsx"), "AB");
    EXPECT_EQ(outputBaseName(".xls"), "");
    EXPECT_EQ(outputBaseName("trailing."), "trailing");
    EXPECT_EQ(outputBaseName("a.b.c"), "ab");
}

TEST(OutputNameRule, AppendsCounterBehindExtendedCandidate)
{
    FakePlatform platform;
    platform.addFolder("/out");
    EXPECT_EQ(outputBasePath(platform, "/out/", "Book1"), "/out/Book1");
    platform.addFolder("/out/Book1");
    EXPECT_EQ(outputBasePath(platform, "/out/", "Book1"), "/out/Book11");
    platform.addFolder("/out/Book11");
    EXPECT_EQ(outputBasePath(platform, "/out/", "Book1"), "/out/Book112");
    platform.addFolder("/out/Book112");
    platform.addFolder("/out/Book1123");
    EXPECT_EQ(outputBasePath(platform, "/out/", "Book1"), "/out/Book11234");
}

TEST(OutputNameRule, OnlyAFolderStopsAName)
{
    FakePlatform platform;
    platform.addFolder("/out");
    platform.addFile("/out/Book1.xml");
    platform.addFile("/out/Data");
    platform.addFolder("/out/Hidden", velquin::platform::attr::Hidden);
    platform.addFolder("/out/Device", velquin::platform::attr::System);
    EXPECT_EQ(outputBasePath(platform, "/out/", "Book1"), "/out/Book1");
    EXPECT_EQ(outputBasePath(platform, "/out/", "Data"), "/out/Data");
    EXPECT_EQ(outputBasePath(platform, "/out/", "Hidden"), "/out/Hidden1");
    EXPECT_EQ(outputBasePath(platform, "/out/", "Device"), "/out/Device");
}

TEST(OutputNameRule, EmptyBaseNameStepsAroundTheOutputFolderItself)
{
    FakePlatform platform;
    platform.addFolder("/out");
    EXPECT_EQ(outputBasePath(platform, "/out/", ""), "/out/1");
    platform.addFolder("/out/1");
    EXPECT_EQ(outputBasePath(platform, "/out/", ""), "/out/12");
}
