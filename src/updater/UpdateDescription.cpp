#include "updater/UpdateDescription.h"

#include "framework/Text.h"

#include <cstdlib>

namespace {

constexpr char kSignatureSection[] = "[signature]";
constexpr char kSignatureKey[] = "rsa-sha256=";

// The lines of `text` without their LF or CR LF; a last line without LF counts.
std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

bool IsDigits(const std::string& text, size_t maxLength)
{
    return !text.empty() && text.size() <= maxLength && text.find_first_not_of("0123456789") == std::string::npos;
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool ParseDigest(const std::string& text, Sha256Digest& digest)
{
    if (text.size() != digest.size() * 2)
        return false;
    for (size_t k = 0; k < digest.size(); ++k) {
        const int high = HexValue(text[2 * k]);
        const int low = HexValue(text[2 * k + 1]);
        if (high < 0 || low < 0)
            return false;
        digest[k] = static_cast<unsigned char>(high * 16 + low);
    }
    return true;
}

bool IsLeapYear(unsigned long year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

bool ParseNotes(const std::string& text, std::wstring& notes)
{
    std::string plain;
    for (size_t k = 0; k < text.size(); ++k) {
        if (text[k] != '\\') {
            plain += text[k];
            continue;
        }
        if (++k == text.size())
            return false;
        if (text[k] == 'n')
            plain += "\r\n";
        else if (text[k] == '\\')
            plain += '\\';
        else
            return false;
    }
    notes = Widen(plain, CP_UTF8);
    return true;
}

}  // namespace

bool ParseDay(const std::string& text, DayNumber& day)
{
    if (text.size() != 10 || text[4] != '-' || text[7] != '-' || !IsDigits(text.substr(0, 4), 4) ||
        !IsDigits(text.substr(5, 2), 2) || !IsDigits(text.substr(8, 2), 2))
        return false;
    const unsigned long year = std::strtoul(text.substr(0, 4).c_str(), nullptr, 10);
    const unsigned long month = std::strtoul(text.substr(5, 2).c_str(), nullptr, 10);
    const unsigned long date = std::strtoul(text.substr(8, 2).c_str(), nullptr, 10);
    static const unsigned long kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year == 0 || month < 1 || month > 12 || date < 1 ||
        date > kDays[month - 1] + (month == 2 && IsLeapYear(year) ? 1 : 0))
        return false;
    day = year * 10000 + month * 100 + date;
    return true;
}

DayNumber TodayUtc()
{
    SYSTEMTIME now;
    GetSystemTime(&now);
    return now.wYear * 10000ul + now.wMonth * 100ul + now.wDay;
}

bool ParseVersion(const std::string& text, Version& version)
{
    version.clear();
    size_t start = 0;
    for (;;) {
        const size_t dot = text.find('.', start);
        const std::string part = text.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
        if (!IsDigits(part, 9) || version.size() == 8)
            return false;
        version.push_back(std::strtoul(part.c_str(), nullptr, 10));
        if (dot == std::string::npos)
            return true;
        start = dot + 1;
    }
}

int CompareVersions(const Version& a, const Version& b)
{
    for (size_t k = 0; k < a.size() || k < b.size(); ++k) {
        const unsigned long left = k < a.size() ? a[k] : 0;
        const unsigned long right = k < b.size() ? b[k] : 0;
        if (left != right)
            return left < right ? -1 : 1;
    }
    return 0;
}

bool ParseUpdateDescription(const std::string& body, const std::string& product, UpdateDescription& description)
{
    description = UpdateDescription();
    bool inProduct = false, haveVersion = false, haveInstaller = false, haveSize = false, haveHash = false,
         haveExpiry = false, haveNotes = false;
    for (const std::string& line : Lines(body)) {
        if (line.empty() || line[0] == ';')
            continue;
        if (!inProduct) {
            if (line != "[" + product + "]")
                return false;
            inProduct = true;
            continue;
        }
        const size_t equals = line.find('=');
        if (equals == std::string::npos || equals == 0)
            return false;
        const std::string key = line.substr(0, equals);
        const std::string value = line.substr(equals + 1);
        Version version;
        if (key == "version") {
            if (haveVersion || !ParseVersion(value, version))
                return false;
            description.version = value;
            haveVersion = true;
        } else if (key == "installer") {
            if (haveInstaller || value.empty())
                return false;
            description.installer = value;
            haveInstaller = true;
        } else if (key == "size") {
            if (haveSize || !IsDigits(value, 10))
                return false;
            description.size = std::strtoull(value.c_str(), nullptr, 10);
            if (description.size == 0 || description.size > kMaxInstallerSize)
                return false;
            haveSize = true;
        } else if (key == "sha256") {
            if (haveHash || !ParseDigest(value, description.sha256))
                return false;
            haveHash = true;
        } else if (key == "expires") {
            if (haveExpiry || !ParseDay(value, description.expires))
                return false;
            haveExpiry = true;
        } else if (key == "notes") {
            if (haveNotes || !ParseNotes(value, description.notes))
                return false;
            haveNotes = true;
        }
    }
    return haveVersion && haveInstaller && haveSize && haveHash;
}

DescriptionCheck CheckUpdateDescription(const std::string& text, const char* publicKeyPem, const std::string& product,
                                        DayNumber today, UpdateDescription& description)
{
    // The signature section begins a line; everything before it is signed.
    size_t section = text.compare(0, sizeof kSignatureSection - 1, kSignatureSection) == 0 ? 0 : std::string::npos;
    if (section != 0) {
        section = text.find(std::string("\n") + kSignatureSection);
        if (section == std::string::npos)
            return DescriptionCheck::Malformed;
        ++section;
    }
    const std::vector<std::string> tail = Lines(text.substr(section));
    if (tail.size() != 2 || tail[0] != kSignatureSection || tail[1].compare(0, sizeof kSignatureKey - 1, kSignatureKey) != 0)
        return DescriptionCheck::Malformed;
    std::vector<unsigned char> signature;
    if (!DecodeBase64(tail[1].substr(sizeof kSignatureKey - 1), signature))
        return DescriptionCheck::Malformed;

    const std::string body = text.substr(0, section);
    if (!VerifySignature(body, signature, publicKeyPem))
        return DescriptionCheck::BadSignature;
    if (!ParseUpdateDescription(body, product, description))
        return DescriptionCheck::Malformed;
    return description.expires != 0 && today <= description.expires ? DescriptionCheck::Valid
                                                                     : DescriptionCheck::Expired;
}
