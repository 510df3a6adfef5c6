#pragma once

#include <windows.h>

#include <string>

// The update check. The program downloads nothing itself: it starts the
// updater Tollupd.exe from its own folder with the product word, its version
// and the address of the update description, and then ends, so that the
// updater can replace it.

// The update description on the maker's web host.
constexpr const char* kUpdateDescriptionUrl = "http://www.vardenix.example/update/update.ini";

// "<folder>Tollupd.exe" Tollmark <version> <address>. The updater's path is
// quoted: from a folder with blanks such as "C:\Program Files\Vardenix\"
// Windows would otherwise first try to start "C:\Program.exe", and the
// updater's own arguments would come apart at the blank.
std::string UpdaterCommandLine(const std::string& programFolder, const std::string& version);

// Shows "update in progress" (string 225), then starts the updater with the
// version of string 102. When it cannot be started, says "Update program not
// found!" and returns false; the caller ends the program on true.
bool StartUpdater(HWND owner);
