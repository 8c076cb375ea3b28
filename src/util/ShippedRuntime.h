// Shared by the shipped programs' run-time support and their start-up code
// (ShippedRuntime.cpp, ShippedStartExe.cpp, ShippedStartDll.cpp).
#pragma once

extern "C" {
// Laid out by the linker (cmake/shipped.ld): -1, the functions, 0.
extern void (*__CTOR_LIST__[])();
extern void (*__DTOR_LIST__[])();
}

namespace brik::shipped {

// Runs the constructors of static objects.
void RunConstructors();
// Runs what atexit registered (the destructors of static objects among it),
// last first, then the linker's destructor list; each runs once.
void RunExitFunctions();
// Writes the message to standard error, if there is one, and exits with 1.
[[noreturn]] void ReportFatal(const char* message);

}  // namespace brik::shipped
