#include "config/Tokenizer.h"

#include <algorithm>
#include <cstring>

namespace Vrenn {

namespace {
bool isWhite(char c) {
    return static_cast<signed char>(c) <= 32;
}

bool isDelimiter(char c) {
    return isWhite(c) || (c != '\0' && std::strchr("([{)]}/\\?*:\"|<>", c) != nullptr);
}
} // namespace

void Tokenizer::Reset() {
    m_tokenStart = m_cursor = m_length = 0;
}

void Tokenizer::Release() {
    m_text.clear();
    m_text.shrink_to_fit();
    m_comment.clear();
    Reset();
}

void Tokenizer::Load(std::shared_ptr<File> file) {
    Release();
    if (!file) return;
    const uint32_t size = file->size();
    if (size != 0) {
        m_text.assign(size_t{size} + 1, '\0');
        file->rewind();
        // Whatever the file really delivers is the text; a short read leaves zeros
        // that end every scan.
        const uint32_t got = file->read(m_text.data(), size);
        m_length = got < size ? got : size;
    }
    file.reset();
}

void Tokenizer::LoadText(const std::string& text) {
    Release();
    if (text.empty()) return;
    m_text.assign(text.begin(), text.end());
    m_text.push_back('\0');
    m_length = static_cast<uint32_t>(text.size());
}

void Tokenizer::SkipWhitespace() {
    while (!atEnd() && isWhite(at(m_cursor)))
        ++m_cursor;
    m_tokenStart = m_cursor;
}

bool Tokenizer::atCommentStart() const {
    if (m_length - m_cursor < 2 || m_cursor >= m_length) return false;
    return at(m_cursor) == '/' && (at(m_cursor + 1) == '/' || at(m_cursor + 1) == '*');
}

void Tokenizer::SkipComment() {
    const bool block = at(m_cursor + 1) == '*';
    m_cursor += 2;
    const uint32_t textStart = m_cursor;
    uint32_t textEnd;
    if (block) {
        while (!atEnd() && !(at(m_cursor) == '*' && at(m_cursor + 1) == '/'))
            ++m_cursor;
        textEnd = m_cursor;
        m_cursor = atEnd() ? m_length : m_cursor + 2;
    } else {
        while (!atEnd() && at(m_cursor) != '\r' && at(m_cursor) != '\n')
            ++m_cursor;
        textEnd = m_cursor;
    }
    m_comment.assign(m_text.data() + textStart, textEnd - textStart);
    m_tokenStart = m_cursor;
}

bool Tokenizer::NextRun(bool stopAtDelimiters) {
    SkipWhitespace();
    if (atEnd()) return false;
    if (atCommentStart()) {
        SkipComment();
        SkipWhitespace();
        if (atEnd()) return false;
    }
    if (stopAtDelimiters && isDelimiter(at(m_cursor))) {
        ++m_cursor;
        return true;
    }
    while (!atEnd()) {
        const char c = at(m_cursor);
        if (stopAtDelimiters ? isDelimiter(c) : isWhite(c)) break;
        ++m_cursor;
    }
    return true;
}

bool Tokenizer::NextWord() {
    return NextRun(false);
}

bool Tokenizer::NextToken() {
    return NextRun(true);
}

bool Tokenizer::SkipTo(const char* s) {
    const uint32_t entry = m_tokenStart;
    const size_t n = std::strlen(s);
    while (NextToken()) {
        if (m_cursor - m_tokenStart == n && std::memcmp(m_text.data() + m_tokenStart, s, n) == 0) {
            m_tokenStart = m_cursor;
            return true;
        }
    }
    m_tokenStart = m_cursor = entry;
    return false;
}

bool Tokenizer::ReadUntil(const char* s) {
    const uint32_t entry = m_tokenStart;
    const size_t n = std::strlen(s);
    while (NextToken()) {
        if (m_cursor - m_tokenStart == n && std::memcmp(m_text.data() + m_tokenStart, s, n) == 0) {
            m_cursor = m_tokenStart;
            m_tokenStart = entry;
            return true;
        }
    }
    m_tokenStart = m_cursor = entry;
    return false;
}

void Tokenizer::SkipLine() {
    SkipWhitespace();
    while (!atEnd() && at(m_cursor) != '\r' && at(m_cursor) != '\n')
        ++m_cursor;
}

void Tokenizer::SkipToEnd() {
    m_tokenStart = m_cursor = m_length;
}

std::string Tokenizer::Token() const {
    if (m_cursor <= m_tokenStart || m_tokenStart >= m_length) return {};
    const uint32_t end = std::min(m_cursor, m_length);
    return std::string(m_text.data() + m_tokenStart, end - m_tokenStart);
}

} // namespace Vrenn
