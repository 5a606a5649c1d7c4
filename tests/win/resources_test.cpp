// The shell's resources, loaded the way the program and the platform load them.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

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

} // namespace
