#include "DiscViews.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>

#include "ChildProcess.h"
#include "FileIo.h"

namespace {

// One line of "-find / -exec lsdl": "drwxr-xr-x  1 0  0  SIZE Mon DD HH:MM 'path'", the path quoted as a shell
// would ('it'"'"'s' for it's). Nothing before the path holds a quote.
bool ParseListing(const std::string &line, TreeEntry &entry)
{
    const size_t quote = line.find('\'');
    if (quote == std::string::npos || line.size() < 2)
        return false;
    const std::string path = UnquotePath(line.substr(quote));
    if (path.empty() || path[0] != '/')
        return false;
    // Fields before the path: mode, links, owner, group, size, then the date.
    const std::string fields = line.substr(0, quote);
    size_t at = 0;
    std::string field[5];
    for (std::string &f : field) {
        const size_t start = fields.find_first_not_of(' ', at);
        if (start == std::string::npos)
            return false;
        at = std::min(fields.find(' ', start), fields.size());
        f = fields.substr(start, at - start);
    }
    entry.relative = path.substr(1);
    entry.info = PathInfo();
    entry.info.kind = field[0][0] == 'd'   ? PathInfo::Kind::Folder
                      : field[0][0] == '-' ? PathInfo::Kind::File
                                           : PathInfo::Kind::Other;
    entry.info.size = std::strtoull(field[4].c_str(), nullptr, 10);
    return true;
}

// Windows' order of a listing, as ListFolder gives it for a folder: each level by name without regard to ASCII
// case, a folder before what it holds.
bool ListedBefore(const TreeEntry &a, const TreeEntry &b)
{
    size_t i = 0, j = 0;
    for (;;) {
        const size_t endA = std::min(a.relative.find('/', i), a.relative.size());
        const size_t endB = std::min(b.relative.find('/', j), b.relative.size());
        const std::string partA = a.relative.substr(i, endA - i), partB = b.relative.substr(j, endB - j);
        const std::string foldedA = FoldCase(partA), foldedB = FoldCase(partB);
        if (foldedA != foldedB)
            return foldedA < foldedB;
        if (partA != partB)
            return partA < partB;
        if (endA == a.relative.size() || endB == b.relative.size())
            return endA == a.relative.size() && endB != b.relative.size();
        i = endA + 1;
        j = endB + 1;
    }
}

std::vector<std::string> ImageCommand(const std::string &image)
{
    // norock: the Joliet tree, which is what Windows reads.
    return {kXorriso, "-abort_on", "FAILURE", "-read_fs", "norock", "-indev", image};
}

} // namespace

std::string UnquotePath(const std::string &quoted)
{
    std::string text;
    char open = 0;
    for (char c : quoted) {
        if (open == 0 && (c == '\'' || c == '"'))
            open = c;
        else if (c == open)
            open = 0;
        else
            text += c;
    }
    return open == 0 ? text : std::string();
}

bool IsImagePath(const std::string &path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && (S_ISREG(st.st_mode) || S_ISBLK(st.st_mode));
}

bool FolderView(const std::string &root, DiscView &view, std::string &error)
{
    TreeScan scan;
    if (!ScanTree(root, scan, error))
        return false;
    view.name = root;
    view.entries = std::move(scan.entries);
    view.loops = std::move(scan.loops);
    view.read = [root](const TreeEntry &entry, size_t max, std::string &bytes, std::string &readError) {
        const std::string path = JoinUnixPath(root, entry.relative);
        if (!ReadFileHead(path, max, bytes)) {
            readError = "cannot read " + path + ": " + std::strerror(errno);
            return false;
        }
        return true;
    };
    return true;
}

bool ImageView(const std::string &image, const std::string &work, DiscView &view, std::string &error)
{
    std::vector<std::string> command = ImageCommand(image);
    command.insert(command.end(), {"-find", "/", "-exec", "lsdl", "--"});
    std::vector<TreeEntry> entries;
    size_t unreadable = 0;
    const ChildResult result = RunChild(
        command,
        [&entries, &unreadable](const std::string &line) {
            TreeEntry entry;
            if (!ParseListing(line, entry))
                ++unreadable;
            else if (!entry.relative.empty())
                entries.push_back(entry);
        },
        nullptr);
    if (result.end != ChildResult::End::Exited || result.status != 0) {
        error = DescribeChildFailure(kXorriso, result);
        return false;
    }
    if (unreadable > 0) {
        error = "cannot read " + std::to_string(unreadable) + " line(s) of " + kXorriso + "'s listing of " + image;
        return false;
    }
    std::sort(entries.begin(), entries.end(), ListedBefore);
    view.name = image;
    view.entries = std::move(entries);
    view.loops.clear();
    view.read = [image, work](const TreeEntry &entry, size_t max, std::string &bytes, std::string &readError) {
        const std::string copy = JoinUnixPath(work, std::to_string(std::hash<std::string>()(entry.relative)));
        std::vector<std::string> extract = ImageCommand(image);
        extract.insert(extract.end(), {"-osirrox", "on"});
        if (max == 0)
            extract.insert(extract.end(), {"-extract", "/" + entry.relative, copy});
        else
            extract.insert(extract.end(), {"-extract_cut", "/" + entry.relative, "0", std::to_string(max), copy});
        const ChildResult got = RunChild(extract, nullptr, nullptr);
        if (got.end != ChildResult::End::Exited || got.status != 0) {
            readError = "cannot read " + entry.relative + " from " + image + ": " + DescribeChildFailure(kXorriso, got);
            return false;
        }
        if (!ReadFileHead(copy, 0, bytes)) {
            readError = "cannot read " + copy + ": " + std::strerror(errno);
            return false;
        }
        return true;
    };
    return true;
}

TempFolder::~TempFolder()
{
    if (!m_path.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
}

bool TempFolder::Create(std::string &error)
{
    const char *base = std::getenv("TMPDIR");
    std::string pattern = JoinUnixPath(base && *base ? base : "/tmp", "suidtool-XXXXXX");
    if (!::mkdtemp(pattern.data())) {
        error = "cannot create a temporary folder: " + std::string(std::strerror(errno));
        return false;
    }
    m_path = pattern;
    return true;
}
