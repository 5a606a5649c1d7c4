#pragma once
#include <string>
#include <string_view>

#include "SuidInfo.h"

// SUID.ini as a whole, for the tools and the tests: which form a file has and what the launcher reads from it,
// and the file a disc writer makes for a record. The launcher itself reads through the platform's profile
// reader; this gives the same results from the file's bytes alone.

enum class SuidForm { Plain, Scrambled };

struct SuidRead {
    SuidForm form = SuidForm::Scrambled;
    SuidInfo info;
};

// What the launcher reads from a SUID.ini holding these bytes. A file is plain only when its marker is
// exactly suid::kPlainMark; anything else, the empty file included, is descrambled and read without the marker.
SuidRead ReadSuidText(std::string_view fileBytes);

// A SUID.ini that the launcher reads back as the record's mode, ID and version, in the given form. A plain file
// carries the marker whatever the record's m_strUpdateMark says. A scrambled file carries no marker section:
// the launcher does not read it there, and "091118" in a scrambled file's text would only mislead a reader.
// Values that the profile format cannot carry (line breaks, NULs, more than suid::kValueMax characters) do
// not come back as written; check with ReadSuidText.
std::string MakeSuidText(const SuidInfo &info, SuidForm form);
