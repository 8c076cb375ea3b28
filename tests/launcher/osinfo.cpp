// Prints the description of the running Windows as the engine reads it, one
// field a line, for the tests that run it under each Windows version Wine
// can pretend to be.
#include <cstdio>

#include "launcher/Main.h"

int main() {
    const brik::TOSVersion v = brik::ReadOSVersion();
    std::printf("kind=%d\nplatform=%d\nmajor=%d\nminor=%d\nversion=%s\nbuild=%d\nservicepack=%s\n"
                "description=%s\n",
                v.OsKind, v.PlatformId, v.Major, v.Minor, v.VersionText.c_str(), v.Build,
                v.ServicePack.c_str(), v.Description.c_str());
    return 0;
}
