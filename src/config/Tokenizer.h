#pragma once

#include "fs/File.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Vrenn {

// Scans a whole text held in memory and hands out words and tokens by position.
// It never fails on malformed input: every scan stops at the end of the text.
//
// White space is every byte of value 32 or below and every byte of value 128 or
// above. A comment is "//" to the end of the line or "/*" to the next "*/".
class Tokenizer {
public:
    // Reads the whole file (and releases the handle). An empty or missing file gives
    // an empty tokenizer.
    void Load(std::shared_ptr<File> file);
    // Uses text directly, as Load would after reading a file holding it.
    void LoadText(const std::string& text);
    void Release();
    void Reset();

    void SkipWhitespace();
    // Takes the next run of non-white-space bytes, after skipping white space and at
    // most one comment. False at the end.
    bool NextWord();
    // As NextWord, but a token also ends at a delimiter, and a delimiter where a
    // token begins is a token of its own.
    bool NextToken();
    // Takes tokens until one equals s; the position is then just after it. On failure
    // the position is put back. A search that fails has read the rest of the text: a
    // caller that goes on searching from the same place reads it again, so it should
    // give up the rest (SkipToEnd) rather than search on.
    bool SkipTo(const char* s);
    // Takes tokens until one equals s; the current token is then the raw text between
    // the entry position and that token. On failure the position is put back.
    bool ReadUntil(const char* s);
    // Skips white space, then moves to the next line end.
    void SkipLine();
    // Moves to the end of the text: every later scan finds nothing.
    void SkipToEnd();
    // The current token as text, whole.
    std::string Token() const;
    // The text of the last comment skipped.
    const std::string& LastComment() const { return m_comment; }

    uint32_t tokenStart() const { return m_tokenStart; }
    uint32_t cursor() const { return m_cursor; }
    uint32_t length() const { return m_length; }
    bool empty() const { return m_text.empty(); }

private:
    // The byte at offset i, or 0 at and past the end (the terminating NUL).
    char at(uint32_t i) const { return i < m_length ? m_text[i] : '\0'; }
    bool atEnd() const { return m_cursor >= m_length; }
    bool atCommentStart() const;
    void SkipComment();
    bool NextRun(bool stopAtDelimiters);

    std::vector<char> m_text; // the text plus a terminating NUL
    uint32_t m_length = 0;
    uint32_t m_tokenStart = 0;
    uint32_t m_cursor = 0;
    std::string m_comment;
};

} // namespace Vrenn
