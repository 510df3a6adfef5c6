#include "framework/MessageBox.h"
#include "framework/Text.h"
#include "framework/Worker.h"
#include "support/MessageRecorder.h"
#include "support/TestDrive.h"

#include "TestResources.h"

#include <gtest/gtest.h>

TEST(ShowMessage, HookAnswersAndRecordsTheCall)
{
    MessageRecorder recorder(IDCANCEL);
    const HWND owner = GetDesktopWindow();
    EXPECT_EQ(ShowMessage(owner, L"Удаление: E:\\AUTORUN.INF?", MB_OKCANCEL), IDCANCEL);
    EXPECT_EQ(ShowMessage(nullptr, IDS_TEST_QUESTION, MB_OKCANCEL | MB_ICONQUESTION), IDCANCEL);
    recorder.SetAnswer(IDOK);
    EXPECT_EQ(ShowMessage(nullptr, IDS_TEST_LABEL), IDOK);

    const auto calls = recorder.Calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].owner, owner);
    EXPECT_EQ(calls[0].text, L"Удаление: E:\\AUTORUN.INF?");
    EXPECT_EQ(calls[0].caption, L"Vardenix");
    EXPECT_EQ(calls[0].type, UINT(MB_OKCANCEL));
    EXPECT_EQ(calls[1].text, L"Вы хотите удалить Все?");
    EXPECT_EQ(calls[1].type, UINT(MB_OKCANCEL | MB_ICONQUESTION));
    EXPECT_EQ(calls[2].text, L"Угроз не обнаружено");
    EXPECT_EQ(calls[2].type, UINT(MB_OK));
}

TEST(ShowMessage, WorkersShowMessagesToo)
{
    MessageRecorder recorder;
    recorder.SetAnswer([](const MessageBoxCall& call) { return call.text == L"нет" ? IDCANCEL : IDOK; });
    const int workers = 4, each = 25;
    for (int w = 0; w < workers; ++w)
        ASSERT_TRUE(StartWorker([each] {
            for (int i = 0; i < each; ++i)
                ShowMessage(nullptr, i % 2 ? L"нет" : L"да", MB_OKCANCEL);
        }));
    EXPECT_TRUE(WaitFor([&] { return recorder.Count() == workers * each; }));
    EXPECT_EQ(ShowMessage(nullptr, L"нет", MB_OKCANCEL), IDCANCEL);
}

TEST(Text, LoadsRussianStringsAndConvertsAnsiPaths)
{
    EXPECT_EQ(LoadText(IDS_TEST_QUESTION), L"Вы хотите удалить Все?");
    EXPECT_EQ(LoadText(4321), L"");

    // The test session runs with the Russian ANSI code page.
    ASSERT_EQ(GetACP(), 1251u);
    const std::string ansi = Narrow(L"E:\\Угроза.exe");
    EXPECT_EQ(ansi, "E:\\\xD3\xE3\xF0\xEE\xE7\xE0.exe");
    EXPECT_EQ(Widen(ansi), L"E:\\Угроза.exe");
    EXPECT_EQ(Narrow(L"Ж", CP_UTF8), "\xD0\x96");
    EXPECT_EQ(Widen("\xD0\x96", CP_UTF8), L"Ж");
    EXPECT_EQ(Widen(""), L"");
}
