#pragma once

#include <windows.h>

// Explorer's autorun policy for drive types, NoDriveTypeAutoRun under
// HKEY_CURRENT_USER. The key is opened, never created.
constexpr const char* kExplorerPolicyKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";
constexpr const char* kNoDriveTypeAutoRunValue = "NoDriveTypeAutoRun";
constexpr DWORD kAutorunOffMask = 0x9F;  // removable and fixed drives too
constexpr DWORD kAutorunOnMask = 0x91;   // removable and fixed drives get autorun back

// Write the policy value; when the key does not open they show the registry
// failure message and write nothing.
void DisableDriveAutorun(HWND owner = nullptr);
void RestoreDriveAutorun(HWND owner = nullptr);

// The one-time question at start-up: unless the settings value `autorun` can
// be read, asks whether USB autorun is to be switched off (switching it off on
// OK) and records `autorun` = "1" whatever the answer.
void AskStartupAutorunQuestion(HKEY settings);
