// BinChar core: construction, assignment, concatenation, substrings,
// trimming, padding, search, words, case and integer conversion.
//
// Every string owns a buffer of exactly length + 1 bytes; there is no spare
// capacity.  Each operation allocates its result once and fills it in place
// rather than going through intermediate strings: the observable result is
// the same, and string chains stay close to std::string in speed.
#include <zelk/binchar.h>

#include "platform/codepage.h"
#include "util/find_bytes.h"

#include <climits>
#include <cstring>
#include <new>
#include <utility>

namespace {

// A length that does not fit the 32-bit length field cannot be stored; it is
// reported like any other allocation the system cannot satisfy.
std::int32_t CheckedLength(std::int64_t length) {
    if (length < 0 || length > INT32_MAX) throw std::bad_alloc();
    return static_cast<std::int32_t>(length);
}

char* Allocate(std::int32_t length) {
    char* data = new char[static_cast<std::size_t>(length) + 1];
    data[length] = 0;
    return data;
}

int Min(int a, int b) { return a < b ? a : b; }

// Index of the first zero byte in data[from, length), or length.
int FindZero(char const* data, int from, int length) {
    if (from >= length) return length;
    void const* zero = std::memchr(data + from, 0, static_cast<std::size_t>(length - from));
    return zero ? static_cast<int>(static_cast<char const*>(zero) - data) : length;
}

}  // namespace

BinChar::BinChar(Uninitialised, std::int64_t length) : m_length(CheckedLength(length)), m_data(Allocate(m_length)) {}

BinChar::BinChar() : m_length(0), m_data(Allocate(0)) {}

BinChar::BinChar(char const* text) : m_length(0), m_data(nullptr) {
    m_length = text ? CheckedLength(static_cast<std::int64_t>(std::strlen(text))) : 0;
    m_data = Allocate(m_length);
    if (m_length > 0) std::memcpy(m_data, text, static_cast<std::size_t>(m_length));
}

BinChar::BinChar(void const* source, int count) : m_length(count > 0 ? count : 0), m_data(Allocate(m_length)) {
    if (m_length == 0) return;
    if (source)
        std::memcpy(m_data, source, static_cast<std::size_t>(m_length));
    else
        std::memset(m_data, 0, static_cast<std::size_t>(m_length));
}

// A null source with a positive span gives zero bytes, as the (source, count)
// form does, so no byte of the result is ever left undefined.
BinChar::BinChar(void const* source, int from, int to)
    : m_length(CheckedLength(to > from ? std::int64_t(to) - from : 0)), m_data(Allocate(m_length)) {
    if (m_length == 0) return;
    if (source)
        std::memcpy(m_data, static_cast<char const*>(source) + from, static_cast<std::size_t>(m_length));
    else
        std::memset(m_data, 0, static_cast<std::size_t>(m_length));
}

BinChar::BinChar(BinChar const& other) : m_length(other.m_length), m_data(Allocate(other.m_length)) {
    std::memcpy(m_data, other.m_data, static_cast<std::size_t>(m_length));
}

// The source must stay a valid string (its data is never null), so it gets a
// fresh empty buffer in exchange for the one taken over.
BinChar::BinChar(BinChar&& other) : m_length(0), m_data(Allocate(0)) {
    std::swap(m_length, other.m_length);
    std::swap(m_data, other.m_data);
}

BinChar::BinChar(char c, int count) : m_length(count > 0 ? count : 0), m_data(Allocate(m_length)) {
    std::memset(m_data, static_cast<unsigned char>(c), static_cast<std::size_t>(m_length));
}

BinChar::BinChar(int value) : BinChar(value, 0) {}

// Widths of any size are honoured: the text is built in a buffer of exactly
// the needed size, so a width past 99 digits gives that many digits rather
// than overrunning or silently clamping.
BinChar::BinChar(int value, int width) : m_length(0), m_data(nullptr) {
    // The magnitude as unsigned, so the most negative int needs no special case.
    std::uint32_t magnitude = value < 0 ? 0u - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value);
    char digits[10];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    int const sign = value < 0 ? 1 : 0;
    int const shown = width > n ? width : n;
    m_length = CheckedLength(std::int64_t(shown) + sign);
    m_data = Allocate(m_length);
    char* out = m_data;
    if (sign) *out++ = '-';
    std::memset(out, '0', static_cast<std::size_t>(shown - n));
    out += shown - n;
    while (n > 0) *out++ = digits[--n];
}

