// query: reg's layout.  A blank line first; a key with values prints its
// name, one line per value ("    NAME    TYPE    DATA") and a blank line;
// then the names of its sub-keys, or with /s each sub-key the same way
// (its name and a blank line even without values).  /v and /ve with /s
// search the tree and end with the number of matches.
#include "key_name.h"
#include "output.h"
#include "registry_access.h"
#include "text.h"
#include "value_data.h"
#include "verbs.h"

#include "platform/registry.h"

namespace zelk::regtool {

namespace {

std::string ValueLine(std::string const& name, Value const& value) {
    return "    " + (name.empty() ? std::string("(Default)") : name) + "    " + TypeName(value.type) + "    " +
           FormatData(value.type, value.data);
}

class Query {
public:
    explicit Query(Command const& command) : m_command(command) {}

    int Run() {
        std::string error;
        KeyName key;
        if (!ParseKeyName(m_command.key, key, error)) {
            ReportError(error);
            return 1;
        }
        key.view = m_command.view;
        bool const oneValue = m_command.valueName || m_command.defaultValue;
        m_name = m_command.valueName ? m_command.name : std::string();
        OpenedKey opened;
        if (!Open(key, opened)) {
            return 1;
        }
        if (oneValue && m_command.recurse) {
            m_output.Line();
            if (!Search(key, opened.get())) {
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
        if (result == os::kErrorFileNotFound) {
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
        if (result == os::kErrorSuccess) {
            m_output.Line(key.display);
            m_output.Line(ValueLine(ShownName(), value));
            m_output.Line();
            ++m_matches;
        } else if (result != os::kErrorFileNotFound) {
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

    Command const& m_command;
    std::string m_name;  // empty for the default value
    Output m_output;
    std::size_t m_matches = 0;
};

}  // namespace

int RunQuery(Command const& command) { return Query(command).Run(); }

}  // namespace zelk::regtool
