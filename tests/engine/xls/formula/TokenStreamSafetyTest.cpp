// Hostile or damaged token streams: every failure is a Status, never a crash or an overlong result.
#include "FormulaTestBytes.h"
#include "engine/xls/formula/TokenDecoder.h"

#include <algorithm>
#include <gtest/gtest.h>

using velquin::engine::EngineErrc;
using velquin::engine::xls::formula::decompile;
using velquin::engine::xls::formula::FormulaContext;
using velquin::engine::xls::formula::TokenDecoder;
using velquin::test::cellContext;
using velquin::test::decompileHex;
using velquin::test::hexBytes;

namespace {

TEST(FormulaStreamSafety, EveryTruncationOfAValidStreamIsDamaged)
{
    // Each stream is valid whole; cutting it anywhere but after a complete formula must give DamagedFile and never
    // read past the cut.
    struct Stream
    {
        const char* tokens;
        const char* extra;
        std::vector<std::size_t> validCuts; ///< shorter lengths that are complete formulas by themselves
    };
    const Stream streams[] = {
        {"1E 01 00 1F 00 00 00 00 00 00 F8 3F 03 15", "", {3, 13}},
        {"17 03 01 41 00 42 00 43 00", "", {}},
        {"25 00 00 01 00 00 00 01 00 19 10 00 00", "", {9}},
        {"3B 00 00 00 00 01 00 00 00 01 00", "", {}},
        {"1E 01 00 19 04 01 00 04 00 08 00 1E 02 00 19 08 00 00 42 02 64 00", "", {3, 11}},
        {"39 00 00 01 00 00 00 42 01 FF 00", "", {7}},
        {"23 01 00 00 00 42 01 FF 00", "", {5}},
        {"60 00 00 00 00 00 00 00", "00 00 00 01 00 00 00 00 00 00 F0 3F", {}},
    };
    FormulaContext context = cellContext(4, 4);
    context.sheetPrefix = [](std::uint32_t) -> std::optional<std::string> { return "S"; };
    context.externalName = [](std::uint32_t, std::uint32_t) -> std::optional<std::string> { return "F"; };
    context.definedName = [](std::uint32_t) -> std::optional<std::string> { return "N"; };
    for (const Stream& stream : streams)
    {
        const std::vector<std::uint8_t> tokens = hexBytes(stream.tokens);
        const std::vector<std::uint8_t> extra = hexBytes(stream.extra);
        ASSERT_TRUE(decompile(tokens, extra, context).status) << stream.tokens;
        for (std::size_t cut = 1; cut < tokens.size(); ++cut)
        {
            // A copy of exactly `cut` bytes, so a read past it is caught by the sanitizers.
            const std::vector<std::uint8_t> head(tokens.begin(), tokens.begin() + static_cast<std::ptrdiff_t>(cut));
            auto result = decompile(head, extra, context);
            if (std::find(stream.validCuts.begin(), stream.validCuts.end(), cut) != stream.validCuts.end())
                continue;
            EXPECT_EQ(result.status.code(), EngineErrc::DamagedFile) << stream.tokens << " cut at " << cut;
            EXPECT_TRUE(result.text.empty());
        }
        for (std::size_t cut = 0; cut < extra.size(); ++cut)
        {
            const std::vector<std::uint8_t> head(extra.begin(), extra.begin() + static_cast<std::ptrdiff_t>(cut));
            EXPECT_EQ(decompile(tokens, head, context).status.code(), EngineErrc::DamagedFile)
                << stream.extra << " cut at " << cut;
        }
    }
}

TEST(FormulaStreamSafety, UnknownTokensNameTheirIdAndOffset)
{
    auto result = decompileHex("1E 01 00 1A 00");
    EXPECT_EQ(result.status.code(), EngineErrc::DamagedFile);
    EXPECT_NE(result.status.detail().find("0x1A"), std::string::npos) << result.status.detail();
    EXPECT_NE(result.status.detail().find("offset 3"), std::string::npos) << result.status.detail();
    EXPECT_EQ(decompileHex("1E 01 00 80").status.code(), EngineErrc::DamagedFile);
    EXPECT_EQ(decompileHex("1E 01 00 1E 02 00 01 00 00 00 00").status.code(), EngineErrc::DamagedFile)
        << "PtgExp is only valid as the whole formula";
}

TEST(FormulaStreamSafety, StreamsMustLeaveExactlyOneOperand)
{
    EXPECT_EQ(decompileHex("").status.code(), EngineErrc::DamagedFile);
    EXPECT_EQ(decompileHex("1E 01 00 1E 02 00").status.code(), EngineErrc::DamagedFile);
    EXPECT_EQ(decompileHex("03").status.code(), EngineErrc::DamagedFile);
    EXPECT_EQ(decompileHex("19 40 00 01").status.code(), EngineErrc::DamagedFile) << "only a space";
    EXPECT_EQ(decompileHex("15").status.code(), EngineErrc::DamagedFile);
}

TEST(FormulaStreamSafety, DeepOrLongStreamsHitTheirCaps)
{
    std::string deep;
    for (std::size_t i = 0; i <= TokenDecoder::kMaxStackDepth; ++i)
        deep += "1E 01 00 ";
    EXPECT_EQ(decompileHex(deep).status.code(), EngineErrc::LimitExceeded);

    // 255 spaces per 4-byte token make a short stream expand fast; the text cap stops it.
    std::string wide;
    for (int i = 0; i < 100; ++i)
        wide += "19 40 00 FF ";
    wide += "1E 01 00";
    EXPECT_EQ(decompileHex(wide).status.code(), EngineErrc::LimitExceeded);

    // Many nested parentheses stay linear and within the cap.
    std::string nested = "1E 01 00";
    for (int i = 0; i < 5000; ++i)
        nested += " 15";
    auto result = decompileHex(nested);
    ASSERT_TRUE(result.status) << result.status.description();
    EXPECT_EQ(result.text.size(), 1u + 1u + 2u * 5000u);
}

TEST(FormulaStreamSafety, SharedAndTableCellsPointAtTheirAnchor)
{
    auto shared = decompileHex("01 05 00 02 00");
    ASSERT_TRUE(shared.status);
    ASSERT_TRUE(shared.anchor.has_value());
    EXPECT_EQ(*shared.anchor, std::make_pair(5u, 2u));
    EXPECT_FALSE(shared.isTable);
    EXPECT_TRUE(shared.text.empty());

    auto table = decompileHex("02 00 01 03 00");
    ASSERT_TRUE(table.status);
    EXPECT_EQ(*table.anchor, std::make_pair(256u, 3u));
    EXPECT_TRUE(table.isTable);

    EXPECT_EQ(decompileHex("01 05 00 02").status.code(), EngineErrc::DamagedFile);
}

TEST(FormulaStreamSafety, NatureLanguageTokensAreRefusedWithTheirId)
{
    auto result = decompileHex("18 01 00 00 00 00");
    EXPECT_FALSE(result.status);
    EXPECT_NE(result.status.detail().find("0x18"), std::string::npos) << result.status.detail();
}

} // namespace
