// Arbitrary bytes as the patient ID that names the folder the launcher copies into: an ID the check lets through
// must name exactly one folder inside "Patient", never a path out of it or a name Windows would change. Checked as
// a single-byte code page reads it and as code page 932 does, where the second byte of a character may be '\' or
// '|' and belongs to the character.
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "launch/PatientId.h"

using fuzzcheck::Require;

namespace {

// What Windows forbids in a file name besides the control characters.
constexpr std::string_view kForbidden = "\\/:<>\"|?*";
constexpr unsigned char kFirstPrintable = 0x20;

bool IsLeadByte932(unsigned char c)
{
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

void CheckValid(const std::string &id, LeadBytePredicate isLeadByte)
{
    if (!IsValidPatientId(id, isLeadByte))
        return;
    Require(!id.empty(), "a valid ID is not empty");
    Require(id != "." && id != "..", "a valid ID is not . or ..", id);
    for (size_t i = 0; i < id.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(id[i]);
        if (isLeadByte && isLeadByte(c) && i + 1 < id.size()) {
            ++i; // the character's second byte is no character of its own
            continue;
        }
        Require(kForbidden.find(static_cast<char>(c)) == std::string_view::npos,
                "a valid ID has no character Windows forbids", id);
        Require(c >= kFirstPrintable, "a valid ID has no control character", id);
    }
    // Windows strips a trailing blank or dot, so the folder made would have another name than the ID.
    Require(id.back() != ' ' && id.back() != '.', "a valid ID does not end in a blank or a dot", id);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string id(fuzzcheck::AsText(data, size));
    CheckValid(id, nullptr);
    CheckValid(id, IsLeadByte932);
    return 0;
}
