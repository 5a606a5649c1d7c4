#pragma once
#include <string>

#include "DiscRules.h"

// The facts the rules need, gathered from where a disc is: a folder, or an ISO image (a file, or a burned disc's
// device) read through xorriso. An image is seen through its Joliet tree, as Windows sees it.

constexpr char kXorriso[] = "xorriso";

// A path as xorriso prints it, quoted as a shell would ('it'"'"'s' for it's); "" when the quotes do not close.
std::string UnquotePath(const std::string &quoted);

// True when `path` is an image (a file or a block device) rather than a folder.
bool IsImagePath(const std::string &path);

bool FolderView(const std::string &root, DiscView &view, std::string &error);

// `work` is a private folder that holds files read from the image while the view is used.
bool ImageView(const std::string &image, const std::string &work, DiscView &view, std::string &error);

// A private folder under $TMPDIR (or /tmp), removed with everything in it when this goes.
class TempFolder {
public:
    TempFolder() = default;
    ~TempFolder();
    TempFolder(const TempFolder &) = delete;
    TempFolder &operator=(const TempFolder &) = delete;
    bool Create(std::string &error);
    const std::string &Path() const { return m_path; }

private:
    std::string m_path;
};
