#include "cli.h"

#include "platform/console.h"

namespace zelk::cli {

namespace {

std::string& Name() {
    static std::string name = "zelk";
    return name;
}

constexpr std::size_t kFlushAt = 1 << 16;

bool g_outputFailed = false;

}  // namespace

void SetToolName(std::string_view name) { Name() = name; }

std::string_view ToolName() { return Name(); }

bool ReportError(std::string_view message) {
    std::string line(Name());
    line += ": ";
    line += message;
    line += '\n';
    return os::WriteText(os::StandardStream::kError, line);
}

void Output::Write(std::string_view utf8) {
    m_buffer += utf8;
    if (m_buffer.size() >= kFlushAt) Flush();
}

void Output::Line(std::string_view utf8) {
    m_buffer += utf8;
    m_buffer += '\n';
    if (m_buffer.size() >= kFlushAt) Flush();
}

bool Output::Flush() {
    if (!m_buffer.empty()) WriteNow(m_buffer);
    m_buffer.clear();
    return !g_outputFailed;
}

void WriteNow(std::string_view utf8) {
    if (!os::WriteText(os::StandardStream::kOutput, utf8)) g_outputFailed = true;
}

bool OutputFailed() noexcept { return g_outputFailed; }

}  // namespace zelk::cli
