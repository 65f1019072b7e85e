// What the checker found: one finding per line of output.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace zelk::msgcheck {

enum class Severity { kNote, kWarning, kError };

char const* SeverityName(Severity severity);

struct Finding {
    std::string file;  // as the user named it
    std::size_t line = 0;
    Severity severity = Severity::kNote;
    std::string check;  // a short tag for tools: "dead-key", "duplicate", ...
    std::string message;
};

// Per section of the English file: how much of it the translation covers.
struct SectionCoverage {
    std::string section;
    std::size_t englishTexts = 0;
    std::size_t translatedTexts = 0;
    std::vector<std::string> missing;  // keys without a translation
};

class Report {
public:
    // Files in the order findings are sorted by (translated, English, codes).
    void SetFileOrder(std::vector<std::string> files);
    void Add(std::string const& file, std::size_t line, Severity severity, std::string check, std::string message);
    void AddCoverage(SectionCoverage coverage);

    // Findings by file (in the order set), then line, then the order added.
    std::vector<Finding> Sorted() const;
    std::vector<SectionCoverage> const& Coverage() const { return m_coverage; }
    std::size_t Count(Severity severity) const;

private:
    std::vector<std::string> m_files;
    std::vector<Finding> m_findings;
    std::vector<SectionCoverage> m_coverage;
};

// A text from a message file (Windows-1252) as UTF-8 for the output, with
// control characters shown as \xHH.
std::string Shown(std::string_view ansi);

}  // namespace zelk::msgcheck
