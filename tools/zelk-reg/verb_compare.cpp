// compare: two keys' values (or one value), and with /s everything below
// them, in Windows' reg's notation: "< " for what the first key holds, "> "
// for the second's, "= " for what both hold alike, then "Result Compared:
// Identical" or "Different".  Exit status 0 identical, 2 different, 1 an
// error.
#include "key_name.h"
#include "output.h"
#include "registry_access.h"
#include "value_data.h"
#include "verbs.h"

#include "platform/codepage.h"
#include "platform/registry.h"

#include <map>

namespace zelk::regtool {

namespace {

// Names in the registry's order, letters of any case alike.
struct NameOrder {
    bool operator()(std::string const& a, std::string const& b) const {
        std::u16string x, y;
        std::size_t bad = 0;
        os::Utf8ToUtf16(a, x, bad);
        os::Utf8ToUtf16(b, y, bad);
        return os::CompareNamesNoCase(x, y) < 0;
    }
};

class Compare {
public:
    explicit Compare(Command const& command) : m_command(command) {}

    int Run() {
        if (!Keys(m_command.key, m_command.key2)) {
            return 1;
        }
        m_output.Line(m_different ? "Result Compared: Different" : "Result Compared: Identical");
        m_output.Line("The operation completed successfully.");
        return m_different ? 2 : 0;
    }

private:
    void Show(char mark, char const* what, std::string const& line) {
        bool const same = mark == '=';
        m_different = m_different || !same;
        CompareOutput const wanted = m_command.compareOutput;
        if (wanted == CompareOutput::kAll ||
            (same ? wanted == CompareOutput::kSame : wanted == CompareOutput::kDifferences)) {
            m_output.Line(std::string(1, mark) + " " + what + ": " + line);
        }
    }

    void ShowValue(char mark, KeyName const& key, Value const& value) {
        Show(mark, "Value",
             key.display + "  " + (value.name.empty() ? std::string("(Default)") : value.name) + "  " +
                 TypeName(value.type) + "  " + FormatData(value.type, value.data));
    }

    bool Read(KeyName const& key, std::map<std::string, Value, NameOrder>& values, std::vector<std::string>& subKeys) {
        OpenedKey opened;
        std::vector<Value> list;
        long result = opened.Open(key);
        bool const one = m_command.valueName || m_command.defaultValue;
        if (result == os::kErrorSuccess && one) {
            list.emplace_back();
            result = ReadValue(opened.get(), m_command.valueName ? m_command.name : std::string(), list.back());
            if (result == os::kErrorFileNotFound) {
                list.clear();
                result = os::kErrorSuccess;
            }
        } else if (result == os::kErrorSuccess) {
            result = ReadValues(opened.get(), list);
        }
        if (result == os::kErrorSuccess && (m_command.recurse || !one)) {
            result = ReadSubKeyNames(opened.get(), subKeys);
        }
        if (result != os::kErrorSuccess) {
            ReportError(result == os::kErrorFileNotFound ? "the key " + key.display + " was not found"
                                                         : "cannot read " + key.display + ": " + ErrorText(result));
            return false;
        }
        for (Value& value : list) {
            values.emplace(value.name, std::move(value));
        }
        return true;
    }

    bool Keys(KeyName const& first, KeyName const& second) {
        std::map<std::string, Value, NameOrder> a, b;
        std::vector<std::string> aKeys, bKeys;
        if (!Read(first, a, aKeys) || !Read(second, b, bKeys)) {
            return false;
        }
        for (auto const& [name, value] : a) {
            auto const other = b.find(name);
            if (other == b.end()) {
                ShowValue('<', first, value);
            } else if (other->second.type != value.type || other->second.data != value.data) {
                ShowValue('<', first, value);
                ShowValue('>', second, other->second);
            } else {
                ShowValue('=', first, value);
            }
        }
        for (auto const& [name, value] : b) {
            if (a.find(name) == a.end()) {
                ShowValue('>', second, value);
            }
        }
        std::map<std::string, int, NameOrder> keys;  // 1 first only, 2 second only, 3 both
        for (std::string const& name : aKeys) keys[name] |= 1;
        for (std::string const& name : bKeys) keys[name] |= 2;
        for (auto const& [name, where] : keys) {
            if (where != 3) {
                Show(where == 1 ? '<' : '>', "Key", SubKey(where == 1 ? first : second, name).display);
            } else if (!m_command.recurse) {
                Show('=', "Key", SubKey(first, name).display);
            } else if (!Keys(SubKey(first, name), SubKey(second, name))) {
                return false;
            }
        }
        return true;
    }

    Command const& m_command;
    Output m_output;
    bool m_different = false;
};

}  // namespace

int RunCompare(Command const& command) { return Compare(command).Run(); }

}  // namespace zelk::regtool
