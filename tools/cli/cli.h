// What the suite's command-line tools share: how they speak (UTF-8 text
// through the platform's console layer, so that on Windows every tool of the
// package writes a console in UTF-16 and a file or pipe in the console's
// code page, as the system's own tools do), how they report an error, and
// what their exit statuses mean.
#pragma once

#include <string>
#include <string_view>

namespace zelk::cli {

// Exit statuses.  A command line the tool cannot understand is a usage
// error in every tool, told apart from a failure of the work itself.
enum ExitStatus : int {
    kExitSuccess = 0,
    kExitFailure = 1,  // the work failed (or, for a checker, found errors)
    kExitUsage = 2,  // the command line is wrong; nothing was done
};

// The name errors are reported under ("zelk-reg"); set once by main().
void SetToolName(std::string_view name);
std::string_view ToolName();

// "<tool>: <message>" on standard error.  False when it could not be written.
bool ReportError(std::string_view message);

// Standard output, collected and written in large pieces.  A failed write
// (a full disk, a closed pipe) is remembered for the whole run: a tool that
// could not write its output ends with kExitFailure (see OutputFailed).
class Output {
public:
    Output() = default;
    ~Output() { Flush(); }
    Output(Output const&) = delete;
    Output& operator=(Output const&) = delete;

    void Write(std::string_view utf8);
    // One line of UTF-8 text (without its line end).
    void Line(std::string_view utf8 = {});
    // Writes what is collected; false when any write of the run failed.
    bool Flush();

private:
    std::string m_buffer;
};

// Writes to standard output at once (a question before reading the answer).
void WriteNow(std::string_view utf8);

// Whether any write to standard output has failed in this run.
bool OutputFailed() noexcept;

}  // namespace zelk::cli
