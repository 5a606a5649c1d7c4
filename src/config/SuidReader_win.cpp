// Reading the disc's SUID.ini with the platform's profile reader, plain or through a descrambled
// temporary copy in the user's profile folder.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "app/MainFrame.h"
#include "config/IniReader.h"
#include "config/Scramble.h"
#include "config/SuidValues.h"
#include "platform/Handles.h"
#include "platform/NamedLock.h"
#include "platform/Paths.h"

namespace {

constexpr char kErrorOpen[] = "ERROR: Could not open: %s\n";
constexpr char kDone[] = "done!\n";
constexpr char kProfileFailed[] = "Fail";
constexpr DWORD kEnvBuffer = 1024;
constexpr DWORD kTempLockTimeoutMs = 30000;

// The launcher is a GUI program; its two console lines must still reach whoever started it, at once.
void PrintLine(const char *format, const char *argument)
{
    std::printf(format, argument);
    std::fflush(stdout);
}

// One profile read with the value rules the disc format relies on: default "", a 260-byte buffer.
// The platform's reader takes no path of MAX_PATH characters or more (a disc in a deep folder); such a
// file is read with our own reader, which gives the same values (the Wine-side tests compare the two).
class ProfileValues {
public:
    explicit ProfileValues(const std::string &path) : m_path(path)
    {
        std::memset(m_buffer, 0, sizeof(m_buffer));
        if (path.size() >= MAX_PATH) {
            std::string bytes;
            ReadWholeFile(path, bytes);
            m_own = IniFile::Parse(bytes);
            m_useOwn = true;
        }
    }
    std::string operator()(const char *section, const char *key)
    {
        if (m_useOwn)
            return m_own.Get(section, key);
        ::GetPrivateProfileStringA(section, key, "", m_buffer, sizeof(m_buffer), m_path.c_str());
        return m_buffer;
    }

private:
    static void ReadWholeFile(const std::string &path, std::string &bytes)
    {
        // The ANSI file functions refuse paths past MAX_PATH; the wide ones take them in the long-path form.
        const int length = ::MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0);
        if (length <= 0)
            return;
        std::wstring wide(static_cast<size_t>(length), L'\0');
        ::MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, &wide[0], length);
        wide.resize(static_cast<size_t>(length - 1));
        if (wide.size() > 2 && wide[1] == L':')
            wide.insert(0, L"\\\\?\\");
        FileHandle file(::CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file)
            return;
        char chunk[65536];
        DWORD read = 0;
        while (::ReadFile(file.Get(), chunk, sizeof(chunk), &read, nullptr) && read > 0)
            bytes.append(chunk, read);
    }

    std::string m_path;
    char m_buffer[suid::kValueBuffer];
    IniFile m_own;
    bool m_useOwn = false;
};

} // namespace

void CMainFrame::ReadSuidInfo() { ReadSuidInfoFrom(JoinPath(GetLauncherFolder(), suid::kFileName), m_suid); }

void CMainFrame::ReadSuidInfoFrom(const std::string &iniPath, SuidInfo &info)
{
    ProfileValues profile(iniPath);
    if (profile(suid::kSecUp, suid::kKeyUp) != suid::kPlainMark) {
        DescrambleSuidFile(iniPath.c_str(), static_cast<int>(kSuidSeed), &info);
        return;
    }
    ReadSuidValues(info, ProfileValues(iniPath), true);
}

std::string CMainFrame::GetUserProfileDir()
{
    std::vector<char> buffer(kEnvBuffer, '\0');
    const DWORD length = ::GetEnvironmentVariableA("USERPROFILE", buffer.data(), kEnvBuffer);
    // A value that does not fit is reported by its needed size, not stored: it is as good as unset.
    if (length == 0 || length >= kEnvBuffer)
        return kProfileFailed;
    return std::string(buffer.data(), length);
}

void CMainFrame::DescrambleSuidFile(const char *lpszIniPath, int nSeed, SuidInfo *pSuid)
{
    MsRand rng(static_cast<uint32_t>(nSeed));
    const std::string profile = GetUserProfileDir();
    const std::string tempPath = profile == kProfileFailed ? std::string("C:\\") + suid::kTempName
                                                           : JoinPath(profile, suid::kTempName);

    FILE *in = std::fopen(lpszIniPath, "rb");
    if (!in) {
        PrintLine(kErrorOpen, lpszIniPath);
        PrintLine(kDone, "");
        return;
    }
    // Two launchers started at once for the same user share this temporary path; they take turns
    // from writing the copy to deleting it, so neither reads the other's half-written file.
    NamedLock turn(tempPath, kTempLockTimeoutMs);
    FILE *out = std::fopen(tempPath.c_str(), "wb");
    if (!out) {
        PrintLine(kErrorOpen, tempPath.c_str());
        std::fclose(in);
        PrintLine(kDone, "");
        return;
    }
    for (;;) {
        uint8_t group[4];
        size_t count = 0;
        int c;
        while (count < 4 && (c = std::fgetc(in)) != EOF)
            group[count++] = static_cast<uint8_t>(c);
        if (count == 0)
            break;
        DescrambleGroup(group, count, rng);
        for (size_t i = 0; i < count; ++i)
            std::putc(group[i], out);
        if (count < 4)
            break;
    }
    // A read that fails part-way (a scratched disc) looks like the end of the file to fgetc: the values read so far
    // would be cut short, an ID cut short names another patient's folder. Such a file is as good as unreadable.
    const bool readError = std::ferror(in) != 0;
    std::fclose(in);
    std::fclose(out);
    if (readError) {
        std::remove(tempPath.c_str());
        PrintLine(kErrorOpen, lpszIniPath);
        PrintLine(kDone, "");
        return;
    }

    ReadSuidValues(*pSuid, ProfileValues(tempPath), false);
    std::remove(tempPath.c_str());
    PrintLine(kDone, "");
}
