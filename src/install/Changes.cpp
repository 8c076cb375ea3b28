// Not built yet: the COM server and font operations. Until they are, each
// step leaves the system as it is and reports success, so that an install
// without them goes through; the lists they will work from are filled
// already.
#include "install/Changes.h"

namespace brik {

bool RegisterComServers() { return true; }
void RegisterFonts() {}

}  // namespace brik
