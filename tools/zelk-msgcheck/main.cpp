// zelk-msgcheck: checks a translated message file and its English file with
// the library's own reader, so that a missing or mistyped text shows up
// before the files ship rather than as an empty line on a customer's machine.
#include "file_checks.h"
#include "message_file.h"
#include "options.h"
#include "output.h"
#include "pair_checks.h"

#include <zelk/error.h>

#include <iostream>
#include <string>

namespace {

constexpr int kClean = 0, kErrors = 1, kUnreadable = 2;

int CannotRead(std::string const& file) {
    std::cerr << "zelk-msgcheck: cannot read " << file << '\n';
    return kUnreadable;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace zelk::msgcheck;
    Options options;
    std::string error;
    if (!ParseOptions(argc, argv, options, error)) {
        std::cerr << "zelk-msgcheck: " << error << "\n(zelk-msgcheck --help shows how to call it)\n";
        return kUnreadable;
    }
    if (options.help) {
        std::cout << HelpText();
        return kClean;
    }

    // The English file is the one the library derives from the translated
    // file's name, unless one is named.
    std::string const translatedName = MessageFileName(options.translated);
    SetMsgFileName(translatedName.c_str());
    std::string englishName = GetEnglishMsgFileName();
    std::string englishDisplay = englishName.empty() ? std::string() : ResolvedName(englishName);
    bool const bareName = options.translated.find_first_of("/\\") == std::string::npos;
    if (bareName && englishDisplay.size() > 2 && englishDisplay[0] == '.') englishDisplay.erase(0, 2);  // "./"
    SetMsgFileName(nullptr);
    if (!options.english.empty()) {
        englishName = MessageFileName(options.english);
        englishDisplay = options.english;
    }

    MessageFile translated, english;
    if (!translated.Load(translatedName, options.translated)) return CannotRead(options.translated);
    bool const pair = !englishName.empty();
    if (pair && !english.Load(englishName, englishDisplay)) return CannotRead(englishDisplay);

    Report report;
    report.SetFileOrder({options.translated, englishDisplay, options.codes});
    CheckFile(translated, report);
    if (pair) {
        CheckFile(english, report);
        CheckCoverage(translated, english, report);
    }
    if (!options.codes.empty() && !CheckCodes(options.codes, translated, pair ? &english : nullptr, report)) {
        return CannotRead(options.codes);
    }

    Files const files{options.translated, pair ? englishDisplay : std::string(), options.codes};
    if (options.json) {
        WriteJson(std::cout, report, files);
    } else {
        WriteText(std::cout, report, files);
    }
    return report.Count(Severity::kError) > 0 ? kErrors : kClean;
}
