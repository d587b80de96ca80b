#include "CodecTestSupport.h"
#include "core/Log.h"
#include "fs/AtomicFile.h"
#include "fs/DiskFile.h"
#include "fs/FileSystem.h"
#include "fs/RamFile.h"
#include "fs/ZipFile.h"
#include "support/TempDir.h"
#include "support/TestData.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <sys/stat.h>
#include <vector>

namespace Vrenn {
namespace {

using Test::contents;
using Test::TempDir;
namespace stdfs = std::filesystem;

// The same calls on a file in memory and on disk: reads stop at the end and report what they
// got, seeks follow their origin and are not clamped, a write past the end grows the file with
// zeros in the gap, a resize cuts it, a copy takes what is read.
TEST(File, MemoryAndDiskFilesReadSeekAndWriteAlike) {
    TempDir dir;
    dir.write("data.bin", "");
    RamFile ram;
    DiskFile disk(dir.file("data.bin"), DISK_UPDATE);
    for (File* file : {static_cast<File*>(&ram), static_cast<File*>(&disk)}) {
        SCOPED_TRACE(file == &ram ? "memory" : "disk");
        char buf[16] = {};
        EXPECT_EQ(file->write("0123456789", 10), 10u);
        EXPECT_EQ(file->seek(-4, SEEK_FROM_END), 6u);
        EXPECT_EQ(file->write("ab", 2), 2u);
        EXPECT_EQ(file->tell(), 8u);
        EXPECT_EQ(file->seek(-5, SEEK_FROM_CURRENT), 3u);
        EXPECT_EQ(file->seek(1, SEEK_FROM_CURRENT), 4u);
        EXPECT_EQ(file->read(buf, 16), 6u);
        EXPECT_EQ(std::string(buf, 6), "45ab89");
        EXPECT_EQ(file->rewind(), 0u); // still usable after reaching the end
        EXPECT_EQ(file->read(buf, 2), 2u);
        EXPECT_EQ(file->seek(20, SEEK_FROM_START), 20u);
        EXPECT_EQ(file->write("!", 1), 1u);
        EXPECT_EQ(file->size(), 21u);
        file->resize(12);
        EXPECT_EQ(file->size(), 12u);
        EXPECT_EQ(file->seek(8, SEEK_FROM_START), 8u);
        RamFile copy;
        EXPECT_EQ(copy.copyFrom(*file, 10), 4u);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(copy.data().data()), copy.size()),
                  std::string("89\0\0", 4));
    }
    disk.close();
    EXPECT_EQ(dir.read("data.bin"), std::string("012345ab89\0\0", 12));
    DiskFile in(dir.file("data.bin"), DISK_READ);
    EXPECT_EQ(in.write("x", 1), 0u); // opened for reading only
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

std::string zipFixture(const std::string& name) {
    return Test::testDataPath("fs/zip/" + name);
}

// A run folder (the working directory) holding both.txt, dirA/both.txt, dirA/in.txt, the folder
// dirA/folder.fx, dirB/only_b.txt and the zip fixtures; outside.txt and the log lie beside it.
class FileSystemSearch : public ::testing::Test {
protected:
    FileSystemSearch() : dir(/*enter=*/true), run(dir.path() / "run") {
        for (const auto& [name, text] : {std::pair{"run/both.txt", "both from root\n"},
                                         {"run/dirA/both.txt", "both from dirA\n"},
                                         {"run/dirA/in.txt", "in\n"},
                                         {"run/dirB/only_b.txt", "only in dirB\n"},
                                         {"outside.txt", "outside\n"}})
            dir.write(name, text);
        stdfs::create_directories(run / "dirA/folder.fx");
        for (const char* zip : {"first.zip", "second.zip", "corrupt.zip"})
            stdfs::copy_file(zipFixture(zip), run / zip);
        stdfs::current_path(run);
        logs.CreateLog(LOG_DEFAULT, dir.file("app.log"));
    }

