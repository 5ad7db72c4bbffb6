// The message string, the fixed-size message buffer and the echo file.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "IBIS_AMI_tree.h"
#include "tests/support/heap_text.h"

namespace {

char *heap_copy(const char *text) {
    char *copy = static_cast<char *>(std::malloc(std::strlen(text) + 1));
    std::strcpy(copy, text);
    return copy;
}

TEST(StringCat, NullAndNullIsNull) {
    EXPECT_EQ(string_cat(nullptr, nullptr), nullptr);
}

TEST(StringCat, NullTextGivesACopyOfTheAddition) {
    const char addition[] = "abc";
    HeapText joined(string_cat(nullptr, addition));
    ASSERT_NE(joined.get(), nullptr);
    EXPECT_NE(joined.get(), addition);
    EXPECT_STREQ(joined.get(), "abc");
}

TEST(StringCat, NullAdditionReturnsTheSameText) {
    char *text = heap_copy("keep");
    char *result = string_cat(text, nullptr);
    EXPECT_EQ(result, text);
    EXPECT_STREQ(result, "keep");  // still allocated: reading it is valid
    std::free(result);
}

TEST(StringCat, JoinsIntoANewTextAndFreesTheOld) {
    char *text = heap_copy("**Info** one\n");
    HeapText joined(string_cat(text, "**Error** two\n"));
    EXPECT_STREQ(joined.get(), "**Info** one\n**Error** two\n");
    HeapText empty_joined(string_cat(heap_copy(""), ""));
    EXPECT_STREQ(empty_joined.get(), "");
}

TEST(StringCat, GrowsByRepeatedAppends) {
    char *text = nullptr;
    std::string expected;
    for (int i = 0; i < 200; ++i) {
        const std::string line = "line " + std::to_string(i) + "\n";
        text = string_cat(text, line.c_str());
        expected += line;
    }
    HeapText owned(text);
    EXPECT_EQ(std::string(owned.get()), expected);
}

// Room rule: L = buffer + prefix + text must stay below the size.
TEST(MessageBuffer, WarningFitsExactlyBelowTheSize) {
    char buffer[257] = {};
    const std::string fits(243, 'w');  // 12 + 243 = 255 < 256
    WarnPrt(buffer, 256, fits.c_str());
    EXPECT_EQ(std::string(buffer), "**Warning** " + fits);

    char full[257] = {};
    const std::string too_long(244, 'w');  // 12 + 244 = 256
    WarnPrt(full, 256, too_long.c_str());
    EXPECT_STREQ(full, "");
}

TEST(MessageBuffer, ErrorFitsExactlyBelowTheSize) {
    char buffer[257] = {};
    ErrPrt(buffer, 256, std::string(245, 'e').c_str());  // 10 + 245 = 255
    EXPECT_EQ(std::strlen(buffer), 255u);
    EXPECT_EQ(std::string(buffer, 10), "**Error** ");

    char other[257] = {};
    ErrPrt(other, 256, std::string(246, 'e').c_str());
    EXPECT_STREQ(other, "");
}

TEST(MessageBuffer, AppendsBehindEarlierMessagesOrDropsWhole) {
    char buffer[64] = {};
    WarnPrt(buffer, 64, "first\n");
    ErrPrt(buffer, 64, "second\n");
    EXPECT_STREQ(buffer, "**Warning** first\n**Error** second\n");
    const std::string before = buffer;
    ASSERT_EQ(before.size(), 35u);
    // 35 used + 12 + 17 = 64: does not fit, nothing of it is written
    WarnPrt(buffer, 64, "0123456789abcdefg");
    EXPECT_EQ(std::string(buffer), before);
    // 35 + 12 + 16 = 63 fits
    WarnPrt(buffer, 64, "0123456789abcdef");
    EXPECT_EQ(std::string(buffer), before + "**Warning** 0123456789abcdef");
}

TEST(MessageBuffer, ZeroSizeAndNullBufferAreLeftAlone) {
    char buffer[4] = {'x', '\0', '\0', '\0'};
    WarnPrt(buffer, 0, "");
    ErrPrt(buffer, 1, "");
    EXPECT_STREQ(buffer, "x");
    WarnPrt(nullptr, 256, "nothing to write into");
}

TEST(MessageBuffer, ABufferWithoutTerminatorWithinItsSizeIsNotExtended) {
    char buffer[8];
    std::memset(buffer, 'x', sizeof buffer);
    ErrPrt(buffer, 4, "");
    for (char c : buffer) {
        EXPECT_EQ(c, 'x');
    }
}

class EchoFile : public ::testing::Test {
  protected:
    void SetUp() override {
        char folder[] = "/tmp/ami_echo_XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        folder_ = folder;
        ASSERT_NE(getcwd(previous_, sizeof previous_), nullptr);
        ASSERT_EQ(chdir(folder), 0);
    }
    void TearDown() override {
        ASSERT_EQ(chdir(previous_), 0);
        std::system(("rm -rf " + folder_).c_str());
    }
    static std::string read_echo() {
        std::ifstream in("kestrom_echo_param.txt", std::ios::binary);
        std::stringstream content;
        content << in.rdbuf();
        return content.str();
    }

    std::string folder_;
    char previous_[4096] = {};
};

TEST_F(EchoFile, WritesTheTextUnchangedAndReplacesEarlierContent) {
    EchoTree("(older text that is longer)");
    EchoTree("(r(a 1)(b \"x y\"))");
    EXPECT_EQ(read_echo(), "(r(a 1)(b \"x y\"))");
    EchoTree(nullptr);
    EXPECT_EQ(read_echo(), "");
}

TEST_F(EchoFile, AnUnopenableFileWritesNothing) {
    ASSERT_EQ(mkdir("kestrom_echo_param.txt", 0755), 0);
    EchoTree("(r(a 1))");  // must not crash
    struct stat info {};
    ASSERT_EQ(stat("kestrom_echo_param.txt", &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
}

}  // namespace
