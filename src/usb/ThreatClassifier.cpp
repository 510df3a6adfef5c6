#include "usb/ThreatClassifier.h"

#include <windows.h>

#include <cstring>

namespace {

// In code order: entry k is type code k + 1.
const char* const kExtensions[] = {
    ".exe", ".com", ".dll", ".html", ".bat", ".inf", ".pif", ".reg", ".lnk",
    ".scr", ".asp", ".js",  ".vbs",  ".wsf", ".wsh", ".aspx", ".htt", ".htm",
    ".htx", ".jsp", ".jse", ".ws",   ".wsc", ".vb",  ".vbe", ".cmd", ".hta",
};
static_assert(sizeof kExtensions / sizeof kExtensions[0] == kTypeHta, "27 extensions");

constexpr size_t kExtensionBuffer = 10;  // at most 9 characters and the terminator

int MatchExtension(const char* extension)
{
    for (int k = 0; k < kTypeHta; ++k) {
        const char* entry = kExtensions[k];
        if (SameTextNoCase(extension, entry, static_cast<int>(std::strlen(entry))))
            return k + 1;
    }
    return kTypeNone;
}

}  // namespace

bool SameTextNoCase(const char* a, const char* b, int n)
{
    if (!a || !b || n < 0)
        return false;
    if (std::strlen(a) != static_cast<size_t>(n) || std::strlen(b) != static_cast<size_t>(n))
        return false;
    bool same = true;
    for (int k = 0; k < n; ++k) {
        const int x = static_cast<signed char>(a[k]);
        const int y = static_cast<signed char>(b[k]);
        if (x != y && x != y - 32 && x != y + 32)
            same = false;
    }
    return same;
}

int ClassifyFileName(const char* path)
{
    if (!path)
        return kTypeNone;

    // The last dot of the whole path; a dot at index 0 does not count.
    const size_t length = std::strlen(path);
    size_t dot = 0;
    for (size_t k = length; k-- > 1;) {
        if (path[k] == '.') {
            dot = k;
            break;
        }
    }
    if (dot == 0)
        return kTypeNone;

    char extension[kExtensionBuffer] = {};
    std::strncpy(extension, path + dot, kExtensionBuffer - 1);
    return MatchExtension(extension);
}

int ClassifyFile(const char* path)
{
    // The attribute query comes last, so that an ordinary file costs no system
    // call. A failed query answers INVALID_FILE_ATTRIBUTES, which has the
    // directory bit set too: a path that does not exist is of no interest.
    const int code = ClassifyFileName(path);
    if (code == kTypeNone || (GetFileAttributesA(path) & FILE_ATTRIBUTE_DIRECTORY))
        return kTypeNone;
    return code;
}
