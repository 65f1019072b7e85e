// The subcommand table: one row per verb, with its function, its
// positional arguments and its options.
#include "command_line.h"
#include "verbs.h"

namespace zelk::regtool {

namespace {

using C = Command;

constexpr Argument kKey{&C::keyText, &C::key, "key"};
constexpr Argument kSecondKey{&C::key2Text, &C::key2, "second key"};
constexpr Argument kFile{&C::file, nullptr, "file"};

constexpr Argument kKeyArguments[] = {kKey};
constexpr Argument kTwoKeyArguments[] = {kKey, kSecondKey};
constexpr Argument kExportArguments[] = {kKey, kFile};
constexpr Argument kImportArguments[] = {kFile};

constexpr Option kValue{"v", &C::valueName, &C::name};
constexpr Option kDefaultValue{"ve", &C::defaultValue};
constexpr Option kRecurse{"s", &C::recurse};
constexpr Option kForce{"f", &C::force};
constexpr Option kType{"t", &C::type, &C::typeName};

constexpr Option kQueryOptions[] = {
    {"v", &C::valueName, &C::name, true},
    kDefaultValue,
    kRecurse,
    {"f", &C::find, &C::findText},
    {"k", &C::searchKeys},
    {"d", &C::searchData},
    {"c", &C::caseSensitive},
    {"e", &C::exact},
    kType,
    {"z", &C::verbose},
    {"se", &C::separator, &C::separatorText},
};
constexpr Option kAddOptions[] = {
    kValue, kDefaultValue, kType, {"d", &C::data, &C::dataText}, {"s", &C::separator, &C::separatorText}, kForce,
};
constexpr Option kDeleteOptions[] = {kValue, kDefaultValue, {"va", &C::allValues}, kForce};
constexpr Option kCopyOptions[] = {kRecurse, kForce};
constexpr Option kCompareOptions[] = {
    kValue,
    kDefaultValue,
    kRecurse,
    {"oa", &C::compareOutputGiven, nullptr, false, &C::compareOutput, CompareOutput::kAll},
    {"od", &C::compareOutputGiven, nullptr, false, &C::compareOutput, CompareOutput::kDifferences},
    {"os", &C::compareOutputGiven, nullptr, false, &C::compareOutput, CompareOutput::kSame},
    {"on", &C::compareOutputGiven, nullptr, false, &C::compareOutput, CompareOutput::kNone},
};
constexpr Option kExportOptions[] = {{"y", &C::overwrite}};

constexpr Subcommand kSubcommands[] = {
    {"query", RunQuery, kKeyArguments, kQueryOptions},
    {"add", RunAdd, kKeyArguments, kAddOptions},
    {"delete", RunDelete, kKeyArguments, kDeleteOptions},
    {"copy", RunCopy, kTwoKeyArguments, kCopyOptions},
    {"compare", RunCompare, kTwoKeyArguments, kCompareOptions},
    {"export", RunExport, kExportArguments, kExportOptions},
    {"import", RunImport, kImportArguments, {}},
};

}  // namespace

std::span<Subcommand const> Subcommands() { return kSubcommands; }

}  // namespace zelk::regtool
