#include "app/Settings.h"
#include "support/MessageRecorder.h"
#include "support/RegistryValues.h"
#include "usb/AutorunSwitch.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class AutorunQuestion : public ::testing::Test {
protected:
    HKEY settings = nullptr;

    void SetUp() override
    {
        RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\VardenixTest");
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\VardenixTest", 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &settings, nullptr),
                  ERROR_SUCCESS);
        // A normal machine has the policy key; a fresh prefix does not.
        HKEY policy = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kExplorerPolicyKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &policy, nullptr),
                  ERROR_SUCCESS);
        RegDeleteValueA(policy, kNoDriveTypeAutoRunValue);
        RegCloseKey(policy);
    }
    void TearDown() override
    {
        RegCloseKey(settings);
        RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\VardenixTest");
        RegDeleteKeyA(HKEY_CURRENT_USER, kExplorerPolicyKey);
    }

    std::string Autorun()
    {
        char buffer[kSettingsValueSize];
        return ReadSettingsText(settings, kAutorunValue, buffer) ? buffer : "<missing>";
    }
};

const wchar_t kQuestion[] = L"Автозапуск для USB дисков потенциально опасен.\r\nЗапретить Автозапуск для USB устройств?";

}  // namespace

TEST_F(AutorunQuestion, OkSwitchesAutorunOffAndIsAskedOnce)
{
    MessageRecorder messages(IDOK);
    AskStartupAutorunQuestion(settings);
    ASSERT_EQ(messages.Count(), 1u);
    EXPECT_EQ(messages.Calls()[0].text, kQuestion);
    EXPECT_EQ(messages.Calls()[0].type & MB_TYPEMASK, static_cast<UINT>(MB_OKCANCEL));
    EXPECT_EQ(AutorunPolicy(), 0x9Fu);
    EXPECT_EQ(Autorun(), "1");

    AskStartupAutorunQuestion(settings);
    EXPECT_EQ(messages.Count(), 1u) << "asked once per settings key";
}

TEST_F(AutorunQuestion, CancelLeavesAutorunAloneButIsRecordedToo)
{
    MessageRecorder messages(IDCANCEL);
    AskStartupAutorunQuestion(settings);
    EXPECT_EQ(messages.Count(), 1u);
    EXPECT_EQ(AutorunPolicy(), 0xFFFFFFFFu) << "no policy written";
    EXPECT_EQ(Autorun(), "1");
    AskStartupAutorunQuestion(settings);
    EXPECT_EQ(messages.Count(), 1u);
}

TEST_F(AutorunQuestion, AnyRecordedAnswerSkipsTheQuestion)
{
    WriteSettingsText(settings, kAutorunValue, "whatever");
    MessageRecorder messages(IDOK);
    AskStartupAutorunQuestion(settings);
    EXPECT_EQ(messages.Count(), 0u);
}

TEST_F(AutorunQuestion, AMissingPolicyKeyIsReportedAndNotCreated)
{
    RegDeleteKeyA(HKEY_CURRENT_USER, kExplorerPolicyKey);
    MessageRecorder messages(IDOK);
    DisableDriveAutorun();
    ASSERT_EQ(messages.Count(), 1u);
    EXPECT_EQ(messages.Calls()[0].text,
              L"Tollmark failed in accessing the registry.\r\n"
              L"Please check if the current user has right to access the registry.");
    HKEY key = nullptr;
    EXPECT_NE(RegOpenKeyExA(HKEY_CURRENT_USER, kExplorerPolicyKey, 0, KEY_READ, &key), ERROR_SUCCESS);
}
