#include "settings/RegistrySettings.h"
#include "support/ImportSlot.h"
#include "support/ResourceCounts.h"
#include "support/ScopedValue.h"
#include "support/SettingsKey.h"
#include <gtest/gtest.h>
#include <cstring>
#include <string>

namespace {

constexpr char TestRoot[] = "Software\\VireoTests";
constexpr char KeyPath[] = "Software\\VireoTests\\Deeper\\Settings";
constexpr char Name[] = "REALTIME";

class RegistrySettingsTest : public ::testing::Test {
protected:
    void SetUp() override { RegDeleteTreeA(HKEY_CURRENT_USER, TestRoot); }
    void TearDown() override { RegDeleteTreeA(HKEY_CURRENT_USER, TestRoot); }

    DWORD ReadWithDefault(DWORD fallback = 1) { return ReadDwordSetting(HKEY_CURRENT_USER, KeyPath, Name, fallback); }
    void StoreRaw(DWORD type, const void* data, DWORD size) { WriteRaw(HKEY_CURRENT_USER, KeyPath, Name, type, data, size); }
};

TEST_F(RegistrySettingsTest, DwordValuesReadAsStoredAndMissingOnesAsTheDefault)
{
    EXPECT_EQ(ReadWithDefault(1), 1u);
    EXPECT_EQ(ReadWithDefault(0xABCD), 0xABCDu);
    WriteDword(HKEY_CURRENT_USER, KeyPath, "OTHER", 0);
    EXPECT_EQ(ReadWithDefault(1), 1u);
    WriteDword(HKEY_CURRENT_USER, KeyPath, Name, 0);
    EXPECT_EQ(ReadWithDefault(), 0u);
    WriteDword(HKEY_CURRENT_USER, KeyPath, Name, 7);
    EXPECT_EQ(ReadWithDefault(), 7u);
}

// Windows does not promise what a failed read leaves in the buffer (Wine leaves it untouched), so
// this read fills it with zeros when it fails.
LONG WINAPI ScribblingQueryValue(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size)
{
    static const auto platform = reinterpret_cast<decltype(&RegQueryValueExA)>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("advapi32.dll"), "RegQueryValueExA")));
    const DWORD room = size ? *size : 0;
    const LONG result = platform(key, name, reserved, type, data, size);
    if (result != ERROR_SUCCESS && data)
        std::memset(data, 0, room);
    return result;
}

TEST_F(RegistrySettingsTest, DataOfOtherSizesFollowsTheByteRule)
{
    DWORD* const query = ImportSlot(GetModuleHandleA(nullptr), "RegQueryValueExA");
    ASSERT_NE(query, nullptr);
    ScopedValue<DWORD> scribbling(*query, reinterpret_cast<DWORD>(&ScribblingQueryValue));
    const unsigned long long eight = 0;
    StoreRaw(REG_QWORD, &eight, sizeof eight);
    EXPECT_EQ(ReadWithDefault(), 1u) << "longer than 4 bytes reads as the default";

    const BYTE zero = 0x00, five = 0x05;
    StoreRaw(REG_BINARY, &zero, 1);
    EXPECT_EQ(ReadWithDefault(), 0u);
    StoreRaw(REG_BINARY, &five, 1);
    EXPECT_EQ(ReadWithDefault(), 5u);
    // Only the low byte is replaced; the default's high bytes stay.
    EXPECT_EQ(ReadWithDefault(0x11223344), 0x11223305u);
    StoreRaw(REG_BINARY, nullptr, 0);
    EXPECT_EQ(ReadWithDefault(), 1u);
}

// A write creates missing keys, with the value's name as their class, and replaces whatever type
// was stored with a REG_DWORD.
TEST_F(RegistrySettingsTest, WriteCreatesMissingKeysAndStoresADword)
{
    ASSERT_TRUE(WriteDwordSetting(HKEY_CURRENT_USER, KeyPath, Name, 1));
    EXPECT_EQ(ReadStored(HKEY_CURRENT_USER, KeyPath, Name).Seen(), StoredDword(1));

    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, KeyPath, 0, KEY_READ, &key), ERROR_SUCCESS);
    char className[64] = {};
    DWORD classLength = sizeof className;
    RegQueryInfoKeyA(key, className, &classLength, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                     nullptr, nullptr, nullptr);
    RegCloseKey(key);
    EXPECT_STREQ(className, Name);

    const BYTE five = 0x05;
    StoreRaw(REG_BINARY, &five, 1);
    ASSERT_TRUE(WriteDwordSetting(HKEY_CURRENT_USER, KeyPath, Name, 0));
    EXPECT_EQ(ReadStored(HKEY_CURRENT_USER, KeyPath, Name).Seen(), StoredDword(0));
}

TEST_F(RegistrySettingsTest, FailedWritesAreReportedAndChangeNothing)
{
    WriteDword(HKEY_CURRENT_USER, KeyPath, Name, 0);

    // A key that can be opened but takes no such value.
    const std::string tooLong(20000, 'N');
    EXPECT_FALSE(WriteDwordSetting(HKEY_CURRENT_USER, KeyPath, tooLong.c_str(), 1));

    // A root that is no longer open: the key can be neither opened nor created.
    HKEY closed = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, TestRoot, 0, KEY_ALL_ACCESS, &closed), ERROR_SUCCESS);
    RegCloseKey(closed);
    EXPECT_FALSE(WriteDwordSetting(closed, "Deeper\\Settings", Name, 1));

    EXPECT_EQ(ReadStored(HKEY_CURRENT_USER, KeyPath, Name).AsDword(), 0u);
}

TEST_F(RegistrySettingsTest, RootHandleStaysOpenAndNoKeyIsLeftOpen)
{
    HKEY root = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, TestRoot, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &root, nullptr),
              ERROR_SUCCESS);
    const int handles = ResourceCounts::Now().kernelHandles;
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(WriteDwordSetting(root, "Deeper\\Settings", Name, i));
        EXPECT_EQ(ReadDwordSetting(root, "Deeper\\Settings", Name, 9), DWORD(i));
        EXPECT_EQ(ReadDwordSetting(root, "Absent", Name, 9), 9u);
    }
    EXPECT_EQ(ResourceCounts::Now().kernelHandles, handles);
    EXPECT_EQ(RegSetValueExA(root, "probe", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2), ERROR_SUCCESS);
    RegCloseKey(root);
}

} // namespace
