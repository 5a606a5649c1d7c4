// Debug-output listener: receives OutputDebugStringA messages of every process on the same wineserver through the
// shared DBWIN buffer and records them byte-exact. Wine's own debugstr channel cuts lines at about 300 characters and
// escapes bytes, which is why the tests listen this way.
//
// Record format, one per message: "<pid> <length> <length raw bytes>\n".
#include "Handles.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

constexpr char kUsage[] = "usage: dbwin.exe OUTFILE [STOPFILE]\n";
constexpr char kBufferName[] = "DBWIN_BUFFER";
constexpr char kBufferReadyName[] = "DBWIN_BUFFER_READY";
constexpr char kDataReadyName[] = "DBWIN_DATA_READY";
constexpr char kReadySuffix[] = ".ready";
constexpr DWORD kBufferSize = 4096;
// The buffer starts with the sender's pid; the rest holds the text and its terminator.
constexpr DWORD kMaxTextBytes = kBufferSize - sizeof(DWORD);
constexpr DWORD kPollMs = 100;
// A sender takes the buffer (BUFFER_READY, an auto-reset event), writes it and signals DATA_READY. One killed in
// between (the tests cut launchers off) leaves the buffer taken for good, and every later sender then waits 10 s
// per message for it: a run of a few hundred lines took minutes. After this long with no message the buffer is
// offered again; a live sender holds it for microseconds.
constexpr DWORD kReofferAfterMs = 1000;
constexpr int kExitUsage = 2;
constexpr int kExitFailure = 3;

struct StdioCloser {
    void operator()(FILE *file) const { std::fclose(file); }
};
using StdioFile = std::unique_ptr<FILE, StdioCloser>;

class MappedView {
public:
    explicit MappedView(void *view) : m_view(view) {}
    ~MappedView()
    {
        if (m_view)
            ::UnmapViewOfFile(m_view);
    }
    MappedView(const MappedView &) = delete;
    MappedView &operator=(const MappedView &) = delete;
    const char *Bytes() const { return static_cast<const char *>(m_view); }

private:
    void *m_view;
};

bool FileExists(const char *path)
{
    return ::GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

int Fail(const char *what)
{
    std::fprintf(stderr, "dbwin: %s (error %lu)\n", what, ::GetLastError());
    return kExitFailure;
}

// The record must be on disk before the sender is let go: once the last sender has exited, a test may read the file.
void Record(FILE *out, const char *buffer)
{
    DWORD pid = 0;
    std::memcpy(&pid, buffer, sizeof pid);
    const char *text = buffer + sizeof pid;
    const void *terminator = std::memchr(text, '\0', kMaxTextBytes);
    const size_t length =
        terminator ? static_cast<size_t>(static_cast<const char *>(terminator) - text) : kMaxTextBytes;
    std::fprintf(out, "%lu %u ", pid, static_cast<unsigned>(length));
    std::fwrite(text, 1, length, out);
    std::fputc('\n', out);
    std::fflush(out);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2 || argc > 3) {
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
    const char *outPath = argv[1];
    const char *stopPath = argc == 3 ? argv[2] : nullptr;
    const std::string readyPath = std::string(outPath) + kReadySuffix;
    // A marker left by an earlier run would let a test start sending before this listener exists.
    ::DeleteFileA(readyPath.c_str());

    StdioFile out(std::fopen(outPath, "wb"));
    if (!out)
        return Fail("cannot create the output file");

    // Events before the buffer: a sender that finds the buffer must also find both events.
    KernelHandle bufferReady(::CreateEventA(nullptr, FALSE, FALSE, kBufferReadyName));
    KernelHandle dataReady(::CreateEventA(nullptr, FALSE, FALSE, kDataReadyName));
    if (!bufferReady || !dataReady)
        return Fail("cannot create the DBWIN events");
    KernelHandle mapping(
        ::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kBufferSize, kBufferName));
    if (!mapping)
        return Fail("cannot create the DBWIN buffer");
    // Two listeners would split the messages between them and each file would silently miss some.
    if (::GetLastError() == ERROR_ALREADY_EXISTS)
        return Fail("another debug-output listener is running on this wineserver");
    MappedView view(::MapViewOfFile(mapping.Get(), FILE_MAP_READ, 0, 0, kBufferSize));
    if (!view.Bytes())
        return Fail("cannot map the DBWIN buffer");

    ::SetEvent(bufferReady.Get());
    if (!StdioFile(std::fopen(readyPath.c_str(), "wb")))
        return Fail("cannot create the ready marker");

    DWORD quietMs = 0;
    for (;;) {
        const DWORD waited = ::WaitForSingleObject(dataReady.Get(), kPollMs);
        if (waited == WAIT_OBJECT_0) {
            Record(out.get(), view.Bytes());
            ::SetEvent(bufferReady.Get());
            quietMs = 0;
        } else if (waited != WAIT_TIMEOUT) {
            return Fail("waiting for debug output failed");
        } else if ((quietMs += kPollMs) >= kReofferAfterMs) {
            ::SetEvent(bufferReady.Get());
            quietMs = 0;
        }
        if (stopPath && FileExists(stopPath)) {
            // Take what was sent between the last wait and seeing the stop file.
            while (::WaitForSingleObject(dataReady.Get(), 0) == WAIT_OBJECT_0) {
                Record(out.get(), view.Bytes());
                ::SetEvent(bufferReady.Get());
            }
            return 0;
        }
    }
}
