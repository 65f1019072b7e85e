// zelk-msgcheck: checks a translated message file and its English file with
// the library's own reader, so that a missing or mistyped text shows up
// before the files ship rather than as an empty line on a customer's machine.
#include "file_checks.h"
#include "message_file.h"
#include "options.h"
#include "output.h"
#include "pair_checks.h"

#include "cli.h"

#include <zelk/error.h>

#include <sstream>
#include <string>

namespace {

using namespace zelk::cli;

// A file that cannot be read stops the check before it starts, like a wrong
// command line, and is told apart from errors found in the files.
constexpr int kUnreadable = kExitUsage;

int CannotRead(std::string const& file) {
    ReportError("cannot read " + file);
    return kUnreadable;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace zelk::msgcheck;
    SetToolName("zelk-msgcheck");
    Options options;
    std::string error;
    if (!ParseOptions(argc, argv, options, error)) {
        ReportError(error + "\n(zelk-msgcheck --help shows how to call it)");
        return kExitUsage;
    }
    Output output;
    if (options.help) {
        output.Write(HelpText());
        return output.Flush() ? kExitSuccess : kExitFailure;
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
    std::ostringstream text;
    if (options.json) {
        WriteJson(text, report, files);
    } else {
        WriteText(text, report, files);
    }
    output.Write(text.str());
    if (!output.Flush()) return kExitFailure;
    return report.Count(Severity::kError) > 0 ? kExitFailure : kExitSuccess;
}
