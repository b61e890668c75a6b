// Tests of COutputFile: an output stays only once it was closed successfully.
#include "engine/mp3/OutputFile.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/Mp3Factory.h"

namespace corvane {
namespace {

TEST(OutputFile, FileNotClosedSuccessfullyIsDeletedWhenTheObjectGoes) {
    test::TempDir dir;
    const std::string kept = dir / "kept.bin";
    const std::string dropped = dir / "dropped.bin";
    {
        COutputFile out;
        ASSERT_TRUE(out.Create(kept));
        ASSERT_TRUE(out.Write("abc", 3));
        ASSERT_TRUE(out.Close());
    }
    {
        COutputFile out;
        ASSERT_TRUE(out.Create(dropped));
        ASSERT_TRUE(out.Write("abc", 3));
        ASSERT_TRUE(std::filesystem::exists(dropped));
    }
    EXPECT_EQ(test::ReadFile(kept), (test::Bytes{'a', 'b', 'c'}));
    EXPECT_FALSE(std::filesystem::exists(dropped));
}

}  // namespace
}  // namespace corvane
