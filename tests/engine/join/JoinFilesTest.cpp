// Tests of JoinFiles, the single join: the request's inputs, tag and way, and Auto's refusal.
#include "engine/Join.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "engine/output/PieceNaming.h"
#include "support/Mp3Factory.h"

namespace corvane {
namespace {

using test::Bytes;
namespace fs = std::filesystem;

class JoinFilesRequest : public ::testing::Test {
protected:
    void SetUp() override {
        test::EncodeOptions o;
        o.seconds = 1.0;
        a = test::EncodeMp3(o);
        o.seconds = 0.5;
        b = test::EncodeMp3(o);
        test::WriteFile(dir / "a.mp3", a);
        test::WriteFile(dir / "b.mp3", b);
        request.inputs = {dir / "b.mp3", dir / "a.mp3"};
        request.target = dir / "out.mp3";
    }
    test::TempDir dir;
    Bytes a, b;
    JoinRequest request;
};

TEST_F(JoinFilesRequest, AutoCopiesAlikeInputsInOrderAfterTheTag) {
    request.tag.title = "Joined";
    request.tag.track = 2;
    const Outcome joined = JoinFiles(request, nullptr);
    ASSERT_TRUE(joined.done()) << joined.message;
    EXPECT_EQ(test::ReadFile(dir / "out.mp3"), test::Concat({WithoutEncoderFrame(BuildId3v2Tag("Joined", "", "", "", "", "", 2)), b, a}));
}

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
