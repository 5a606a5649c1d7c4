#pragma once
#include <string>

// True when the ID can name exactly one folder inside "Patient": not empty, not "." or "..", no path
// separator, drive colon or other character that Windows forbids in a file name, no trailing blank or
// dot (Windows would strip it and name another folder), and not a reserved device name.
bool IsValidPatientId(const std::string &id);
