#include "PatientId.h"

#include <cctype>

namespace {

bool IsReservedDeviceName(const std::string &id)
{
    // The device names are reserved with any extension too: "con.txt" is the console.
    std::string base = id.substr(0, id.find('.'));
    // Windows also ignores trailing blanks of the base name ("CON .txt").
    while (!base.empty() && base.back() == ' ')
        base.pop_back();
    for (char &c : base)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    static const char *const kNames[] = {"CON", "PRN", "AUX", "NUL"};
    for (const char *name : kNames)
        if (base == name)
            return true;
    if (base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0))
        return base[3] >= '1' && base[3] <= '9';
    return false;
}

} // namespace

bool IsValidPatientId(const std::string &id, LeadBytePredicate isLeadByte)
{
    if (id.empty() || id == "." || id == "..")
        return false;
    for (size_t i = 0; i < id.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(id[i]);
        // A double-byte character is a character of the name, whatever its second byte is.
        if (isLeadByte && isLeadByte(c) && i + 1 < id.size()) {
            ++i;
            continue;
        }
        if (c < 0x20)
            return false;
        switch (c) {
        case '\\':
        case '/':
        case ':':
        case '<':
        case '>':
        case '"':
        case '|':
        case '?':
        case '*':
            return false;
        default:
            break;
        }
    }
    // Neither a blank nor a dot is ever the second byte of a double-byte character.
    if (id.back() == ' ' || id.back() == '.')
        return false;
    return !IsReservedDeviceName(id);
}
