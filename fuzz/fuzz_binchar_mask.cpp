// MaskenFit on arbitrary names and masks: no crash or overrun, and the
// rules that must hold whatever the input: "*" takes everything, a mask
// without wildcards fits exactly the names equal to it up to A-Z case.
#include <zelk/binchar.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

bool EqualFolded(std::string const& a, std::string const& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto fold = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
        if (fold(a[i]) != fold(b[i])) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
    // The mask is the text up to the first zero byte; the name is what follows.
    auto const* bytes = reinterpret_cast<char const*>(data);
    void const* zero = std::memchr(bytes, 0, size);
    std::size_t const maskLength = zero ? static_cast<std::size_t>(static_cast<char const*>(zero) - bytes) : size;
    std::string const mask(bytes, maskLength);
    std::size_t const nameStart = maskLength < size ? maskLength + 1 : size;
    BinChar const name(bytes + nameStart, static_cast<int>(size - nameStart));
    std::string const visible(static_cast<char const*>(name));

    bool const fits = name.MaskenFit(mask.c_str());
    Check(name.MaskenFit("*"));
    Check(name.MaskenFit("*.*"));
    Check(name.MaskenFit(visible.c_str()) || visible.find_first_of("*?") != std::string::npos);
    Check(name.Upper().MaskenFit(visible.c_str()) || visible.find_first_of("*?") != std::string::npos);
    if (mask.find_first_of("*?") == std::string::npos) Check(fits == EqualFolded(mask, visible));
    // A star in front never turns a fit into a miss... unless the first
    // occurrence rule moves the match, so only the fit of "*" + literal tail is checked.
    if (fits && mask.find_first_of("*?") == std::string::npos) Check(name.MaskenFit(("*" + mask).c_str()));
    return 0;
}
