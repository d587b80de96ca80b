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
    EXPECT_TRUE(missing.openFoundNothing());
    EXPECT_EQ(missing.size(), 0u);
    EXPECT_EQ(missing.read(buf, 4), 0u);
}

// A target that is a link keeps being a link: the file it leads to is replaced, through
// a temporary file in that file's own folder.
TEST(AtomicFile, WritesThroughASymbolicLink) {
    TempDir dir;
    dir.write("shared/default.cfg", "old\n");
    std::filesystem::create_directory(dir.path() / "run");
    std::filesystem::create_symlink("../shared/default.cfg", dir.path() / "run/default.cfg");
    std::filesystem::create_symlink("default.cfg", dir.path() / "run/second.cfg");

    AtomicFile out(dir.file("run/second.cfg"));
    ASSERT_TRUE(out.isOpen());
    EXPECT_TRUE(std::filesystem::equivalent(
        std::filesystem::path(out.temporaryName()).parent_path(), dir.path() / "shared"));
    out.file()->write("new\n", 4);
    ASSERT_TRUE(out.commit());
    EXPECT_TRUE(std::filesystem::is_symlink(dir.path() / "run/default.cfg"));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.path() / "run/second.cfg"));
    EXPECT_EQ(dir.read("shared/default.cfg"), "new\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path() / "shared"),
                            std::filesystem::directory_iterator()),
              1);
}

// Only regular files whose size fits the interface open: a directory's end position, or a
// size cut to 32 bits, would be taken as the file's length, and a pipe blocks the open. A
// failed open or write keeps the system's reason.
TEST(DiskFile, RefusesWhatHasNoSizeOrTooLargeASizeAndKeepsTheReasons) {
    TempDir dir;
    std::filesystem::create_directory(dir.path() / "folder.jpg");
    ASSERT_EQ(::mkfifo(dir.file("pipe.cfg").c_str(), 0600), 0);
    dir.write("huge.bin", "");
    std::filesystem::resize_file(dir.file("huge.bin"), (uint64_t{1} << 32) + 10); // sparse
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
    EXPECT_FALSE(folder.isOpen());
    EXPECT_EQ(folder.error(), EISDIR);
}

// Files written together are renamed together or not at all: the earlier files stay as
// they were whichever file fails, and nothing is left beside them.
TEST(AtomicFile, SetIsCommittedWholeOrNotAtAll) {
    TempDir dir;
    const auto stage = [&](std::vector<std::unique_ptr<AtomicFile>>& files) {
        for (const char* name : {"a.dds", "b.dds", "new.dds", "c.vmsh"}) {
            files.push_back(std::make_unique<AtomicFile>(dir.file(name)));
            files.back()->file()->write("new", 3);
        }
        std::vector<AtomicFile*> set;
        for (auto& file : files)
            set.push_back(file.get());
        return set;
    };
    const auto folderHolds = [&](size_t count) {
        return std::distance(std::filesystem::directory_iterator(dir.path()), {}) ==
               static_cast<std::ptrdiff_t>(count);
    };
    for (const char* name : {"a.dds", "b.dds", "c.vmsh"})
        dir.write(name, "old");

    // A folder where the last file goes: refused before anything is renamed.
    std::filesystem::remove(dir.file("c.vmsh"));
    std::filesystem::create_directory(dir.file("c.vmsh"));
    std::string why;
    {
        std::vector<std::unique_ptr<AtomicFile>> files;
        EXPECT_FALSE(AtomicFile::commitAll(stage(files), why));
    }
    EXPECT_EQ(why, dir.file("c.vmsh") + ": Is a directory");
    EXPECT_EQ(dir.read("a.dds"), "old");
    EXPECT_EQ(dir.read("b.dds"), "old");
    EXPECT_TRUE(folderHolds(3));

    // A rename that fails after others succeeded (its written data removed behind the
    // writer's back) puts back the files already replaced and removes the new one.
    std::filesystem::remove(dir.file("c.vmsh"));
    dir.write("c.vmsh", "old");
    {
        std::vector<std::unique_ptr<AtomicFile>> files;
        const auto set = stage(files);
        std::filesystem::remove(set[3]->temporaryName());
        EXPECT_FALSE(AtomicFile::commitAll(set, why));
    }
    EXPECT_EQ(why, dir.file("c.vmsh") + ": No such file or directory");
    for (const char* name : {"a.dds", "b.dds", "c.vmsh"})
        EXPECT_EQ(dir.read(name), "old") << name;
    EXPECT_TRUE(folderHolds(3));

    {
        std::vector<std::unique_ptr<AtomicFile>> files;
        EXPECT_TRUE(AtomicFile::commitAll(stage(files), why));
    }
    for (const char* name : {"a.dds", "b.dds", "new.dds", "c.vmsh"})
        EXPECT_EQ(dir.read(name), "new") << name;
    EXPECT_TRUE(folderHolds(4));
}

} // namespace
} // namespace Vrenn
