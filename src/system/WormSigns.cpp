#include "system/WormSigns.h"

#include <cwchar>
#include <cwctype>

namespace {

// Programs that run whatever command, script or library their arguments
// hand them. Explorer counts only with arguments: without, it opens a window.
const wchar_t* const kRunners[] = {
    L"cmd", L"powershell", L"pwsh", L"wscript", L"cscript", L"mshta",
    L"rundll32", L"regsvr32", L"msiexec", L"conhost", L"forfiles",
};

// Opened, these run through a script host: a shortcut to one starts a script.
const wchar_t* const kScriptTypes[] = {L".vbs", L".vbe", L".js", L".jse", L".wsf", L".wsh", L".hta"};
const wchar_t* const kProgramTypes[] = {L".exe", L".com", L".scr", L".pif", L".bat", L".cmd", L".cpl", L".msi"};
// What a decoy opens after its runner to keep up the pretence: the user's
// own files, which no row may offer for deletion. The worms' own data files
// carry made-up extensions (.usb, .bin, .dat, .lo) or none.
const wchar_t* const kDocumentTypes[] = {
    L".doc", L".docx", L".docm", L".xls", L".xlsx", L".xlsm", L".ppt", L".pptx", L".pdf", L".rtf",
    L".txt", L".odt", L".ods", L".odp", L".jpg", L".jpeg", L".png", L".gif", L".bmp", L".tif",
    L".tiff", L".heic", L".mp3", L".wav", L".wma", L".flac", L".mp4", L".avi", L".mkv", L".mov",
    L".wmv", L".zip", L".rar", L".7z",
};
// Names that Windows turns into devices in any folder, with any extension.
const wchar_t* const kDeviceNames[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$", L"CLOCK$"};

const wchar_t kRecycleBinClass[] = L"{645FF040-5081-101B-9F08-00AA002F954E}";
// A desktop.ini is a few hundred bytes; a larger one is read this far.
constexpr DWORD kDesktopIniLimit = 64 * 1024;
// Tokens of a shortcut's arguments looked at, whatever their number.
constexpr size_t kMaxArgumentTokens = 256;
constexpr size_t kMaxPathLength = 32767;

bool Same(const std::wstring& a, const wchar_t* b)
{
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b, -1, TRUE) == CSTR_EQUAL;
}

bool SameText(const std::wstring& a, const std::wstring& b)
{
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                TRUE) == CSTR_EQUAL;
}

bool StartsWith(const std::wstring& text, const wchar_t* prefix)
{
    const size_t length = std::wcslen(prefix);
    return text.size() >= length &&
           CompareStringOrdinal(text.c_str(), static_cast<int>(length), prefix, static_cast<int>(length), TRUE) ==
               CSTR_EQUAL;
}

template <size_t N>
bool IsOneOf(const std::wstring& text, const wchar_t* const (&list)[N])
{
    for (const wchar_t* entry : list) {
        if (Same(text, entry))
            return true;
    }
    return false;
}

std::wstring NameOf(const std::wstring& path)
{
    const size_t separator = path.find_last_of(L"\\/:");
    return separator == std::wstring::npos ? path : path.substr(separator + 1);
}

std::wstring ExtensionOf(const std::wstring& name)
{
    const size_t dot = name.rfind(L'.');
    return dot == std::wstring::npos ? std::wstring() : name.substr(dot);
}

bool IsRunner(const std::wstring& name, bool hasArguments)
{
    const std::wstring extension = ExtensionOf(name);
    if (!extension.empty() && !Same(extension, L".exe"))
        return false;
    const std::wstring stem = name.substr(0, name.size() - extension.size());
    return IsOneOf(stem, kRunners) || (hasArguments && Same(stem, L"explorer"));
}

bool IsDeviceName(const std::wstring& component)
{
    // "nul.txt" and "com1 " are devices too: the part before the first dot
    // counts, without trailing blanks.
    std::wstring stem = component.substr(0, component.find(L'.'));
    while (!stem.empty() && stem.back() == L' ')
        stem.pop_back();
    if (IsOneOf(stem, kDeviceNames))
        return true;
    return stem.size() == 4 && (StartsWith(stem, L"COM") || StartsWith(stem, L"LPT")) && stem[3] >= L'1' &&
           stem[3] <= L'9';
}

