// The shell's resources, loaded the way the program and the platform load them.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "resource.h"
#include "ui/CopyProgressDlgIds.h"

namespace {

std::string Resource(const char *type, int id)
{
    HRSRC r = ::FindResourceA(nullptr, MAKEINTRESOURCEA(id), type);
    if (!r)
        return std::string();
    const char *data = static_cast<const char *>(::LockResource(::LoadResource(nullptr, r)));
    return std::string(data, ::SizeofResource(nullptr, r));
}

TEST(Resources, ShellPieces)
{
    EXPECT_NE(::LoadMenuA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME)), nullptr);
    EXPECT_NE(::LoadAcceleratorsA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME)), nullptr);
    EXPECT_NE(::LoadIconA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME)), nullptr);
    const std::string toolbar = Resource(MAKEINTRESOURCEA(241), IDR_MAINFRAME);
    ASSERT_GE(toolbar.size(), 8u);
    const WORD *w = reinterpret_cast<const WORD *>(toolbar.data());
    EXPECT_EQ(w[0], 1);  // version
    EXPECT_EQ(w[1], 16); // button width
    EXPECT_EQ(w[2], 15); // height
    EXPECT_EQ(w[3], 11); // eight buttons and three separators
    EXPECT_EQ(w[4 + 10], ID_APP_ABOUT);

    wchar_t text[128] = {};
    ::LoadStringW(::GetModuleHandleA(nullptr), IDR_MAINFRAME, text, 128);
    EXPECT_STREQ(text, L"autorun\n\nAutoru\n\n\nAutorun.Document\nAutoru Document");
}

TEST(Resources, AboutBoxCarriesTheVersionLine)
{
    const std::string dialog = Resource(MAKEINTRESOURCEA(5), IDD_ABOUTBOX);
    ASSERT_FALSE(dialog.empty());
    const std::wstring version = L"autorun \xBC84\xC804 1.0"; // "autorun 버전 1.0"
    const std::string needle(reinterpret_cast<const char *>(version.c_str()), version.size() * sizeof(wchar_t));
    EXPECT_NE(dialog.find(needle), std::string::npos);
    const WORD *w = reinterpret_cast<const WORD *>(dialog.data());
    ASSERT_EQ(w[1], 0xFFFF);
    EXPECT_EQ(w[11], 235); // cx
    EXPECT_EQ(w[12], 55);  // cy
}

TEST(Resources, ManifestAsksAsInvokerAndNoNewCommonControls)
{
    const std::string manifest = Resource(MAKEINTRESOURCEA(24), 1);
    EXPECT_NE(manifest.find("asInvoker"), std::string::npos);
    EXPECT_EQ(manifest.find("Common-Controls"), std::string::npos);
}

TEST(Resources, VersionInformation)
{
    char path[MAX_PATH];
    ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    DWORD handle = 0;
    const DWORD size = ::GetFileVersionInfoSizeA(path, &handle);
    ASSERT_GT(size, 0u);
    std::string data(size, '\0');
    ASSERT_TRUE(::GetFileVersionInfoA(path, 0, size, &data[0]));
    VS_FIXEDFILEINFO *info = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueA(data.data(), "\\", reinterpret_cast<void **>(&info), &length));
    EXPECT_EQ(HIWORD(info->dwFileVersionMS), 1);
}

TEST(Resources, EightSlidesOfTheRightFormat)
{
    for (int id = IDB_SLIDE_TITLE; id <= IDB_SLIDE_TITLE + 7; ++id) {
        const std::string bmp = Resource(MAKEINTRESOURCEA(2), id);
        ASSERT_GE(bmp.size(), sizeof(BITMAPINFOHEADER)) << id;
        const BITMAPINFOHEADER *h = reinterpret_cast<const BITMAPINFOHEADER *>(bmp.data());
        EXPECT_EQ(h->biWidth, 680) << id;
        EXPECT_EQ(h->biHeight, 420) << id; // positive: bottom-up
        EXPECT_EQ(h->biBitCount, 24) << id;
        EXPECT_EQ(h->biCompression, static_cast<DWORD>(BI_RGB)) << id;
        HBITMAP loaded = ::LoadBitmapA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id));
        EXPECT_NE(loaded, nullptr) << id;
        ::DeleteObject(loaded);
    }
}

