#pragma once

#include <windows.h>

#include <string>
#include <vector>

// A file type of HKEY_CLASSES_ROOT (".chm", ".htm") pointed for the test's
// life at `command` as its "open" command, or, with an empty command, at no
// program at all; the type's previous association comes back on destruction.
class ShellAssociation {
public:
    ShellAssociation(const std::string& extension, const std::string& command);
    ~ShellAssociation();
    ShellAssociation(const ShellAssociation&) = delete;
    ShellAssociation& operator=(const ShellAssociation&) = delete;

private:
    std::string extension_;
    std::string progId_;
    bool keyExisted_ = false;
    bool hadDefault_ = false;
    std::string oldDefault_;
};

// record-open.exe beside the test program, started by the shell through an
// association: it writes each argument after the log's path as a line of
// `log`. The command that opens "%1" that way, and what it wrote.
std::string RecordOpenCommand(const std::string& log, const std::string& placeholder = "\"%1\"");
std::vector<std::string> RecordedLines(const std::string& log);
