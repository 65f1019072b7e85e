#include "output.h"

#include <cstdio>

namespace zelk::msgcheck {

namespace {

std::string Counted(std::size_t count, char const* noun) {
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

struct Totals {
    std::size_t english = 0, translated = 0;
};

Totals Sum(Report const& report) {
    Totals totals;
    for (SectionCoverage const& section : report.Coverage()) {
        totals.english += section.englishTexts;
        totals.translated += section.translatedTexts;
    }
    return totals;
}

// A JSON string of UTF-8 text (the messages are UTF-8 already).
std::string Json(std::string const& text) {
    std::string json = "\"";
    for (char const c : text) {
        auto const byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            json += '\\';
            json += c;
        } else if (byte < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(byte));
            json += escape;
        } else {
            json += c;
        }
    }
    return json + "\"";
}

}  // namespace

void WriteText(std::ostream& out, Report const& report, Files const& files) {
    for (Finding const& finding : report.Sorted()) {
        out << finding.file << ':' << finding.line << ": " << SeverityName(finding.severity) << ": " << finding.message
            << '\n';
    }
    out << "zelk-msgcheck: " << Counted(report.Count(Severity::kError), "error") << ", "
        << Counted(report.Count(Severity::kWarning), "warning") << ", "
        << Counted(report.Count(Severity::kNote), "note");
    if (!files.english.empty()) {
        Totals const totals = Sum(report);
        out << "; " << files.translated << " translates " << totals.translated << " of "
            << Counted(totals.english, "text") << " of " << files.english;
        if (totals.english > 0) out << " (" << totals.translated * 100 / totals.english << "%)";
    }
    out << '\n';
}

void WriteJson(std::ostream& out, Report const& report, Files const& files) {
    out << "{\n  \"translated\": " << Json(files.translated) << ",\n  \"english\": ";
    out << (files.english.empty() ? "null" : Json(files.english)) << ",\n  \"codes\": ";
    out << (files.codes.empty() ? "null" : Json(files.codes)) << ",\n  \"findings\": [";
    char const* separator = "\n";
    for (Finding const& finding : report.Sorted()) {
        out << separator << "    {\"file\": " << Json(finding.file) << ", \"line\": " << finding.line
            << ", \"severity\": \"" << SeverityName(finding.severity) << "\", \"check\": \"" << finding.check
            << "\", \"message\": " << Json(finding.message) << '}';
        separator = ",\n";
    }
    out << (report.Sorted().empty() ? "],\n" : "\n  ],\n") << "  \"coverage\": [";
    separator = "\n";
    for (SectionCoverage const& section : report.Coverage()) {
        out << separator << "    {\"section\": " << Json(Shown(section.section))
            << ", \"english\": " << section.englishTexts << ", \"translated\": " << section.translatedTexts
            << ", \"missing\": [";
        for (std::size_t i = 0; i < section.missing.size(); ++i)
            out << (i ? ", " : "") << Json(Shown(section.missing[i]));
        out << "]}";
        separator = ",\n";
    }
    Totals const totals = Sum(report);
    out << (report.Coverage().empty() ? "],\n" : "\n  ],\n")
        << "  \"summary\": {\"errors\": " << report.Count(Severity::kError)
        << ", \"warnings\": " << report.Count(Severity::kWarning) << ", \"notes\": " << report.Count(Severity::kNote)
        << ", \"english_texts\": " << totals.english << ", \"translated_texts\": " << totals.translated << "}\n}\n";
}

}  // namespace zelk::msgcheck
