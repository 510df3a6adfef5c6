#include "support/TestDrive.h"
#include "usb/ThreatClassifier.h"

#include <gtest/gtest.h>

#include <string>

class ThreatClassifier : public ::testing::Test {
protected:
    TestDrive drive{'E', DRIVE_REMOVABLE};

    // Makes the file on the drive and classifies it by its path there.
    int ClassifyNew(const std::string& name)
    {
        MakeFile(drive / name, "x");
        return ClassifyFile((drive / name).c_str());
    }
};

TEST_F(ThreatClassifier, AutorunInfIsAFileThreatButNotAFolder)
{
    EXPECT_EQ(ClassifyNew("AUTORUN.INF"), kTypeInf);
    ASSERT_TRUE(DeleteFileA((drive / "AUTORUN.INF").c_str()));
    MakeFolder(drive / "AUTORUN.INF", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    EXPECT_EQ(ClassifyFile((drive / "AUTORUN.INF").c_str()), kTypeNone);
}

TEST_F(ThreatClassifier, LetterCaseOfTheExtensionDoesNotMatter)
{
    EXPECT_EQ(ClassifyNew("SETUP.EXE"), kTypeExe);
    EXPECT_EQ(ClassifyNew("a.Exe"), kTypeExe);
    EXPECT_EQ(ClassifyNew("b.exe"), kTypeExe);
    EXPECT_EQ(ClassifyNew("c.VbS"), kTypeVbs);
}

TEST_F(ThreatClassifier, OnlyTheLastExtensionCounts)
{
    EXPECT_EQ(ClassifyNew("x.exe.txt"), kTypeNone);
    EXPECT_EQ(ClassifyNew("x.txt.exe"), kTypeExe);
    // A dot in a folder name is the last dot of a path whose file has none.
    MakeFolder(drive / "a.b");
    EXPECT_EQ(ClassifyNew("a.b\\exe"), kTypeNone);
    MakeFolder(drive / "dir.exe");
    EXPECT_EQ(ClassifyNew("dir.exe\\readme"), kTypeNone);
}

TEST_F(ThreatClassifier, AnExtensionMatchesOnlyAnEntryOfItsOwnLength)
{
    EXPECT_EQ(ClassifyNew("page.html"), kTypeHtml);
    EXPECT_EQ(ClassifyNew("page.htm"), kTypeHtm);
    EXPECT_EQ(ClassifyNew("a.vb"), kTypeVb);
    EXPECT_EQ(ClassifyNew("a.vbs"), kTypeVbs);
    EXPECT_EQ(ClassifyNew("a.exe1"), kTypeNone);
    EXPECT_EQ(ClassifyNew("a.htmlx"), kTypeNone);
    EXPECT_EQ(ClassifyNew("a.averylongextension"), kTypeNone);
    EXPECT_EQ(ClassifyNew("a."), kTypeNone);
    EXPECT_EQ(ClassifyNew("noextension"), kTypeNone);
}

TEST_F(ThreatClassifier, EveryTableEntryHasItsCode)
{
    const char* const extensions[] = {
        "exe", "com", "dll", "html", "bat", "inf", "pif", "reg", "lnk", "scr", "asp", "js", "vbs", "wsf",
        "wsh", "aspx", "htt", "htm", "htx", "jsp", "jse", "ws", "wsc", "vb", "vbe", "cmd", "hta",
    };
    int code = 0;
    for (const char* extension : extensions) {
        ++code;
        EXPECT_EQ(ClassifyNew(std::string("f.") + extension), code) << extension;
    }
    EXPECT_EQ(code, 27);
}

TEST_F(ThreatClassifier, PathsThatAreNotFilesAreOfNoInterest)
{
    EXPECT_EQ(ClassifyFile((drive / "missing.exe").c_str()), kTypeNone);
    EXPECT_EQ(ClassifyFile("Q:\\nodrive.exe"), kTypeNone);
    EXPECT_EQ(ClassifyFile(".exe"), kTypeNone) << "a dot at index 0 is not an extension";
    EXPECT_EQ(ClassifyFile(""), kTypeNone);
    EXPECT_EQ(ClassifyFile(nullptr), kTypeNone);
}

TEST_F(ThreatClassifier, HiddenAndSystemFilesAreClassifiedLikeOthers)
{
    MakeFile(drive / "h.exe", "x", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(ClassifyFile((drive / "h.exe").c_str()), kTypeExe);
}

TEST(SameTextNoCase, FoldsAsciiLetterCase)
{
    EXPECT_TRUE(SameTextNoCase("abc", "ABC", 3));
    EXPECT_TRUE(SameTextNoCase("aBc", "AbC", 3));
    EXPECT_FALSE(SameTextNoCase("abc", "ABC", 2)) << "both lengths must equal n";
    EXPECT_FALSE(SameTextNoCase("abc", "abcd", 3));
    EXPECT_FALSE(SameTextNoCase("abd", "ABC", 3));
    EXPECT_TRUE(SameTextNoCase("", "", 0));
    EXPECT_FALSE(SameTextNoCase("a", "", 0));
}

TEST(SameTextNoCase, FoldsWindows1251Cyrillic)
{
    // "ПРОВОДНИК" and "проводник" in Windows-1251: А-Я are 0xC0-0xDF, а-я 0xE0-0xFF.
    const char upper[] = "\xCF\xD0\xCE\xC2\xCE\xC4\xCD\xC8\xCA";
    const char lower[] = "\xEF\xF0\xEE\xE2\xEE\xE4\xED\xE8\xEA";
    EXPECT_TRUE(SameTextNoCase(upper, lower, 9));
    EXPECT_TRUE(SameTextNoCase("\xC0\xDF", "\xE0\xFF", 2));  // А Я against а я
    EXPECT_FALSE(SameTextNoCase("\xC0", "\xE1", 1));         // А against б
}

TEST(SameTextNoCase, PairsThirtyTwoApartMatchOnlyWithinTheirSignedHalf)
{
    EXPECT_TRUE(SameTextNoCase("@", "`", 1));  // 0x40 and 0x60
    EXPECT_TRUE(SameTextNoCase("[", "{", 1));  // 0x5B and 0x7B
    // 0x60-0x7F against 0x80-0x9F: 32 apart unsigned, but not as signed bytes.
    for (int low = 0x60; low <= 0x7F; ++low) {
        const char a[2] = {static_cast<char>(low), 0};
        const char b[2] = {static_cast<char>(low + 32), 0};
        EXPECT_FALSE(SameTextNoCase(a, b, 1)) << std::hex << low;
        EXPECT_FALSE(SameTextNoCase(b, a, 1)) << std::hex << low;
    }
    EXPECT_TRUE(SameTextNoCase("\x80", "\xA0", 1));  // both negative, 32 apart
}
