// The copy worker: the patient folder's files into the installed viewer's patient folder, reported file
// by file to the progress window, then the hand-over to the main frame.
#include "CopyWorker.h"

#include <windows.h>

#include "app/MainFrame.h"
#include "app/Messages.h"
#include "platform/App.h"
#include "platform/FileFind.h"
#include "platform/Handles.h"
#include "platform/Paths.h"
#include "transfer/BenchLog_win.h"
#include "transfer/CopyDecision.h"
#include "transfer/SafeCopy.h"
#include "ui/CopyProgressDlg.h"

std::string g_strCopySource;
std::string g_strCopyDest;

namespace {

uint64_t ToUint64(const FILETIME &t)
{
    return (uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

// The facts of a file whose target exists. The target is opened to learn whether it opens, its size and, for a
// file whose size matches, its last-write time, and closed before anything else happens to it. The time is read
// from the open file instead of by a second lookup of its name (GetFileTimeOf): the same file, the same time. The
// source's size and time are those the folder search reported: it reads them where GetFileAttributesExA would,
// and the source is a disc that nobody writes while it is copied.
CopyFacts ExistingTargetFacts(const FileFind &source, const std::string &target)
{
    CopyFacts facts;
    facts.sourcePath = source.GetFilePath();
    facts.sourceSize = static_cast<uint32_t>(source.GetLength());
    FileHandle file(::CreateFileA(target.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    facts.targetReadable = file.IsValid();
    if (!facts.targetReadable)
        return facts;
    facts.targetSize = ::GetFileSize(file.Get(), nullptr);
    if (facts.sourceSize == facts.targetSize && !IsProjectFile(facts.sourcePath)) {
        FILETIME targetTime;
        facts.timesKnown = ::GetFileTime(file.Get(), nullptr, nullptr, &targetTime) != FALSE;
        if (facts.timesKnown) {
            facts.sourceTime = ToUint64(source.GetLastWriteTime());
            facts.targetTime = ToUint64(targetTime);
        }
    }
    return facts;
}

std::string NameOf(const std::string &path)
{
    const size_t slash = path.rfind('\\');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

bool CMainFrame::GetFileTimeOf(const char *path, FILETIME *time, unsigned char which)
{
    if (!path)
        return false;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExA(path, GetFileExInfoStandard, &data))
        return false;
    switch (which) {
    case 0:
        *time = data.ftCreationTime;
        return true;
    case 1:
        *time = data.ftLastWriteTime;
        return true;
    default:
        return false;
    }
}

int CMainFrame::CountFiles(std::string folder)
{
    benchlog::Mark("count_begin");
    int count = 0;
    FileFind finder;
    bool more = finder.FindFile(folder + "\\*.*");
    while (more) {
        more = finder.FindNextFile();
        if (!finder.IsDirectory())
            ++count;
    }
    benchlog::Mark("count_end");
    benchlog::Value("files", count);
    return count;
}

void CopyPatientFolder(const std::string &source, const std::string &destination,
                       const std::function<void()> &fileHandled)
{
    // A folder made just now holds nothing yet.
    const bool created = ::CreateDirectoryA(destination.c_str(), nullptr) != FALSE;
    const FolderListing existing = created ? FolderListing() : FolderListing(destination);
    FileFind finder;
    bool more = finder.FindFile(source + "\\*.*");
    while (more) {
        more = finder.FindNextFile();
        const std::string path = finder.GetFilePath();
        const std::string name = NameOf(path);
        const std::string target = JoinPath(destination, name);
        if (finder.IsDirectory()) {
            if (!finder.IsDots())
                ::CreateDirectoryA(target.c_str(), nullptr);
            continue;
        }
        // A target that is not there cannot be opened: the file is copied, as the decision would say.
        const SourceFacts facts = FoundFacts(finder);
        const NewTargetCopy fresh =
            existing.Has(name) ? NewTargetCopy::TargetExists : CopyToNewTarget(path, target, facts, created);
        if (fresh != NewTargetCopy::TargetExists)
            ReportCopy(path, target, fresh == NewTargetCopy::Copied);
        else if (ShouldCopy(ExistingTargetFacts(finder, target)))
            ReportCopy(path, target, ReplaceWithCopy(path, target, facts));
        fileHandled();
    }
}

BOOL CMainFrame::StartCopyThread(std::string source, std::string destination)
{
    g_strCopySource = source;
    g_strCopyDest = destination;
    benchlog::Mark("worker_start");
    KernelHandle thread(::CreateThread(nullptr, 0, CopyThreadProc, nullptr, 0, nullptr));
    // Without a worker the progress window would stay forever: the copy then runs here, on the
    // user-interface thread, with the same messages (a send to one's own window is a direct call).
    if (!thread)
        CopyThreadProc(nullptr);
    return TRUE;
}

unsigned long __stdcall CopyThreadProc(void *)
{
    CMainFrame *frame = static_cast<CMainFrame *>(App::Current()->GetMainWindow());
    const std::string source = g_strCopySource;
    const std::string destination = g_strCopyDest;
    HWND dialog = frame->m_pProgressDlg ? frame->m_pProgressDlg->GetSafeHwnd() : nullptr;
    HWND frameWindow = frame->GetSafeHwnd();

    benchlog::Total sends;
    CopyPatientFolder(source, destination, [frame, dialog, &sends] {
        benchlog::Lap lap(sends);
        ::SendMessageA(dialog, WM_COPY_PROGRESS, static_cast<WPARAM>(frame->m_nCopiedFiles),
                       static_cast<LPARAM>(frame->m_nTotalFiles));
        ++frame->m_nCopiedFiles;
    });
    benchlog::Mark("worker_done");
    sends.Write("progress_ms", "progress_count");
    ::SendMessageA(frameWindow, WM_COPY_FINISHED, 0, 0);
    ::SendMessageA(frameWindow, WM_LAUNCH_VIEWER, 0, 0);
    return 0;
}
