#include "config/Tokenizer.h"

#include "fs/RamFile.h"

#include <gtest/gtest.h>
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

    // The skipped comment's text is kept.
    Tokenizer tokens;
    tokens.LoadText("/*" + big + "*/ w");
    ASSERT_TRUE(tokens.NextWord());
    EXPECT_EQ(tokens.LastComment(), big);
}

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

    // SkipLine passes white space, then the rest of the line it reached.
    tokens.LoadText("\n\n  rest of line\nnext");
    tokens.SkipLine();
    ASSERT_TRUE(tokens.NextWord());
    EXPECT_EQ(tokens.Token(), "next");
}

TEST(Tokenizer, LoadsFromAFileAndToleratesNone) {
    const std::string text = "one two";
    Tokenizer tokens;
    tokens.Load(std::make_shared<RamFile>(text.data(), static_cast<uint32_t>(text.size())));
    EXPECT_EQ(tokens.length(), 7u);
    ASSERT_TRUE(tokens.NextWord());
    EXPECT_EQ(tokens.Token(), "one");
    tokens.Load(nullptr);
    EXPECT_TRUE(tokens.empty());
    EXPECT_FALSE(tokens.NextWord());
    EXPECT_FALSE(tokens.NextToken());
    EXPECT_EQ(tokens.Token(), "");
}

} // namespace
} // namespace Vrenn
