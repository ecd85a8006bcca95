#include "support/BuiltDll.h"
#include <gtest/gtest.h>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr WORD English = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

class DialogResourcesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        module = LoadLibraryExA(BuiltDllPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(module, nullptr);
    }
    void TearDown() override { FreeLibrary(module); }

    std::vector<BYTE> Resource(LPCSTR type, LPCSTR name)
    {
        HRSRC found = FindResourceExA(module, type, name, English);
        if (!found)
            return {};
        const BYTE* data = static_cast<const BYTE*>(LockResource(LoadResource(module, found)));
        return std::vector<BYTE>(data, data + SizeofResource(module, found));
    }
    HMODULE module = nullptr;
};

// Reads a dialog template the way the dialog manager does.
class TemplateReader {
public:
    explicit TemplateReader(const std::vector<BYTE>& bytes) : data(bytes) {}
    WORD Word() { WORD w; std::memcpy(&w, &data[at], 2); at += 2; return w; }
    DWORD Dword() { DWORD d; std::memcpy(&d, &data[at], 4); at += 4; return d; }
    short Short() { return static_cast<short>(Word()); }
    // A name or ordinal: 0xFFFF then an ordinal, or a zero-ended UTF-16 string.
    std::string Text()
    {
        std::string text;
        WORD first = Word();
        if (first == 0xFFFF)
            return "#" + std::to_string(Word());
        for (WORD c = first; c; c = Word())
            text += static_cast<char>(c);
        return text;
    }
    void AlignDword() { at = (at + 3) & ~size_t(3); }

private:
    const std::vector<BYTE>& data;
    size_t at = 0;
};

struct Item {
    DWORD style;
    short x, y, cx, cy;
    WORD id;
    std::string className, text;
};

TEST_F(DialogResourcesTest, QualityDialogTemplateIsExact)
{
    const std::vector<BYTE> bytes = Resource(RT_DIALOG, MAKEINTRESOURCEA(104));
    ASSERT_FALSE(bytes.empty());
    TemplateReader t(bytes);
    EXPECT_EQ(t.Dword(), 0x80C800C0u);
    EXPECT_EQ(t.Dword(), 0u) << "extended style";
    const WORD count = t.Word();
    ASSERT_EQ(count, 6);
    EXPECT_EQ(t.Short(), 0);
    EXPECT_EQ(t.Short(), 0);
    EXPECT_EQ(t.Short(), 223);
    EXPECT_EQ(t.Short(), 172);
    EXPECT_EQ(t.Text(), "") << "menu";
    EXPECT_EQ(t.Text(), "") << "class";
    EXPECT_EQ(t.Text(), "VireoPlugin Properties");
    EXPECT_EQ(t.Word(), 8);
    EXPECT_EQ(t.Text(), "MS Shell Dlg");

    const Item expected[] = {
        {0x50010001, 160, 134, 50, 14, 1, "#128", "OK"},
        {0x50010000, 100, 135, 50, 14, 2, "#128", "Cancel"},
        {0x50020001, 52, 13, 121, 32, 1001, "#130", "%s \r%s\r"},
        {0x50000007, 20, 62, 110, 52, 0xFFFF, "#128", "Playback Quality"},
        {0x50000009, 30, 76, 46, 10, 1002, "#128", "RealTime"},
        {0x50000009, 30, 91, 55, 10, 1003, "#128", "Every Frame"},
    };
    for (const Item& e : expected) {
        t.AlignDword();
        EXPECT_EQ(t.Dword(), e.style) << e.text;
        EXPECT_EQ(t.Dword(), 0u) << e.text;
        EXPECT_EQ(t.Short(), e.x) << e.text;
        EXPECT_EQ(t.Short(), e.y) << e.text;
        EXPECT_EQ(t.Short(), e.cx) << e.text;
        EXPECT_EQ(t.Short(), e.cy) << e.text;
        EXPECT_EQ(t.Word(), e.id) << e.text;
        const std::string className = t.Text();
        EXPECT_TRUE(className == e.className || className == (e.className == "#128" ? "Button" : "Static"))
            << className;
        const std::string text = t.Text();
        if (e.id == 1001) {
            EXPECT_EQ(text.rfind(e.text, 0), 0u) << text;
            EXPECT_EQ(std::count(text.begin(), text.end(), '\r'), 3) << "four lines";
            EXPECT_EQ(text.find('\n'), std::string::npos);
        } else {
            EXPECT_EQ(text, e.text);
        }
        EXPECT_EQ(t.Word(), 0) << "creation data";
    }
}

TEST_F(DialogResourcesTest, LogoIsAThirtyTwoSquareEightBitBitmap)
{
    const std::vector<BYTE> bytes = Resource(RT_BITMAP, "IDB_TSLBMP");
    ASSERT_EQ(bytes.size(), 2088u);
    BITMAPINFOHEADER header;
    std::memcpy(&header, bytes.data(), sizeof header);
    EXPECT_EQ(header.biSize, 40u);
    EXPECT_EQ(header.biWidth, 32);
    EXPECT_EQ(header.biHeight, 32) << "bottom-up";
    EXPECT_EQ(header.biPlanes, 1);
    EXPECT_EQ(header.biBitCount, 8);
    EXPECT_EQ(header.biCompression, DWORD(BI_RGB));
    EXPECT_EQ(header.biSizeImage, 1024u);
    EXPECT_EQ(header.biClrUsed, 0u);
    RGBQUAD white;
    std::memcpy(&white, bytes.data() + 40 + 255 * 4, 4);
    EXPECT_EQ(white.rgbRed & white.rgbGreen & white.rgbBlue, 255);
}

TEST_F(DialogResourcesTest, StringsAndVersion)
{
    char text[64] = {};
    EXPECT_GT(LoadStringA(module, 102, text, sizeof text), 0);
    EXPECT_STREQ(text, "Vireo Plugin");
    EXPECT_GT(LoadStringA(module, 103, text, sizeof text), 0);
    EXPECT_STREQ(text, "Description of Vireo Plugin.");

    const std::string path = BuiltDllPath();
    std::vector<BYTE> version(GetFileVersionInfoSizeA(path.c_str(), nullptr));
    ASSERT_FALSE(version.empty());
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, static_cast<DWORD>(version.size()), version.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(version.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000009u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x00000009u);
    EXPECT_EQ(fixed->dwFileFlagsMask, 0x3Fu);
    EXPECT_EQ(fixed->dwFileFlags, 0u);
    EXPECT_EQ(fixed->dwFileOS, DWORD(VOS_NT_WINDOWS32));
    EXPECT_EQ(fixed->dwFileType, DWORD(VFT_DLL));

    const std::pair<const char*, const char*> strings[] = {
        {"CompanyName", "Tessaline"},
        {"FileDescription", "Vireo Decoder Filter Plugin"},
        {"FileVersion", "1, 0, 0, 9"},
        {"InternalName", "Vireo Decoder Filter Plugin"},
        {"OriginalFilename", "Vireo Decoder Filter Plugin"},
        {"ProductName", "TSL Vireo Decoder Filter Plugin"},
        {"ProductVersion", "1, 0, 0, 9"},
    };
    for (const auto& [key, value] : strings) {
        char* found = nullptr;
        const std::string query = std::string("\\StringFileInfo\\040904B0\\") + key;
        ASSERT_TRUE(VerQueryValueA(version.data(), query.c_str(), reinterpret_cast<void**>(&found), &length)) << key;
        EXPECT_STREQ(found, value);
    }
    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueA(version.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length));
    EXPECT_EQ(translation[0], 0x0409);
    EXPECT_EQ(translation[1], 0x04B0);
}

} // namespace
