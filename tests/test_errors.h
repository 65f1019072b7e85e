// Errors for tests: a scriptable one whose every answer the test sets, and
// concrete base errors.
#pragma once

#include <zelk/error.h>
#include <zelk/error_list.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace zelk::test {

class ScriptedError : public IZelkError {
public:
    explicit ScriptedError(std::uint32_t ordinal = 1) : number(ordinal) {}

    std::uint32_t number;
    int code = 42, line = 17, fatal = 1, translate = 1;
    char const *typeName = "ScriptedError", *threadName = "Main", *file = "scripted.cpp";
    long time = 1700000000;
    ZelkErrorID icon = ZelkErrorIconWarning;
    std::vector<std::string> lines[2][2];  // [kind][english]

    COrdinalNumber GetOrdinalNumber() const override { return COrdinalNumber(number); }
    char const* GetTypeName() const override { return typeName; }
    int GetDescriptionLine(int n, int kind, char* buffer, int size) const override {
        return static_cast<IZelkError const&>(*this).GetDescriptionLine(n, kind, buffer, size, translate == 0);
    }
    int GetDescriptionLine(int n, int kind, char* buffer, int size, bool english) const override {
        auto const& texts = lines[kind == 0 ? 0 : 1][english ? 1 : 0];
        if (n < 0 || static_cast<std::size_t>(n) >= texts.size()) return size > 0 ? (buffer[0] = '\0', 0) : 0;
        std::strncpy(buffer, texts[static_cast<std::size_t>(n)].c_str(), static_cast<std::size_t>(size));
        buffer[size - 1] = '\0';
        return 1;  // a line that exists yields non-zero even when empty
    }
    int Fatal() const override { return fatal; }
    int SetFatal(int value) override { return fatal = value; }
    ZelkErrorID GetErrorIcon() const override { return icon; }
    long GetTime() const override { return time; }
    int GetError() const override { return code; }
    char const* GetErrorFile() const override { return file; }
    int GetLine() const override { return line; }
    void EnableMessageTranslation(int enable) override { translate = enable; }
    int IsMessageTranslationEnabled() const override { return translate; }
    char const* GetThreadName() const override { return threadName; }
};

// A base error whose type name the test chooses.
class TestError : public CZelkError {
public:
    TestError(char const* file, int line, int code, char const* typeName = "TestError")
        : CZelkError(file, line, code), m_typeName(typeName) {}
    char const* GetTypeName() const override { return m_typeName; }

private:
    char const* m_typeName;
};

// The text of line `n` of a kind and language, or "<none>".
inline std::string LineOf(IZelkError const& error, int n, int kind, bool english) {
    char buffer[400];
    return error.GetDescriptionLine(n, kind, buffer, sizeof buffer, english) ? std::string(buffer) : "<none>";
}
inline std::string Line(IZelkError const& error, bool english) { return LineOf(error, 0, 0, english); }

// The numbers a walk from first to last visits.
inline std::vector<std::uint32_t> Numbers(CZelkErrorList const& list) {
    std::vector<std::uint32_t> numbers;
    for (ErrorListPos p = list.GetFirst(); !p.IsNull(); p = list.GetNext(p))
        numbers.push_back(p.GetOrdinalNumber().Get());
    return numbers;
}

// The name the message-file functions expect for `path` (on POSIX "z:\tmp\x" is /tmp/x).
inline std::string WindowsName(std::filesystem::path const& path) {
    std::string name = path.string();
    if (name.empty() || name.front() != '/') return name;
    for (char& c : name) c = c == '/' ? '\\' : c;
    return "z:" + name;
}

}  // namespace zelk::test
