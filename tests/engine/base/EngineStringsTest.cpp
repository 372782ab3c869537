#include "engine/base/EngineStrings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/base/EngineError.h"
#include "engine/base/EngineErrorCodes.h"

namespace {

TEST(EngineStrings, PaddingAndRepeating) {
    EXPECT_EQ(engine::PadLeft("7", 3, '0'), "007");
    EXPECT_EQ(engine::PadLeft("12345", 3, '0'), "12345");
    EXPECT_EQ(engine::PadRight("ab", 4, '.'), "ab..");
    EXPECT_EQ(engine::PadRight("abcdef", 4, '.'), "abcdef");
    EXPECT_EQ(engine::PadLeft("x", 300, ' ').size(), 255u);
    EXPECT_EQ(engine::ReplicateStr("ab", 3), "ababab");
    EXPECT_EQ(engine::ReplicateStr("ab", 0), "");
    EXPECT_EQ(engine::ReplicateStr("abc", 1000000).size(), 255u);
}

TEST(EngineStrings, PartsAndPositions) {
    EXPECT_EQ(engine::LeftStr("abcdef", 2), "ab");
    EXPECT_EQ(engine::LeftStr("ab", 5), "ab");
    EXPECT_EQ(engine::RightStr("abcdef", 2), "ef");
    EXPECT_EQ(engine::RightStr("ab", 5), "ab");
    EXPECT_EQ(engine::LastPos("ab", "abcab"), 4);
    EXPECT_EQ(engine::LastPos("x", "abc"), 0);
    EXPECT_EQ(engine::CountChar('a', "banana"), 3);
    EXPECT_EQ(engine::StripCRLF("a\r\nb\nc\r"), "abc");
}

TEST(EngineStrings, TrimmingACharacter) {
    for (const std::size_t n : {1, 2, 32, 255, 300}) {
        const std::string only(n, '*');
        EXPECT_EQ(engine::TrimChar(only, '*'), "");
        EXPECT_EQ(engine::TrimCharLeft(only, '*'), "");
        EXPECT_EQ(engine::TrimCharRight(only, '*'), "");
    }
    EXPECT_EQ(engine::TrimCharRight(std::string(32, ' '), ' '), "");
    EXPECT_EQ(engine::TrimChar("00120", '0'), "12");
    EXPECT_EQ(engine::TrimCharLeft("00120", '0'), "120");
    EXPECT_EQ(engine::TrimCharRight("00120", '0'), "0012");
    char text[] = "name   ";
    engine::TrimTrailingSpaces(text);
    EXPECT_STREQ(text, "name");
}

TEST(EngineStrings, Paths) {
    EXPECT_EQ(engine::StripExtension("results.dat"), "results");
    EXPECT_EQ(engine::StripExtension("c:\\my.dir\\results"), "c:\\my.dir\\results");
    EXPECT_EQ(engine::StripExtension("/my.dir/results"), "/my.dir/results");
    EXPECT_EQ(engine::StripExtension("/my.dir/a.b.DAT"), "/my.dir/a.b");
    EXPECT_EQ(engine::AddTrailingBackslash(""), "");
    EXPECT_EQ(engine::AddTrailingBackslash("   "), "");
    EXPECT_EQ(engine::AddTrailingBackslash(" /data "), "/data/");
    EXPECT_EQ(engine::AddTrailingBackslash("/data/"), "/data/");
    EXPECT_EQ(engine::AddTrailingBackslash("c:\\data\\"), "c:\\data\\");
    // A directory is taken whole up to the engine's 255 characters, its separator included, and refused
    // beyond: a shorter one would name another directory.
    struct Case {
        std::string directory;
        std::string expected;  // empty: refused
    };
    const std::string d254(254, 'd');
    const std::string d255(255, 'd');
    const std::vector<Case> cases = {
        {d254, d254 + "/"}, {d254 + "/", d254 + "/"}, {"  " + d254 + "  ", d254 + "/"},
        {d255, ""},         {d255 + "/", ""},         {std::string(300, 'd'), ""}};
    for (const Case& c : cases) {
        int code = 0;
        std::string result;
        try {
            result = engine::AddTrailingBackslash(c.directory);
        } catch (const engine::ETARNISEngineError& error) {
            code = error.ErrorCode();
        }
        EXPECT_EQ(result, c.expected) << c.directory.size();
        EXPECT_EQ(code, c.expected.empty() ? engine::ErrInvalidPath : 0) << c.directory.size();
    }
    EXPECT_TRUE(engine::HasPathPart(""));
    EXPECT_TRUE(engine::HasPathPart("c:x.dat"));
    EXPECT_TRUE(engine::HasPathPart("dir\\x.dat"));
    EXPECT_TRUE(engine::HasPathPart("dir/x.dat"));
    EXPECT_FALSE(engine::HasPathPart("x.dat"));
    EXPECT_EQ(engine::ExtractBaseName("/data/config.dat"), "config");
    EXPECT_EQ(engine::ExtractBaseName("c:\\data\\config.dat"), "config");
    EXPECT_EQ(engine::ExtractBaseName("c:config"), "config");
    EXPECT_EQ(engine::ExtractBaseName("/data/.DAT"), "");
}

TEST(EngineStrings, LocaleId) {
    EXPECT_EQ(engine::MakeLocaleId(0x0409, 0), 0x0409u);
    EXPECT_EQ(engine::MakeLocaleId(0x10407, 0x10001), 0x00010407u);
}

}  // namespace
