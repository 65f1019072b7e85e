// query: reg's layout.  A blank line first; a key with values prints its
// name, one line per value ("    NAME    TYPE    DATA") and a blank line;
// then the names of its sub-keys, or with /s each sub-key the same way
// (its name and a blank line even without values).  /v and /ve with /s,
// and /f, search and end with the number of matches.
#include "key_name.h"
#include "output.h"
#include "registry_access.h"
#include "value_data.h"
#include "verbs.h"

#include "platform/codepage.h"
#include "platform/registry.h"

namespace zelk::regtool {

namespace {

// `pattern` ("*" any run, "?" any one unit) against all of `text`.
bool Wildcard(std::u16string_view pattern, std::u16string_view text, bool caseSensitive) {
    auto const same = [caseSensitive](char16_t a, char16_t b) {
        return caseSensitive ? a == b : os::UpcaseUtf16(a) == os::UpcaseUtf16(b);
    };
    // Greedy with one step back to the last "*": linear for the patterns people type.
    std::size_t p = 0, t = 0, star = std::u16string_view::npos, resume = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == u'*') {
            star = p++;
            resume = t;
        } else if (p < pattern.size() && (pattern[p] == u'?' || same(pattern[p], text[t]))) {
            ++p, ++t;
        } else if (star != std::u16string_view::npos) {
            p = star + 1;
            t = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*') ++p;
    return p == pattern.size();
}

class Query {
public:
    explicit Query(Command const& command) : m_command(command) {}

    int Run() {
        KeyName const& key = m_command.key;
        if (m_command.type && !ParseTypeName(m_command.typeName, m_type)) {
            ReportError("query: unknown type '" + m_command.typeName + "'");
            return 1;
        }
        m_separator = m_command.separator ? m_command.separatorText : std::string("\\0");
        bool const oneValue = (m_command.valueName && !m_command.find) || m_command.defaultValue;
        m_name = m_command.valueName ? m_command.name : std::string();
        OpenedKey opened;
        if (!Open(key, opened)) {
            return 1;
        }
        if (m_command.find || (oneValue && m_command.recurse)) {
            m_output.Line();
            if (m_command.find && !PrepareFind()) {
                return 1;
            }
            if (!(m_command.find ? Find(key, opened.get(), std::string()) : Search(key, opened.get()))) {
                return 1;
            }
            // Windows' reg ends a search so, and reports no match as a failure.
            m_output.Line("End of search: " + std::to_string(m_matches) + " match(es) found.");
            return m_matches > 0 ? 0 : 1;
        }
        if (oneValue) {
            return PrintOne(key, opened.get());
        }
        m_output.Line();
        return List(key, opened.get(), false) ? 0 : 1;
    }

private:
    bool Open(KeyName const& key, OpenedKey& opened) {
        long const result = opened.Open(key);
        if (result == os::kErrorFileNotFound) {
            ReportError("the key " + key.display + " was not found");
        } else if (result != os::kErrorSuccess) {
            ReportError("cannot open " + key.display + ": " + ErrorText(result));
        }
        return result == os::kErrorSuccess;
    }

    std::string ShownName() const { return m_command.defaultValue ? std::string() : m_command.name; }

    bool Wanted(Value const& value) const { return !m_command.type || value.type == m_type; }

    std::string ValueLine(std::string const& name, Value const& value) const {
        std::string type = TypeName(value.type);
        if (m_command.verbose) {
            type += " (" + std::to_string(value.type) + ")";
        }
        return "    " + (name.empty() ? std::string("(Default)") : name) + "    " + type + "    " +
               FormatData(value.type, value.data, m_separator);
    }

    int PrintOne(KeyName const& key, HKEY handle) {
        Value value;
        long const result = ReadValue(handle, m_name, value);
        if (result == os::kErrorFileNotFound && m_command.defaultValue) {
            // Every key has a default value, set or not.
            m_output.Line();
            m_output.Line(key.display);
            m_output.Line("    (Default)    REG_SZ    (value not set)");
            return 0;
        }
        if (result == os::kErrorFileNotFound || (result == os::kErrorSuccess && !Wanted(value))) {
            ReportError("the value '" + m_command.name + "' was not found in " + key.display);
            return 1;
        }
        if (result != os::kErrorSuccess) {
            ReportError("cannot read " + key.display + ": " + ErrorText(result));
            return 1;
        }
        m_output.Line();
        m_output.Line(key.display);
        m_output.Line(ValueLine(ShownName(), value));
        m_output.Line();
        return 0;
    }

    bool ReadKey(KeyName const& key, HKEY handle, std::vector<Value>* values, std::vector<std::string>& subKeys) {
        long result = values ? ReadValues(handle, *values) : os::kErrorSuccess;
        if (result == os::kErrorSuccess) {
            result = ReadSubKeyNames(handle, subKeys);
        }
        if (result != os::kErrorSuccess) {
            ReportError("cannot read " + key.display + ": " + ErrorText(result));
        }
        return result == os::kErrorSuccess;
    }

