// The verbs; each returns the exit status (0 done or found, 1 not).
#pragma once

#include "command_line.h"
#include "key_name.h"

#include <string>
#include <string_view>

namespace zelk::regtool {

int RunQuery(Command const& command);
int RunAdd(Command const& command);
int RunDelete(Command const& command);
int RunCopy(Command const& command);
int RunCompare(Command const& command);
int RunExport(Command const& command);
int RunImport(Command const& command);
// The manual, or with `subcommand` that verb's usage.
int RunHelp(Subcommand const* subcommand = nullptr);

// The work of export and import without the files (the benchmark times
// them); false after the error has been reported.
bool ExportToBytes(KeyName const& key, std::string& bytes);
bool ImportBytes(std::string_view bytes, std::string const& fileName, os::RegView view = os::RegView::kDefault);

}  // namespace zelk::regtool
