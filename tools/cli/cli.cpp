#include "cli.h"

#include "platform/console.h"

namespace zelk::cli {

namespace {

std::string& Name() {
    static std::string name = "zelk";
    return name;
}

constexpr std::size_t kFlushAt = 1 << 16;

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
    if (!m_buffer.empty() && !os::WriteText(os::StandardStream::kOutput, m_buffer)) m_failed = true;
    m_buffer.clear();
    return !m_failed;
}

}  // namespace zelk::cli
