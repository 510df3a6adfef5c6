#pragma once

#include "updater/UpdateCrypto.h"

#include <string>
#include <vector>

// The update description, "update.ini" on the maker's web host. It comes over
// plain HTTP, so it is signed with the maker's key and the updater believes
// nothing in it before the signature holds. An example:
//
//   ; Vardenix update description
//   [Tollmark]
//   version=5.2.0.0
//   installer=vardenix-5.2.0.0-setup.exe
//   size=1843200
//   sha256=9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08
//   expires=2025-07-01
//   notes=Что нового:\nИсправлены ошибки.
//   [signature]
//   rsa-sha256=MEUCIQ...
//
// UTF-8 text in lines that end with LF (a CR before the LF is allowed).
// Signed part: every byte before the line "[signature]", which must be the
//   last section and hold exactly one line "rsa-sha256=" with the Base64 of an
//   RSA PKCS #1 v1.5 signature of the SHA-256 of the signed part.
// In the signed part empty lines and lines that start with ";" are skipped.
//   The first other line names the product, "[Tollmark]"; then key=value lines:
//   version    the offered version, 1 to 8 numbers separated by dots;
//   installer  the installer's address: http:// or https://, or relative to
//              the description's own address;
//   size       the installer's size in bytes, decimal, at most 1 GiB;
//   sha256     the SHA-256 of the installer, 64 hexadecimal digits;
//   expires    the last day (UTC) on which the updater believes the
//              description, YYYY-MM-DD. Anyone on the way can replay a signed
//              description, and an old one would keep users on an old version
//              for ever: a description past that day, or without the key (one
//              signed before it existed), is refused;
//   notes      optional, what is new: "\n" is a line break, "\\" a backslash.
//   Each key at most once; keys the updater does not know are skipped, so a
//   later updater can add some. scripts/sign-update.sh writes and signs one.

constexpr unsigned long long kMaxInstallerSize = 1ull << 30;

using Version = std::vector<unsigned long>;

// "5.1.0.15" into its numbers; false unless 1 to 8 numbers of 1 to 9 digits
// separated by single dots.
bool ParseVersion(const std::string& text, Version& version);
// Numerically part by part, missing parts counting as 0: 5.10 > 5.9, 5.1 == 5.1.0.0.
// Negative, 0 or positive.
int CompareVersions(const Version& a, const Version& b);

// A day as the number YYYYMMDD, so that later days are larger numbers.
using DayNumber = unsigned long;

// "2025-07-01" into 20250701; false unless a day of the calendar written so.
bool ParseDay(const std::string& text, DayNumber& day);
// Today in UTC, the time the expiry is written in.
DayNumber TodayUtc();

struct UpdateDescription {
    std::string version;
    std::string installer;
    unsigned long long size = 0;
    Sha256Digest sha256 = {};
    DayNumber expires = 0;  // 0: the description names no last day
    std::wstring notes;  // line breaks as CR LF, for an edit control
};

// The signed part alone, for `product`; false when it is not well formed.
bool ParseUpdateDescription(const std::string& body, const std::string& product, UpdateDescription& description);

enum class DescriptionCheck { Valid, Malformed, BadSignature, Expired };

// The whole file: its signature under `publicKeyPem`, then its signed part,
// then whether `today` is still within its last day.
DescriptionCheck CheckUpdateDescription(const std::string& text, const char* publicKeyPem,
                                        const std::string& product, DayNumber today, UpdateDescription& description);
