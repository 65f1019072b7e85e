// A scriptable error for tests: every value, and the description lines of
// each kind and language, are set by the test.
#pragma once

#include <zelk/error.h>

#include <cstring>
#include <string>
#include <vector>

namespace zelk::test {

class ScriptedError : public IZelkError {
public:
    explicit ScriptedError(std::uint32_t ordinal = 1) : number(ordinal) {}

    std::uint32_t number;
    int code = 42;
    char const* typeName = "ScriptedError";
    char const* threadName = "Main";
    char const* file = "scripted.cpp";
    int line = 17;
    long time = 1700000000;
    int fatal = 1;
    ZelkErrorID icon = ZelkErrorIconWarning;
    int translate = 1;
    // lines[kind][english]
    std::vector<std::string> lines[2][2];
    // Names of the operations called, in order (for tests of the read order).
    mutable std::vector<std::string> calls;

    COrdinalNumber GetOrdinalNumber() const override { return Note("GetOrdinalNumber"), COrdinalNumber(number); }
    char const* GetTypeName() const override { return Note("GetTypeName"), typeName; }
    int GetDescriptionLine(int n, int kind, char* buffer, int size) const override {
        IZelkError const& self = *this;
        return self.GetDescriptionLine(n, kind, buffer, size, translate == 0);
    }
    int GetDescriptionLine(int n, int kind, char* buffer, int size, bool english) const override {
        Note("GetDescriptionLine");
        auto const& texts = lines[kind == 0 ? 0 : 1][english ? 1 : 0];
        if (n < 0 || static_cast<std::size_t>(n) >= texts.size()) {
            if (size > 0) buffer[0] = '\0';
            return 0;
        }
        std::strncpy(buffer, texts[static_cast<std::size_t>(n)].c_str(), static_cast<std::size_t>(size));
        buffer[size - 1] = '\0';
        return 1;  // a line that exists yields non-zero even when empty
    }
    int Fatal() const override { return Note("Fatal"), fatal; }
    int SetFatal(int value) override { return fatal = value; }
    ZelkErrorID GetErrorIcon() const override { return Note("GetErrorIcon"), icon; }
    long GetTime() const override { return Note("GetTime"), time; }
    int GetError() const override { return Note("GetError"), code; }
    char const* GetErrorFile() const override { return Note("GetErrorFile"), file; }
    int GetLine() const override { return Note("GetLine"), line; }
    void EnableMessageTranslation(int enable) override { translate = enable; }
    int IsMessageTranslationEnabled() const override { return Note("IsMessageTranslationEnabled"), translate; }
    char const* GetThreadName() const override { return Note("GetThreadName"), threadName; }

private:
    void Note(char const* name) const { calls.emplace_back(name); }
};

// The whole text of line `n` of a kind and language, as a reader gets it.
inline std::string LineOf(IZelkError const& error, int n, int kind, bool english) {
    char buffer[400];
    return error.GetDescriptionLine(n, kind, buffer, sizeof buffer, english) ? std::string(buffer) : std::string("<none>");
}

}  // namespace zelk::test
