// Arbitrary bytes as the patient ID that names the folder the launcher copies into: an ID the check lets through
// must name exactly one folder inside "Patient", never a path out of it or a name Windows would change.
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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string id(fuzzcheck::AsText(data, size));
    if (!IsValidPatientId(id))
        return 0;
    Require(!id.empty(), "a valid ID is not empty");
    Require(id != "." && id != "..", "a valid ID is not . or ..", id);
    for (const char c : id) {
        Require(kForbidden.find(c) == std::string_view::npos, "a valid ID has no character Windows forbids", id);
        Require(static_cast<unsigned char>(c) >= kFirstPrintable, "a valid ID has no control character", id);
    }
    // Windows strips a trailing blank or dot, so the folder made would have another name than the ID.
    Require(id.back() != ' ' && id.back() != '.', "a valid ID does not end in a blank or a dot", id);
    return 0;
}
