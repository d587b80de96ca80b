#include "config/CVar.h"
#include "config/Tokenizer.h"
#include "core/Log.h"
#include "fs/FileSystem.h"
#include "fs/RamFile.h"
#include "support/TempDir.h"

#include <cmath>
#include <gtest/gtest.h>
#include <optional>
#include <unistd.h>
#include <vector>

namespace Vrenn {
namespace {

using Strings = std::vector<std::string>;

Strings scan(const std::string& text, bool tokens) {
    Tokenizer tokenizer;
    tokenizer.LoadText(text);
    Strings out;
    while (tokens ? tokenizer.NextToken() : tokenizer.NextWord())
        out.push_back(tokenizer.Token());
    return out;
}

TEST(Tokenizer, WordsTokensWhiteSpaceAndComments) {
    const std::string big(70000, 'x');
    const struct {
        std::string text;
        bool tokens;
        Strings expected;
    } cases[] = {
        {"a(b)", true, {"a", "(", "b", ")"}},
        {"a(b)", false, {"a(b)"}},
        {"x:\"y z\"|<w>", true, {"x", ":", "\"", "y", "z", "\"", "|", "<", "w", ">"}},
        {"ab\xA0"
         "cd\x01"
         "ef\r\ngh",
         false,
         {"ab", "cd", "ef", "gh"}}, // high bytes and control bytes are white space
        {"first // note\nsecond", false, {"first", "second"}},
        {"/* block\n comment */ word", false, {"word"}},
        // Only one comment is skipped per scan: the second line's slashes start a word.
        {"// one\n// two\nword", false, {"//", "two", "word"}},
        {"last // trailing comment with no line end", false, {"last"}},
        {"last /* never closed", false, {"last"}},
        {"   \n\t  ", false, {}},
        {"", true, {}},
        {"/*" + big + "*/ " + big + " y", false, {big, "y"}}, // long tokens are kept whole
    };
    for (const auto& c : cases)
        EXPECT_EQ(scan(c.text, c.tokens), c.expected) << c.text.substr(0, 40);

    Tokenizer tokens; // the skipped comment's text is kept
    tokens.LoadText("/*" + big + "*/ w");
    ASSERT_TRUE(tokens.NextWord());
    EXPECT_EQ(tokens.LastComment(), big);
}

// A search takes a quoted value or puts the position back; lines are skipped whole; a missing
// file reads as no text.
TEST(Tokenizer, SearchesTakeAQuotedValueOrPutThePositionBack) {
    Tokenizer tokens;
    tokens.LoadText("name  \"value with  spaces\" next");
    ASSERT_TRUE(tokens.NextWord());
    ASSERT_TRUE(tokens.SkipTo("\""));
    ASSERT_TRUE(tokens.ReadUntil("\""));
    EXPECT_EQ(tokens.Token(), "value with  spaces");
    ASSERT_TRUE(tokens.SkipTo("\""));
    ASSERT_TRUE(tokens.NextWord());
    EXPECT_EQ(tokens.Token(), "next");

    tokens.LoadText("alpha beta gamma");
    ASSERT_TRUE(tokens.NextWord());
    tokens.SkipWhitespace();
    const uint32_t before = tokens.cursor();
    EXPECT_FALSE(tokens.SkipTo("\""));
    EXPECT_EQ(tokens.cursor(), before);
    EXPECT_EQ(tokens.tokenStart(), before);
    EXPECT_FALSE(tokens.ReadUntil("delta"));
    EXPECT_EQ(tokens.cursor(), before);
    ASSERT_TRUE(tokens.NextWord());
    EXPECT_EQ(tokens.Token(), "beta");

    tokens.Load(std::make_shared<RamFile>("\n\n  rest of line\nnext", 21));
    tokens.SkipLine();
    ASSERT_TRUE(tokens.NextWord());
    EXPECT_EQ(tokens.Token(), "next");
    tokens.Load(nullptr);
    EXPECT_FALSE(tokens.NextWord() || tokens.NextToken());
    EXPECT_EQ(tokens.Token(), "");
}

using Test::TempDir;

// A value carries its text and the float and int atof and atoi read (the int clamped);
// settings that size work take only whole numbers ("1e40" is not 1).
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
        CVarManager vars;
        vars.LoadConfigText(std::string("v \"") + c.text + "\"");
        EXPECT_EQ(vars.GetWholeInt("v"), c.whole) << c.text;
        EXPECT_EQ(vars.GetInt("v"), c.intValue) << c.text;
        EXPECT_FALSE(vars.GetWholeInt("absent"));
    }
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
    EXPECT_EQ(vars.GetInt("absent"), 0);
    // SetInt replaces a value; Add keeps an existing variable.
    vars.SetInt("r_mode", 1 - vars.GetInt("r_mode"), 0);
    EXPECT_EQ(vars.GetString("r_mode"), "-2");
    EXPECT_FALSE(vars.Add(CVar::fromText("r_mode", "6")));
    EXPECT_EQ(vars.GetInt("r_mode"), -2);

