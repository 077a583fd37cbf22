// Numbers, dates, number format names and escaping as the writer prints them.
#include "engine/xmlss/ByteSink.h"
#include "engine/xmlss/DateTimeText.h"
#include "engine/xmlss/NumberFormat.h"
#include "engine/xmlss/XmlOutput.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <limits>
#include <string>

namespace velquin::engine::xmlss {
namespace {

std::string numberText(double value)
{
    char buffer[32];
    return std::string(buffer, formatNumber(value, buffer));
}

std::string dateText(double serial, bool date1904 = false)
{
    char buffer[32];
    return std::string(buffer, formatDateTime(serial, date1904, buffer));
}

std::string escapedText(std::string_view value, bool attribute)
{
    StringSink sink;
    {
        XmlOutput out(sink);
        attribute ? out.attribute(value) : out.text(value);
        out.flush();
    }
    return sink.bytes();
}

TEST(NumberText, IsTheShortestTextThatReadsBackInExcelsNotation)
{
    EXPECT_EQ(numberText(1), "1");
    EXPECT_EQ(numberText(-1.2), "-1.2");
    EXPECT_EQ(numberText(12345.6789), "12345.6789");
    EXPECT_EQ(numberText(0.1 + 0.2), "0.30000000000000004");
    EXPECT_EQ(numberText(1.23456789e22), "1.23456789E+22");
    EXPECT_EQ(numberText(-6.2115468608681113e-6), "-6.211546860868111E-6");
    EXPECT_EQ(numberText(5.25e-2), "5.25E-2");
    EXPECT_EQ(numberText(0.06), "0.06");
    EXPECT_EQ(numberText(-6.94e-3), "-6.94E-3");
    EXPECT_EQ(numberText(0.125), "0.125");
    EXPECT_EQ(numberText(-0.0), "0");
    EXPECT_EQ(numberText(std::numeric_limits<double>::infinity()), "0");
    for (const double value : {5.2499999999999998e-2, 1e-300, 123456789012345678.0, 4.9e-324})
        EXPECT_EQ(std::strtod(numberText(value).c_str(), nullptr), value) << numberText(value);
}

TEST(DateTimeText, FollowsThe1900SystemWithItsLeapDayAndThe1904System)
{
    EXPECT_EQ(dateText(1), "1900-01-01T00:00:00.000");
    EXPECT_EQ(dateText(59), "1900-02-28T00:00:00.000");
    EXPECT_EQ(dateText(60), "1900-02-29T00:00:00.000");
    EXPECT_EQ(dateText(61), "1900-03-01T00:00:00.000");
    EXPECT_EQ(dateText(45000.75), "2023-03-15T18:00:00.000");
    EXPECT_EQ(dateText(0, true), "1904-01-01T00:00:00.000");
    EXPECT_EQ(dateText(1.5, true), "1904-01-02T12:00:00.000");
    EXPECT_EQ(dateText(2958465.5), "9999-12-31T12:00:00.000");
}

TEST(DateTimeText, RoundsToTheMillisecondAcrossMidnight)
{
    EXPECT_EQ(dateText(0.999999999999), "1900-01-01T00:00:00.000");
    EXPECT_EQ(dateText(1.0 / 86400000 * 1.6 + 10), "1900-01-10T00:00:00.002");
}

TEST(DateTimeText, RefusesDatesOutsideTheCalendar)
{
    EXPECT_EQ(dateText(-700000), "");
    EXPECT_EQ(dateText(1e12), "");
    EXPECT_EQ(dateText(std::numeric_limits<double>::quiet_NaN()), "");
}

TEST(NumberFormatName, UsesExcelsNamesForBuiltInFormatsAndTheCodeOtherwise)
{
    EXPECT_EQ(excelFormatName("General", 0), "");
    EXPECT_EQ(excelFormatName("0.00", 2), "Fixed");
    EXPECT_EQ(excelFormatName("#,##0.00", 4), "Standard");
    EXPECT_EQ(excelFormatName("0.00%", 10), "Percent");
    EXPECT_EQ(excelFormatName("0.00E+00", 11), "Scientific");
    EXPECT_EQ(excelFormatName("m/d/yyyy", 14), "Short Date");
    EXPECT_EQ(excelFormatName("h:mm AM/PM", 18), "Medium Time");
    EXPECT_EQ(excelFormatName("", 22), "General Date");
    EXPECT_EQ(excelFormatName("d-mmm", 16), "d\\-mmm");
    EXPECT_EQ(excelFormatName("0.000", -1), "0.000");
    EXPECT_EQ(excelFormatName("#,##0.00\"р.\";[Red]\\-#,##0.00\"р.\"", 8), "Currency");
}

TEST(NumberFormatName, SpellsCodesAsExcelDoes)
{
    EXPECT_EQ(excelFormatName("YYYY", -1), "yyyy");
    EXPECT_EQ(excelFormatName("[BLUE]GENERAL", -1), "[Blue]General");
    EXPECT_EQ(excelFormatName("[HH]", -1), "[hh]");
    EXPECT_EQ(excelFormatName("HH:MM:SS\\ AM/PM", -1), "hh:mm:ss\\ AM/PM");
    EXPECT_EQ(excelFormatName("M/D/YYYY", -1), "Short Date");
    EXPECT_EQ(excelFormatName("\"DAYS\" 0.0E+00 \\D", -1), "\"DAYS\"\\ 0.0E+00\\ \\D");
    EXPECT_EQ(excelFormatName("[$-409]DDDD", -1), "[ENG][$-409]dddd");
    EXPECT_EQ(excelFormatName("[COLOR12]0", -1), "[Color12]0");
    EXPECT_EQ(excelFormatName("[$-409]d\\-mmm;@", -1), "[ENG][$-409]d\\-mmm;@");
    EXPECT_EQ(excelFormatName("[$-409]0.00", -1), "[$-409]0.00");
    // Only month and day names depend on the language: numeric dates, times and first letters get no tag.
    EXPECT_EQ(excelFormatName("[$-409]m/d/yy\\ h:mm\\ AM/PM;@", -1), "[$-409]m/d/yy\\ h:mm\\ AM/PM;@");
    EXPECT_EQ(excelFormatName("[$-409]mmmmm\\-yy;@", -1), "[$-409]mmmmm\\-yy;@");
    EXPECT_EQ(excelFormatName("[$-409]\"mmm\" yy", -1), "[$-409]\"mmm\"\\ yy");
    EXPECT_EQ(excelFormatName("[$-409]mmmm\\ d\\,\\ yyyy;@", -1), "[ENG][$-409]mmmm\\ d\\,\\ yyyy;@");
}

TEST(NumberFormatName, MarksLiteralCharactersWithABackslashAsExcelDoes)
{
    EXPECT_EQ(excelFormatName("yyyy-mm-dd;@", -1), "yyyy\\-mm\\-dd;@");
    EXPECT_EQ(excelFormatName("#,##0.00;-#,##0.00", -1), "#,##0.00;\\-#,##0.00");
    EXPECT_EQ(excelFormatName("mmmm d, yyyy", -1), "mmmm\\ d\\,\\ yyyy");
    EXPECT_EQ(excelFormatName("0.00E-00;(0.00E+00)", -1), "0.00E-00;\\(0.00E+00\\)");
    EXPECT_EQ(excelFormatName("$#,##0 \"€\" € £", -1), "\\$#,##0\\ \"€\"\\ \\€\\ \\£");
    EXPECT_EQ(excelFormatName("_-* #,##0\\-;[Red][<=-5][$-419]0 \\,", -1), "_-* #,##0\\-;[Red][<=-5][$-419]0\\ \\,");
    EXPECT_EQ(excelFormatName("d-mmm-yy", -1), "Medium Date");
    EXPECT_EQ(excelFormatName("$#,##0.00_);[Red]($#,##0.00)", -1), "Currency");
}

TEST(NumberFormatName, GivesCodesExcelRefusesAsGeneral)
{
    for (const char* refused : {"HH[MM]", "hh[m]", "[h]:[mm]", "[s] s", "0;hh:mm [m]", "0;0;0;@;0", "0 \"days", "[Red 0"})
    {
        EXPECT_FALSE(isUsableFormat(refused)) << refused;
        EXPECT_EQ(excelFormatName(refused, -1), "") << refused;
    }
    for (const char* usable : {"[h]:mm:ss", "[mm]:ss", "[ss].00", "\"hh[mm]\" 0", "[Red]hh", "0;-0;\"zero\";@"})
        EXPECT_TRUE(isUsableFormat(usable)) << usable;
}

TEST(NumberFormatName, RecognisesDateFormatsOnlyOutsideLiteralsAndColours)
{
    for (const char* date : {"m/d/yyyy", "[h]:mm:ss", "[$-409]mmmm d, yyyy", "hh:mm AM/PM", "\"Q\"q yy", "mm:ss.0"})
        EXPECT_TRUE(isDateFormat(date)) << date;
    for (const char* other :
         {"General", "0.00", "\"days\" 0", "[Red]0.00", "0.00E+00", "#,##0 \\d", "@", "0;[Red]-0 \"h\"",
          "[Magenta]0.00", "[Green]#,###", "[>=100000]0.000", "AM/PM", "0.0 A/P"})
        EXPECT_FALSE(isDateFormat(other)) << other;
}

TEST(Escaping, EscapesMarkupAndLineBreaksAndNeverWritesForbiddenCharacters)
{
    EXPECT_EQ(escapedText("a<b>&\"c\"", false), "a&lt;b&gt;&amp;\"c\"");
    EXPECT_EQ(escapedText("a<b>&\"c\"", true), "a&lt;b&gt;&amp;&quot;c&quot;");
    EXPECT_EQ(escapedText("one\ntwo\r", false), "one&#10;two&#13;");
    EXPECT_EQ(escapedText("tab\there", true), "tab&#9;here");
    EXPECT_EQ(escapedText(std::string_view("bell\x07 nul\0 end", 14), false), "bell nul end");
    EXPECT_EQ(escapedText("snow \xE2\x98\x83 man", false), "snow \xE2\x98\x83 man");
    EXPECT_EQ(escapedText("bad \xC3 byte", false), "bad \xEF\xBF\xBD byte");
    EXPECT_EQ(escapedText("surrogate \xED\xA0\x80!", false), "surrogate \xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD!");
    EXPECT_EQ(escapedText("not a char \xEF\xBF\xBE", false), "not a char \xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
}

} // namespace
} // namespace velquin::engine::xmlss
