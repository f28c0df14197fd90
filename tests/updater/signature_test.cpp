// The key and signature files: what their readers accept and refuse.
#include "updater/Signature.h"

#include "TempDir.h"

#include <gtest/gtest.h>

namespace {

// Ed25519 test vector 1 of RFC 8032: secret seed, public key, signature of the empty message.
const std::string kPublic = "11qYAYKxCrfVS/7TyWQHOg7hcvPapiMlrwIaaPcHURo=";
const std::string kSecret =
    "nWGxne/9WmC6hEr0kuwsxERJxWl7MmkZcDusAxyuf2DXWpgBgrEKt9VL/tPJZAc6DuFy89qmIyWvAhpo9wdRGg==";
const std::string kSignature =
    "5VZDAMNgrHKQhuLMgG6CioSHfx645dl02HPgZSJJAVVfuIIVkKM7rMYeOXAc+bRr0lv18FlbviRlUUFDjnoQCw==";

TEST(UpdaterSignatureFiles, PublicKeyLists)
{
    struct Case {
        const char* name;
        std::string text;
        std::size_t keys; // 0: refused
        const char* why;
    } cases[] = {
        {"one key", kPublic + "\n", 1, ""},
        {"no line end", kPublic, 1, ""},
        {"comments, blank lines, CR LF, blanks", "# 2026\r\n\r\n  " + kPublic + " \r\n# next\n" + kPublic + "\n", 2, ""},
        {"empty file", "", 0, "no public key is listed"},
        {"comments only", "# nothing yet\n", 0, "no public key is listed"},
        {"a key without its padding", kPublic.substr(0, 43) + "\n", 0, "line 1 is not a public key"},
        {"a key one byte short", "11qYAYKxCrfVS/7TyWQHOg7hcvPapiMlrwIaaPcHUQ==\n", 0, "line 1 is not a public key"},
        {"a secret key in the list", kPublic + "\n" + kSecret + "\n", 0, "line 2 is not a public key"},
        {"url-safe alphabet", "11qYAYKxCrfVS_7TyWQHOg7hcvPapiMlrwIaaPcHURo=\n", 0, "line 1 is not a public key"},
        {"trailing garbage", kPublic + "x\n", 0, "line 1 is not a public key"},
        {"NUL byte", kPublic + std::string(1, '\0') + "\n", 0, "line 1 is not a public key"},
    };
    for (const Case& c : cases) {
        std::string why;
        const auto keys = updater::parsePublicKeys(c.text, &why);
        EXPECT_EQ(keys ? keys->size() : 0u, c.keys) << c.name;
        EXPECT_EQ(why, c.why) << c.name;
    }
}

TEST(UpdaterSignatureFiles, SignatureAndSecretKeyAreOneLine)
{
    const auto keys = updater::parsePublicKeys(kPublic);
    ASSERT_TRUE(keys);
    for (const std::string& text : {kSignature, kSignature + "\n", kSignature + "\r\n"}) {
        const auto signature = updater::parseSignature(text);
        ASSERT_TRUE(signature) << text;
        EXPECT_TRUE(updater::verifySignature("", *signature, *keys));
        EXPECT_FALSE(updater::verifySignature("x", *signature, *keys));
    }
    for (const std::string& text : {std::string(), kSignature + "\n\n", "\n" + kSignature, kSignature.substr(4),
                                    kPublic, kSignature + "\nmore\n"})
        EXPECT_FALSE(updater::parseSignature(text)) << text;

    const auto secret = updater::parseSecretKey(kSecret + "\n");
    ASSERT_TRUE(secret);
    EXPECT_EQ(updater::signMessage("", *secret), *updater::parseSignature(kSignature)) << "RFC 8032 test vector 1";
    std::string mismatched = kSecret;
    mismatched[50] = mismatched[50] == 'A' ? 'B' : 'A'; // the public half no longer fits the seed
    for (const std::string& text : {mismatched, kPublic, kSecret + "\n" + kSecret, std::string()})
        EXPECT_FALSE(updater::parseSecretKey(text)) << text;
}

TEST(UpdaterSignatureFiles, SignFileWritesOneLineBesideIt)
{
    testsupport::TempDir dir;
    const auto file = dir.write("vmupdate.xml", "");
    std::string error;
    ASSERT_TRUE(updater::signFile(file, *updater::parseSecretKey(kSecret), &error)) << error;
    EXPECT_EQ(dir.read("vmupdate.xml.sig"), kSignature + "\n");
    EXPECT_FALSE(updater::signFile(dir.path() / "missing.xml", *updater::parseSecretKey(kSecret), &error));
    EXPECT_EQ(error, "cannot read " + (dir.path() / "missing.xml").string());
}

} // namespace
