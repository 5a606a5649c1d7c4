// The run's log in the temporary folder: turned over at every start that finds it past its size, and bounded within
// one run, whatever the run writes.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "TestFiles.h"
#include "platform/RunLog.h"

namespace {

// This process's temporary folder (TMP and TEMP, which GetTempPathA reads) is a folder of the test's while it lives.
class TempVariables {
public:
    explicit TempVariables(const std::string &folder) : m_tmp(Read("TMP")), m_temp(Read("TEMP"))
    {
        ::SetEnvironmentVariableA("TMP", folder.c_str());
        ::SetEnvironmentVariableA("TEMP", folder.c_str());
    }
    ~TempVariables()
    {
        ::SetEnvironmentVariableA("TMP", m_tmp.c_str());
        ::SetEnvironmentVariableA("TEMP", m_temp.c_str());
    }
    TempVariables(const TempVariables &) = delete;
    TempVariables &operator=(const TempVariables &) = delete;

private:
    static std::string Read(const char *name)
    {
        char value[MAX_PATH + 1] = {};
        ::GetEnvironmentVariableA(name, value, sizeof(value));
        return value;
    }
    std::string m_tmp, m_temp;
};

std::string Lines(const std::string &line, unsigned long bytes)
{
    std::string text;
    while (text.size() < bytes)
        text += line + "\r\n";
    return text;
}

// Each start that finds the log past its size makes it the previous log, replacing the one before: the previous log
// is there from the second turn on, and the log must not grow without bound for it.
TEST(RunLog, TurnedOverAtEveryStartPastItsSize)
{
    TempFolder t;
    TempVariables temp(t.Path());
    const std::string log = t / runlog::kFileName, previous = t / runlog::kPreviousFileName;
    for (const char *run : {"first", "second", "third"}) {
        SCOPED_TRACE(run);
        const std::string earlier = Lines(std::string(run) + " run", runlog::kRotateBytes + 1);
        WriteFile(log, earlier);
        runlog::Start();
        runlog::End();
        const std::string kept = ReadFile(previous);
        EXPECT_TRUE(kept == earlier) << "the previous log: " << kept.size() << " bytes, " << kept.substr(0, 11);
        EXPECT_EQ(ReadFile(log).compare(0, 13, "==== autorun "), 0);
    }
    // Within its size it is appended to.
    const std::string small = Lines("a small run", 1000);
    WriteFile(log, small);
    runlog::Start();
    runlog::End();
    EXPECT_EQ(ReadFile(log).compare(0, small.size(), small), 0);
    EXPECT_EQ(ReadFile(previous).compare(0, 9, "third run"), 0);
}

// A run that writes more debug lines than the bound keeps the first of them and says that the rest was left out;
// the log's own lines (the outcome) are written all the same.
TEST(RunLog, OneRunWritesAtMostItsBound)
{
    TempFolder t;
    TempVariables temp(t.Path());
    const std::string line(998, 'x'); // 1,000 bytes with its CR LF
    runlog::Start();
    for (unsigned long i = 0; i < runlog::kRunBytes / 1000 + 100; ++i)
        runlog::Debug(line + "\n");
    runlog::Note("outcome: the test's");
    runlog::End();

    const std::string text = ReadFile(t / runlog::kFileName);
    const size_t header = text.find("\r\n") + 2;
    const size_t leftOut = text.find("(further debug lines of this run left out");
    ASSERT_NE(leftOut, std::string::npos);
    EXPECT_EQ(leftOut - header, runlog::kRunBytes / 1000 * 1000); // every whole line that fits, no more
    EXPECT_EQ(text.find("left out", leftOut + 50), std::string::npos);
    const std::string end = "\r\noutcome: the test's\r\n";
    EXPECT_EQ(text.compare(text.size() - end.size(), end.size(), end), 0);
}

} // namespace
