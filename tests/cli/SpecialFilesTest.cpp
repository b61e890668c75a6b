// End-to-end tests of corvane-cli on sources that are no regular files: refused at once.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <set>

#include "support/CliRunner.h"

namespace corvane {
namespace {

// Seconds a command may take before `timeout` stops it (exit 124), and the grace after which
// it is killed (exit 137): cut and join take SIGTERM as an interrupt, which an open() waiting
// for a pipe's writer never sees through. A source refused at once takes a fraction of a
// second.
constexpr const char* kCommandLimit = "10";
constexpr const char* kKillGrace = "2";

class SpecialFiles : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
        test::EncodeOptions o;
        o.seconds = 2;
        test::WriteFile(real, test::EncodeMp3(o));
    }

    static test::ProcessResult Run(const std::vector<std::string>& args) {
        std::vector<std::string> argv = {"timeout", "-k", kKillGrace, kCommandLimit, test::CliPath()};
        argv.insert(argv.end(), args.begin(), args.end());
        return test::RunProcess(argv);
    }

    std::set<std::string> Names() const {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
            names.insert(entry.path().filename().string());
        return names;
    }

    test::TempDir dir;
    const std::string fifo = dir / "pipe.mp3";
    const std::string real = dir / "real.mp3";
};

TEST_F(SpecialFiles, InfoRefusesAPipeADeviceAndAFolder) {
    const std::string folder = dir / "folder.mp3";
    std::filesystem::create_directory(folder);
    const test::ProcessResult r = Run({"info", fifo, "/dev/zero", folder});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Failed to load file \"" + fifo + "\".\nFailed to load file \"/dev/zero\".\n"
                     "Failed to load file \"" + folder + "\".\n");
}

TEST_F(SpecialFiles, CutRefusesAPipeAndWritesNothing) {
    const test::ProcessResult r = Run({"cut", "--count", "2", fifo});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Failed to load file \"" + fifo + "\".\n");
    EXPECT_EQ(Names(), (std::set<std::string>{"pipe.mp3", "real.mp3"}));
}

TEST_F(SpecialFiles, JoinRefusesAPipeAndWritesNothing) {
    const test::ProcessResult r = Run({"join", "-o", dir / "out.mp3", fifo, real});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Join failure. Failed to open file \"" + fifo + "\".\n");
    EXPECT_EQ(Names(), (std::set<std::string>{"pipe.mp3", "real.mp3"}));
}

}  // namespace
}  // namespace corvane
