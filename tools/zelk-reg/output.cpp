#include "output.h"

#include "platform/console.h"

#include <cctype>
#include <iostream>

namespace zelk::regtool {

void Output::Line(std::string_view text) {
    m_buffer += text;
    m_buffer += '\n';
    if (m_buffer.size() >= 1 << 16) {
        Flush();
    }
}

namespace {

bool g_outputFailed = false;

}  // namespace

void Output::Flush() {
    if (!m_buffer.empty() && !os::WriteText(os::StandardStream::kOutput, m_buffer)) {
        g_outputFailed = true;
    }
    m_buffer.clear();
}

bool OutputFailed() noexcept { return g_outputFailed; }

void ReportError(std::string_view message) {
    std::string line = "zelk-reg: ";
    line += message;
    line += '\n';
    os::WriteText(os::StandardStream::kError, line);
}

bool Confirm(std::string_view question) {
    if (!os::WriteText(os::StandardStream::kOutput, std::string(question) + " (Yes/No) ")) {
        g_outputFailed = true;
    }
    std::string answer;
    if (!std::getline(std::cin, answer)) {
        os::WriteText(os::StandardStream::kOutput, "\n");
        return false;
    }
    for (char& c : answer) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    while (!answer.empty() && std::isspace(static_cast<unsigned char>(answer.back()))) {
        answer.pop_back();
    }
    return answer == "y" || answer == "yes";
}

}  // namespace zelk::regtool
