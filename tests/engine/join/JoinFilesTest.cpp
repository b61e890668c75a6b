// Tests of JoinFiles, the single join: Auto's refusal of an input it cannot read (the join
// itself is CJoinJob's, tested there and end to end).
#include "engine/Join.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/Mp3Factory.h"

namespace corvane {
namespace {

using test::Bytes;
namespace fs = std::filesystem;

class JoinFilesRequest : public ::testing::Test {
protected:
    void SetUp() override {
        test::EncodeOptions o;
        o.seconds = 0.5;
        test::WriteFile(dir / "a.mp3", test::EncodeMp3(o));
        test::WriteFile(dir / "b.mp3", test::EncodeMp3(o));
        request.inputs = {dir / "b.mp3", dir / "a.mp3"};
        request.target = dir / "out.mp3";
    }
    test::TempDir dir;
    JoinRequest request;
};

TEST_F(JoinFilesRequest, AutoRefusesAnInputWhoseFactsCannotBeReadBeforeCreatingAnything) {
    test::WriteFile(dir / "garbage.mp3", Bytes(4096, 0x5A));
    request.inputs.push_back(dir / "garbage.mp3");
    const Outcome refused = JoinFiles(request, nullptr);
    EXPECT_TRUE(refused.failed());
    EXPECT_EQ(refused.message, "Failed to open file \"" + (dir / "garbage.mp3") + "\".");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 3);
}

}  // namespace
}  // namespace corvane
