#pragma once

#include <windows.h>

#include <string>

// A folder of the test's own under the temporary folder, removed with all its
// contents (hidden, system and read-only files too) when the object goes.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    // The folder's path, without a trailing backslash.
    const std::string& Path() const { return path_; }
    // Path() + "\" + relative.
    std::string operator/(const std::string& relative) const { return path_ + "\\" + relative; }

private:
    std::string path_;
};

// Makes a file with the given content and attributes; fails the test on error.
void MakeFile(const std::string& path, const std::string& content = std::string(),
              DWORD attributes = FILE_ATTRIBUTE_NORMAL);

// Makes a folder with the given attributes; fails the test on error.
void MakeFolder(const std::string& path, DWORD attributes = FILE_ATTRIBUTE_NORMAL);

// The whole content of a file, or an empty string when it does not open.
std::string ReadWholeFile(const std::string& path);

bool PathExists(const std::string& path);

// Removes a file or a folder tree, whatever its attributes.
void RemoveTree(const std::string& path);