// `root` ("E:\") followed by `relative`, normalised; empty when a part of
// it cannot be a file name here.
std::wstring JoinUnder(const std::wstring& root, const std::wstring& relative)
{
    if (relative.size() > kMaxPathLength)
        return std::wstring();
    std::vector<std::wstring> parts;
    size_t at = 0;
    while (at <= relative.size()) {
        size_t end = relative.find_first_of(L"\\/", at);
        if (end == std::wstring::npos)
            end = relative.size();
        std::wstring part = relative.substr(at, end - at);
        at = end + 1;
        if (part == L"..") {
            if (!parts.empty())
                parts.pop_back();
            continue;
        }
        // As Windows reads a path: trailing dots and blanks of a name go.
        while (!part.empty() && (part.back() == L'.' || part.back() == L' '))
            part.pop_back();
        if (part.empty())
            continue;
        for (wchar_t c : part) {
            if (c < 0x20 || std::wcschr(L":*?\"<>|", c))
                return std::wstring();
        }
        if (IsDeviceName(part))
            return std::wstring();
        parts.push_back(part);
    }
    if (parts.empty())
        return std::wstring();
    std::wstring path = root;
    for (size_t k = 0; k < parts.size(); ++k) {
        if (k > 0)
            path += L'\\';
        path += parts[k];
    }
    return path;
}

bool HasLetter(const std::wstring& path)
{
    return path.size() >= 2 && path[1] == L':' && path[0] < 0x80 && std::iswalpha(path[0]);
}

// A name of the arguments, or a shortcut's relative path, on the drive.
std::wstring Resolve(const std::wstring& text, const std::wstring& root, const std::wstring& folder)
{
    if (HasLetter(text))
        return NormalisedOnDrive(text, root);
    if (StartsWith(text, L"\\\\") || StartsWith(text, L"//") || StartsWith(text, L"\\/") || StartsWith(text, L"/\\"))
        return std::wstring();  // a network path: never looked at
    if (!text.empty() && (text[0] == L'\\' || text[0] == L'/'))
        return JoinUnder(root, text.substr(1));
    return NormalisedOnDrive(folder + text, root);
}

bool IsArgumentSeparator(wchar_t c)
{
    return std::wcschr(L" \t\r\n&|<>();,^=", c) != nullptr && c != L'\0';
}

