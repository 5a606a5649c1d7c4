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
#include "transfer/TargetFacts_win.h"
#include "ui/CopyProgressDlg.h"

std::string g_strCopySource;
std::string g_strCopyDest;

namespace {

uint64_t ToUint64(const FILETIME &t)
{
    return (uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

} // namespace

// The facts of a file whose target exists. The target is opened to learn whether it opens, its size and, for a
// file whose size matches, its times, and closed before anything else happens to it. The times are read from the
// open file instead of by a second lookup of its name (GetFileTimeOf): the same file, the same times. The source's
// size and times are those the folder search reported: it reads them where GetFileAttributesExA would, and the
// source is a disc that nobody writes while it is copied. Which time decides is ShouldCopy's choice.
CopyFacts ExistingTargetFacts(const FileFind &source, const std::string &target, FileTimesFunction getTimes)
{
    CopyFacts facts;
    facts.sourcePath = source.GetFilePath();
    facts.sourceSize = source.GetLength();
    FileHandle file(::CreateFileA(target.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size;
    facts.targetReadable = file.IsValid() && ::GetFileSizeEx(file.Get(), &size);
    if (!facts.targetReadable)
        return facts;
    facts.targetSize = static_cast<uint64_t>(size.QuadPart);
    if (facts.sourceSize == facts.targetSize && !IsProjectFile(facts.sourcePath)) {
        FILETIME created, written;
        facts.timesKnown = getTimes(file.Get(), &created, nullptr, &written) != FALSE;
        facts.sourceTimes = {ToUint64(source.GetCreationTime()), ToUint64(source.GetLastWriteTime())};
        facts.targetTimes = {ToUint64(created), ToUint64(written)};
    }
    return facts;
}

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
    // The copy meets the same break, and tells it; this count is then short of the disc's files.
    benchlog::Mark("count_end");
    benchlog::Value("files", count);
    return count;
}

CopyOutcome CopyPatientFolder(const std::string &source, const std::string &destination,
                              const std::function<void()> &fileHandled, int listed)
{
    // A folder made just now holds nothing yet: no target to look up, no leftover of a run that was cut off.
    const bool created = ::CreateDirectoryA(destination.c_str(), nullptr) != FALSE;
    const FolderListing existing = created ? FolderListing() : FolderListing(destination);
    ClearStagingOfEndedRuns(destination, existing);
    Delivery delivery(destination);
    CopyOutcome outcome;
    int handled = 0;
    const auto tell = [&](const std::string &path, const std::string &target, bool copied) {
        if (!copied) {
            ++outcome.failed;
            outcome.causes.Note(CauseOfError(::GetLastError()), destination);
        }
        ReportCopy(path, target, copied);
    };
    FileFind finder;
    bool more = finder.FindFile(source + "\\*.*");
    while (more) {
        more = finder.FindNextFile();
        // The name as the search gives it. Cut from the path at its last backslash byte, a name in a double-byte
        // code page would be cut inside a character whose second byte is that byte, and two names would become one.
        const std::string name = finder.GetFileName();
        const std::string path = finder.GetFilePath();
        const std::string target = JoinPath(destination, name);
        if (finder.IsDirectory()) {
            if (!finder.IsDots())
                ::CreateDirectoryA(target.c_str(), nullptr);
            continue;
        }
        // A name not listed is delivered straight away; one that exists after all is decided on like a listed one.
        const SourceFacts facts = FoundFacts(finder);
        const Delivered fresh =
            existing.Has(name) ? Delivered::TargetExists : delivery.Deliver(path, target, facts, TargetKnown::New);
        if (fresh != Delivered::TargetExists)
            tell(path, target, fresh == Delivered::Copied);
        else if (ShouldCopy(ExistingTargetFacts(finder, target)))
            tell(path, target, delivery.Deliver(path, target, facts, TargetKnown::Existing) == Delivered::Copied);
        ++handled;
        fileHandled();
    }
    // A disc taken out, or a bad sector in the folder's list: what the listing did not reach was not copied either,
    // and must not pass for a folder that ended there.
    if (finder.Broken()) {
        ReportBrokenListing(source, finder.Error());
        outcome.failed += listed - handled > 1 ? listed - handled : 1;
        outcome.causes.Note(FailureCause::SourceUnreadable, destination);
    }
    return outcome;
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
    const CopyOutcome outcome = CopyPatientFolder(
        source, destination,
        [frame, dialog, &sends] {
            benchlog::Lap lap(sends);
            ::SendMessageA(dialog, WM_COPY_PROGRESS, static_cast<WPARAM>(frame->m_nCopiedFiles),
                           static_cast<LPARAM>(frame->m_nTotalFiles));
            ++frame->m_nCopiedFiles;
        },
        frame->m_nTotalFiles);
    frame->m_nPatientFailures = outcome.failed;
    frame->m_failureCauses.Add(outcome.causes);
    benchlog::Mark("worker_done");
    sends.Write("progress_ms", "progress_count");
    ::SendMessageA(frameWindow, WM_COPY_FINISHED, 0, 0);
    ::SendMessageA(frameWindow, WM_LAUNCH_VIEWER, 0, 0);
    return 0;
}
