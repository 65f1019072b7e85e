#include "message_file.h"

#include "errors/message_key.h"
#include "key_form.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/profile.h"

namespace zelk::msgcheck {

std::string MessageFileName(std::string const& argument) {
    if (argument.find('\\') != std::string::npos) return argument;
    std::string name = argument;
    for (char& c : name) {
        if (c == '/') c = '\\';
    }
    bool const drive = name.size() >= 2 && name[1] == ':';
    if (!drive && name.find('\\') == std::string::npos) name = ".\\" + name;
    return name;
}

std::string ResolvedName(std::string const& name) { return os::NativePath(name.c_str()); }

std::string Folded(std::string text) {
    for (char& c : text) c = os::AsciiLower(c);
    return text;
}

bool IsCommentLike(std::string const& name) { return !name.empty() && (name.front() == ';' || name.front() == '#'); }

bool MessageFile::Load(std::string const& name, std::string display) {
    m_display = std::move(display);
    std::string bytes;
    if (!os::ReadProfileBytes(name.c_str(), bytes)) return false;
    m_lines = os::ProfileLines();
    m_profile = std::make_unique<os::ParsedProfile const>(bytes, &m_lines);

    // The sections and keys a lookup can reach: first of their name, in a
    // named section, with a value, and written the way the library writes keys.
    std::map<std::size_t, std::string> live;  // section index -> folded name
    for (os::ProfileLine const& line : m_lines.lines) {
        if (line.kind == os::ProfileLine::Kind::kSection && !line.dead && !line.name.empty()) {
            std::string folded = Folded(line.name);
            m_sections[folded] = Section{line.name, line.number, {}};
            live[line.section] = std::move(folded);
        } else if (line.kind == os::ProfileLine::Kind::kKey && !line.dead && line.hasValue) {
            auto const section = live.find(line.section);
            if (section == live.end() || IsCommentLike(line.name)) continue;
            Section& owner = m_sections[section->second];
            if (!ClassifyKey(owner.name, line.name).live) continue;
            owner.texts[Folded(line.name)] = Text{line.name, line.number, line.value};
        }
    }
    return true;
}

std::string MessageFile::Lookup(char const* section, char const* key, unsigned long size) const {
    std::string buffer(size, '\0');
    unsigned long const copied = m_profile->Lookup(section, key, "", buffer.data(), size);
    buffer.resize(copied);
    return buffer;
}

}  // namespace zelk::msgcheck
