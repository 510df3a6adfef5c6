#include "app/MainApp.h"
#include "app/Settings.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// A sandbox key of the test's own, removed afterwards.
class SettingsKey : public ::testing::Test {
protected:
    HKEY key = nullptr;
    const char* path = "Software\\VardenixTest\\Settings";

    void SetUp() override
    {
        RegDeleteTreeA(HKEY_CURRENT_USER, path);
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
    }
    void TearDown() override
    {
        RegCloseKey(key);
        RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\VardenixTest");
    }

    std::string LastCheck()
    {
        char buffer[kSettingsValueSize];
        return ReadSettingsText(key, kLastCheckValue, buffer) ? buffer : "<missing>";
    }
    void SetRaw(const char* name, DWORD type, const void* data, DWORD size)
    {
        ASSERT_EQ(RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
    }
};

}  // namespace

TEST_F(SettingsKey, LastCheckIsWrittenWhenMissingEmptyZeroOrNotANumber)
{
    EXPECT_TRUE(MainApp::UpdateLastCheck(key, 9));
    EXPECT_EQ(LastCheck(), "9");

    for (const char* stored : {"", "0", "abc", "-"}) {
        WriteSettingsText(key, kLastCheckValue, stored);
        EXPECT_TRUE(MainApp::UpdateLastCheck(key, 17)) << '"' << stored << '"';
        EXPECT_EQ(LastCheck(), "17") << '"' << stored << '"';
    }
}

TEST_F(SettingsKey, LastCheckIsKeptWithinSevenDaysOfTheMonth)
{
    WriteSettingsText(key, kLastCheckValue, "5");
    EXPECT_FALSE(MainApp::UpdateLastCheck(key, 12)) << "5 and the 12th differ by 7";
    EXPECT_EQ(LastCheck(), "5");
    EXPECT_TRUE(MainApp::UpdateLastCheck(key, 13)) << "5 and the 13th differ by 8";
    EXPECT_EQ(LastCheck(), "13");

    WriteSettingsText(key, kLastCheckValue, "28");
    EXPECT_TRUE(MainApp::UpdateLastCheck(key, 3)) << "days of the month, not dates: 25 apart";
    EXPECT_EQ(LastCheck(), "3");

    WriteSettingsText(key, kLastCheckValue, "12abc");
    EXPECT_FALSE(MainApp::UpdateLastCheck(key, 10)) << "leading digits count";
}

TEST_F(SettingsKey, TheWrittenDayIsTextWithItsTerminator)
{
    MainApp::UpdateLastCheck(key, 23);
    DWORD type = 0;
    BYTE data[16] = {};
    DWORD size = sizeof data;
    ASSERT_EQ(RegQueryValueExA(key, kLastCheckValue, nullptr, &type, data, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, 3u);
    EXPECT_STREQ(reinterpret_cast<char*>(data), "23");
}

TEST_F(SettingsKey, AValueTooLongForItsBufferCountsAsMissing)
{
    const std::string longText(120, '7');
    WriteSettingsText(key, kLastCheckValue, longText.c_str());
    EXPECT_EQ(LastCheck(), "<missing>");
    EXPECT_TRUE(MainApp::UpdateLastCheck(key, 4));
    EXPECT_EQ(LastCheck(), "4");

    // 99 characters and the terminator fill the buffer exactly and still fit.
    const std::string fits(99, '1');
    WriteSettingsText(key, kAutorunValue, fits.c_str());
    char buffer[kSettingsValueSize];
    EXPECT_TRUE(ReadSettingsText(key, kAutorunValue, buffer));
    // 100 bytes without a terminator do not.
    SetRaw(kAutorunValue, REG_BINARY, std::string(100, 'x').data(), 100);
    EXPECT_FALSE(ReadSettingsText(key, kAutorunValue, buffer));
}

TEST(ApplicationName, IsTheExecutableNameWithoutFolderAndExtension)
{
    EXPECT_EQ(ApplicationName(), "app_tests");
}
