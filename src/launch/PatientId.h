#pragma once
#include <string>

// Whether a byte starts a double-byte character in the code page of the narrow strings (the machine's ANSI code
// page). In code pages 932, 936, 949 and 950 the second byte of such a character may be '\' or '|' (0x5C, 0x7C):
// it is part of the character, no separator. A null predicate stands for a single-byte code page.
using LeadBytePredicate = bool (*)(unsigned char);

// True when the ID can name exactly one folder inside "Patient": not empty, not "." or "..", no path
// separator, drive colon or other character that Windows forbids in a file name, no trailing blank or
// dot (Windows would strip it and name another folder), and not a reserved device name. The ID is read
// character by character in the code page that `isLeadByte` describes.
bool IsValidPatientId(const std::string &id, LeadBytePredicate isLeadByte = nullptr);
