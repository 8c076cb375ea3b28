#include "util/Error.h"

#include <cstdio>
#include <cstdlib>

namespace brik {

namespace {
FatalHandler g_fatalHandler = nullptr;
}  // namespace

FatalHandler SetFatalHandler(FatalHandler handler) {
    FatalHandler previous = g_fatalHandler;
    g_fatalHandler = handler;
    return previous;
}

void RaiseFatal(const char* message) {
    if (g_fatalHandler != nullptr) {
        g_fatalHandler(message);
        std::abort();
    }
    std::fputs(message, stderr);
    std::fputs("\n", stderr);
    std::exit(1);
}

}  // namespace brik
