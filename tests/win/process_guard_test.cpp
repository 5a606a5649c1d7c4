// The running-program guard against real processes: the test helper stub.exe started under each name.
#include <gtest/gtest.h>

#include <string>

#include "TestFiles.h"
#include "app/MainFrame.h"
#include "platform/Handles.h"

namespace {

// The helpers are built beside the tests: <build>\tools\stub.exe, two levels above this program.
std::string StubPath()
{
    char self[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string path = self;
    for (int level = 0; level < 3; ++level)
        path.resize(path.rfind('\\'));
    return path + "\\tools\\stub.exe";
}

// A stub kept running under `name` until destroyed. Under Wine, Toolhelp spells a process's name as the
// path it was started by; the stub is started by exactly its file's name, which Windows reports as well.
class RunningStub {
public:
    RunningStub(const TempFolder &folder, const std::string &name) : m_exe(folder / name)
    {
        EXPECT_TRUE(::CopyFileA(StubPath().c_str(), m_exe.c_str(), FALSE)) << StubPath();
        WriteFile(m_exe + ".sleep", "");
        STARTUPINFOA si{};
        si.cb = sizeof(si);
        PROCESS_INFORMATION pi{};
        std::string command = "\"" + m_exe + "\"";
        EXPECT_TRUE(::CreateProcessA(m_exe.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                                     &pi));
        m_process.Attach(pi.hProcess);
        KernelHandle thread(pi.hThread);
        // It has started once it has logged its command line.
        for (int i = 0; i < 200 && !Exists(m_exe + ".log"); ++i)
            ::Sleep(25);
    }
    ~RunningStub()
    {
        ::DeleteFileA((m_exe + ".sleep").c_str());
        if (::WaitForSingleObject(m_process.Get(), 10000) != WAIT_OBJECT_0)
            ::TerminateProcess(m_process.Get(), 1);
        ::WaitForSingleObject(m_process.Get(), 5000);
    }

private:
    std::string m_exe;
    KernelHandle m_process;
};

TEST(IsViewerRunning, OnlyTheExactNamesBlock)
{
    const struct {
        const char *name;
        bool blocks;
    } cases[] = {
        {"Tovi2009.exe", true},  {"Scribo.exe", true},   {"tovi2009.exe", false}, {"TOVI2009.EXE", false},
        {"scribo.exe", false},   {"SCRIBO.EXE", false},  {"Tovi2009.exe.exe", false}, {"Tovi2009", false},
    };
    EXPECT_FALSE(IsViewerRunning()); // nothing of the kind runs yet
    for (const auto &c : cases) {
        TempFolder folder;
        RunningStub stub(folder, c.name);
        EXPECT_EQ(IsViewerRunning(), c.blocks) << c.name;
    }
}

} // namespace
