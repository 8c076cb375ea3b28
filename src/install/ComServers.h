// The COM step of the install: the servers the copy phase wrote with the
// COM flag register themselves now, or at the next logon when their file
// waits for the restart.
#pragma once

#include <string>

namespace brik {

// Registers every server of the run's list, in order; a failure is shown
// and the step goes on. Logged unless the list says not to. Always true.
bool RegisterComServers();

// Registers one server: a library through its own registration export, a
// program with /REGSERVER, anything else as a type library. false when none
// of them succeeded.
bool RegisterComServer(const std::string& path);
// Takes a registration back the same ways; false when none of them worked.
bool UnregisterComServer(const std::string& path);

}  // namespace brik
