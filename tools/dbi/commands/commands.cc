#include "commands/command.h"

namespace dbi {

// NOLINTNEXTLINE(cppcoreguidelines-interfaces-global-init): only the rows' addresses, constants
const Command* const kCommands[] = {&kShowCommand, &kCheckCommand, &kPurgeCommand,
                                    &kRecoverCommand};
const size_t kCommandCount = sizeof kCommands / sizeof kCommands[0];

}  // namespace dbi
