#include "own_arguments.h"

#include "file_support.h"
#include "process_support.h"

#include <gtest/gtest.h>

namespace {

using Args = std::vector<std::string>;

TEST(OwnArguments, SplitsAtEveryNulAndKeepsEmptyArguments)
{
    using namespace std::string_literals;
    EXPECT_EQ(SplitCmdline(""s), Args{});
    EXPECT_EQ(SplitCmdline("wdog\0"s), Args{"wdog"});
    EXPECT_EQ(SplitCmdline("wdog\0\0-x\0\xFF\xFE\0\0"s), (Args{"wdog", "", "-x", "\xFF\xFE", ""}));
}

TEST(OwnArguments, ReadsTheKernelsCopy)
{
    Args own;
    ASSERT_TRUE(ReadOwnArguments(own));
    ASSERT_FALSE(own.empty());
    EXPECT_NE(own[0].find("app_tests"), std::string::npos);

    // Long arguments take more than one read.
    const TempDir dir;
    const std::string big(70000, 'a');
    WriteFile(dir.path() + "/cmdline", std::string("x\0", 2) + big + std::string(1, '\0'));
    Args read;
    ASSERT_TRUE(ReadOwnArguments(read, (dir.path() + "/cmdline").c_str()));
    EXPECT_EQ(read, (Args{"x", big}));
    EXPECT_FALSE(ReadOwnArguments(read, (dir.path() + "/missing").c_str()));
}

} // namespace
