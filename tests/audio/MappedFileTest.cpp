// Tests of shared and kept mappings: which of them exist, seen in the process's own map list.
#include "audio/MappedFile.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "support/Mp3Factory.h"

namespace corvane::audio {
namespace {

// How many of the process's mappings are of path.
int MappingsOf(const std::string& path) {
    std::ifstream maps("/proc/self/maps");
    int count = 0;
    for (std::string line; std::getline(maps, line);) {
        if (line.size() >= path.size() && line.compare(line.size() - path.size(), path.size(), path) == 0) ++count;
    }
    return count;
}

TEST(MappedFile, MappingsOfOneFileAreSharedAndKeptOnlyWhileAKeepExists) {
    test::TempDir dir;
    const std::string path = dir / "source.bin";
    test::WriteFile(path, test::Bytes(100000, 0x5A));
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    const int again = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_GE(again, 0);

    {
        CMappedFile a, b;
        ASSERT_TRUE(a.Map(fd, 100000 - 128));
        ASSERT_TRUE(b.Map(again, 100000));  // more of the file than a asked for: a mapped it all
        EXPECT_EQ(a.data(), b.data());
        EXPECT_EQ(a.size(), 100000u - 128);
        EXPECT_EQ(MappingsOf(path), 1);
    }
    EXPECT_EQ(MappingsOf(path), 0);  // no keep: gone with its last holder

    {
        const CMappingKeep keep;
        const uint8_t* first = nullptr;
        {
            CMappedFile a;
            ASSERT_TRUE(a.Map(fd, 100000));
            first = a.data();
        }
        EXPECT_EQ(MappingsOf(path), 1);
        CMappedFile b;
        ASSERT_TRUE(b.Map(again, 100000));
        EXPECT_EQ(b.data(), first);
    }
    EXPECT_EQ(MappingsOf(path), 0);

    // A mapping that met the file's new end is not handed out again.
    {
        const CMappingKeep keep;
        CMappedFile a;
        ASSERT_TRUE(a.Map(fd, 100000));
        std::filesystem::resize_file(path, 5000);
        EXPECT_EQ(static_cast<const volatile uint8_t*>(a.data())[90000], 0);
        EXPECT_TRUE(a.Shrunk());
        CMappedFile b;
        ASSERT_TRUE(b.Map(again, 5000));
        EXPECT_NE(b.data(), a.data());
        EXPECT_FALSE(b.Shrunk());
        EXPECT_EQ(b.data()[4999], 0x5A);
    }
    EXPECT_EQ(MappingsOf(path), 0);
    ::close(fd);
    ::close(again);
}

}  // namespace
}  // namespace corvane::audio
