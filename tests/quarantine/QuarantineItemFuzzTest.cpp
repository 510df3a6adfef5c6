#include "QuarantineTestSupport.h"

#include <algorithm>
#include <cstring>
#include <random>

namespace {

// The header rule written out plainly: the magic, an origin of 1 to 255 bytes
// free of control characters, carriage return, line feed, then the content.
bool ParseItem(const std::string& item, std::string& origin, std::string& content)
{
    if (item.compare(0, 11, "vormtalware") != 0)
        return false;
    const size_t lineEnd = item.find('\r', 11);
    if (lineEnd == std::string::npos || lineEnd + 1 >= item.size() || item[lineEnd + 1] != '\n')
        return false;
    origin = item.substr(11, lineEnd - 11);
    if (origin.empty() || origin.size() >= kStorePathSize)
        return false;
    for (unsigned char c : origin)
        if (c < 0x20)
            return false;
    content.clear();
    for (size_t k = lineEnd + 2; k < item.size(); ++k)
        content += static_cast<char>(static_cast<unsigned char>(item[k]) - QUARANTINE_SHIFT);
    return true;
}

std::string RandomItem(std::mt19937& random)
{
    auto below = [&](size_t n) { return static_cast<size_t>(random() % n); };
    std::string origin = "E:\\";
    const size_t originLength = below(6) == 0 ? 240 + below(40) : 1 + below(60);
    while (origin.size() < originLength)
        origin += static_cast<char>(below(2) ? 'a' + below(26) : 0xC0 + below(64));  // Latin and Cyrillic
    std::string content(below(3000), '\0');
    for (char& c : content)
        c = static_cast<char>(random());
    std::string item = ItemBytes(origin, content);

    const size_t mutations = below(4);
    for (size_t m = 0; m < mutations && !item.empty(); ++m) {
        const size_t at = below(std::min<size_t>(item.size(), 300));
        switch (below(6)) {
        case 0: item[at] = static_cast<char>(random()); break;
        case 1: item.resize(below(item.size() + 1)); break;
        case 2: item.insert(at, 1, static_cast<char>(random())); break;
        case 3: item[at] = "\r\n\0"[below(3)]; break;
        case 4: item.erase(at, 1); break;
        default: item.assign(below(40), static_cast<char>(random())); break;
        }
    }
    return item;
}

}  // namespace

TEST_F(QuarantineTest, RandomlyDamagedItemsAreReadSafelyAndAsTheRuleSays)
{
    std::mt19937 random(20261208);
    const std::string item = scratch_ / "fuzz.vw";
    const std::string plain = scratch_ / "fuzz.out";
    int accepted = 0;
    for (int round = 0; round < 3000; ++round) {
        const std::string bytes = RandomItem(random);
        SCOPED_TRACE(round);
        MakeFile(item, bytes);
        std::string origin;
        std::string content;
        const bool valid = ParseItem(bytes, origin, content);
        accepted += valid;

        char buffer[320];
        std::memset(buffer, '#', sizeof buffer);
        const size_t size = 1 + random() % 300;
        const bool read = ReadQuarantineOrigin(item.c_str(), buffer, size);
        ASSERT_EQ(read, valid && origin.size() < size);
        if (read) {
            ASSERT_EQ(std::string(buffer), origin);
        }
        for (size_t k = size; k < sizeof buffer; ++k)
            ASSERT_EQ(buffer[k], '#') << "written past " << size << " bytes";

        RemoveTree(plain);
        ASSERT_EQ(TranscodeQuarantineItem(plain.c_str(), item.c_str(), TranscodeDecode),
                  valid ? TranscodeDone : TranscodeNotAnItem);
        ASSERT_EQ(PathExists(plain), valid);
        if (valid) {
            ASSERT_TRUE(ReadWholeFile(plain) == content);
        }
    }
    // Both kinds must have come up often enough for the test to mean something.
    EXPECT_GT(accepted, 300);
    EXPECT_LT(accepted, 2700);
}
