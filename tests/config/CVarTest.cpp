#include "config/CVar.h"

#include "core/Log.h"
#include "fs/FileSystem.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <unistd.h>

namespace Vrenn {
namespace {

using Test::TempDir;

TEST(CVar, TextValuesCarryAllThreeForms) {
    const CVar half = CVar::fromText("a", "1.5");
    EXPECT_FLOAT_EQ(half.floatValue, 1.5f);
    EXPECT_EQ(half.intValue, 1);
    EXPECT_EQ(half.stringValue, "1.5");

    const CVar word = CVar::fromText("b", "abc");
    EXPECT_EQ(word.floatValue, 0.0f);
    EXPECT_EQ(word.intValue, 0);
    EXPECT_EQ(word.stringValue, "abc");

    const CVar hex = CVar::fromText("c", "0x10");
    EXPECT_EQ(hex.intValue, 0);
    EXPECT_EQ(CVar::fromText("d", "  -42e1").intValue, -42);
    EXPECT_FLOAT_EQ(CVar::fromText("d", "  -42e1").floatValue, -420.0f);
    EXPECT_EQ(CVar::fromText("e", "99999999999").intValue, INT32_MAX);

    const CVar number = CVar::fromInt("f", -7);
    EXPECT_EQ(number.stringValue, "-7");
    EXPECT_FLOAT_EQ(number.floatValue, -7.0f);
}

// Settings that size work read only whole numbers: leading digits of something else
// ("1e40" read as 1) are refused, and absent ones too.
TEST(CVarManager, WholeNumbersOnlyAreReadAsWholeNumbers) {
    CVarManager vars;
    vars.LoadConfigText("a \"1e40\" b \"2.5\" c \"12abc\" d \"\" e \"99999999999\" f \"0x10\"\n"
                        "g \" 42 \" h \"-7\" i \"+2147483647\"");
    for (const char* name : {"a", "b", "c", "d", "e", "f", "absent"})
        EXPECT_FALSE(vars.GetWholeInt(name)) << name;
    EXPECT_EQ(vars.GetWholeInt("g"), 42);
    EXPECT_EQ(vars.GetWholeInt("h"), -7);
    EXPECT_EQ(vars.GetWholeInt("i"), INT32_MAX);
    EXPECT_EQ(vars.GetInt("a"), 1); // GetInt keeps reading as atoi does
}

TEST(CVarManager, ParsesPairsCommentsAndRepeatsAndSetsValues) {
    CVarManager vars;
    vars.LoadConfigText("// settings\n"
                        "r_mode \"3\" r_fovy \"60.5\"\n"
                        "model junk between \"models/a b.vmsh\"\n"
                        "r_mode \"4\"\n"
                        "/* trailing */");
    EXPECT_EQ(vars.GetInt("r_mode"), 3); // the first definition wins
    EXPECT_FLOAT_EQ(vars.GetFloat("r_fovy"), 60.5f);
    EXPECT_EQ(vars.GetString("model"), "models/a b.vmsh");
    EXPECT_EQ(vars.vars().size(), 3u);
    EXPECT_FALSE(vars.Has(""));
    // Absent variables read as zero.
    EXPECT_EQ(vars.GetInt("absent"), 0);
    EXPECT_EQ(vars.GetFloat("absent"), 0.0f);
    EXPECT_EQ(vars.GetString("absent"), "");

    // SetInt replaces value and flags; Add keeps an existing variable.
    vars.SetInt("r_mode", 1 - vars.GetInt("r_mode"), 0);
    EXPECT_EQ(vars.GetString("r_mode"), "-2");
    vars.SetInt("fresh", 5, 9);
    EXPECT_EQ(vars.vars().at("fresh").flags, 9u);
    EXPECT_FALSE(vars.Add(CVar::fromText("fresh", "6")));
    EXPECT_EQ(vars.GetInt("fresh"), 5);
}

TEST(CVarManager, MalformedFilesStopOrRecoverAsDocumented) {
    CVarManager unterminated;
    // The value's closing quote is missing: it reads empty and scanning continues
    // after the opening quote, so the rest is read as further names.
    unterminated.LoadConfigText("a \"1\" b \"oops");
    EXPECT_EQ(unterminated.GetString("a"), "1");
    EXPECT_TRUE(unterminated.Has("b"));
    EXPECT_EQ(unterminated.GetString("b"), "");

    CVarManager dangling;
    dangling.LoadConfigText("a \"1\" lonely_name");
    EXPECT_TRUE(dangling.Has("a"));
    EXPECT_FALSE(dangling.Has("lonely_name"));
}

TEST(CVarManager, ConfigurationRoundTripsThroughTheRootDirectory) {
    TempDir dir(/*enter=*/true);
    dir.write("default.cfg", "r_mode \"2\"\nmodel \"models/my scene.vmsh\"\nabc \"abc\"\n"
                             "b \"1\" b \"2\"\n");
    FileSystem fileSystem;
    {
        CVarManager vars;
        vars.LoadConfig("default.cfg");
        vars.SetInt("r_showfps", 1);
        // A search elsewhere must not move where the file is written back.
        std::filesystem::create_directories(dir.path() / "sub");
        std::filesystem::current_path(dir.path() / "sub");
        ASSERT_TRUE(vars.SaveConfig("default.cfg"));
    }
    EXPECT_EQ(dir.read("default.cfg"), "abc \"abc\"\nb \"1\"\nmodel \"models/my scene.vmsh\"\n"
                                       "r_mode \"2\"\nr_showfps \"1\"\n");
    CVarManager reread;
    reread.LoadConfig("default.cfg");
    EXPECT_EQ(reread.GetString("model"), "models/my scene.vmsh");
    EXPECT_EQ(reread.GetInt("r_showfps"), 1);
}

// A value far longer than any setting needs is written back whole, never cut.
TEST(CVarManager, LongValuesRoundTripWhole) {
    TempDir dir(/*enter=*/true);
    std::string value(1 << 20, 'v');
    value[70000] = ' ';
    dir.write("default.cfg", "long \"" + value + "\"\nshort \"1\"\n");
    FileSystem fileSystem;
    {
        CVarManager vars;
        ASSERT_TRUE(vars.LoadConfig("default.cfg"));
        EXPECT_EQ(vars.GetString("long"), value);
        ASSERT_TRUE(vars.SaveConfig("default.cfg"));
    }
    EXPECT_EQ(dir.read("default.cfg"), "long \"" + value + "\"\nshort \"1\"\n");
}

TEST(CVarManager, MissingConfigurationAddsNothingAndFailedSaveKeepsTheOldFile) {
    TempDir dir(/*enter=*/true);
    FileSystem fileSystem;
    LogManager logs;
    auto log = logs.CreateLog(LOG_DEFAULT, dir.file("app.log"));
    CVarManager vars;
    EXPECT_FALSE(vars.LoadConfig("default.cfg"));
    EXPECT_TRUE(vars.vars().empty());
    EXPECT_EQ(dir.read("app.log"),
              "--- Loading default.cfg\nWarning: Loading default.cfg failed.\n");

    vars.SetInt("x", 1);
    EXPECT_FALSE(vars.SaveConfig(dir.file("no/such/folder/default.cfg")));
    EXPECT_EQ(dir.read("app.log"),
              "--- Loading default.cfg\nWarning: Loading default.cfg failed.\nWarning: Saving " +
                  dir.file("no/such/folder/default.cfg") +
                  " failed: cannot create the file: No such file or directory.\n");
    dir.write("ro/default.cfg", "kept \"1\"\n");
    std::filesystem::permissions(dir.path() / "ro", std::filesystem::perms::owner_read |
                                                        std::filesystem::perms::owner_exec);
    if (::geteuid() != 0) { // root ignores permissions
        EXPECT_FALSE(vars.SaveConfig(dir.file("ro/default.cfg")));
        EXPECT_EQ(dir.read("ro/default.cfg"), "kept \"1\"\n");
    }
    std::filesystem::permissions(dir.path() / "ro", std::filesystem::perms::owner_all);
}

} // namespace
} // namespace Vrenn
