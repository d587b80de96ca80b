#include "config/CVar.h"

#include "core/Log.h"
#include "fs/FileSystem.h"
#include "support/TempDir.h"

#include <cmath>
#include <gtest/gtest.h>
#include <optional>
#include <unistd.h>

namespace Vrenn {
namespace {

using Test::TempDir;

// A value carries three forms: the float and int read as atof and atoi do (the int clamped),
// and the text. Settings that size work read only whole numbers: leading digits of something
// else ("1e40" read as 1) are refused, and absent ones too.
TEST(CVar, TextValuesCarryAllFormsAndWholeNumbersAreRefusedUnlessWhole) {
    const struct {
        const char* text;
        float floatValue;
        int32_t intValue;
        std::optional<int32_t> whole;
    } cases[] = {
        {"1.5", 1.5f, 1, {}},
        {"abc", 0, 0, {}},
        {"0x10", 16, 0, {}}, // strtod reads hexadecimal
        {"  -42e1", -420, -42, {}},
        {"99999999999", 1e11f, INT32_MAX, {}},
        {"1e40", INFINITY, 1, {}},
        {"12abc", 12, 12, {}},
        {"", 0, 0, {}},
        {" 42 ", 42, 42, 42},
        {"-7", -7, -7, -7},
        {"+2147483647", 2147483647.0f, INT32_MAX, INT32_MAX},
    };
    for (const auto& c : cases) {
        const CVar var = CVar::fromText("v", c.text);
        EXPECT_FLOAT_EQ(var.floatValue, c.floatValue) << c.text;
        EXPECT_EQ(var.intValue, c.intValue) << c.text;
        EXPECT_EQ(var.stringValue, c.text);
        CVarManager vars;
        vars.LoadConfigText(std::string("v \"") + c.text + "\"");
        EXPECT_EQ(vars.GetWholeInt("v"), c.whole) << c.text;
        EXPECT_EQ(vars.GetInt("v"), c.intValue) << c.text;
        EXPECT_FALSE(vars.GetWholeInt("absent"));
    }
    const CVar number = CVar::fromInt("f", -7);
    EXPECT_EQ(number.stringValue, "-7");
    EXPECT_FLOAT_EQ(number.floatValue, -7.0f);
}

TEST(CVarManager, ParsesPairsCommentsRepeatsAndMalformedText) {
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

    // A value whose closing quote is missing reads empty and scanning continues after the
    // opening quote; a name with no value after it is dropped.
    CVarManager malformed;
    malformed.LoadConfigText("a \"1\" b \"oops");
    EXPECT_EQ(malformed.GetString("a"), "1");
    EXPECT_TRUE(malformed.Has("b"));
    EXPECT_EQ(malformed.GetString("b"), "");
    EXPECT_FALSE(malformed.Has("oops"));
}

// Values of any length are written back whole, into the root directory LoadConfig read from.
TEST(CVarManager, ConfigurationRoundTripsThroughTheRootDirectory) {
    TempDir dir(/*enter=*/true);
    std::string value(1 << 20, 'v');
    value[70000] = ' ';
    dir.write("default.cfg", "r_mode \"2\"\nmodel \"models/my scene.vmsh\"\nabc \"" + value +
                                 "\"\nb \"1\" b \"2\"\n");
    FileSystem fileSystem;
    {
        CVarManager vars;
        ASSERT_TRUE(vars.LoadConfig("default.cfg"));
        EXPECT_EQ(vars.GetString("abc"), value);
        vars.SetInt("r_showfps", 1);
        // A search elsewhere must not move where the file is written back.
        std::filesystem::create_directories(dir.path() / "sub");
        std::filesystem::current_path(dir.path() / "sub");
        ASSERT_TRUE(vars.SaveConfig("default.cfg"));
    }
    EXPECT_EQ(dir.read("default.cfg"), "abc \"" + value +
                                           "\"\nb \"1\"\nmodel \"models/my scene.vmsh\"\n"
                                           "r_mode \"2\"\nr_showfps \"1\"\n");
}

TEST(CVarManager, MissingConfigurationAddsNothingAndFailedSaveKeepsTheOldFile) {
    TempDir dir(/*enter=*/true);
    FileSystem fileSystem;
    LogManager logs;
    auto log = logs.CreateLog(LOG_DEFAULT, dir.file("app.log"));
    CVarManager vars;
    EXPECT_FALSE(vars.LoadConfig("default.cfg"));
    EXPECT_TRUE(vars.vars().empty());
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
