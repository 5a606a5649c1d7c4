// verify: a burned disc or an image against the folder it was made from, with xorriso's own checks: the MD5 sums
// the image recorded when it was written (-check_md5_r) and a comparison of each tree with the folder (-compare_r).
#include <CLI/CLI.hpp>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include "ChildProcess.h"
#include "Command.h"
#include "DiscRules.h"
#include "DiscViews.h"
#include "Interrupt.h"
#include "Progress.h"

namespace {

constexpr char kUpdate[] = "xorriso : UPDATE : ";
constexpr char kMd5Mismatch[] = "MD5 MISMATCH: ";
constexpr char kMd5Match[] = "File contents and their MD5 checksums match.";
constexpr char kMd5None[] = "Not a single file with MD5 checksum was found.";
constexpr char kDiskSide[] = "' (DISK) : ";
constexpr char kImageSide[] = "'  (ISO) : ";
// What the launcher and the user care about of a file; permissions, owners and the times of folders differ by
// design (the image is written readable by all, owned by root).
constexpr char kSize[] = "st_size";
constexpr char kTime[] = "st_mtime";
constexpr char kContent[] = "content";

struct VerifyOptions {
    std::string image, folder;
    bool quiet = false;
};

struct Comparison {
    std::vector<std::string> differences;
    std::vector<std::string> md5Mismatches;
    bool md5Checked = false, md5Missing = false;
};

// One line of -compare_r or -check_md5_r output.
void TakeLine(const std::string &line, const std::string &folder, Comparison &comparison)
{
    if (line.compare(0, sizeof kMd5Mismatch - 1, kMd5Mismatch) == 0) {
        comparison.md5Mismatches.push_back(WindowsPath(UnquotePath(line.substr(sizeof kMd5Mismatch - 1)).substr(1)));
        return;
    }
    if (line == kMd5Match)
        comparison.md5Checked = true;
    if (line.compare(0, sizeof kMd5None - 1, kMd5None) == 0)
        comparison.md5Missing = true;
    if (line.size() < 3 || line[1] != ' ' || line[2] != '\'')
        return;
    const bool disk = line.find(kDiskSide) != std::string::npos;
    const size_t side = disk ? line.find(kDiskSide) : line.find(kImageSide);
    if (side == std::string::npos)
        return;
    std::string path = UnquotePath(line.substr(2, side - 1));
    if (disk)
        path = path.size() > folder.size() ? path.substr(folder.size() + 1) : std::string();
    else
        path = path.substr(1);
    const std::string detail = line.substr(side + (disk ? sizeof kDiskSide : sizeof kImageSide) - 1);
    const std::string shown = path.empty() ? "(the root)" : WindowsPath(path);
    if (detail.find("cannot find this file in ISO image") != std::string::npos) {
        comparison.differences.push_back(shown + ": in the folder, not in the image");
        return;
    }
    if (detail.find("cannot lstat()") != std::string::npos) {
        comparison.differences.push_back(shown + ": in the image, not in the folder");
        return;
    }
    if (line[0] != '-')
        return;
    const size_t colon = detail.find(':');
    const std::string attribute = detail.substr(0, detail.find(' '));
    const std::string values = colon == std::string::npos ? std::string() : detail.substr(colon + 1);
    const size_t apart = values.find("<>");
    const size_t diff = values.find("diff=");
    const auto trim = [](std::string text) {
        text.erase(0, text.find_first_not_of(' '));
        text.erase(text.find_last_not_of(' ') + 1);
        return text;
    };
    if (attribute == kSize && apart != std::string::npos)
        comparison.differences.push_back(shown + ": size " + trim(values.substr(0, apart)) + " in the folder, " +
                                         trim(values.substr(apart + 2, diff - apart - 2)) + " in the image");
    else if (attribute == kTime && diff != std::string::npos)
        comparison.differences.push_back(shown + ": modification times differ by" + values.substr(diff + 5));
    else if (attribute == kContent)
        comparison.differences.push_back(shown + ": contents differ (" + trim(values) + ")");
}

bool Compare(const std::vector<std::string> &command, const std::string &folder, Progress &progress,
             Comparison &comparison, std::string &error, bool &interrupted)
{
    const ChildResult result = RunChild(
        command, [&folder, &comparison](const std::string &line) { TakeLine(line, folder, comparison); },
        [&progress](const std::string &line) {
            if (line.compare(0, sizeof kUpdate - 1, kUpdate) == 0)
                progress.Update("verify: " + line.substr(sizeof kUpdate - 1));
        });
    interrupted = result.end == ChildResult::End::Interrupted;
    // xorriso ends with 32 when its MD5 check found a mismatch; the lines above say which.
    if (result.end == ChildResult::End::Exited && (result.status == 0 || !comparison.md5Mismatches.empty()))
        return true;
    error = DescribeChildFailure(kXorriso, result);
    return false;
}

int RunVerify(const VerifyOptions &options)
{
    std::error_code failed;
    const std::string folder = std::filesystem::canonical(options.folder, failed).string();
    if (failed || !std::filesystem::is_directory(folder)) {
        Complain("cannot read the folder " + options.folder + ": " + (failed ? failed.message() : "not a folder"));
        return kExitFailure;
    }
    if (!IsImagePath(options.image)) {
        Complain(options.image + " is not an image file or a device");
        return kExitFailure;
    }
    Progress progress(options.quiet);
    progress.Update("verify: reading " + options.image, true);
    Comparison rock, joliet;
    std::string error;
    bool interrupted = false;
    // The Rock Ridge tree with the MD5 check, then the Joliet tree, the one Windows reads. With -md5 on the
    // comparison of contents uses the recorded sums, which the first check has tied to the image's data.
    const std::vector<std::string> first = {kXorriso, "-md5", "on", "-indev",     options.image, "-check_md5_r",
                                            "SORRY",  "/",    "--", "-compare_r", folder,        "/"};
    const std::vector<std::string> second = {kXorriso, "-md5",        "on",         "-read_fs", "norock",
                                             "-indev", options.image, "-compare_r", folder,     "/"};
    const bool ok = Compare(first, folder, progress, rock, error, interrupted) &&
                    Compare(second, folder, progress, joliet, error, interrupted);
    progress.Clear();
    if (interrupted)
        return kExitInterrupted;
    if (!ok) {
        Complain(error);
        return kExitFailure;
    }
    std::printf("verify:   %s against %s\n", options.image.c_str(), options.folder.c_str());
    if (rock.md5Missing)
        std::printf("MD5:      the image has no MD5 sums (it was not written by suidtool iso): contents compared "
                    "byte by byte\n");
    else if (rock.md5Mismatches.empty())
        std::printf("MD5:      every file's data matches the sum recorded when the image was written\n");
    else
        std::printf("MD5:      %zu file(s) damaged: their data no longer matches the sum recorded\n",
                    rock.md5Mismatches.size());
    for (const std::string &path : rock.md5Mismatches)
        std::printf("    %s\n", path.c_str());
    const struct {
        const char *name;
        const Comparison &comparison;
    } trees[] = {{"Rock Ridge tree (Linux, macOS)", rock}, {"Joliet tree (what Windows reads)", joliet}};
    for (const auto &tree : trees) {
        std::printf("%s: %s\n", tree.name, tree.comparison.differences.empty() ? "same as the folder" : "differs");
        for (const std::string &difference : tree.comparison.differences)
            std::printf("    %s\n", difference.c_str());
    }
    const bool same = rock.md5Mismatches.empty() && rock.differences.empty() && joliet.differences.empty();
    std::printf("result:   %s\n", same ? "the disc matches the folder" : "the disc DIFFERS from the folder");
    return same ? kExitOk : kExitFailure;
}

} // namespace

void AddVerifyCommand(CLI::App &app, CommandRun &run)
{
    CLI::App *command = app.add_subcommand("verify", "compare a burned disc or an image with its folder");
    command->footer("Checks the MD5 sums the image recorded when it was written, then compares names, sizes, contents "
                    "and modification times of its Joliet and Rock Ridge trees with DIR. Exit 0 when they match, 1 "
                    "when they differ.");
    auto options = std::make_shared<VerifyOptions>();
    command->add_option("IMAGE", options->image, "the image file, or the device of a burned disc (/dev/sr0)")
        ->required();
    command->add_option("DIR", options->folder, "the folder the disc was made from")->required();
    command->add_flag("-q,--quiet", options->quiet, "no progress on a terminal");
    command->callback([&run, options] { run = [options] { return RunVerify(*options); }; });
}
