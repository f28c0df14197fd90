#include "platform/CodeLib.h"
#include "platform/MD5.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct DigestCase {
    const char* name;
    std::string text;
    const char* hex;
};

// The test suite of RFC 1321, appendix A.5.
const std::vector<DigestCase> kRfc1321 = {
    {"empty", "", "d41d8cd98f00b204e9800998ecf8427e"},
    {"a", "a", "0cc175b9c0f1b6a831c399e269772661"},
    {"abc", "abc", "900150983cd24fb0d6963f7d28e17f72"},
    {"message_digest", "message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
    {"alphabet", "abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
    {"alphanumeric", "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
     "d174ab98d277d9f5a5611c2c9f419d9f"},
    {"eighty_digits",
     "12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "57edf4a22be3c955ac49da2e2107b67a"},
};

class Rfc1321Vectors : public ::testing::TestWithParam<DigestCase> {};

TEST_P(Rfc1321Vectors, FreeFunctionMatchesReference)
{
    EXPECT_EQ(velmar::md5(GetParam().text), GetParam().hex);
}

TEST_P(Rfc1321Vectors, ByteAtATimeUpdatesMatchOneUpdate)
{
    velmar::MD5 digest;
    for (char c : GetParam().text)
        digest.update(&c, 1);
    EXPECT_EQ(digest.hexdigest(), GetParam().hex);
}

INSTANTIATE_TEST_SUITE_P(Md5, Rfc1321Vectors, ::testing::ValuesIn(kRfc1321),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(Md5, BlockBoundaryLengthsAgreeAcrossSplitUpdates)
{
    // Lengths around the padding edge (55, 56, 64) and several blocks, split at every point.
    for (std::size_t length : {55u, 56u, 57u, 63u, 64u, 65u, 119u, 120u, 128u, 200u}) {
        std::string text;
        for (std::size_t i = 0; i < length; ++i)
            text += static_cast<char>('a' + i % 26);
        const std::string whole = velmar::md5(text);
        for (std::size_t split = 0; split <= length; split += 7) {
            velmar::MD5 digest;
            digest.update(text.data(), static_cast<long>(split));
            digest.update(text.data() + split, static_cast<long>(length - split));
            EXPECT_EQ(digest.hexdigest(), whole) << "length " << length << " split " << split;
        }
    }
}

TEST(Md5, MillionAsMatchesKnownDigest)
{
    velmar::MD5 digest;
    const std::string chunk(1000, 'a');
    for (int i = 0; i < 1000; ++i)
        digest.update(chunk);
    EXPECT_EQ(digest.hexdigest(), "7707d6ae4e027c70eea2a935c2296f21");
}

TEST(Md5, NonPositiveLengthAddsNothing)
{
    velmar::MD5 digest;
    digest.update("abc", 0);
    digest.update("abc", -5);
    digest.update(static_cast<const unsigned char*>(nullptr), 3);
    EXPECT_EQ(digest.hexdigest(), "d41d8cd98f00b204e9800998ecf8427e");
}

TEST(Md5, FinalizeTwiceAndUpdateAfterwardsChangeNothing)
{
    velmar::MD5 digest;
    digest.update(std::string("abc"));
    digest.finalize();
    digest.finalize();
    digest.update(std::string("more"));
    EXPECT_EQ(digest.hexdigest(), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(digest.hexdigest(), "900150983cd24fb0d6963f7d28e17f72");
}

TEST(Md5, DigestBytesAreInDigestOrder)
{
    velmar::MD5 digest;
    digest.update(std::string("abc"));
    const auto bytes = digest.digest();
    EXPECT_EQ(bytes[0], 0x90);
    EXPECT_EQ(bytes[1], 0x01);
    EXPECT_EQ(bytes[15], 0x72);
}

TEST(Md5, PasswordWithApostropheIsDigestedDoubled)
{
    // The login form doubles apostrophes before the digest is taken: "it's" is sent as the
    // digest of "it''s".
    EXPECT_EQ(velmar::md5("it''s"), "ee7051a377d32b33c22ec50799149253");
    EXPECT_EQ(velmar::md5("it's"), "706dc2ee585fb5dcb18e3ac08da7ce0c");
}

TEST(Md5, NonAsciiPasswordIsDigestedAsGbkBytes)
{
    const std::string utf8 = "\xe5\xaf\x86\xe7\xa0\x81"; // 密码
    const std::string gbk = CCodeLib::Utf8ToAnsi(utf8);
    ASSERT_EQ(gbk, "\xc3\xdc\xc2\xeb");
    EXPECT_EQ(velmar::md5(gbk), "d2293e30f0c964c5f6242486aa8a483c");
    EXPECT_EQ(velmar::md5(utf8), "a8105204604a0b11e916f3879aae3b0b");
}

} // namespace