// The launchers this build made, read as data (nothing of them runs): the build's own, and for the 64-bit twin the
// shipped 32-bit launcher too, so a host that can run only the twin still checks what ships.
std::vector<std::string> BuiltLaunchers()
{
    std::vector<std::string> paths;
    std::string all = BUILT_LAUNCHERS;
    for (size_t start = 0; start <= all.size();) {
        size_t end = all.find('|', start);
        if (end == std::string::npos)
            end = all.size();
        std::string path = "Z:" + all.substr(start, end - start);
        for (char &c : path)
            if (c == '/')
                c = '\\';
        paths.push_back(path);
        start = end + 1;
    }
    return paths;
}

// The machine field of a file's PE header, 0 when it has none.
WORD MachineOf(const std::string &path)
{
    FILE *f = std::fopen(path.c_str(), "rb");
    if (!f)
        return 0;
    IMAGE_DOS_HEADER dos = {};
    IMAGE_FILE_HEADER file = {};
    DWORD signature = 0;
    const bool read = std::fread(&dos, sizeof dos, 1, f) == 1 && dos.e_magic == IMAGE_DOS_SIGNATURE &&
                      std::fseek(f, dos.e_lfanew, SEEK_SET) == 0 && std::fread(&signature, 4, 1, f) == 1 &&
                      signature == IMAGE_NT_SIGNATURE && std::fread(&file, sizeof file, 1, f) == 1;
    std::fclose(f);
    return read ? file.Machine : 0;
}

std::string ResourceOf(HMODULE module, const char *type, int id)
{
    HRSRC r = ::FindResourceA(module, MAKEINTRESOURCEA(id), type);
    if (!r)
        return std::string();
    const char *data = static_cast<const char *>(::LockResource(::LoadResource(module, r)));
    return data ? std::string(data, ::SizeofResource(module, r)) : std::string();
}

TEST(Resources, EachBuiltLauncherCarriesItsPiecesAndAManifestForItsOwnProcessor)
{
    for (const std::string &path : BuiltLaunchers()) {
        SCOPED_TRACE(path);
        const WORD machine = MachineOf(path);
        ASSERT_TRUE(machine == IMAGE_FILE_MACHINE_I386 || machine == IMAGE_FILE_MACHINE_AMD64) << machine;
        HMODULE module = ::LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(module, nullptr) << ::GetLastError();
        const std::string manifest = ResourceOf(module, MAKEINTRESOURCEA(24), 1);
        const char *architecture = machine == IMAGE_FILE_MACHINE_I386 ? "processorArchitecture=\"x86\""
                                                                       : "processorArchitecture=\"amd64\"";
        EXPECT_NE(manifest.find(architecture), std::string::npos) << manifest;
        EXPECT_NE(manifest.find("asInvoker"), std::string::npos);
        EXPECT_EQ(manifest.find("Common-Controls"), std::string::npos);
        EXPECT_NE(ResourceOf(module, MAKEINTRESOURCEA(5), IDD_COPY_PROGRESS), std::string()); // the progress window
        EXPECT_NE(ResourceOf(module, MAKEINTRESOURCEA(5), IDD_ABOUTBOX), std::string());
        EXPECT_NE(ResourceOf(module, MAKEINTRESOURCEA(14), IDR_MAINFRAME), std::string()); // the icon group
        for (int id = IDB_SLIDE_TITLE; id <= IDB_SLIDE_TITLE + 7; ++id)
            EXPECT_GE(ResourceOf(module, MAKEINTRESOURCEA(2), id).size(), 680u * 420u * 3u) << id;
        ::FreeLibrary(module);

        DWORD handle = 0;
        const DWORD size = ::GetFileVersionInfoSizeA(path.c_str(), &handle);
        ASSERT_GT(size, 0u);
        std::string data(size, '\0');
        ASSERT_TRUE(::GetFileVersionInfoA(path.c_str(), 0, size, &data[0]));
        char *name = nullptr;
        UINT length = 0;
        ASSERT_TRUE(::VerQueryValueA(data.data(), "\\StringFileInfo\\041203b5\\OriginalFilename",
                                     reinterpret_cast<void **>(&name), &length));
        EXPECT_STREQ(name, "autorun.exe");
    }
}

} // namespace
