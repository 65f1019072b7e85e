// zelk-reg: reg.exe's verbs and regedit's .reg files, on the registry of
// the ZelkErr library's platform layer.
#include "command_line.h"
#include "output.h"
#include "verbs.h"

#include "platform/console.h"

namespace {

using namespace zelk::regtool;

int Run(Command const& command) {
    switch (command.verb) {
    case Verb::kQuery: return RunQuery(command);
    case Verb::kAdd: return RunAdd(command);
    case Verb::kDelete: return RunDelete(command);
    case Verb::kCopy: return RunCopy(command);
    case Verb::kCompare: return RunCompare(command);
    case Verb::kExport: return RunExport(command);
    case Verb::kImport: return RunImport(command);
    case Verb::kHelp: break;
    }
    return RunHelp(command.helpFor);
}

}  // namespace

int main(int argc, char** argv) {
    zelk::cli::SetToolName("zelk-reg");
    Command command;
    std::string error;
    if (!ParseCommandLine(zelk::os::CommandLineArguments(argc, argv), command, error)) {
        ReportError(error);
        return zelk::cli::kExitUsage;
    }
    int const status = Run(command);
    if (OutputFailed()) {
        ReportError("cannot write the output");
        return zelk::cli::kExitFailure;
    }
    return status;
}
