// The rename that never replaces a file, through the system's no-replace
// rename and through its link-then-unlink fallback alike.
#include "no_replace_rename.h"
#include "hfclip.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <string>

#include "d88_builder.h"
#include "program_runner.h"

namespace {

using d88test::TempDir;

using Entries = std::map<std::string, std::string>;
using RenameFunction = bool (*)(const char*, const char*);

class NoReplaceRenameTest : public testing::TestWithParam<RenameFunction> {
protected:
    bool Rename(const std::string& from, const std::string& to) {
        return GetParam()(from.c_str(), to.c_str());
    }
    TempDir dir;
};

TEST_P(NoReplaceRenameTest, MovesTheFileToAFreeName) {
    d88test::WriteText(dir / "old", "content");
    EXPECT_TRUE(Rename(dir / "old", dir / "new"));
    EXPECT_EQ(dir.Entries(), (Entries{{"new", "content"}}));
}

TEST_P(NoReplaceRenameTest, TakenNameFailsAndChangesNothing) {
    d88test::WriteText(dir / "old", "content");
    d88test::WriteText(dir / "new", "older file");
    errno = 0;
    EXPECT_FALSE(Rename(dir / "old", dir / "new"));
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(dir.Entries(), (Entries{{"old", "content"}, {"new", "older file"}}));
}

TEST_P(NoReplaceRenameTest, TakenByAnEmptyFileFailsToo) {
    d88test::WriteText(dir / "old", "content");
    d88test::WriteText(dir / "new", "");
    EXPECT_FALSE(Rename(dir / "old", dir / "new"));
    EXPECT_EQ(dir.Entries(), (Entries{{"old", "content"}, {"new", ""}}));
}

TEST_P(NoReplaceRenameTest, MissingSourceFails) {
    errno = 0;
    EXPECT_FALSE(Rename(dir / "old", dir / "new"));
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(dir.Entries(), Entries{});
}

TEST_P(NoReplaceRenameTest, MovesASymbolicLinkItselfNotItsTarget) {
    d88test::WriteText(dir / "target", "content");
    ASSERT_EQ(symlink("target", (dir / "old").c_str()), 0);
    EXPECT_TRUE(Rename(dir / "old", dir / "new"));
    EXPECT_EQ(dir.Entries(), (Entries{{"new", "<other>"}, {"target", "content"}}));
    char linkText[16] = {};
    EXPECT_EQ(readlink((dir / "new").c_str(), linkText, sizeof linkText - 1), 6);
    EXPECT_STREQ(linkText, "target");
}

INSTANTIATE_TEST_SUITE_P(BothWays, NoReplaceRenameTest,
                         testing::Values(&RenameNoReplace, &RenameNoReplaceByLink),
                         [](const testing::TestParamInfo<RenameFunction>& info) {
                             return info.param == &RenameNoReplace ? std::string("System")
                                                                   : std::string("LinkThenUnlink");
                         });

// The renames that end a cut, with a rename that fails at the given call
// (1 or 2) with EACCES: the message says where each file now stands, the
// result is 1, and nothing is removed.
int renameCalls = 0;
int failingCall = 0;

bool RenameFailingAtOneCall(const char* from, const char* to) {
    if (++renameCalls == failingCall) {
        errno = EACCES;
        return false;
    }
    return RenameNoReplace(from, to);
}

TEST(SwapInKeptRange, ReportsWhereTheBytesStandWhenARenameFails) {
    struct Case {
        int failingCall;
        std::string message;
        Entries files;
    };
    const Case cases[] = {
        {1,
         "hfclip: cannot rename F to F.bak: Permission denied; F is unchanged, the kept bytes are "
         "in F.$$$\n",
         {{"F", "whole"}, {"F.$$$", "kept"}}},
        {2,
         "hfclip: cannot rename F.$$$ to F: Permission denied; the untouched file is now F.bak, "
         "the kept bytes are in F.$$$\n",
         {{"F.bak", "whole"}, {"F.$$$", "kept"}}},
        {3, "", {{"F.bak", "whole"}, {"F", "kept"}}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.failingCall);
        TempDir dir;
        d88test::WriteText(dir / "F", "whole");
        d88test::WriteText(dir / "F.$$$", "kept");
        ASSERT_EQ(chdir(dir.Path().c_str()), 0);
        renameCalls = 0;
        failingCall = test.failingCall;
        testing::internal::CaptureStderr();
        const int status = SwapInKeptRange("F", "F.$$$", "F.bak", RenameFailingAtOneCall);
        const std::string message = testing::internal::GetCapturedStderr();
        ASSERT_EQ(chdir("/"), 0);
        EXPECT_EQ(status, test.message.empty() ? 0 : 1);
        EXPECT_EQ(message, test.message);
        EXPECT_EQ(dir.Entries(), test.files);
    }
}

}  // namespace
