// CErrorClone: a snapshot that owns every value and text of its source.
#include <zelk/error.h>

#include <algorithm>
#include <cstring>
#include <utility>

struct CErrorClone::Record {
    COrdinalNumber ordinal;
    int error = 0;
    std::string typeName;
    std::string threadName;
    int fatal = 1;
    ZelkErrorID icon = ZelkErrorID(0);
    int line = 0;
    std::string file;
    long time = 0;
    int translate = 1;
    std::vector<std::string> kind0Translated;
    std::vector<std::string> kind0English;
    std::vector<std::string> kind1Translated;
    std::vector<std::string> kind1English;

    std::vector<std::string> const& Lines(int kind, bool english) const {
        if (kind == 0) return english ? kind0English : kind0Translated;
        return english ? kind1English : kind1Translated;
    }
};

namespace {

// Sources may hand out null texts; a snapshot stores them as empty.
std::string TextOrEmpty(char const* text) { return text ? std::string(text) : std::string(); }

// How much of a source line a snapshot keeps: what fits into 299 bytes.
constexpr int kLineBufferSize = 300;

}  // namespace

CErrorClone::CErrorClone() : m_record(new Record) {}

CErrorClone::CErrorClone(IZelkError const& error) : m_record(nullptr) { CopyData(error); }

CErrorClone::CErrorClone(CErrorClone const& other) : IZelkError(other), m_record(nullptr) { CopyData(other); }

CErrorClone& CErrorClone::operator=(IZelkError const& error) {
    if (&error != this) CopyData(error);
    return *this;
}

CErrorClone& CErrorClone::operator=(CErrorClone const& other) {
    if (&other != this) {
        Record* copy = new Record(*other.m_record);
        delete m_record;
        m_record = copy;
    }
    return *this;
}

CErrorClone::~CErrorClone() { delete m_record; }

void CErrorClone::CopyData(IZelkError const& error) {
    // Build the new record completely before dropping the old one, so a
    // failed allocation leaves this snapshot as it was.
    Record* fresh = new Record;
    try {
        fresh->ordinal = error.GetOrdinalNumber();
        fresh->error = error.GetError();
        fresh->typeName = TextOrEmpty(error.GetTypeName());
        fresh->threadName = TextOrEmpty(error.GetThreadName());
        fresh->fatal = error.Fatal();
        fresh->icon = error.GetErrorIcon();
        fresh->line = error.GetLine();
        fresh->file = TextOrEmpty(error.GetErrorFile());
        fresh->time = error.GetTime();
        fresh->translate = error.IsMessageTranslationEnabled();
        CopyDescr(fresh->kind0Translated, error, 0, false);
        CopyDescr(fresh->kind0English, error, 0, true);
        CopyDescr(fresh->kind1Translated, error, 1, false);
        CopyDescr(fresh->kind1English, error, 1, true);
    } catch (...) {
        delete fresh;
        throw;
    }
    delete m_record;
    m_record = fresh;
}

void CErrorClone::CopyDescr(std::vector<std::string>& lines, IZelkError const& error, int kind, bool english) {
    lines.clear();
    char buffer[kLineBufferSize];
    for (int line = 0;; ++line) {
        buffer[0] = '\0';
        if (error.GetDescriptionLine(line, kind, buffer, kLineBufferSize - 1, english) == 0) break;
        buffer[kLineBufferSize - 1] = '\0';  // a source that overran its size still ends here
        lines.emplace_back(buffer);
    }
}

COrdinalNumber CErrorClone::GetOrdinalNumber() const { return m_record->ordinal; }
char const* CErrorClone::GetTypeName() const { return m_record->typeName.c_str(); }

int CErrorClone::GetDescriptionLine(int line, int kind, char* buffer, int size) const {
    // Dispatch through the interface so a derived class's override counts.
    IZelkError const& self = *this;
    return self.GetDescriptionLine(line, kind, buffer, size, m_record->translate == 0);
}

int CErrorClone::GetDescriptionLine(int line, int kind, char* buffer, int size, bool english) const {
    std::vector<std::string> const& lines = m_record->Lines(kind, english);
    if (buffer != nullptr && size > 0 && static_cast<unsigned>(line) < lines.size()) {
        std::string const& text = lines[static_cast<unsigned>(line)];
        // Copy at most `size` bytes, then end the buffer whatever was copied.
        std::size_t const n = std::min(text.size() + 1, static_cast<std::size_t>(size));
        std::memcpy(buffer, text.c_str(), n);
        buffer[size - 1] = '\0';
        return static_cast<int>(std::strlen(buffer));
    }
    if (buffer != nullptr && size > 0) buffer[0] = '\0';
    return 0;
}

int CErrorClone::Fatal() const { return m_record->fatal; }

int CErrorClone::SetFatal(int fatal) {
    m_record->fatal = fatal;
    return fatal;
}

ZelkErrorID CErrorClone::GetErrorIcon() const { return m_record->icon; }
long CErrorClone::GetTime() const { return m_record->time; }
int CErrorClone::GetError() const { return m_record->error; }
char const* CErrorClone::GetErrorFile() const { return m_record->file.c_str(); }
int CErrorClone::GetLine() const { return m_record->line; }
void CErrorClone::EnableMessageTranslation(int enable) { m_record->translate = enable; }
int CErrorClone::IsMessageTranslationEnabled() const { return m_record->translate; }
char const* CErrorClone::GetThreadName() const { return m_record->threadName.c_str(); }
