#pragma once

#include "updater/UpdateCrypto.h"

#include <windows.h>

#include <string>
#include <vector>

// The updater's dealings with its surroundings: its command line, the program
// it updates (vardenix.exe in the updater's own folder) and the installer it
// downloads.

// The product word of the command line and of the update description.
constexpr char kProductWord[] = "Tollmark";

// "Tollupd.exe Tollmark <installed version> <description address>".
struct UpdateRequest {
    std::string version;
    std::wstring url;
};

// The arguments after the program's own name; false unless there are exactly
// the product word, a version and a web address.
bool ParseUpdaterArguments(const std::vector<std::wstring>& arguments, UpdateRequest& request);
// The process's arguments after its own name, split as the C runtime does.
std::vector<std::wstring> CommandLineArguments();

// The updater's folder with a trailing backslash: the program's folder.
std::wstring ProgramFolder();

// True while vardenix.exe runs: its instance semaphore, named after it,
// exists (whether or not this process may open it).
bool IsProgramRunning();
// Waits up to `milliseconds` for the program to end; true when it has.
bool WaitForProgramToEnd(DWORD milliseconds);
// Starts vardenix.exe from `folder` (with its trailing backslash).
bool StartProgram(const std::wstring& folder);

// The installer, downloaded into a folder of the updater's own under the
// temporary folder: the program folder is never written. The file and its
// folder go with the object, whatever state the download is in.
class InstallerFile {
public:
    InstallerFile() = default;
    ~InstallerFile();
    InstallerFile(const InstallerFile&) = delete;
    InstallerFile& operator=(const InstallerFile&) = delete;

    // Makes the folder and an empty file in it, open for writing.
    bool Create(const std::string& version);
    HANDLE Handle() const { return file_; }
    // Ends the writing and opens the file again for reading only, allowing
    // others to read but neither to write nor to delete or rename it: what is
    // checked is what runs.
    bool Seal();
    // Whether the sealed file's SHA-256 is `digest`.
    bool Matches(const Sha256Digest& digest) const;
    const std::wstring& Path() const { return path_; }

private:
    std::wstring folder_;
    std::wstring path_;
    HANDLE file_ = INVALID_HANDLE_VALUE;
};

// Runs the installer and waits until it ends; false when it could not start.
bool RunInstallerAndWait(const InstallerFile& installer);