std::wstring Lowered(std::wstring text)
{
    if (!text.empty())
        CharLowerBuffW(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

// The Windows folder with a trailing backslash.
const std::wstring& WindowsFolder()
{
    static const std::wstring folder = [] {
        wchar_t buffer[MAX_PATH] = {};
        const UINT length = GetWindowsDirectoryW(buffer, MAX_PATH);
        std::wstring path(buffer, length < MAX_PATH ? length : 0);
        if (!path.empty() && path.back() != L'\\')
            path += L'\\';
        return path;
    }();
    return folder;
}

// Whether `bytes` hold `pattern` (ASCII) in either of the encodings a
// desktop.ini comes in: ANSI, or UTF-16 with every second byte zero.
bool HoldsAsciiText(const std::string& bytes, const wchar_t* pattern)
{
    const size_t length = std::wcslen(pattern);
    for (size_t stride = 1; stride <= 2; ++stride) {
        const size_t span = length * stride;
        for (size_t at = 0; at + span <= bytes.size(); ++at) {
            size_t k = 0;
            while (k < length) {
                const unsigned char c = static_cast<unsigned char>(bytes[at + k * stride]);
                if (std::towupper(c) != std::towupper(pattern[k]) || (stride == 2 && bytes[at + k * 2 + 1] != 0))
                    break;
                ++k;
            }
            if (k == length)
                return true;
        }
    }
    return false;
}

std::string ReadHead(const std::wstring& path, DWORD limit)
{
    std::string bytes;
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return bytes;
    bytes.resize(limit);
    DWORD got = 0;
    if (!ReadFile(file, &bytes[0], limit, &got, nullptr))
        got = 0;
    bytes.resize(got);
    CloseHandle(file);
    return bytes;
}

}  // namespace

bool IsWindowsOwnFolder(const std::wstring& name)
{
    return Same(name, L"$RECYCLE.BIN") || Same(name, L"System Volume Information");
}

bool IsBlankName(const std::wstring& name)
{
    return !name.empty() && name.find_first_not_of(L" \x00A0") == std::wstring::npos;
}

bool IsShortcutName(const std::wstring& name)
{
    return name.size() > 4 && Same(name.substr(name.size() - 4), L".lnk");
}

std::wstring NormalisedOnDrive(const std::wstring& path, const std::wstring& root)
{
    if (!HasLetter(path) || root.empty() || std::towupper(path[0]) != std::towupper(root[0]))
        return std::wstring();
    return JoinUnder(root, path.substr(2));
}

ArgumentNames ReadArgumentNames(const std::wstring& arguments, const std::wstring& root,
                                const std::vector<std::wstring>& folders)
{
    ArgumentNames found;
    const std::wstring lowered = Lowered(arguments);
    found.webAddress =
        lowered.find(L"http://") != std::wstring::npos || lowered.find(L"https://") != std::wstring::npos;

    auto add = [&](const std::wstring& path) {
        if (path.empty() || found.paths.size() >= kMaxArgumentPaths)
            return;
        for (const std::wstring& known : found.paths) {
            if (SameText(known, path))
                return;
        }
        found.paths.push_back(path);
    };
    auto take = [&](std::wstring token) {
        if (token.empty())
            return;
        // "/i:E:\x.sct", "//e:vbscript": the value after the switch.
        if (token[0] == L'/' || token[0] == L'-') {
            const size_t colon = token.find(L':');
            if (colon == std::wstring::npos)
                return;
            token.erase(0, colon + 1);
        }
        // The runner's own folder: the working directory, or the script's.
        for (const wchar_t* here : {L"%cd%", L"%~dp0"}) {
            if (StartsWith(token, here)) {
                token.erase(0, std::wcslen(here));
                while (!token.empty() && (token[0] == L'\\' || token[0] == L'/'))
                    token.erase(0, 1);
                break;
            }
        }
        if (token.empty() || token.find(L'%') != std::wstring::npos)
            return;
        // rundll32's "library,entry".
        const size_t comma = token.find(L',');
        const std::wstring candidates[] = {token, comma == std::wstring::npos ? std::wstring() : token.substr(0, comma)};
        for (const std::wstring& candidate : candidates) {
            if (candidate.empty())
                continue;
            if (HasLetter(candidate) || candidate[0] == L'\\' || candidate[0] == L'/') {
                add(Resolve(candidate, root, root));
            } else {
                for (const std::wstring& folder : folders)
                    add(Resolve(candidate, root, folder));
            }
        }
    };

    std::wstring token;
    bool quoted = false;
    size_t tokens = 0;
    for (size_t k = 0; k <= arguments.size() && tokens < kMaxArgumentTokens; ++k) {
        const wchar_t c = k < arguments.size() ? arguments[k] : L' ';
        if (c == L'"') {
            quoted = !quoted;
            continue;
        }
        if (!IsArgumentSeparator(c) || (quoted && k < arguments.size())) {
            if (token.size() < kMaxPathLength)
                token += c;
            continue;
        }
        if (!token.empty()) {
            ++tokens;
            take(token);
            token.clear();
        }
    }
    return found;
}

bool WormSigns::NoCaseLess::operator()(const std::wstring& a, const std::wstring& b) const
{
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_LESS_THAN;
}

WormSigns::WormSigns(wchar_t letter)
    : root_(std::wstring(1, letter) + L":\\"), removable_(GetDriveTypeW(root_.c_str()) == DRIVE_REMOVABLE)
{
}

DWORD WormSigns::Attributes(const std::wstring& path)
{
    const auto known = attributes_.find(path);
    if (known != attributes_.end())
        return known->second;
    const DWORD attributes = GetFileAttributesW(path.c_str());
    attributes_.emplace(path, attributes);
    return attributes;
}

bool WormSigns::IsDisguisedRecycleBin(const std::wstring& name, DWORD attributes)
{
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT) || IsWindowsOwnFolder(name))
        return false;
    if (Same(name, L"RECYCLER.BIN"))
        return true;
    if (!removable_ || !(attributes & (FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY)))
        return false;
    const auto known = disguised_.find(name);
    if (known != disguised_.end())
        return known->second;
    const bool disguised = HoldsAsciiText(ReadHead(root_ + name + L"\\desktop.ini", kDesktopIniLimit), kRecycleBinClass);
    disguised_.emplace(name, disguised);
    return disguised;
}

