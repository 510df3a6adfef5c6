#include "support/ScratchDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>

namespace {
std::atomic<unsigned> scratchCounter{0};
}

ScratchDir::ScratchDir()
{
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    char name[MAX_PATH];
    for (;;) {
        std::snprintf(name, sizeof name, "%svardenix-test-%lu-%u", temp,
                      static_cast<unsigned long>(GetCurrentProcessId()), scratchCounter++);
        if (CreateDirectoryA(name, nullptr))
            break;
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            ADD_FAILURE() << "cannot create scratch folder " << name;
            break;
        }
    }
    path_ = name;
}

ScratchDir::~ScratchDir()
{
    RemoveTree(path_);
}

void MakeFile(const std::string& path, const std::string& content, DWORD attributes)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << "cannot create " << path;
    DWORD written = 0;
    const BOOL ok = content.empty() ||
                    WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(file);
    ASSERT_TRUE(ok && written == content.size()) << "cannot write " << path;
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), attributes)) << "cannot set attributes of " << path;
}

void MakeFolder(const std::string& path, DWORD attributes)
{
    ASSERT_TRUE(CreateDirectoryA(path.c_str(), nullptr)) << "cannot create " << path;
    if (attributes != FILE_ATTRIBUTE_NORMAL) {
        ASSERT_TRUE(SetFileAttributesA(path.c_str(), attributes)) << "cannot set attributes of " << path;
    }
}

std::string ReadWholeFile(const std::string& path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::string();
    std::string content;
    char chunk[65536];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0)
        content.append(chunk, got);
    CloseHandle(file);
    return content;
}

bool PathExists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

namespace {

// A path whose names end in a dot or a blank, such as the folder Wine keeps as
// "name." when asked for "name..\", is reached only in the "\\?\" form:
// otherwise those characters are dropped and another name is looked up.
std::string ExactForm(const std::string& path)
{
    const bool full = path.size() > 2 && path[1] == ':' && path[2] == '\\';
    for (size_t k = 3; full && k < path.size(); ++k) {
        if ((path[k] == '.' || path[k] == ' ') && (k + 1 == path.size() || path[k + 1] == '\\'))
            return "\\\\?\\" + path;
    }
    return path;
}

}  // namespace

void RemoveTree(const std::string& path)
{
    const std::string exact = ExactForm(path);
    const DWORD attributes = GetFileAttributesA(exact.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    SetFileAttributesA(exact.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        if (!DeleteFileA(exact.c_str()))
            RemoveDirectoryA(exact.c_str());
        return;
    }
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((exact + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = found.cFileName;
            if (name != "." && name != "..")
                RemoveTree(path + "\\" + name);
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(exact.c_str());
}
