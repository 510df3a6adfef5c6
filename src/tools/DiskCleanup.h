#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// The disk cleanup's parts: emptying folders of their files, the browser's
// URL cache and the Recycle Bin. Paths are wide throughout, so a file whose
// name the ANSI code page cannot spell, or a path of any length, is reached.

// Called for each item the cleanup dealt with: the text the list shows for it
// and the string id of its result.
using CleanupReport = std::function<void(const std::wstring& shown, UINT result)>;

// The folders a cleanup empties unless it is given others: the cookie,
// recent-documents and temporary folders, in that order, each ending in a
// backslash. A folder the system does not name is left out.
std::vector<std::wstring> DefaultCleanupFolders();

// False for a folder whose emptying would take more than temporary files: the
// root of a volume, or the Windows, system, program, profile, documents or
// desktop folder or any folder that holds one of them (a temporary folder
// that falls back to the Windows folder or is set to "C:\"). Also false for a
// folder that does not open. Links are resolved first.
bool IsFolderSafeToEmpty(const std::wstring& folder);

// Deletes every file below `folder` (with or without a trailing backslash) and
// reports each file with its path as `folder` names it: IDS_DELETED, or
// IDS_DELETE_ERROR when it stays. Folders are kept. Depth first: the files of
// a folder in the order the file system lists them, then the subfolder found
// last with its whole tree, then the one found before it. A junction or
// symbolic link is never followed, and a file is deleted only when it lies
// where the walk found it, so nothing outside the folder is touched through
// a link. A folder that is not safe to empty adds nothing.
void DeleteFolderFiles(const std::wstring& folder, const CleanupReport& report);

// Deletes every entry of the browser's URL cache and reports each entry it
// visited by its local file name, or by its URL when it has none, with
// IDS_URL_CACHE_DELETED, whatever the deletion's result.
void PurgeUrlCache(const CleanupReport& report);

// Empties the Recycle Bin of every drive without asking; the result is not
// looked at.
void EmptyRecycleBin();
