#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

class FileFind;

// What the folder search found of a source file. Both copies below clear the read-only mark that a read-only
// source hands on to its copy; a source found writable gives a writable copy, which is not looked up again. The
// defaults stand for facts not known.
struct SourceFacts {
    DWORD attributes = INVALID_FILE_ATTRIBUTES;
    uint64_t size = 0;
    FILETIME lastWrite{};
};
SourceFacts FoundFacts(const FileFind &finder);

// Copies `source` over `target` without ever destroying a good copy: the data goes into a temporary
// file in the target's folder first and replaces the target only when the whole source was read. On
// failure the target is as it was and no temporary file remains. The target's attributes are reset
// first, so a read-only copy left by an earlier disc is replaced.
bool ReplaceWithCopy(const std::string &source, const std::string &target, const SourceFacts &facts = {});

// Copies `source` to a target that is not there yet, straight under the target's own name: with no old copy to
// protect, the temporary file and the move of ReplaceWithCopy buy nothing, and under Wine each call on a name that
// does not exist reads the whole folder. The copy refuses to overwrite, so an old copy that is there after all is
// never touched: the answer is then TargetExists and the caller takes the way for an existing target. A failed copy
// leaves no partial file behind.
//
// `freshFolder`: the caller made the target's folder a moment ago, so no old copy can be in it. A file at the target
// after a failed copy is then this copy's partial one, unless another launcher running beside this one copied the
// same file there complete: the source's size and last-write time (`facts`) tell the two apart. Elsewhere the source
// is held open over the copy instead, so that the copy cannot fail at opening it: a failure then comes after the
// copy made its target, and the target is its own. The hold costs two requests to Wine's server a file.
enum class NewTargetCopy { Copied, Failed, TargetExists };
NewTargetCopy CopyToNewTarget(const std::string &source, const std::string &target, const SourceFacts &facts = {},
                              bool freshFolder = false);

// The names in a folder, read with one search, for telling which targets surely do not exist without a call on each
// of them. A name that is not listed goes to CopyToNewTarget, a listed one the way for an existing target; since
// CopyToNewTarget finds an existing target itself, a name listed wrongly either way only costs time. So the listing
// keeps a hash of each name, not the name: 8 bytes a file, and a name whose hash it shares with another is simply
// taken as listed.
class FolderListing {
public:
    // A folder that cannot be searched lists nothing.
    explicit FolderListing(const std::string &folder);
    FolderListing() = default;
    bool Has(const std::string &name) const;

private:
    std::vector<uint64_t> m_hashes; // sorted
};

// The debug line of every attempted copy.
void ReportCopy(const std::string &source, const std::string &target, bool ok);
