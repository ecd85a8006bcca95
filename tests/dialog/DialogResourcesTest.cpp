#include "support/BuiltDll.h"
#include <gtest/gtest.h>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

namespace {

constexpr WORD English = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

class DialogResourcesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        module = LoadLibraryExW(BuiltDllPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
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
    // Position and size, in dialog units.
    std::tuple<int, int, int, int> Rectangle()
    {
        const short x = Short(), y = Short(), cx = Short(), cy = Short();
        return {x, y, cx, cy};
    }
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
    int x, y, cx, cy;
    WORD id;
    std::string className, text;
};

TEST_F(DialogResourcesTest, QualityDialogTemplateIsExact)
{
    const std::vector<BYTE> bytes = Resource(RT_DIALOG, MAKEINTRESOURCEA(104));
    ASSERT_FALSE(bytes.empty());
    TemplateReader t(bytes);
    // Style, extended style, item count, position and size; menu, class, caption, point size, font.
    // (Braces read their elements in order.)
    ASSERT_EQ((std::tuple<DWORD, DWORD, WORD>{t.Dword(), t.Dword(), t.Word()}),
              std::make_tuple(0x80C800C0u, 0u, WORD(6)));
    EXPECT_EQ(t.Rectangle(), std::make_tuple(0, 0, 223, 172));
    using Texts = std::tuple<std::string, std::string, std::string>;
    EXPECT_EQ((Texts{t.Text(), t.Text(), t.Text()}), Texts("", "", "VireoPlugin Properties"));
    EXPECT_EQ((std::tuple<WORD, std::string>{t.Word(), t.Text()}), std::make_tuple(WORD(8), "MS Shell Dlg"));

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
        EXPECT_EQ((std::tuple<DWORD, DWORD>{t.Dword(), t.Dword()}), std::make_tuple(e.style, 0u)) << e.text;
        EXPECT_EQ(t.Rectangle(), std::make_tuple(e.x, e.y, e.cx, e.cy)) << e.text;
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
    // Size, width, height (positive: bottom-up), planes, bits, compression, image size, colours used.
    EXPECT_EQ(std::make_tuple(header.biSize, header.biWidth, header.biHeight, header.biPlanes, header.biBitCount,
                              header.biCompression, header.biSizeImage, header.biClrUsed),
              std::make_tuple(40u, 32, 32, WORD(1), WORD(8), DWORD(BI_RGB), 1024u, 0u));
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

    const std::wstring path = BuiltDllPath();
    std::vector<BYTE> version(GetFileVersionInfoSizeW(path.c_str(), nullptr));
    ASSERT_FALSE(version.empty());
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(version.size()), version.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(version.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(std::make_tuple(fixed->dwFileVersionMS, fixed->dwFileVersionLS, fixed->dwProductVersionMS,
                              fixed->dwProductVersionLS),
              std::make_tuple(0x00010000u, 0x00000009u, 0x00010000u, 0x00000009u));
    EXPECT_EQ(std::make_tuple(fixed->dwFileFlagsMask, fixed->dwFileFlags, fixed->dwFileOS, fixed->dwFileType),
              std::make_tuple(0x3Fu, 0u, DWORD(VOS_NT_WINDOWS32), DWORD(VFT_DLL)));

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
    EXPECT_EQ(std::make_tuple(translation[0], translation[1]), std::make_tuple(WORD(0x0409), WORD(0x04B0)));
}

} // namespace
