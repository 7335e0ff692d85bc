#pragma once
// kadex-cli's options and commands, written once: the parser, --help, "help COMMAND", the man
// page and the bash completion are made from this table. A new command is one more entry.
#include "common/HelpText.h"

namespace kadex::cli {

const help::Program& CliProgram();

} // namespace kadex::cli
