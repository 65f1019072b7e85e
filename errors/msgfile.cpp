// The message files and the base error's description lines read from them.
#include <zelk/error.h>

#include "errors/message_key.h"
#include "platform/codepage.h"
#include "platform/profile.h"

#include <cstring>

namespace {

// Both names live in fixed buffers of 260 bytes: at most 259 characters.
constexpr std::size_t kNameSize = 260;
constexpr char kEnglishLeaf[] = "\\Zelk.TXT";
constexpr char kEnglishSuffix[] = "zelk.txt";

// Set before other threads read texts, then only read: no lock.
char g_msgFileName[kNameSize] = "";
char g_englishMsgFileName[kNameSize] = "";

}  // namespace

// A name longer than 259 characters is refused: both names become empty, so
// nothing is read, rather than a cut name that could name another file.  An
// English name that would grow past 259 characters stays empty: the texts
// then all come from the message file, which is still readable.  `name` may
// be one of the library's own two names (switching to English is
// SetMsgFileName(GetEnglishMsgFileName())): it is copied before either changes.
void SetMsgFileName(char const* name) {
    std::size_t const length = name != nullptr ? std::strlen(name) : 0;
    char given[kNameSize] = "";
    if (length < kNameSize) std::memcpy(given, name != nullptr ? name : "", length + 1);
    g_msgFileName[0] = '\0';
    g_englishMsgFileName[0] = '\0';
    if (length == 0 || length >= kNameSize) return;
    std::memcpy(g_msgFileName, given, length + 1);

    char lower[kNameSize];
    for (std::size_t i = 0; i <= length; ++i) lower[i] = zelk::os::AsciiLower(given[i]);
    std::size_t const suffixLength = sizeof kEnglishSuffix - 1;
    if (length > 9 && std::memcmp(lower + length - suffixLength, kEnglishSuffix, suffixLength) == 0) {
        return;  // the message file is the English one
    }
    char* const lastBackslash = std::strrchr(lower, '\\');
    if (lastBackslash == nullptr) {
        std::memcpy(g_englishMsgFileName, lower, length + 1);
        return;
    }
    std::size_t const directoryLength = static_cast<std::size_t>(lastBackslash - lower);
    if (directoryLength + sizeof kEnglishLeaf > kNameSize) return;
    std::memcpy(g_englishMsgFileName, lower, directoryLength);
    std::memcpy(g_englishMsgFileName + directoryLength, kEnglishLeaf, sizeof kEnglishLeaf);
}

char const* GetMsgFileName() { return g_msgFileName; }

char const* GetEnglishMsgFileName() { return g_englishMsgFileName; }

int IsMsgFileOK() { return zelk::os::IsProfileReadable(g_msgFileName); }

int IsEnglishMsgFileOK() { return zelk::os::IsProfileReadable(g_englishMsgFileName); }

int CZelkError::GetText(char const* section, char const* key, char* buffer, int size, int translated) {
    if (buffer == nullptr || size <= 0) return 0;
    buffer[0] = '\0';
    // A null section or key asks for a list of names, as the platform's lookup does.
    bool const english = (translated == 0 || g_msgFileName[0] == '\0') && g_englishMsgFileName[0] != '\0';
    char const* const file = english ? g_englishMsgFileName : g_msgFileName;
    if (file[0] == '\0') return 0;  // the empty name finds nothing
    unsigned long const copied =
        zelk::os::GetProfileText(file, section, key, "", buffer, static_cast<unsigned long>(size));
    return copied != 0 ? 1 : 0;
}

int CZelkError::GetDescriptionLine(int line, char* buffer, int size) const {
    if (line != 0) {
        if (buffer != nullptr && size > 0) buffer[0] = '\0';
        return 0;  // a base error has one line
    }
    IZelkError const& self = *this;
    char const* const typeName = self.GetTypeName();
    if (typeName == nullptr) {
        if (buffer != nullptr && size > 0) buffer[0] = '\0';
        return 0;
    }
    zelk::MessageKey const key = zelk::MakeMessageKey(typeName, self.GetError());
    if (m_translate != 0 && GetText(typeName, key.text, buffer, size, 1) == 1) return 1;
    return GetText(typeName, key.text, buffer, size, 0);
}

int CZelkError::GetDescriptionLine(int line, int /*kind*/, char* buffer, int size) const {
    CZelkError const& self = *this;
    return self.GetDescriptionLine(line, buffer, size);
}

int CZelkError::GetDescriptionLine(int line, int kind, char* buffer, int size, bool english) const {
    // The flag is put back on every way out, a derived class's throw included.
    struct Restore {
        int& flag;
        int kept;
        ~Restore() { flag = kept; }
    } const restore{m_translate, m_translate};
    m_translate = english ? 0 : 1;
    IZelkError const& self = *this;
    return self.GetDescriptionLine(line, kind, buffer, size);
}
