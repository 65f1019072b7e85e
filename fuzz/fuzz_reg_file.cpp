// Arbitrary bytes as a .reg file: the reader must take them or refuse them
// with a message that names a line, never crash; and every value it reads
// must come back the same through the export format (the writer's output
// read again), so what zelk-reg exports it can import.
#include "reg_file.h"

#include <zelk/hkey.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

using zelk::regtool::RegChange;
using zelk::regtool::Value;

// An export writes a REG_SZ (UTF-16LE) up to its first zero unit and reads
// it back with one.
std::string Canonical(Value const& value) {
    std::string data = value.data;
    if (value.type == REG_SZ) {
        std::size_t end = 0;
        while (end + 1 < data.size() && (data[end] != 0 || data[end + 1] != 0)) end += 2;
        data = data.substr(0, end) + std::string(2, '\0');
    }
    return std::to_string(value.type) + ':' + value.name + '=' + data;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* bytes, std::size_t size) {
    std::string const name = "fuzz.reg";
    std::vector<RegChange> changes;
    std::string error;
    if (!zelk::regtool::ReadRegFile(std::string_view(reinterpret_cast<char const*>(bytes), size), name, changes,
                                    error)) {
        if (error.rfind(name + ":", 0) != 0) __builtin_trap();
        return 0;
    }
    zelk::regtool::RegFileWriter writer;
    writer.Key("HKEY_CURRENT_USER\\Software\\Fuzz");
    std::vector<std::string> written;
    for (RegChange const& change : changes) {
        if (change.kind == RegChange::kSetValue) {
            writer.Add(change.value);
            written.push_back(Canonical(change.value));
        }
    }
    std::vector<RegChange> again;
    if (!zelk::regtool::ReadRegFile(writer.Bytes(), name, again, error)) __builtin_trap();
    if (again.size() != written.size() + 1) __builtin_trap();
    for (std::size_t i = 0; i < written.size(); ++i) {
        if (Canonical(again[i + 1].value) != written[i]) __builtin_trap();
    }
    return 0;
}
