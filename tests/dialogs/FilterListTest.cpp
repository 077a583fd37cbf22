// Filter texts: the two NUL-separated forms, how a dialog reads them, and Qt's name filters.
#include "dialogs/FilterList.h"

#include <QRegularExpression>
#include <QString>
#include <gtest/gtest.h>

using namespace velquin::dialogs;

namespace {

TEST(FilterConversion, OpenReplacesEveryBarAndAppendsOneNul)
{
    EXPECT_EQ(openDialogFilter("A|*.a|B|*.b"), std::string("A\0*.a\0B\0*.b\0", 12));
    EXPECT_EQ(openDialogFilter(""), std::string("\0", 1));
}

TEST(FilterConversion, SaveFollowsEveryPieceWithNulIncludingEmptyLastOne)
{
    EXPECT_EQ(saveDialogFilter("A|*.a"), std::string("A\0*.a\0", 6));
    EXPECT_EQ(saveDialogFilter("A|*.a|"), std::string("A\0*.a\0\0", 7));
    EXPECT_EQ(saveDialogFilter("  "), std::string("*.*\0*.*\0", 8));
}

TEST(FilterConversion, DialogStopsReadingAtFirstEmptyTextAndDropsLoneDescription)
{
    EXPECT_EQ(parseFilterList(std::string("A\0*.a\0\0B\0*.b\0", 13)), (std::vector<FilterEntry>{{"A", "*.a"}}));
    EXPECT_EQ(parseFilterList(std::string("A\0*.a\0B", 7)), (std::vector<FilterEntry>{{"A", "*.a"}}));
    EXPECT_TRUE(parseFilterList(std::string("\0A\0*.a", 6)).empty());
}

TEST(FilterConversion, QtNameFilterMatchesEveryPatternWithoutRegardToCase)
{
    const std::string nameFilter = qtNameFilter({"Excel File(*.xls;*.xlsx)", "*.xls; *.xlsx"});
    ASSERT_EQ(nameFilter.rfind("Excel File(*.xls;*.xlsx) (", 0), 0u) << nameFilter;

    // Qt takes the wildcards from the last parenthesised group, separated by blanks.
    const QString text = QString::fromStdString(nameFilter);
    const QString inner = text.mid(text.lastIndexOf('(') + 1).chopped(1);
    const QStringList wildcards = inner.split(' ', Qt::SkipEmptyParts);
    ASSERT_EQ(wildcards.size(), 2);
    const auto matchesAny = [&](const QString& name) {
        for (const QString& wildcard : wildcards)
        {
            if (QRegularExpression(QRegularExpression::wildcardToRegularExpression(wildcard)).match(name).hasMatch())
                return true;
        }
        return false;
    };
    EXPECT_TRUE(matchesAny("book.xls"));
    EXPECT_TRUE(matchesAny("BOOK.XLSX"));
    EXPECT_TRUE(matchesAny("Q1 Sales.Xls"));
    EXPECT_FALSE(matchesAny("notes.txt"));
    EXPECT_FALSE(matchesAny("book.xlsm"));
}

} // namespace
