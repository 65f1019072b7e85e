// What the tool says: its output collected and written in large pieces,
// errors on standard error, and reg's yes/no questions.
#pragma once

#include <string>
#include <string_view>

namespace zelk::regtool {

class Output {
public:
    Output() = default;
    ~Output() { Flush(); }
    Output(Output const&) = delete;
    Output& operator=(Output const&) = delete;

    // One line of UTF-8 text (without its line end).
    void Line(std::string_view text = {});
    void Flush();

private:
    std::string m_buffer;
};

// Whether a write to standard output has failed (a full disk, a closed
// pipe): the run then ends with status 1, whatever the verb did.
bool OutputFailed() noexcept;

// "zelk-reg: <message>" on standard error.
void ReportError(std::string_view message);

// Asks on standard output and reads the answer from standard input: "y" or
// "yes" (any case) is yes; anything else, and the end of the input, is no.
bool Confirm(std::string_view question);

}  // namespace zelk::regtool
