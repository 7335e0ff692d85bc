#pragma once
// kadex-sim's options, written once: the parser, --help, the man page and the bash completion
// are made from this table.
#include "common/HelpText.h"

namespace kadex::sim {

const help::Program& SimProgram();

} // namespace kadex::sim
