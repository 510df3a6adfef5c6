#pragma once

#include <windows.h>

#include <functional>
#include <string>

// The registry repair: undoes a fixed set of changes that malicious programs
// make to the registry (Explorer and system policies that hide menus and
// tools, the autorun default, hidden-file settings, hijacked browser pages,
// the text-file open command). The repair has 31 rows; each row's registry
// operations are carried out in order, and then the row is reported.

// The browser pages the repair writes. Each is stored from a zero-filled
// buffer of a fixed length, so it must be shorter than that buffer.
constexpr char kRepairHomePage[] = "https://www.microsoft.com/";
constexpr char kRepairSearchPage[] = "https://www.microsoft.com/isapi/redir.dll?prd=ie&ar=iesearch";

// Called after each row with the row's location text (display text only: the
// keys written are those of the row's operations) and the string id of its
// label, whether or not the row's operations succeeded.
using RepairRowSink = std::function<void(const std::string& location, UINT label)>;

// Opens HKCU "Software\Microsoft\Windows\CurrentVersion\Policies\Explorer"
// with full access (never creating it) and works through the 31 rows. False,
// with no row reported, when that key does not open; any later key that does
// not open only has its operations skipped.
bool RunRegistryRepair(const RepairRowSink& addRow);