    bool List(KeyName const& key, HKEY handle, bool below) {
        std::vector<Value> values;
        std::vector<std::string> subKeys;
        if (!ReadKey(key, handle, &values, subKeys)) {
            return false;
        }
        std::erase_if(values, [this](Value const& value) { return !Wanted(value); });
        if (!values.empty() || below) {
            m_output.Line(key.display);
            for (Value const& value : values) {
                m_output.Line(ValueLine(value.name, value));
            }
            m_output.Line();
        }
        for (std::string const& name : subKeys) {
            KeyName const sub = SubKey(key, name);
            if (!m_command.recurse) {
                m_output.Line(sub.display);
                continue;
            }
            OpenedKey opened;
            if (!Open(sub, opened) || !List(sub, opened.get(), true)) {
                return false;
            }
        }
        return true;
    }

    bool Search(KeyName const& key, HKEY handle) {
        Value value;
        long const result = ReadValue(handle, m_name, value);
        if (result == os::kErrorSuccess && Wanted(value)) {
            m_output.Line(key.display);
            m_output.Line(ValueLine(ShownName(), value));
            m_output.Line();
            ++m_matches;
        } else if (result != os::kErrorSuccess && result != os::kErrorFileNotFound) {
            ReportError("cannot read " + key.display + ": " + ErrorText(result));
            return false;
        }
        std::vector<std::string> subKeys;
        if (!ReadKey(key, handle, nullptr, subKeys)) {
            return false;
        }
        for (std::string const& name : subKeys) {
            KeyName const sub = SubKey(key, name);
            OpenedKey opened;
            if (!Open(sub, opened) || !Search(sub, opened.get())) {
                return false;
            }
        }
        return true;
    }

    // /f: what is searched (key names, value names, data: all three unless
    // /k, /v or /d pick some) and how (a part of the text unless /e).
    bool PrepareFind() {
        bool const some = m_command.searchKeys || m_command.valueName || m_command.searchData;
        m_findKeys = !some || m_command.searchKeys;
        m_findNames = !some || m_command.valueName;
        m_findData = !some || m_command.searchData;
        std::string const pattern = m_command.exact ? m_command.findText : "*" + m_command.findText + "*";
        std::size_t bad = 0;
        if (!os::Utf8ToUtf16(pattern, m_pattern, bad)) {
            ReportError("query: the text of /f is not UTF-8");
            return false;
        }
        return true;
    }

    bool Matches(std::string const& utf8) const {
        std::u16string text;
        std::size_t bad = 0;
        os::Utf8ToUtf16(utf8, text, bad);
        return Wildcard(m_pattern, text, m_command.caseSensitive);
    }

    // A key whose name matches is listed on its own line, one with
    // matching values with them and a blank line; without /s only the
    // key's values and the names of its sub-keys are searched.
    bool Find(KeyName const& key, HKEY handle, std::string const& leaf) {
        std::vector<Value> values;
        std::vector<std::string> subKeys;
        if (!ReadKey(key, handle, &values, subKeys)) {
            return false;
        }
        bool const keyMatches = !leaf.empty() && m_findKeys && Matches(leaf);
        std::vector<Value const*> hits;
        for (Value const& value : values) {
            if (Wanted(value) && ((m_findNames && Matches(value.name)) ||
                                  (m_findData && Matches(FormatData(value.type, value.data, m_separator))))) {
                hits.push_back(&value);
            }
        }
        if (keyMatches || !hits.empty()) {
            m_output.Line(key.display);
            for (Value const* value : hits) {
                m_output.Line(ValueLine(value->name, *value));
            }
            if (!hits.empty()) {
                m_output.Line();
            }
            m_matches += keyMatches + hits.size();
        }
        for (std::string const& name : subKeys) {
            KeyName const sub = SubKey(key, name);
            if (!m_command.recurse) {
                if (m_findKeys && Matches(name)) {
                    m_output.Line(sub.display);
                    ++m_matches;
                }
                continue;
            }
            OpenedKey opened;
            if (!Open(sub, opened) || !Find(sub, opened.get(), name)) {
                return false;
            }
        }
        return true;
    }

    Command const& m_command;
    std::string m_name;  // empty for the default value
    std::uint32_t m_type = 0;  // /t
    std::string m_separator;  // of REG_MULTI_SZ's strings
    bool m_findKeys = false;
    bool m_findNames = false;
    bool m_findData = false;
    std::u16string m_pattern;
    Output m_output;
    std::size_t m_matches = 0;
};

}  // namespace

int RunQuery(Command const& command) { return Query(command).Run(); }

}  // namespace zelk::regtool