bool WormSigns::LiesHidden(const std::wstring& path)
{
    size_t at = root_.size();
    while (at < path.size()) {
        const size_t next = path.find(L'\\', at);
        const std::wstring step = path.substr(0, next);
        const DWORD attributes = Attributes(step);
        if (attributes == INVALID_FILE_ATTRIBUTES)
            return false;
        if (attributes & FILE_ATTRIBUTE_HIDDEN)
            return true;
        if (at == root_.size() && IsDisguisedRecycleBin(step.substr(root_.size()), attributes))
            return true;
        if (next == std::wstring::npos)
            break;
        at = next + 1;
    }
    return false;
}

bool WormSigns::PassesLink(const std::wstring& path)
{
    for (size_t at = path.find(L'\\', root_.size()); at != std::wstring::npos; at = path.find(L'\\', at + 1)) {
        const DWORD attributes = Attributes(path.substr(0, at));
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
            return true;
    }
    const DWORD attributes = Attributes(path);
    return attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

std::wstring WormSigns::OnThisDrive(const std::wstring& path)
{
    const std::wstring here = NormalisedOnDrive(path, root_);
    if (!here.empty() || !HasLetter(path))
        return here;
    const std::wstring moved = NormalisedOnDrive(root_.substr(0, 1) + path.substr(1), root_);
    return !moved.empty() && Attributes(moved) != INVALID_FILE_ATTRIBUTES ? moved : std::wstring();
}

WormSigns::Verdict WormSigns::JudgeShortcut(const std::wstring& path, const ShellLink& link)
{
    Verdict verdict;
    const bool hasArguments = link.arguments.find_first_not_of(L" \t\r\n") != std::wstring::npos;
    const std::wstring folder = path.substr(0, path.rfind(L'\\') + 1);

    std::vector<std::wstring> targets = link.TargetPaths();
    if (!link.relativePath.empty()) {
        // What the shell falls back on once the stored target is gone.
        const std::wstring relative = Resolve(link.relativePath, root_, folder);
        if (!relative.empty())
            targets.push_back(relative);
    }
    std::vector<std::wstring> started;
    bool windowsProgram = false;
    for (const std::wstring& target : targets) {
        const bool runner = IsRunner(NameOf(target), hasArguments);
        verdict.decoy = verdict.decoy || runner;
        const std::wstring onDrive = OnThisDrive(target);
        if (onDrive.empty()) {
            windowsProgram =
                windowsProgram || (!WindowsFolder().empty() && StartsWith(target, WindowsFolder().c_str()));
            continue;
        }
        const std::wstring extension = ExtensionOf(NameOf(onDrive));
        if (runner || IsOneOf(extension, kScriptTypes) || (IsOneOf(extension, kProgramTypes) && LiesHidden(onDrive))) {
            verdict.decoy = true;
            started.push_back(onDrive);
        }
    }
    if (!verdict.decoy && !(windowsProgram && hasArguments))
        return verdict;

    std::vector<std::wstring> folders = {root_, folder};
    const std::wstring workingFolder = NormalisedOnDrive(link.workingDirectory, root_);
    if (!workingFolder.empty())
        folders.push_back(workingFolder + L'\\');
    const ArgumentNames names = hasArguments ? ReadArgumentNames(link.arguments, root_, folders) : ArgumentNames();
    auto isFile = [&](const std::wstring& file) {
        const DWORD attributes = Attributes(file);
        return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    };
    if (!verdict.decoy) {
        // A system program with a web address or a file the user cannot see:
        // the downloaders and loaders that need no runner of their own.
        verdict.decoy = names.webAddress;
        for (const std::wstring& file : names.paths)
            verdict.decoy = verdict.decoy || (isFile(file) && LiesHidden(file));
        if (!verdict.decoy)
            return verdict;
    }

    const std::wstring shortcutName = NameOf(path);
    const std::wstring impersonated = shortcutName.substr(0, shortcutName.size() - 4);
    auto add = [&](const std::wstring& file) {
        // A link (a junction, a symbolic link) may lead off the drive, to
        // the user's own files: nothing behind one is offered for deletion.
        if (!isFile(file) || SameText(file, path) || PassesLink(file))
            return;
        for (const std::wstring& known : verdict.files) {
            if (SameText(known, file))
                return;
        }
        verdict.files.push_back(file);
    };
    for (const std::wstring& file : started)
        add(file);
    for (const std::wstring& file : names.paths) {
        const std::wstring name = NameOf(file);
        if (!IsOneOf(ExtensionOf(name), kDocumentTypes) && !SameText(name, impersonated))
            add(file);
    }
    return verdict;
}
