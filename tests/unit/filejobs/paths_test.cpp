#include "filejobs/paths.h"

#include <gtest/gtest.h>

#include "platform/error.h"

namespace kerfo::filejobs {
namespace {

TEST(GetFileName, TakesWhatFollowsTheLastSeparator) {
    EXPECT_EQ(GetFileName("C:\\dir\\a.txt", "\\"), "a.txt");
    EXPECT_EQ(GetFileName("/home/u/notes.txt", "/"), "notes.txt");
    EXPECT_EQ(GetFileName("/home/u/", "/"), "");
    // Another platform's separator is an ordinary character.
    EXPECT_EQ(GetFileName("/home/u\\x.txt", "\\"), "x.txt");
}

TEST(GetFileName, PathWithoutSeparatorIsTheWholeName) {
    EXPECT_EQ(GetFileName("notes.txt", "/"), "notes.txt");
    EXPECT_EQ(GetFileName("", "/"), "");
}

TEST(ReplaceExtension, DropsTheLastFourCharactersWhateverTheyAre) {
    EXPECT_EQ(replaceExtension("/d/notes.txt", ".kfo"), "/d/notes.kfo");
    EXPECT_EQ(replaceExtension("/d/notes.text", ".kfo"), "/d/notes..kfo");
    EXPECT_EQ(replaceExtension("/d/readme", ".kfo"), "/d/re.kfo");
    EXPECT_EQ(replaceExtension("/d/x.kfo", ".kfo"), "/d/x.kfo");
    EXPECT_EQ(replaceExtension("abcd", ".txt"), ".txt");
}

TEST(ReplaceExtension, ShorterThanFourCharactersIsInvalidArgument) {
    try {
        replaceExtension("abc", ".kfo");
        FAIL() << "no error";
    } catch (const platform::RuntimeError& e) {
        EXPECT_EQ(e.code(), 5);
    }
}

}  // namespace
}  // namespace kerfo::filejobs