BinChar::~BinChar() {
    delete[] m_data;
    m_data = nullptr;
    m_length = 0;
}

BinChar& BinChar::operator=(BinChar const& other) {
    if (this == &other) return *this;
    char* data = Allocate(other.m_length);
    std::memcpy(data, other.m_data, static_cast<std::size_t>(other.m_length));
    delete[] m_data;
    m_data = data;
    m_length = other.m_length;
    return *this;
}

BinChar& BinChar::operator=(BinChar&& other) noexcept {
    std::swap(m_length, other.m_length);
    std::swap(m_data, other.m_data);
    return *this;
}

int BinChar::VisibleLength() const noexcept { return FindZero(m_data, 0, m_length); }

BinChar BinChar::operator+(BinChar const& other) const {
    BinChar result(Uninitialised{}, std::int64_t(m_length) + other.m_length);
    std::memcpy(result.m_data, m_data, static_cast<std::size_t>(m_length));
    std::memcpy(result.m_data + m_length, other.m_data, static_cast<std::size_t>(other.m_length));
    return result;
}

BinChar BinChar::operator+(char const* text) const {
    std::size_t const extra = text ? std::strlen(text) : 0;
    BinChar result(Uninitialised{}, std::int64_t(m_length) + static_cast<std::int64_t>(extra));
    std::memcpy(result.m_data, m_data, static_cast<std::size_t>(m_length));
    if (extra) std::memcpy(result.m_data + m_length, text, extra);
    return result;
}

BinChar const& BinChar::operator+=(BinChar const& other) {
    *this = *this + other;
    return *this;
}

bool BinChar::operator==(BinChar const& other) const noexcept { return std::strcmp(m_data, other.m_data) == 0; }

// Callers should pass a text; a null one is read as the empty text rather
// than dereferenced.
bool BinChar::operator==(char const* text) const noexcept { return std::strcmp(m_data, text ? text : "") == 0; }

bool BinChar::operator!=(BinChar const& other) const noexcept { return !(*this == other); }

bool BinChar::operator!=(char const* text) const noexcept { return !(*this == text); }

// A negative start lies outside the contract; it is clamped to 0 so no byte
// before the buffer is ever read.
BinChar BinChar::operator()(int start, int count) const {
    if (start < 0) start = 0;
    if (count <= 0 || start >= m_length) return BinChar();
    return BinChar(m_data + start, Min(m_length - start, count));
}

BinChar BinChar::Left(int n) const {
    if (n <= 0) return BinChar();
    return BinChar(m_data, Min(n, m_length));
}

// n <= 0 still reads on past the visible end; the start is computed in 64
// bits so that a very negative n cannot overflow into a valid index.
BinChar BinChar::Right(int n) const {
    int const visible = VisibleLength();
    std::int64_t const start = std::int64_t(visible) - Min(visible, n);
    if (start >= m_length) return BinChar();
    return (*this)(static_cast<int>(start), visible);
}

BinChar BinChar::LTrim() const {
    int start = 0;
    while (start < m_length && m_data[start] == ' ') ++start;
    return BinChar(m_data + start, m_length - start);
}

BinChar BinChar::RTrim() const {
    int end = VisibleLength();
    while (end > 0 && m_data[end - 1] == ' ') --end;
    return BinChar(m_data, end);
}

// The right trim of the left trim, without building the intermediate string.
BinChar BinChar::Trim() const {
    int start = 0;
    while (start < m_length && m_data[start] == ' ') ++start;
    int end = FindZero(m_data, start, m_length);
    while (end > start && m_data[end - 1] == ' ') --end;
    return BinChar(m_data + start, end - start);
}

BinChar BinChar::LPad(int n) const {
    if (n <= m_length) return *this;
    BinChar result(Uninitialised{}, n);
    std::memset(result.m_data, ' ', static_cast<std::size_t>(n - m_length));
    std::memcpy(result.m_data + (n - m_length), m_data, static_cast<std::size_t>(m_length));
    return result;
}

BinChar BinChar::RPad(int n) const {
    if (n <= m_length) return *this;
    BinChar result(Uninitialised{}, n);
    std::memcpy(result.m_data, m_data, static_cast<std::size_t>(m_length));
    std::memset(result.m_data + m_length, ' ', static_cast<std::size_t>(n - m_length));
    return result;
}

