#include "options.h"

#include <string_view>

namespace zelk::msgcheck {

bool ParseOptions(int argc, char** argv, Options& options, std::string& error) {
    int files = 0;
    bool optionsEnd = false;
    for (int i = 1; i < argc; ++i) {
        std::string_view const argument = argv[i];
        if (!optionsEnd && argument == "--") {
            optionsEnd = true;
        } else if (!optionsEnd && (argument == "--help" || argument == "-h")) {
            options.help = true;
        } else if (!optionsEnd && argument == "--json") {
            options.json = true;
        } else if (!optionsEnd && argument == "--codes") {
            if (++i == argc) {
                error = "--codes needs a file";
                return false;
            }
            options.codes = argv[i];
        } else if (!optionsEnd && argument.substr(0, 8) == "--codes=") {
            options.codes = std::string(argument.substr(8));
        } else if (!optionsEnd && argument.size() > 1 && argument.front() == '-') {
            error = "unknown option " + std::string(argument);
            return false;
        } else if (files == 0) {
            options.translated = std::string(argument), ++files;
        } else if (files == 1) {
            options.english = std::string(argument), ++files;
        } else {
            error = "too many files: " + std::string(argument);
            return false;
        }
    }
    if (!options.help && options.translated.empty()) {
        error = "no message file named";
        return false;
    }
    return true;
}

char const* HelpText() {
    return R"(NAME
    zelk-msgcheck - check ZelkErr message files before they ship

SYNOPSIS
    zelk-msgcheck [--json] [--codes FILE] TRANSLATED [ENGLISH]

DESCRIPTION
    Reads a translated message file and its English message file with the
    library's own reader, the way a program's error texts will be looked up,
    and reports what would show up as a missing, wrong or garbled text.

    TRANSLATED and ENGLISH are names as SetMsgFileName takes them
    ("z:\opt\suite\texts\German.txt") or plain paths (texts/German.txt); a
    plain path is turned into the name a program would give for it.  Without
    ENGLISH, the English file is the one the library uses beside the
    translated file (Zelk.TXT in the same folder).  When TRANSLATED is itself
    the English file (its name ends in zelk.txt), it is checked alone.

OPTIONS
    --codes FILE
        FILE lists the errors a program reports, one "Type code" pair a line
        (FileError 42; the code in decimal, or hexadecimal after 0x; blank
        lines and lines starting with # are skipped).  Each error whose text
        is missing from the translated or the English file is reported.
    --json
        Writes one JSON object (findings, coverage per section, summary)
        instead of lines of text.
    -h, --help
        Shows this page.

CHECKS
    syntax      lines that are neither a section, a key=text pair, a blank
                line nor a comment-like line (starting with ; or #) that the
                reader ignores; '[' without ']'; text after ']'; keys before
                the first section.
    duplicate   a repeated section or key: the first wins, the repeated
                lines are ignored.
    dead-key    keys the library never looks up: type names that start with
                a byte at or above 0x60 ('`', lower-case letters) take codes
                as four or more hexadecimal digits, all others in decimal; so
                [FileError] 002a and [netError] 42 are dead, and the key that
                is looked up instead is named.
    length      texts longer than an error snapshot keeps (298 bytes).
    quotes      quotes the reader takes off (only the outer pair of a text)
                or keeps (an opening quote without a closing one).
    empty-text  keys whose text is empty: a lookup finds nothing.
    encoding    bytes that are no character in Windows-1252; a file that
                looks like UTF-8 without a byte-order mark (the reader takes
                it as Windows-1252); characters of a marked UTF-8 or UTF-16
                file that Windows-1252 lacks (they become '?'); zero bytes.
    coverage    texts of the English file that the translation lacks (notes,
                with a count per section: the English text is shown) and
                texts of the translation that the English file lacks (errors:
                with translation off they are missing).
    codes       errors of the --codes list without a text.

OUTPUT
    One line per finding, "file:line: severity: message", sorted by file and
    line, where severity is error, warning or note; then one summary line.

EXIT STATUS
    0   no finding at error level (warnings and notes may be reported)
    1   findings at error level
    2   a file cannot be read, or the command line is wrong

EXAMPLES
    zelk-msgcheck texts/German.txt
    zelk-msgcheck --codes reported-codes.txt 'z:\opt\suite\texts\German.txt'
    zelk-msgcheck --json texts/French.txt texts/Zelk.TXT > findings.json
)";
}

}  // namespace zelk::msgcheck
