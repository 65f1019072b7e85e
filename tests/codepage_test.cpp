// UTF-8 and UTF-16 at the edges of each sequence length, and the sequences
// a strict decoder refuses: names pass through these on every registry call.
#include "platform/codepage.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace zelk::os;

TEST(Codepage, Utf8AndUtf16AtTheEdgesOfEachLength) {
    // clang-format off
    struct Case { std::string utf8; std::u16string utf16; };
    // clang-format off
    Case const valid[] = {
        {"\x7F", u"\x7F"}, {"\xC2\x80", u"\x80"}, {"\xDF\xBF", u"\x7FF"}, {"\xE0\xA0\x80", u"\x800"},
        {"\xED\x9F\xBF", u"\xD7FF"}, {"\xEE\x80\x80", u"\xE000"}, {"\xEF\xBF\xBF", u"\xFFFF"},
        {"\xF0\x90\x80\x80", u"\xD800\xDC00"}, {"\xF4\x8F\xBF\xBF", u"\xDBFF\xDFFF"},
    };
    // clang-format on
    // clang-format on
    for (Case const& c : valid) {
        std::u16string utf16;
        std::string utf8;
        std::size_t bad = 99;
        EXPECT_TRUE(Utf8ToUtf16(c.utf8, utf16, bad) && utf16 == c.utf16) << c.utf8;
        EXPECT_TRUE(Utf16ToUtf8(c.utf16, utf8) && utf8 == c.utf8) << c.utf8;
    }
    // Overlong forms, surrogates, past U+10FFFF, stray and missing continuation bytes.
    for (std::string const bytes : {"\xC1\xBF", "\xE0\x9F\xBF", "\xED\xA0\x80", "\xF0\x8F\xBF\xBF", "\xF4\x90\x80\x80",
                                    "\xF5\x80\x80\x80", "\x80", "\xC2", "\xE2\x82", "\xC2\xC2\x80"}) {
        std::u16string utf16;
        std::size_t bad = 99;
        EXPECT_FALSE(Utf8ToUtf16("ok" + bytes, utf16, bad)) << bytes;
        EXPECT_EQ(bad, 2u) << bytes;
    }
    for (std::u16string const half : {u"\xD800", u"\xDFFF", u"\xDC00\xD800", u"\xDBFFx"}) {
        std::string utf8;
        EXPECT_FALSE(Utf16ToUtf8(half, utf8));
    }
}

}  // namespace
