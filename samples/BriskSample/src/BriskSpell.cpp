// The spelling library that the company's programs share: installed once
// into the common files folder and counted in the system's list of shared
// libraries, so that it stays until the last program using it is removed.
// Its dictionary is left out of the sample; it answers with its name.
#include <windows.h>

extern "C" __declspec(dllexport) const char* WINAPI BriskSpellName() { return "Brisk Spelling 2.1 (shared)"; }

extern "C" __declspec(dllexport) BOOL WINAPI BriskSpellCheckWord(const char* word) {
    return word != nullptr && *word != '\0';
}
