#include "fs/AtomicFile.h"
#include "fs/DiskFile.h"
#include "fs/RamFile.h"
#include "support/TempDir.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <sys/stat.h>
#include <vector>

namespace Vrenn {
namespace {

using Test::TempDir;
namespace stdfs = std::filesystem;

TEST(RamFile, ReadsClampWritesGrowSeeksFollowTheOriginAndCopiesTakeWhatIsRead) {
    RamFile file("abcdef", 6);
    char buf[8] = {};
    EXPECT_EQ(file.read(buf, 4), 4u);
    EXPECT_EQ(file.read(buf, 8), 2u); // clamped at the end
    EXPECT_EQ(std::string(buf, 2), "ef");
    EXPECT_EQ(file.seek(-2, SEEK_FROM_END), 4u);
    EXPECT_EQ(file.seek(1, SEEK_FROM_CURRENT), 5u);
    EXPECT_EQ(file.write("XYZ", 3), 3u); // past the end: grows
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(file.data().data()), file.size()),
              "abcdeXYZ");
    EXPECT_EQ(file.seek(20, SEEK_FROM_START), 20u); // not clamped
    EXPECT_EQ(file.read(buf, 1), 0u);
    file.write("!", 1); // the gap is filled with zeros
    EXPECT_EQ(file.size(), 21u);
    EXPECT_EQ(file.data()[10], 0);

    RamFile source("12345", 5);
    source.seek(3, SEEK_FROM_START);
    RamFile target;
    EXPECT_EQ(target.copyFrom(source, 10), 2u);
    EXPECT_EQ(std::memcmp(target.data().data(), "45", 2), 0);
}

TEST(DiskFile, ModesPositionsAndRealTransferCounts) {
    TempDir dir;
    const std::string path = dir.file("data.bin");
    {
        DiskFile out(path, DISK_CREATE);
        EXPECT_EQ(out.write("0123456789", 10), 10u);
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
    EXPECT_TRUE(missing.openFoundNothing());
}

// Only regular files whose size fits 32 bits open (a directory's end position or a cut size
// would be taken as the length, a pipe blocks); failures keep the system's reason.
TEST(DiskFile, RefusesWhatHasNoSizeOrTooLargeASizeAndKeepsTheReasons) {
    TempDir dir;
    stdfs::create_directory(dir.path() / "folder.jpg");
    ASSERT_EQ(::mkfifo(dir.file("pipe.cfg").c_str(), 0600), 0);
    dir.write("huge.bin", "");
    stdfs::resize_file(dir.file("huge.bin"), (uint64_t{1} << 32) + 10); // sparse
    for (const auto& [name, reason] : {std::pair{"folder.jpg", "is a directory"},
                                       {"pipe.cfg", "is not a regular file"},
                                       {"huge.bin", "is larger than 4 GiB"}})
        for (uint32_t mode : {DISK_READ, DISK_UPDATE}) {
            DiskFile file;
            EXPECT_FALSE(file.open(dir.file(name), mode)) << name;
            EXPECT_FALSE(file.isOpen() || file.openFoundNothing() || file.size() != 0) << name;
            EXPECT_EQ(file.openFailure(), reason);
        }
    DiskFile full("/dev/full", DISK_WRITE);
    ASSERT_TRUE(full.isOpen());
    const std::string block(1 << 16, 'x'); // more than the stream buffers
    EXPECT_LT(full.write(block.data(), static_cast<uint32_t>(block.size())), block.size());
    EXPECT_EQ(full.error(), ENOSPC);
    DiskFile folder(dir.path().string(), DISK_CREATE);
    EXPECT_EQ(folder.error(), EISDIR);
}

// A link stays a link: the file it leads to is replaced, through a temporary beside it.
TEST(AtomicFile, WritesThroughASymbolicLink) {
    TempDir dir;
    dir.write("shared/default.cfg", "old\n");
    stdfs::create_directory(dir.path() / "run");
    stdfs::create_symlink("../shared/default.cfg", dir.path() / "run/default.cfg");
    stdfs::create_symlink("default.cfg", dir.path() / "run/second.cfg");
    AtomicFile out(dir.file("run/second.cfg"));
    ASSERT_TRUE(out.isOpen());
    EXPECT_TRUE(
        stdfs::equivalent(stdfs::path(out.temporaryName()).parent_path(), dir.path() / "shared"));
    out.file()->write("new\n", 4);
    ASSERT_TRUE(out.commit());
    EXPECT_TRUE(stdfs::is_symlink(dir.path() / "run/default.cfg"));
    EXPECT_TRUE(stdfs::is_symlink(dir.path() / "run/second.cfg"));
    EXPECT_EQ(dir.read("shared/default.cfg"), "new\n");
    EXPECT_EQ(std::distance(stdfs::directory_iterator(dir.path() / "shared"), {}), 1);
}

// Files written together are renamed together or not at all, and nothing is left beside them:
// a folder in the last one's place is refused before any rename; a rename failing after others
// (its data removed behind the writer's back) puts the replaced files back.
TEST(AtomicFile, SetIsCommittedWholeOrNotAtAll) {
    TempDir dir;
    for (const char* name : {"a.dds", "b.dds"})
        dir.write(name, "old");
    stdfs::create_directory(dir.file("c.vmsh"));
    const std::string names[] = {"a.dds", "b.dds", "new.dds", "c.vmsh"};
    for (int step = 0; step < 3; ++step) {
        if (step == 1) {
            stdfs::remove(dir.file("c.vmsh"));
            dir.write("c.vmsh", "old");
        }
        std::string why;
        {
            std::vector<std::unique_ptr<AtomicFile>> files;
            std::vector<AtomicFile*> set;
            for (const std::string& name : names) {
                files.push_back(std::make_unique<AtomicFile>(dir.file(name)));
                files.back()->file()->write("new", 3);
                set.push_back(files.back().get());
            }
            if (step == 1) stdfs::remove(set[3]->temporaryName());
            EXPECT_EQ(AtomicFile::commitAll(set, why), step == 2) << step;
        }
        const char* reasons[] = {": Is a directory", ": No such file or directory"};
        if (step < 2) {
            EXPECT_EQ(why, dir.file("c.vmsh") + reasons[step]);
        }
        for (const char* name : {"a.dds", "b.dds", "c.vmsh"}) {
            if (step > 0 || name[0] != 'c') {
                EXPECT_EQ(dir.read(name), step == 2 ? "new" : "old") << name << step;
            }
        }
        EXPECT_EQ(std::distance(stdfs::directory_iterator(dir.path()), {}), step == 2 ? 4 : 3);
    }
}

} // namespace
} // namespace Vrenn
