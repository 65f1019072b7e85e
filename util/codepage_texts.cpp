// Whole texts between Windows-1252 and UTF-8, on the one table of the page.
#include <zelk/codepage.h>

#include "platform/codepage.h"

namespace {

// Collects the result's length and copies what fits, whole characters only,
// so that a cut text is still well-formed.
class Output {
public:
    Output(char* buffer, std::size_t size) noexcept : m_buffer(size > 0 ? buffer : nullptr), m_room(size - 1) {}
    void Put(char const* bytes, std::size_t count) noexcept {
        if (m_buffer != nullptr && m_length == m_written && count <= m_room - m_written) {
            for (std::size_t i = 0; i < count; ++i) m_buffer[m_written++] = bytes[i];
        }
        m_length += count;
    }
    std::size_t Finish() noexcept {
        if (m_buffer != nullptr) m_buffer[m_written] = '\0';
        return m_length;
    }

private:
    char* m_buffer;  // null when nothing may be written
    std::size_t m_room;
    std::size_t m_written = 0;
    std::size_t m_length = 0;
};

}  // namespace

std::size_t Cp1252ToUtf8(char const* text, std::size_t length, char* buffer, std::size_t size) {
    Output out(buffer, size);
    std::string character;
    for (std::size_t i = 0; text != nullptr && i < length; ++i) {
        character.clear();
        zelk::os::AppendUtf8(character, zelk::os::Cp1252ToUnicode(static_cast<unsigned char>(text[i])));
        out.Put(character.data(), character.size());
    }
    return out.Finish();
}

std::size_t Utf8ToCp1252(char const* text, std::size_t length, char* buffer, std::size_t size) {
    Output out(buffer, size);
    std::string_view const utf8(text != nullptr ? text : "", text != nullptr ? length : 0);
    for (std::size_t pos = 0; pos < utf8.size();) {
        char32_t const c = zelk::os::DecodeUtf8(utf8, pos);
        unsigned char byte = '?';
        if (c == zelk::os::kNoCharacter || !zelk::os::UnicodeToCp1252(c, byte)) byte = '?';
        char const converted = static_cast<char>(byte);
        out.Put(&converted, 1);
    }
    return out.Finish();
}
