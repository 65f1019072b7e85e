#include "pair_checks.h"

#include "errors/message_key.h"
#include "file_checks.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>

namespace zelk::msgcheck {

namespace {

// "1 text has", "2 texts have".
std::string Texts(std::size_t count, char const* verb, char const* pluralVerb) {
    return std::to_string(count) + (count == 1 ? " text " + std::string(verb) : " texts " + std::string(pluralVerb));
}

// Whether a lookup of the key finds a text, as CZelkError::GetText decides.
bool Finds(MessageFile const& file, std::string const& section, std::string const& key) {
    return !file.Lookup(section.c_str(), key.c_str(), kSnapshotBuffer).empty();
}

std::string Trimmed(std::string const& text) {
    std::size_t const start = text.find_first_not_of(" \t\r");
    if (start == std::string::npos) return std::string();
    return text.substr(start, text.find_last_not_of(" \t\r") + 1 - start);
}

std::size_t TextCount(Section const& section, MessageFile const& file) {
    std::size_t count = 0;
    for (auto const& [folded, text] : section.texts) count += Finds(file, section.name, text.key);
    return count;
}

}  // namespace

void CheckCoverage(MessageFile const& translated, MessageFile const& english, Report& report) {
    for (auto const& [folded, section] : english.Sections()) {
        SectionCoverage coverage;
        coverage.section = section.name;
        auto const other = translated.Sections().find(folded);
        for (auto const& [key, text] : section.texts) {
            if (!Finds(english, section.name, text.key)) continue;
            ++coverage.englishTexts;
            if (Finds(translated, section.name, text.key)) {
                ++coverage.translatedTexts;
                continue;
            }
            coverage.missing.push_back(text.key);
            if (other != translated.Sections().end()) {
                report.Add(english.Display(), text.line, Severity::kNote, "coverage",
                           "[" + Shown(section.name) + "] " + Shown(text.key) + " is not translated in " +
                               translated.Display() + ": the English text is shown");
            }
        }
        if (other == translated.Sections().end() && coverage.englishTexts > 0) {
            report.Add(english.Display(), section.line, Severity::kNote, "coverage",
                       "section [" + Shown(section.name) + "] is not in " + translated.Display() + ": its " +
                           Texts(coverage.englishTexts, "is", "are") + " shown in English");
        } else if (other != translated.Sections().end() && !coverage.missing.empty()) {
            report.Add(translated.Display(), other->second.line, Severity::kNote, "coverage",
                       "[" + Shown(section.name) + "]: " + std::to_string(coverage.translatedTexts) + " of " +
                           Texts(coverage.englishTexts, "", "") + "translated");
        }
        report.AddCoverage(std::move(coverage));
    }
    for (auto const& [folded, section] : translated.Sections()) {
        auto const other = english.Sections().find(folded);
        if (other == english.Sections().end()) {
            std::size_t const texts = TextCount(section, translated);
            if (texts == 0) continue;
            report.Add(translated.Display(), section.line, Severity::kError, "coverage",
                       "section [" + Shown(section.name) + "] is not in " + english.Display() + ": its " +
                           Texts(texts, "has", "have") + " no English text to fall back on");
            continue;
        }
        for (auto const& [key, text] : section.texts) {
            if (!Finds(translated, section.name, text.key) || Finds(english, section.name, text.key)) continue;
            report.Add(translated.Display(), text.line, Severity::kError, "coverage",
                       "[" + Shown(section.name) + "] " + Shown(text.key) + " is not in " + english.Display() +
                           ": no English text to fall back on");
        }
    }
}

bool CheckCodes(std::string const& codesFile, MessageFile const& translated, MessageFile const* english,
                Report& report) {
    std::ifstream in(codesFile, std::ios::binary);
    if (!in) return false;
    std::string line;
    for (std::size_t number = 1; std::getline(in, line); ++number) {
        std::string const text = Trimmed(line);
        if (text.empty() || text.front() == '#') continue;
        std::size_t const gap = text.find_last_of(" \t");
        std::string const type = gap == std::string::npos ? std::string() : Trimmed(text.substr(0, gap));
        std::string const codeText = gap == std::string::npos ? std::string() : text.substr(gap + 1);
        char* stop = nullptr;
        errno = 0;
        long long const code = std::strtoll(codeText.c_str(), &stop, 0);
        if (type.empty() || codeText.empty() || *stop != '\0' || errno != 0 || code < INT_MIN ||
            code > static_cast<long long>(UINT_MAX)) {
            report.Add(codesFile, number, Severity::kError, "codes",
                       "expected a type name and a code (\"FileError 42\"), not '" + Shown(text) + "'");
            continue;
        }
        int const value = static_cast<int>(code);  // a code above INT_MAX stands for its 32-bit pattern
        zelk::MessageKey const key = zelk::MakeMessageKey(type.c_str(), value);
        std::string const what =
            Shown(type) + " " + std::to_string(value) + " (key [" + Shown(type) + "] " + key.text + ")";
        bool const inTranslated = Finds(translated, type, key.text);
        bool const inEnglish = english != nullptr && Finds(*english, type, key.text);
        if (english == nullptr) {
            if (!inTranslated) {
                report.Add(codesFile, number, Severity::kError, "codes",
                           what + " has no text in " + translated.Display() + ": the error shows an empty line");
            }
        } else if (!inTranslated && !inEnglish) {
            report.Add(codesFile, number, Severity::kError, "codes",
                       what + " has no text in " + translated.Display() + " nor in " + english->Display() +
                           ": the error shows an empty line");
        } else if (!inEnglish) {
            report.Add(
                codesFile, number, Severity::kError, "codes",
                what + " has no text in " + english->Display() + ": with translation off it shows an empty line");
        } else if (!inTranslated) {
            report.Add(codesFile, number, Severity::kWarning, "codes",
                       what + " has no text in " + translated.Display() + ": the English text is shown");
        }
    }
    return true;
}

}  // namespace zelk::msgcheck