    TempDir dir;
    stdfs::path run;
    LogManager logs;
};

// A root open logs the name and leaves the root current; without a file system the name is
// taken as it stands.
TEST_F(FileSystemSearch, RootOpenLogsAndLeavesTheRootCurrent) {
    stdfs::current_path(run / "dirA");
    EXPECT_EQ(contents(openDataFile("both.txt")), "both from dirA\n");
    stdfs::current_path(run);
    FileSystem fs;
    EXPECT_EQ(fs.rootDirectory(), run.string());
    stdfs::current_path(run / "dirA");
    EXPECT_EQ(contents(fs.open("both.txt", SEARCH_ROOT, true)), "both from root\n");
    EXPECT_EQ(stdfs::current_path(), run);
    stdfs::current_path(run / "dirA");
    EXPECT_EQ(contents(openDataFile("both.txt", false)), "both from root\n");
    EXPECT_FALSE(openDataFile("only_b.txt"));
    EXPECT_FALSE(fs.open("missing.txt", SEARCH_ROOT, false));
    EXPECT_EQ(dir.read("app.log"), "--- Loading both.txt\n--- Loading both.txt\n"
                                   "--- Loading only_b.txt\n"
                                   "Warning: Loading only_b.txt failed.\n");
}

// The root heads the directory list, searched in order before the base directory, disk before
// archives; archive names ignore case. Names from a run folder's data stay inside the places
// searched, whatever the flags, unless the user named them; a found name that is not a file says
// why ("!" and the reason below). One log line each.
TEST_F(FileSystemSearch, NamesAreSearchedInTheSelectedPlacesInOrderAndStayInside) {
    FileSystem fs;
    fs.addDirectory("dirA");
    fs.addDirectory("dirB");
    fs.setBaseDirectory("dirB");
    fs.addArchive("first.zip");
    fs.addArchive("second.zip");
    fs.setBaseArchive("first.zip");
    const std::string absolute = dir.file("outside.txt");
    const std::string outside = "!the name is absolute, outside the run folder";
    const std::string climbing = "!the name climbs out of the run folder";
    const std::tuple<std::string, uint32_t, std::string> cases[] = {
        {"both.txt", SEARCH_DIRECTORY_LIST, "both from root\n"},
        {"only_b.txt", SEARCH_DIRECTORY_LIST | SEARCH_BASE_DIRECTORY, "only in dirB\n"},
        {"only_b.txt", SEARCH_BASE_DIRECTORY, "only in dirB\n"},
        {"both.txt", SEARCH_BASE_DIRECTORY, "<not found>"},
        {"both.txt", SEARCH_ARCHIVE_LIST | SEARCH_BASE_ARCHIVE, "both from archive a\n"},
        {"ONLY_B.TXT", SEARCH_ARCHIVE_LIST, "only in b\n"},
        {"textures/sky.txt", SEARCH_BASE_ARCHIVE, "sky from archive a\n"},
        {"both.txt", SEARCH_DIRECTORY_LIST | SEARCH_ARCHIVE_LIST, "both from root\n"},
        {"textures/sky.txt", SEARCH_DIRECTORY_LIST | SEARCH_BASE_DIRECTORY, "<not found>"},
        {"dirA/./../dirA/in.txt", SEARCH_ROOT, "in\n"}, // climbing back down inside is fine
        {"missing.txt", SEARCH_ROOT, "<not found>"},
        {absolute, SEARCH_ROOT, outside},
        {"../outside.txt", SEARCH_ROOT, climbing},
        {"dirA/../../outside.txt", SEARCH_ROOT, climbing},
        {"../../../../../../../../../../etc/hostname", SEARCH_ROOT, climbing},
        {"../outside.txt", SEARCH_DIRECTORY_LIST | SEARCH_ARCHIVE_LIST, climbing},
        {"dirA/folder.fx", SEARCH_ROOT, "!is a directory"},
        {"folder.fx", SEARCH_DIRECTORY_LIST, "!is a directory"},
    };
    std::string expectedLog;
    for (const auto& [name, flags, expected] : cases) {
        std::string why = "stale";
        const auto file = fs.open(name, flags, false, &why);
        if (expected[0] == '!') {
            EXPECT_FALSE(file) << name;
            EXPECT_EQ(why, expected.substr(1)) << name;
            expectedLog += "Warning: Loading " + name + " failed: " + expected.substr(1) + ".\n";
        } else {
            EXPECT_EQ(contents(file), expected) << name << " " << flags;
            EXPECT_EQ(why, "") << name;
        }
    }
    fs.addUserFile(absolute);
    EXPECT_EQ(contents(openDataFile(absolute)), "outside\n");
    EXPECT_FALSE(fs.open("../outside.txt", SEARCH_ROOT, false));
    expectedLog += "--- Loading " + absolute + "\n";
    expectedLog += "Warning: Loading ../outside.txt failed: " + climbing.substr(1) + ".\n";
    EXPECT_EQ(dir.read("app.log"), expectedLog);
}

// A name the run folder lacks comes from the installed data, then the build tree's, for
// SEARCH_ROOT opens only; names stay confined and the root stays current.
TEST_F(FileSystemSearch, DataDirectoriesFollowTheRunFolderInOrder) {
    TempDir installed, built;
    for (const char* name : {"effects/a.fx", "effects/b.fx"})
        installed.write(name, std::string("installed ") + name);
    for (const char* name : {"effects/a.fx", "effects/b.fx", "effects/c.fx"})
        built.write(name, std::string("built ") + name);
    built.write("secret.txt", "outside");
    dir.write("run/effects/a.fx", "run folder");
    FileSystem fs;
    fs.setDataDirectories({installed.path().string(), built.path().string()});
    for (const auto& [name, text] : {std::pair{"effects/a.fx", "run folder"},
                                     {"effects/b.fx", "installed effects/b.fx"},
                                     {"effects/c.fx", "built effects/c.fx"}})
        EXPECT_EQ(contents(openDataFile(name)), text);
    EXPECT_EQ(stdfs::current_path(), run);
    EXPECT_FALSE(openDataFile("effects/d.fx", false));
    EXPECT_FALSE(fs.open("effects/b.fx", SEARCH_DIRECTORY_LIST, false));
    EXPECT_FALSE(openDataFile("../" + built.path().filename().string() + "/secret.txt", false));
    EXPECT_TRUE(runFolderHolds("effects/a.fx"));
    EXPECT_FALSE(runFolderHolds("effects/b.fx"));
}

// share/vrenn beside the program's bin folder, wherever installed; the source tree's data only
// from this build tree.
TEST(DataDirectories, InstalledBesideTheProgramThenTheBuildTreeOnlyFromIt) {
    TempDir prefix;
    prefix.write("bin/prtdemo", "");
    EXPECT_TRUE(dataDirectories(prefix.file("bin/prtdemo")).empty());
    stdfs::create_directories(prefix.path() / "share/vrenn");
    const auto installed = dataDirectories(prefix.file("bin/prtdemo"));
    ASSERT_EQ(installed.size(), 1u);
    EXPECT_TRUE(stdfs::equivalent(installed[0], prefix.path() / "share/vrenn"));

    const auto own = dataDirectories();
    ASSERT_FALSE(own.empty());
    EXPECT_TRUE(stdfs::exists(stdfs::path(own.back()) / "effects/sky.fx")) << own.back();
}

TEST(ZipFile, UnpacksMembersWholeAndRefusesDamagedOnes) {
    ZipFile zip(zipFixture("first.zip"));
    ASSERT_TRUE(zip.hasArchive());
    ASSERT_TRUE(zip.open("big.txt"));
    ASSERT_EQ(zip.size(), 78894u); // 1 to 15000, one per line: more than one read chunk
    std::string text(zip.size(), '\0');
    EXPECT_EQ(zip.read(text.data(), zip.size()), zip.size());
    EXPECT_EQ(text.substr(0, 6), "1\n2\n3\n");
    EXPECT_EQ(text.substr(text.size() - 6), "15000\n");
    EXPECT_FALSE(zip.open("not there"));
    ZipFile damaged(zipFixture("corrupt.zip"));
    EXPECT_TRUE(damaged.open("both.txt"));
    EXPECT_FALSE(damaged.open("big.txt")); // its deflated data no longer inflates
    // A stored member with a changed byte reads whole: only its checksum tells.
    TempDir dir;
    std::string bytes = Vrenn::Test::readBytes(zipFixture("first.zip"));
    bytes[bytes.find("both from archive a")] = 'B';
    dir.write("stored.zip", bytes);
    EXPECT_FALSE(ZipFile(dir.file("stored.zip")).open("both.txt"));
    ZipFile notAZip(Vrenn::Test::testDataPath("fs/zip/make-zip-fixtures.sh"));
    EXPECT_FALSE(notAZip.hasArchive());
    EXPECT_FALSE(notAZip.open("big.txt"));
}

} // namespace
} // namespace Vrenn