namespace {

// First index >= from at which the `count` bytes of `pattern` stand in
// [text, text + length); -1 when there is none.  Zero bytes compare like any.
int FindBytes(char const* text, int length, char const* pattern, int count, int from) {
    if (count <= 0 || from < 0 || from >= length || count > length - from) return -1;
    std::size_t const at = zelk::FindBytes<zelk::SameByte>(
        reinterpret_cast<unsigned char const*>(text + from), static_cast<std::size_t>(length - from),
        reinterpret_cast<unsigned char const*>(pattern), static_cast<std::size_t>(count));
    return at == zelk::kNotFound ? -1 : from + static_cast<int>(at);
}

}  // namespace

int BinChar::iStr(BinChar const& pattern, int from) const {
    int const at = FindBytes(m_data, m_length, pattern.m_data, pattern.m_length, from);
    return at < 0 ? m_length : at;
}

int BinChar::Translate(BinChar const& from, BinChar const& to) {
    if (from.m_length == 0) return 0;
    // First count the matches, then build the result in one buffer.
    int count = 0;
    for (int at = FindBytes(m_data, m_length, from.m_data, from.m_length, 0); at >= 0;
         at = FindBytes(m_data, m_length, from.m_data, from.m_length, at + from.m_length))
        ++count;
    if (count == 0) return 0;
    BinChar result(Uninitialised{},
                   std::int64_t(m_length) + std::int64_t(count) * (std::int64_t(to.m_length) - from.m_length));
    char* out = result.m_data;
    int done = 0;
    for (int at = FindBytes(m_data, m_length, from.m_data, from.m_length, 0); at >= 0;
         at = FindBytes(m_data, m_length, from.m_data, from.m_length, done)) {
        std::memcpy(out, m_data + done, static_cast<std::size_t>(at - done));
        out += at - done;
        std::memcpy(out, to.m_data, static_cast<std::size_t>(to.m_length));
        out += to.m_length;
        done = at + from.m_length;
    }
    std::memcpy(out, m_data + done, static_cast<std::size_t>(m_length - done));
    *this = std::move(result);
    return count;
}

BinChar BinChar::GetWord(int n, char separator) const {
    if (n <= 0) return BinChar();
    // The word walk runs over the visible text of Trim(); find its bounds in place.
    int start = 0;
    while (start < m_length && m_data[start] == ' ') ++start;
    int end = FindZero(m_data, start, m_length);
    while (end > start && m_data[end - 1] == ' ') --end;

    bool const blank = separator == ' ';
    auto separates = [blank, separator](char c) { return blank ? static_cast<signed char>(c) <= 32 : c == separator; };
    int pos = start;
    int wordStart = start;
    for (int step = 0; step < n; ++step) {
        while (pos < end && separates(m_data[pos])) ++pos;
        if (pos == end) return BinChar();  // fewer than n words
        wordStart = pos;
        while (pos < end && !separates(m_data[pos])) ++pos;
    }
    return BinChar(m_data + wordStart, pos - wordStart);
}

BinChar BinChar::Lower() const {
    BinChar result(Uninitialised{}, m_length);
    for (int i = 0; i < m_length; ++i) {
        result.m_data[i] = zelk::os::AsciiLower(m_data[i]);
    }
    return result;
}

BinChar BinChar::Upper() const {
    BinChar result(Uninitialised{}, m_length);
    for (int i = 0; i < m_length; ++i) {
        result.m_data[i] = zelk::os::AsciiUpper(m_data[i]);
    }
    return result;
}

int BinChar::ToInt() const {
    char const* p = m_data;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    if (*p < '0' || *p > '9') throw 0;
    // Accumulate the magnitude and stop growing it once it passes the range;
    // the remaining digits are still consumed.
    std::int64_t magnitude = 0;
    std::int64_t const limit = negative ? -std::int64_t(INT32_MIN) : std::int64_t(INT32_MAX);
    for (; *p >= '0' && *p <= '9'; ++p) {
        if (magnitude <= limit) magnitude = magnitude * 10 + (*p - '0');
    }
    if (magnitude > limit) magnitude = limit;
    return static_cast<int>(negative ? -magnitude : magnitude);
}

bool BinChar::IsInt() const {
    try {
        ToInt();
    } catch (int) {
        return false;
    }
    return true;
}