    // A value whose closing quote is missing reads empty; scanning goes on after the quote.
    CVarManager malformed;
    malformed.LoadConfigText("a \"1\" b \"oops");
    EXPECT_EQ(malformed.GetString("a"), "1");
    EXPECT_TRUE(malformed.Has("b"));
    EXPECT_EQ(malformed.GetString("b"), "");
    EXPECT_FALSE(malformed.Has("oops"));
}

// A missing file adds nothing; a failed save keeps the old file and says why. Values of any
// length are written back whole, sorted, to the root LoadConfig read from.
TEST(CVarManager, ConfigurationRoundTripsThroughTheRootDirectoryOrKeepsTheOldFile) {
    TempDir dir(/*enter=*/true);
    FileSystem fileSystem;
    LogManager logs;
    auto log = logs.CreateLog(LOG_DEFAULT, dir.file("app.log"));
    {
        CVarManager vars;
        EXPECT_FALSE(vars.LoadConfig("default.cfg"));
        EXPECT_TRUE(vars.vars().empty());
        vars.SetInt("x", 1);
        EXPECT_FALSE(vars.SaveConfig(dir.file("no/such/folder/default.cfg")));
        EXPECT_EQ(dir.read("app.log"), "--- Loading default.cfg\nWarning: Loading default.cfg "
                                       "failed.\nWarning: Saving " +
                                           dir.file("no/such/folder/default.cfg") +
                                           " failed: cannot create the file: No such file or "
                                           "directory.\n");
        dir.write("ro/default.cfg", "kept \"1\"\n");
        using std::filesystem::perms;
        std::filesystem::permissions(dir.path() / "ro", perms::owner_read | perms::owner_exec);
        if (::geteuid() != 0) { // root ignores permissions
            EXPECT_FALSE(vars.SaveConfig(dir.file("ro/default.cfg")));
            EXPECT_EQ(dir.read("ro/default.cfg"), "kept \"1\"\n");
        }
        std::filesystem::permissions(dir.path() / "ro", perms::owner_all);
    }
    std::string value(1 << 20, 'v');
    value[70000] = ' ';
    dir.write("default.cfg", "r_mode \"2\"\nmodel \"models/my scene.vmsh\"\nabc \"" + value +
                                 "\"\nb \"1\" b \"2\"\n");
    CVarManager vars;
    ASSERT_TRUE(vars.LoadConfig("default.cfg"));
    EXPECT_EQ(vars.GetString("abc"), value);
    vars.SetInt("r_showfps", 1);
    // A search elsewhere must not move where the file is written back.
    std::filesystem::create_directories(dir.path() / "sub");
    std::filesystem::current_path(dir.path() / "sub");
    ASSERT_TRUE(vars.SaveConfig("default.cfg"));
    EXPECT_EQ(dir.read("default.cfg"), "abc \"" + value +
                                           "\"\nb \"1\"\nmodel \"models/my scene.vmsh\"\n"
                                           "r_mode \"2\"\nr_showfps \"1\"\n");
}

} // namespace
} // namespace Vrenn
