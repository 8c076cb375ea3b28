#include "util/Error.h"

#include <cstdio>
#include <cstdlib>

#if defined(BRIK_SHIPPED)
#include "util/ShippedRuntime.h"
#endif

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
#if defined(BRIK_SHIPPED)
    // No C library's streams in the shipped programs.
    shipped::ReportFatal(message);
#else
    std::fputs(message, stderr);
    std::fputs("\n", stderr);
    std::exit(1);
#endif
}

}  // namespace brik
