#pragma once
#include <string>

#include "SuidInfo.h"

// The C runtime's atoi as the disc format relies on it: leading blanks, an optional sign, then decimal
// digits up to the first other character; no digits give 0. Out-of-range values are clamped to the
// int range, as the Microsoft runtime does, instead of being undefined.
int ParseRuntimeInt(const std::string &text);

// Fills the record from a source of profile values, in the order the launcher reads them: the four
// version parts, the mode, the ID, and (plain files only) the marker. `get(section, key)` returns the
// value as the profile reader gives it: "" when missing, cut to suid::kValueMax characters.
template <class Get> void ReadSuidValues(SuidInfo &info, Get &&get, bool withMark)
{
    info.m_nHiMS = ParseRuntimeInt(get(suid::kSecVersion, suid::kKeyHiMS));
    info.m_nLowMS = ParseRuntimeInt(get(suid::kSecVersion, suid::kKeyLowMS));
    info.m_nHiLS = ParseRuntimeInt(get(suid::kSecVersion, suid::kKeyHiLS));
    info.m_nLowLS = ParseRuntimeInt(get(suid::kSecVersion, suid::kKeyLowLS));
    info.m_strMode = get(suid::kSecMode, suid::kKeyMode);
    info.m_strId = get(suid::kSecId, suid::kKeyId);
    if (withMark)
        info.m_strUpdateMark = get(suid::kSecUp, suid::kKeyUp);
}
