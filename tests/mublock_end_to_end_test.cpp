// mublock run as a real program in a fresh directory: exact stdout, stderr,
// exit status and every file it leaves.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "d88_builder.h"
#include "program_runner.h"

namespace {

using d88test::Bytes;
using d88test::RunProgram;
using d88test::TempDir;

using Entries = std::map<std::string, std::string>;

TEST(MublockEndToEnd, UsageErrorWritesNothing) {
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{}, std::vector<std::string>{"a.d88", "b.d88"}}) {
        TempDir work;
        const auto result = RunProgram(MUBLOCK_PROGRAM, arguments, work.Path());
        EXPECT_EQ(result.exitStatus, 1);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, "Usage: mublock [d88file]\n");
        EXPECT_EQ(work.Entries(), Entries{});
    }
}

TEST(MublockEndToEnd, SampleImage) {
    TempDir work;
    const auto result = RunProgram(MUBLOCK_PROGRAM, {SAMPLE_IMAGE}, work.Path());
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out,
              "MU000 diskno=0 trk=01 sec= 3 size= 180\n"
              "MU001 diskno=0 trk=01 sec= 5 size=1539\n"
              "MU002 diskno=1 trk=01 sec= 3 size=2578\n");
    const Entries files = work.Entries();
    ASSERT_EQ(files.size(), 3u);
    EXPECT_EQ(files.at("MU000").substr(0, 9), "RMMorning");
    EXPECT_EQ(files.at("MU000").size(), 174u);
    EXPECT_EQ(files.at("MU001").size(), 1533u);
    EXPECT_EQ(files.at("MU002").substr(0, 7), "RMNight");
    EXPECT_EQ(files.at("MU002").substr(2570), "\xFD\xFD");
}

}  // namespace
