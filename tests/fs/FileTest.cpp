#include "fs/DiskFile.h"
#include "fs/RamFile.h"
#include "support/TempDir.h"

#include <cstring>
#include <gtest/gtest.h>

namespace Vrenn {
namespace {

using Test::TempDir;

TEST(RamFile, ReadsClampWritesGrowSeeksFollowTheOriginCodesAndCopiesTakeWhatIsRead) {
    RamFile file("abcdef", 6);
    char buf[8] = {};
    EXPECT_EQ(file.read(buf, 4), 4u);
    EXPECT_EQ(std::string(buf, 4), "abcd");
    EXPECT_EQ(file.read(buf, 8), 2u); // clamped at the end
    EXPECT_EQ(file.read(buf, 8), 0u);

    EXPECT_EQ(file.seek(-2, SEEK_FROM_END), 4u);
    EXPECT_EQ(file.seek(1, SEEK_FROM_CURRENT), 5u);
    EXPECT_EQ(file.write("XYZ", 3), 3u); // past the end: grows
    EXPECT_EQ(file.size(), 8u);
    EXPECT_EQ(std::memcmp(file.data().data(), "abcdeXYZ", 8), 0);

    EXPECT_EQ(file.seek(20, SEEK_FROM_START), 20u); // not clamped
    EXPECT_EQ(file.read(buf, 1), 0u);
    file.write("!", 1); // the gap is filled with zeros
    EXPECT_EQ(file.size(), 21u);
    EXPECT_EQ(file.data()[10], 0);
    file.resize(2);
    EXPECT_EQ(file.size(), 2u);
    file.close();
    EXPECT_EQ(file.size(), 0u);
    EXPECT_EQ(file.tell(), 0u);

    RamFile zeros(nullptr, 3);
    EXPECT_EQ(zeros.size(), 3u);
    EXPECT_EQ(zeros.data()[2], 0);

    // A copy passes on only what could be read.
    RamFile source("12345", 5);
    source.seek(3, SEEK_FROM_START);
    RamFile target;
    EXPECT_EQ(target.copyFrom(source, 10), 2u);
    EXPECT_EQ(target.size(), 2u);
    EXPECT_EQ(std::memcmp(target.data().data(), "45", 2), 0);
}

TEST(DiskFile, ModesPositionsAndRealTransferCounts) {
    TempDir dir;
    const std::string path = dir.file("data.bin");
    {
        DiskFile out(path, DISK_CREATE);
        ASSERT_TRUE(out.isOpen());
        EXPECT_EQ(out.write("0123456789", 10), 10u);
        EXPECT_EQ(out.size(), 10u);
        EXPECT_EQ(out.seek(-4, SEEK_FROM_END), 6u);
        out.write("ab", 2);
        EXPECT_EQ(out.tell(), 8u);
    }
    DiskFile in;
    ASSERT_TRUE(in.open(path, DISK_READ));
    EXPECT_EQ(in.size(), 10u);
    char buf[16] = {};
    EXPECT_EQ(in.seek(4, SEEK_FROM_START), 4u);
    EXPECT_EQ(in.read(buf, 16), 6u); // a short read reports what it got
    EXPECT_EQ(std::string(buf, 6), "45ab89");
    EXPECT_EQ(in.rewind(), 0u); // still usable after reaching the end
    EXPECT_EQ(in.read(buf, 2), 2u);
    EXPECT_EQ(in.write("x", 1), 0u); // opened for reading only

    DiskFile update(path, DISK_UPDATE);
    update.resize(4);
    update.close();
    EXPECT_EQ(dir.read("data.bin"), "0123");

    DiskFile missing;
    EXPECT_FALSE(missing.open(dir.file("absent.bin"), DISK_READ));
    EXPECT_EQ(missing.size(), 0u);
    EXPECT_EQ(missing.read(buf, 4), 0u);
}

} // namespace
} // namespace Vrenn
