// Concrete base errors for tests, and the Windows form of a scratch path
// (message-file names are Windows names; on POSIX "z:\tmp\x" is /tmp/x).
#pragma once

#include <zelk/error.h>

#include <filesystem>
#include <string>

namespace zelk::test {

// A base error whose type name the test chooses ("TestError" by default).
class TestError : public CZelkError {
public:
    TestError(char const* file, int line, int code, char const* typeName = "TestError")
        : CZelkError(file, line, code), m_typeName(typeName) {}
    char const* GetTypeName() const override { return m_typeName; }

private:
    char const* m_typeName;
};

// A derived class that overrides GetError: the base error must ask it.
class RecodedError : public TestError {
public:
    RecodedError(int storedCode, int reportedCode) : TestError("recoded.cpp", 1, storedCode), m_reported(reportedCode) {}
    int GetError() const override { return m_reported; }

private:
    int m_reported;
};

// The name the library's message-file functions expect for `path`.
inline std::string WindowsName(std::filesystem::path const& path) {
    std::string name = path.string();
    if (name.empty() || name.front() != '/') return name;  // already a Windows name
    for (char& c : name) {
        if (c == '/') c = '\\';
    }
    return "z:" + name;
}

// The description line `line` of kind 0, in the language asked for.
inline std::string Line(IZelkError const& error, bool english, int line = 0) {
    char buffer[300];
    if (error.GetDescriptionLine(line, 0, buffer, sizeof buffer, english) == 0) return "<none>";
    return buffer;
}

}  // namespace zelk::test
