#include "findings.h"

#include "platform/codepage.h"
#include "platform/ini_parser.h"

#include <algorithm>
#include <cstdio>

namespace zelk::msgcheck {

char const* SeverityName(Severity severity) {
    switch (severity) {
        case Severity::kError: return "error";
        case Severity::kWarning: return "warning";
        case Severity::kNote: break;
    }
    return "note";
}

void Report::SetFileOrder(std::vector<std::string> files) { m_files = std::move(files); }

void Report::Add(std::string const& file, std::size_t line, Severity severity, std::string check, std::string message) {
    m_findings.push_back(Finding{file, line, severity, std::move(check), std::move(message)});
}

void Report::AddCoverage(SectionCoverage coverage) { m_coverage.push_back(std::move(coverage)); }

std::vector<Finding> Report::Sorted() const {
    auto const rank = [this](std::string const& file) {
        return static_cast<std::size_t>(std::find(m_files.begin(), m_files.end(), file) - m_files.begin());
    };
    std::vector<Finding> sorted = m_findings;
    std::stable_sort(sorted.begin(), sorted.end(), [&rank](Finding const& a, Finding const& b) {
        std::size_t const ra = rank(a.file), rb = rank(b.file);
        return ra != rb ? ra < rb : a.line < b.line;
    });
    return sorted;
}

std::size_t Report::Count(Severity severity) const {
    return static_cast<std::size_t>(std::count_if(m_findings.begin(), m_findings.end(),
                                                  [severity](Finding const& f) { return f.severity == severity; }));
}

std::string Shown(std::string_view ansi) {
    std::string shown;
    for (char const c : ansi) {
        std::uint32_t const code = os::Cp1252ToUnicode(static_cast<unsigned char>(c));
        if (code < 0x20 || code == 0x7F || (code >= 0x80 && code < 0xA0)) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned>(static_cast<unsigned char>(c)));
            shown += hex;
        } else if (code < 0x80) {
            shown.push_back(static_cast<char>(code));
        } else if (code < 0x800) {
            shown.push_back(static_cast<char>(0xC0 | (code >> 6)));
            shown.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        } else {
            shown.push_back(static_cast<char>(0xE0 | (code >> 12)));
            shown.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
            shown.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        }
    }
    return shown;
}

}  // namespace zelk::msgcheck
