// The versions of the sample's programs, for their version resources. The
// note pad and its shell library go together; the spelling library is shared
// with the company's other programs and has a life of its own.
#pragma once

#define BRISK_NOTES_VERSION 1, 2, 0, 0
#define BRISK_NOTES_VERSION_TEXT "1.2.0.0"
#define BRISK_SPELL_VERSION 2, 1, 0, 3
#define BRISK_SPELL_VERSION_TEXT "2.1.0.3"
#define BRISK_COMPANY "Brisk Sample Software"
