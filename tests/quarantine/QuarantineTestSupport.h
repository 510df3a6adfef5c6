#pragma once

#include "quarantine/QuarantineStore.h"
#include "support/ScratchDir.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <string>
#include <vector>

// The quarantine folder of the test program, without a trailing backslash
// and without creating it.
inline std::string QuarantineFolderPath()
{
    char folder[kStorePathSize];
    EXPECT_TRUE(GetProgramFolder(folder));
    return std::string(folder) + "quarantine";
}

// The names of the items in the quarantine folder.
inline std::vector<std::string> ItemNames()
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((QuarantineFolderPath() + "\\*.vw").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do
        names.push_back(found.cFileName);
    while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

inline std::string ItemPath(const std::string& name)
{
    return QuarantineFolderPath() + "\\" + name;
}

// The bytes an item of this origin and content consists of.
inline std::string ItemBytes(const std::string& origin, const std::string& content)
{
    std::string item = std::string("vormtalware") + origin + "\r\n";
    for (char c : content)
        item += static_cast<char>(static_cast<unsigned char>(c) + QUARANTINE_SHIFT);
    return item;
}

inline std::string DesktopPath(const std::string& name)
{
    char desktop[MAX_PATH] = {};
    EXPECT_TRUE(SHGetSpecialFolderPathA(nullptr, desktop, CSIDL_DESKTOPDIRECTORY, FALSE));
    return std::string(desktop) + "\\" + name;
}

// Every test starts and ends with an empty quarantine folder, so no test sees
// another's items.
class QuarantineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RemoveTree(QuarantineFolderPath());
        char folder[kStorePathSize];
        ASSERT_TRUE(GetQuarantineFolder(folder));
    }
    void TearDown() override { RemoveTree(QuarantineFolderPath()); }

    ScratchDir scratch_;
};
