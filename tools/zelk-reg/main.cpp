// zelk-reg: reg.exe's verbs and regedit's .reg files, on the registry of
// the ZelkErr library's platform layer.
#include "command_line.h"
#include "output.h"
#include "verbs.h"

#include "platform/console.h"

int main(int argc, char** argv) {
    using namespace zelk::regtool;
    zelk::cli::SetToolName("zelk-reg");
    Command command;
    std::string error;
    if (!ParseCommandLine(zelk::os::CommandLineArguments(argc, argv), command, error)) {
        ReportError(error);
        return zelk::cli::kExitUsage;
    }
    // A name that is no key is reg's "invalid key name", an error like a
    // missing key rather than a misuse of the command line.
    if (!ParseKeyArguments(command, error)) {
        ReportError(error);
        return zelk::cli::kExitFailure;
    }
    bool const manual = command.subcommand == nullptr || command.help;
    int const status = manual ? RunHelp(command.subcommand) : command.subcommand->run(command);
    if (OutputFailed()) {
        ReportError("cannot write the output");
        return zelk::cli::kExitFailure;
    }
    return status;
}
