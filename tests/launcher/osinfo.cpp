// Prints the description of the running Windows as the engine reads it, one
// field a line, for the tests that run it under each Windows version Wine
// can pretend to be. With "--load NAME" it first loads a library by its bare
// name, as a careless program would: the planting test checks its markers
// with it.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "launcher/Main.h"

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--load") == 0) LoadLibraryA(argv[2]);
    const brik::TOSVersion v = brik::ReadOSVersion();
    std::printf("kind=%d\nplatform=%d\nmajor=%d\nminor=%d\nversion=%s\nbuild=%d\nservicepack=%s\n"
                "description=%s\n",
                v.OsKind, v.PlatformId, v.Major, v.Minor, v.VersionText.c_str(), v.Build,
                v.ServicePack.c_str(), v.Description.c_str());
    return 0;
}
