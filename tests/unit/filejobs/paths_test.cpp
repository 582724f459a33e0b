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

// Only a real extension (a dot and three characters after at least one more) is
// replaced; anything else keeps its whole name, so the output never leaves its folder,
// never becomes hidden and never loses part of the name.
TEST(ReplaceExtension, ReplacesOnlyARealExtensionAndStaysInTheFolder) {
    const std::pair<const char*, const char*> cases[] = {
        {"/d/notes.txt", "/d/notes.kfo"},
        {"/d/x.kfo", "/d/x.kfo"},
        {"/d/x.bin", "/d/x.kfo"},
        {"/d/notes.text", "/d/notes.text.kfo"},
        {"/d/notes.md", "/d/notes.md.kfo"},
        {"/d/archive.tar.gz", "/d/archive.tar.gz.kfo"},
        {"/d/README", "/d/README.kfo"},
        {"/d/todo", "/d/todo.kfo"},
        {"/d/a.md", "/d/a.md.kfo"},
        {"/d/.txt", "/d/.txt.kfo"},
        {"sub/ab", "sub/ab.kfo"},
        {"/d.x/ab", "/d.x/ab.kfo"},
        {"abcd", "abcd.kfo"},
        {"x.txt", "x.kfo"},
    };
    for (const auto& [path, expected] : cases) {
        EXPECT_EQ(replaceExtension(path, ".kfo"), expected) << path;
    }
    EXPECT_EQ(replaceExtension("/d/x.kfo", ".txt"), "/d/x.txt");
    EXPECT_EQ(replaceExtension("/d/notes.md.kfo", ".txt"), "/d/notes.md.txt");
#ifdef _WIN32
    EXPECT_EQ(replaceExtension("C:\\d.x\\ab", ".kfo"), "C:\\d.x\\ab.kfo");
#endif
    for (const char* empty : {"", "/d/"}) {
        try {
            replaceExtension(empty, ".kfo");
            ADD_FAILURE() << "no error for " << empty;
        } catch (const platform::RuntimeError& e) {
            EXPECT_EQ(e.code(), 5);
        }
    }
}

}  // namespace
}  // namespace kerfo::filejobs
