#include "config/Tokenizer.h"

#include "fs/RamFile.h"

#include <gtest/gtest.h>
#include <vector>

namespace Vrenn {
namespace {

std::vector<std::string> words(const std::string& text) {
    Tokenizer tokens;
    tokens.LoadText(text);
    std::vector<std::string> out;
    while (tokens.NextWord())
        out.push_back(tokens.Token());
    return out;
}

std::vector<std::string> allTokens(const std::string& text) {
    Tokenizer tokens;
    tokens.LoadText(text);
    std::vector<std::string> out;
    while (tokens.NextToken())
        out.push_back(tokens.Token());
    return out;
}

using Strings = std::vector<std::string>;

TEST(Tokenizer, WordsTokensWhiteSpaceAndComments) {
    EXPECT_EQ(allTokens("a(b)"), (Strings{"a", "(", "b", ")"}));
    EXPECT_EQ(words("a(b)"), (Strings{"a(b)"}));
    EXPECT_EQ(allTokens("x:\"y z\"|<w>"),
              (Strings{"x", ":", "\"", "y", "z", "\"", "|", "<", "w", ">"}));
    // High bytes and control bytes are white space.
    EXPECT_EQ(words("ab\xA0"
                    "cd\x01"
                    "ef\r\ngh"),
              (Strings{"ab", "cd", "ef", "gh"}));

    EXPECT_EQ(words("first // note\nsecond"), (Strings{"first", "second"}));
    EXPECT_EQ(words("/* block\n comment */ word"), (Strings{"word"}));
    // Only one comment is skipped per scan: the second line's slashes start a word.
    EXPECT_EQ(words("// one\n// two\nword"), (Strings{"//", "two", "word"}));
    // Text ending in a comment or in white space ends cleanly.
    EXPECT_EQ(words("last // trailing comment with no line end"), (Strings{"last"}));
    EXPECT_EQ(words("last /* never closed"), (Strings{"last"}));
    EXPECT_EQ(words("   \n\t  "), (Strings{}));
    EXPECT_EQ(words(""), (Strings{}));

    // The skipped comment's text is kept.
    Tokenizer tokens;
    tokens.LoadText("/*hello*/ w");
    ASSERT_TRUE(tokens.NextWord());
    EXPECT_EQ(tokens.LastComment(), "hello");
}

TEST(Tokenizer, SearchesTakeAQuotedValueOrPutThePositionBack) {
    Tokenizer tokens;
    tokens.LoadText("name  \"value with  spaces\" next");
    ASSERT_TRUE(tokens.NextWord());
    EXPECT_EQ(tokens.Token(), "name");
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

TEST(Tokenizer, LongTokensAndCommentsAreKeptWhole) {
    const std::string big(70000, 'x');
    Tokenizer tokens;
    tokens.LoadText("/*" + big + "*/ " + big + " y");
    ASSERT_TRUE(tokens.NextWord());
    EXPECT_EQ(tokens.Token(), big);
    EXPECT_EQ(tokens.LastComment(), big);
    ASSERT_TRUE(tokens.NextWord());
    EXPECT_EQ(tokens.Token(), "y");
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
