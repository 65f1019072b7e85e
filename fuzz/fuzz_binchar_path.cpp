// The path members on arbitrary names: no crash, no overrun, and results
// that hang together (the folder is a prefix of the full name, the file
// name its rest, a reduced path is never empty).
#include <zelk/binchar.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

void CheckTerminated(BinChar const& s) { Check(s.len() >= 0 && static_cast<char const*>(s)[s.len()] == 0); }

bool StartsWith(BinChar const& s, BinChar const& prefix) {
    return prefix.len() <= s.len() && std::memcmp(s, prefix, static_cast<std::size_t>(prefix.len())) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
    if (size < 2 || size > 4096) return 0;
    int const levels = static_cast<signed char>(data[0]);
    std::size_t const split = 2 + data[1] % (size - 1);  // in [2, size]: where the joined path starts
    BinChar const name(data + 2, static_cast<int>(split - 2));
    BinChar const path(data + split, static_cast<int>(size - split));

    int root = -1;
    BinChar const full = name.FullFileName(root);
    CheckTerminated(full);
    Check(root >= 0);
    Check((root == 0) == (full.len() == 0) || root == 3);

    BinChar const directory = name.Directory(levels);
    CheckTerminated(directory);
    Check(StartsWith(full, directory));

    BinChar const all = name.Directory(0);
    BinChar const file = name.FileName();
    CheckTerminated(file);
    if (all.len() == 0)
        Check(file.len() == full.len());
    else
        Check(all.len() + 1 + file.len() == full.len() || file.len() == 0);

    BinChar const reduced = name.ReducePath();
    CheckTerminated(reduced);
    Check(reduced.len() > 0);
    Check(reduced.len() <= full.len() + 1);

    CheckTerminated(name.AddPath(path));
    BinChar const extended = name.SetExtension(static_cast<char const*>(path));
    CheckTerminated(extended);
    return 0;
}
