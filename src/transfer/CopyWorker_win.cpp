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
#include "transfer/CopyDecision.h"
#include "transfer/SafeCopy.h"
#include "ui/CopyProgressDlg.h"

std::string g_strCopySource;
std::string g_strCopyDest;

namespace {

uint64_t ToUint64(const FILETIME &t) { return (uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime; }

// The target is opened only to learn its size and closed before anything else happens to it.
bool ReadTargetSize(const std::string &target, uint32_t &size)
{
    FileHandle file(::CreateFileA(target.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    size = ::GetFileSize(file.Get(), nullptr);
    return true;
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
    int count = 0;
    FileFind finder;
    bool more = finder.FindFile(folder + "\\*.*");
    while (more) {
        more = finder.FindNextFile();
        if (!finder.IsDirectory())
            ++count;
    }
    return count;
}

void CopyPatientFolder(const std::string &source, const std::string &destination,
                       const std::function<void()> &fileHandled)
{
    ::CreateDirectoryA(destination.c_str(), nullptr);
    FileFind finder;
    bool more = finder.FindFile(source + "\\*.*");
    while (more) {
        more = finder.FindNextFile();
        const std::string path = finder.GetFilePath();
        const std::string target = JoinPath(destination, NameOf(path));
        if (finder.IsDirectory()) {
            if (!finder.IsDots())
                ::CreateDirectoryA(target.c_str(), nullptr);
            continue;
        }
        CopyFacts facts;
        facts.sourcePath = path;
        facts.sourceSize = static_cast<uint32_t>(finder.GetLength());
        facts.targetReadable = ReadTargetSize(target, facts.targetSize);
        if (facts.targetReadable && facts.sourceSize == facts.targetSize && !IsProjectFile(path)) {
            FILETIME sourceTime, targetTime;
            facts.timesKnown = CMainFrame::GetFileTimeOf(path.c_str(), &sourceTime, 1) &&
                               CMainFrame::GetFileTimeOf(target.c_str(), &targetTime, 1);
            if (facts.timesKnown) {
                facts.sourceTime = ToUint64(sourceTime);
                facts.targetTime = ToUint64(targetTime);
            }
        }
        if (ShouldCopy(facts))
            ReportCopy(path, target, ReplaceWithCopy(path, target));
        fileHandled();
    }
}

BOOL CMainFrame::StartCopyThread(std::string source, std::string destination)
{
    g_strCopySource = source;
    g_strCopyDest = destination;
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

    CopyPatientFolder(source, destination, [frame, dialog] {
        ::SendMessageA(dialog, WM_COPY_PROGRESS, static_cast<WPARAM>(frame->m_nCopiedFiles),
                       static_cast<LPARAM>(frame->m_nTotalFiles));
        ++frame->m_nCopiedFiles;
    });
    ::SendMessageA(frameWindow, WM_COPY_FINISHED, 0, 0);
    ::SendMessageA(frameWindow, WM_LAUNCH_VIEWER, 0, 0);
    return 0;
}
