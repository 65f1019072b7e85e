#include "file_checks.h"

#include "key_form.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace zelk::msgcheck {

namespace {

using os::ProfileLine;
using Kind = ProfileLine::Kind;

std::string Quoted(std::string const& text) { return "'" + Shown(text) + "'"; }

std::string Lines(std::size_t first, std::size_t last) {
    return first == last ? "line " + std::to_string(first)
                         : "lines " + std::to_string(first) + "-" + std::to_string(last);
}

// The keys with a value below one section line, for its findings.
struct Contents {
    std::size_t keys = 0, first = 0, last = 0;
};

class FileChecker {
public:
    FileChecker(MessageFile const& file, Report& report) : m_file(file), m_report(report) {}
    void Run();

private:
    void Add(std::size_t line, Severity severity, char const* check, std::string message) {
        m_report.Add(m_file.Display(), line, severity, check, std::move(message));
    }
    void Section(ProfileLine const& line);
    void Key(ProfileLine const& line);
    void Text(ProfileLine const& line, std::string const& section);
    void AnsiEncoding();
    void MarkedEncoding();

    MessageFile const& m_file;
    Report& m_report;
    std::map<std::size_t, std::string> m_names;  // section index -> name
    std::map<std::size_t, Contents> m_contents;  // section index -> its keys
    std::map<std::size_t, std::string> m_values;  // line -> value, of every key line with one
};

void FileChecker::Run() {
    for (ProfileLine const& line : m_file.Lines().lines) {
        if (line.kind == Kind::kSection) m_names[line.section] = line.name;
        if (line.kind != Kind::kKey || !line.hasValue || IsCommentLike(line.name)) continue;
        Contents& contents = m_contents[line.section];
        if (contents.keys++ == 0) contents.first = line.number;
        contents.last = line.number;
        m_values[line.number] = line.value;
    }
    for (ProfileLine const& line : m_file.Lines().lines) {
        if (line.kind == Kind::kSection) Section(line);
        if (line.kind == Kind::kKey) Key(line);
        bool const meaningful = line.kind == Kind::kSection || (line.kind == Kind::kKey && !IsCommentLike(line.name));
        if (meaningful && line.cutAtZero) {
            Add(line.number, Severity::kWarning, "encoding",
                "a zero byte ends the line's text early: the rest is lost");
        }
    }
    if (m_file.Lines().encoding == os::ProfileEncoding::kAnsi) {
        AnsiEncoding();
    } else {
        MarkedEncoding();
    }
}

void FileChecker::Section(ProfileLine const& line) {
    Contents const contents = m_contents[line.section];
    std::string const ignored = contents.keys == 0 ? "this section is ignored"
                                                   : "this section and its " + std::to_string(contents.keys) +
                                                         (contents.keys == 1 ? " key (" : " keys (") +
                                                         Lines(contents.first, contents.last) + ") are ignored";
    Severity const severity = contents.keys == 0 ? Severity::kWarning : Severity::kError;
    if (line.dead && line.name.empty()) {
        Add(line.number, severity, "syntax", "a section without a name is never searched: " + ignored);
    } else if (line.dead) {
        Add(line.number, severity, "duplicate",
            "section [" + Shown(line.name) + "] repeats line " + std::to_string(line.firstLine) +
                " and the first wins: " + ignored);
    }
    if (!line.trailing.empty()) {
        Add(line.number, Severity::kWarning, "syntax", "text after ']' is ignored: " + Quoted(line.trailing));
    }
}

void FileChecker::Key(ProfileLine const& line) {
    if (IsCommentLike(line.name)) return;  // never asked for under a code
    auto const name = m_names.find(line.section);
    bool const inSection = name != m_names.end();
    if (inSection && line.dead && line.firstLine == 0) return;  // reported with its dead section
    if (!line.hasValue) {
        std::string const where = inSection ? "[" + Shown(name->second) + "]" : "the lines before the first section";
        if (!line.name.empty() && line.name.front() == '[') {
            Add(line.number, Severity::kError, "syntax",
                "'[' without ']' opens no section: the reader takes the line as a key without a text, and the "
                "keys below stay in " +
                    where);
        } else {
            Add(line.number, Severity::kError, "syntax",
                "neither a section, a key=text pair nor a comment: the reader takes " + Quoted(line.name) +
                    " as a key without a text (a text continued from the line before?)");
        }
        return;
    }
    if (!inSection) {
        Add(line.number, Severity::kWarning, "syntax",
            "key " + Quoted(line.name) + " stands before the first section: no error's text is looked up there");
        return;
    }
    if (line.dead) {
        bool const same = m_values[line.firstLine] == line.value;
        Add(line.number, same ? Severity::kWarning : Severity::kError, "duplicate",
            "key " + Quoted(line.name) + " repeats line " + std::to_string(line.firstLine) +
                (same ? " with the same text: this line is ignored" : " and the first wins: this text is ignored"));
        return;
    }
    KeyForm const form = ClassifyKey(name->second, line.name);
    if (!form.live) {
        std::string message = "key " + Quoted(line.name) + " in [" + Shown(name->second) +
                              "] is never looked up: " + KeyRule(name->second);
        if (form.readAs.empty()) {
            message += ", and this is no code";
        } else {
            message += "; read as " + form.readAs + " it is code " + std::to_string(form.code) + ", looked up as '" +
                       form.instead + "'";
        }
        Add(line.number, Severity::kError, "dead-key", message);
        return;
    }
    Text(line, name->second);
}

void FileChecker::Text(ProfileLine const& line, std::string const& section) {
    std::string const& value = line.value;
    std::vector<char> buffer(std::max<std::size_t>(value.size() + 2, kSnapshotBuffer));
    unsigned long const full = os::CopyProfileValue(value.c_str(), buffer.data(), value.size() + 2);
    std::string const text(buffer.data(), full);
    std::string const where = "[" + Shown(section) + "] " + Shown(line.name);
    if (full == 0) {
        Add(line.number, Severity::kWarning, "empty-text",
            where + " has an empty text: a lookup finds nothing here, as if the key were missing");
        return;
    }
    unsigned long const kept = os::CopyProfileValue(value.c_str(), buffer.data(), kSnapshotBuffer);
    if (kept < full) {
        Add(line.number, Severity::kWarning, "length",
            where + ": the text of " + std::to_string(full) + " bytes is cut to " + std::to_string(kept) +
                " in an error snapshot");
    }
    char const quote = value.front();
    if (quote != '"' && quote != '\'') return;
    if (value.size() >= 2 && value.back() == quote) {
        if (value.find(quote, 1) != value.size() - 1) {
            Add(line.number, Severity::kWarning, "quotes",
                where + ": only the outer quotes are taken off, the text is " + Quoted(text));
        }
    } else {
        Add(line.number, Severity::kWarning, "quotes",
            where + ": the opening quote has no closing one at the end and stays in the text " + Quoted(text));
    }
}

// Valid UTF-8 sequences of two or more bytes in `text` (and whether a byte
// above 0x7F stands outside any).
struct Utf8Scan {
    std::size_t sequences = 0;
    bool stray = false;
    std::string first;
};

void ScanUtf8(std::string const& text, Utf8Scan& scan) {
    for (std::size_t i = 0; i < text.size();) {
        auto const lead = static_cast<unsigned char>(text[i]);
        std::size_t const extra = lead >= 0xC2 && lead <= 0xDF   ? 1
                                  : lead >= 0xE0 && lead <= 0xEF ? 2
                                  : lead >= 0xF0 && lead <= 0xF4 ? 3
                                                                 : 0;
        if (lead < 0x80) {
            ++i;
            continue;
        }
        bool ok = extra > 0;
        for (std::size_t k = 1; ok && k <= extra; ++k) {
            ok = i + k < text.size() && (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
        }
        if (!ok) {
            scan.stray = true;
            ++i;
            continue;
        }
        if (scan.sequences++ == 0) scan.first = text.substr(i, extra + 1);
        i += extra + 1;
    }
}

bool Checked(ProfileLine const& line) {
    return line.kind == Kind::kSection || (line.kind == Kind::kKey && !IsCommentLike(line.name));
}

// A file without a byte-order mark is Windows-1252 to the reader.
void FileChecker::AnsiEncoding() {
    Utf8Scan scan;
    std::size_t firstLine = 0;
    for (ProfileLine const& line : m_file.Lines().lines) {
        if (!Checked(line)) continue;
        std::size_t const before = scan.sequences;
        ScanUtf8(line.text, scan);
        if (before == 0 && scan.sequences > 0) firstLine = line.number;
    }
    if (scan.sequences > 0 && !scan.stray) {
        Add(firstLine, Severity::kError, "encoding",
            "the file looks like UTF-8 without a byte-order mark: the reader takes it as Windows-1252, so " +
                Quoted(scan.first) + " shows where '" + scan.first +
                "' is meant; save it as Windows-1252, or as UTF-8 with a byte-order mark");
        return;
    }
    for (ProfileLine const& line : m_file.Lines().lines) {
        if (!Checked(line)) continue;
        for (char const c : line.text) {
            auto const byte = static_cast<unsigned char>(c);
            if (byte == 0x81 || byte == 0x8D || byte == 0x8F || byte == 0x90 || byte == 0x9D) {
                char message[80];
                std::snprintf(message, sizeof message, "byte 0x%02X is no character in Windows-1252", byte);
                Add(line.number, Severity::kWarning, "encoding", message);
                break;
            }
        }
    }
}

// Text after a byte-order mark becomes Windows-1252; what it lacks, '?'.
void FileChecker::MarkedEncoding() {
    for (ProfileLine const& line : m_file.Lines().lines) {
        if (!Checked(line) || line.lost.empty()) continue;
        bool malformed = false;
        std::string characters;
        for (std::uint32_t const code : line.lost) {
            if (code == os::kMalformed) {
                malformed = true;
                continue;
            }
            char name[16];
            std::snprintf(name, sizeof name, "U+%04X", static_cast<unsigned>(code));
            if (!characters.empty()) characters += ", ";
            characters += name;
        }
        if (malformed) {
            Add(line.number, Severity::kError, "encoding",
                "bytes that form no character in the file's encoding: the reader shows '?' for them");
        }
        if (!characters.empty()) {
            Add(line.number, Severity::kWarning, "encoding",
                characters + " not in Windows-1252: the reader shows '?' instead");
        }
    }
}

}  // namespace

void CheckFile(MessageFile const& file, Report& report) { FileChecker(file, report).Run(); }

}  // namespace zelk::msgcheck
