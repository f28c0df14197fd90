#include "platform/CodeLib.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

// 服务器通信失败！ in UTF-8 and in GBK.
const std::string kUtf8Chinese = "\xe6\x9c\x8d\xe5\x8a\xa1\xe5\x99\xa8\xe9\x80\x9a\xe4\xbf\xa1"
                                 "\xe5\xa4\xb1\xe8\xb4\xa5\xef\xbc\x81";
const std::string kGbkChinese = "\xb7\xfe\xce\xf1\xc6\xf7\xcd\xa8\xd0\xc5\xca\xa7\xb0\xdc\xa3\xa1";

TEST(CodeLib, ChineseRoundTripsBetweenUtf8AndGbk)
{
    EXPECT_EQ(CCodeLib::Utf8ToAnsi(kUtf8Chinese), kGbkChinese);
    EXPECT_EQ(CCodeLib::AnsiToUtf8(kGbkChinese), kUtf8Chinese);
    EXPECT_EQ(CCodeLib::AnsiToUtf8(CCodeLib::Utf8ToAnsi("ab\r\n" + kUtf8Chinese + "z")),
              "ab\r\n" + kUtf8Chinese + "z");
}

TEST(CodeLib, EmptyGivesEmpty)
{
    EXPECT_EQ(CCodeLib::Utf8ToAnsi(""), "");
    EXPECT_EQ(CCodeLib::AnsiToUtf8(""), "");
}

TEST(CodeLib, AsciiPassesUnchanged)
{
    const std::string ascii = "user_01 'quoted' \"x\" \\ ~";
    EXPECT_EQ(CCodeLib::Utf8ToAnsi(ascii), ascii);
    EXPECT_EQ(CCodeLib::AnsiToUtf8(ascii), ascii);
}

struct BadInput {
    const char* name;
    std::string utf8;
    std::string ansi;
};

class Utf8ToAnsiReplacement : public ::testing::TestWithParam<BadInput> {};

TEST_P(Utf8ToAnsiReplacement, BecomesQuestionMarks)
{
    EXPECT_EQ(CCodeLib::Utf8ToAnsi(GetParam().utf8), GetParam().ansi);
}

INSTANTIATE_TEST_SUITE_P(
    CodeLib, Utf8ToAnsiReplacement,
    ::testing::Values(
        // Characters GBK lacks.
        BadInput{"emoji_unmappable", "a\xf0\x9f\x98\x80" "b", "a?b"},
        BadInput{"hangul_unmappable", "\xed\x95\x9c", "?"},
        // Malformed UTF-8: each byte that starts no valid sequence becomes "?".
        BadInput{"lone_continuation", "a\x80z", "a?z"},
        BadInput{"truncated_sequence_at_end", "a\xe6\x9c", "a??"},
        BadInput{"truncated_sequence_inside", "\xe6\x9c" "a", "??a"},
        BadInput{"overlong_slash", "\xc0\xaf", "??"},
        BadInput{"surrogate", "\xed\xa0\x80", "???"},
        BadInput{"invalid_lead_byte", "\xff\xfe", "??"},
        BadInput{"beyond_unicode", "\xf4\x90\x80\x80", "????"},
        BadInput{"mixed_with_chinese", "\xff" "\xe5\xa4\xb1", "?\xca\xa7"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(CodeLib, InvalidGbkBecomesQuestionMarks)
{
    // A lead byte with a bad trail byte, a lone lead byte at the end, the unused byte 0xff.
    EXPECT_EQ(CCodeLib::AnsiToUtf8("a\xb7" "1"), "a?1");
    EXPECT_EQ(CCodeLib::AnsiToUtf8("a\xb7"), "a?");
    EXPECT_EQ(CCodeLib::AnsiToUtf8("\xff" "a"), "?a");
}

TEST(CodeLib, EmbeddedZeroBytesAreKept)
{
    const std::string text("a\0b", 3);
    EXPECT_EQ(CCodeLib::Utf8ToAnsi(text), text);
    EXPECT_EQ(CCodeLib::AnsiToUtf8(text), text);
}

TEST(CodeLib, LongTextConvertsWhole)
{
    std::string utf8, gbk;
    for (int i = 0; i < 5000; ++i) {
        utf8 += kUtf8Chinese;
        gbk += kGbkChinese;
    }
    EXPECT_EQ(CCodeLib::Utf8ToAnsi(utf8), gbk);
    EXPECT_EQ(CCodeLib::AnsiToUtf8(gbk), utf8);
}

TEST(CodeLib, ConcurrentConversionsDoNotInterfere)
{
    std::vector<std::thread> threads;
    std::vector<int> failures(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &failures] {
            for (int i = 0; i < 500; ++i) {
                if (CCodeLib::Utf8ToAnsi(kUtf8Chinese) != kGbkChinese
                    || CCodeLib::AnsiToUtf8(kGbkChinese) != kUtf8Chinese)
                    ++failures[t];
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    for (int count : failures)
        EXPECT_EQ(count, 0);
}

} // namespace
