#pragma once
#include <string>

#include "config/SuidFile.h"

// SUID.ini values as suidtool's command lines spell them; shared by the commands that write a SUID.ini.

constexpr char kOptMode[] = "--mode";
constexpr char kOptId[] = "--id";
constexpr char kOptVersion[] = "--version";
constexpr char kFormPlain[] = "plain";
constexpr char kFormScrambled[] = "scrambled";

// "A.B.C.D", most significant part first.
std::string FormatVersion(const SuidInfo &info);
// Four decimal numbers (optional minus) that each fit an int, separated by dots; nothing else. Stricter than
// the launcher's atoi on purpose: a typo should stop the tool, not write a version nobody asked for.
bool ParseVersion(const std::string &text, SuidInfo &info);
// Which of the record's values would not come back from `text` as the launcher reads it: the option that gave
// it (kOptMode, kOptId, kOptVersion) or the form's name; nullptr when all come back.
const char *FirstLostValue(const SuidInfo &wanted, SuidForm form, const std::string &text);
