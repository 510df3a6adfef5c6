#include "updater/UpdateDescription.h"
#include "updater/UpdateKey.h"
#include "support/ScratchDir.h"
#include "support/UnixHost.h"

#include <gtest/gtest.h>

#include <string>

namespace {

Version V(const std::string& text)
{
    Version version;
    EXPECT_TRUE(ParseVersion(text, version)) << text;
    return version;
}

const std::string kDigest = "000102030405060708090a0b0c0d0e0f101112131415161718191A1B1C1D1E1F";
const std::string kBody = "; a comment\n[Tollmark]\r\nversion=5.2.0.0\nsize=1024\ninstaller=setup.exe\nsha256=" +
                          kDigest + "\n\nexpires=2024-02-29\nnotes=Первая\\nВторая \\\\ конец\nlater=a key of a later updater\n";

std::string Replaced(std::string text, const std::string& what, const std::string& with)
{
    const size_t at = text.find(what);
    EXPECT_NE(at, std::string::npos) << what;
    return at == std::string::npos ? text : text.replace(at, what.size(), with);
}

}  // namespace

TEST(UpdateVersion, ComparesNumericallyPartByPart)
{
    const struct { const char* a; const char* b; int order; } cases[] = {
        {"5.1.0.15", "5.2.0.0", -1}, {"5.10", "5.9", 1},       {"5.1", "5.1.0.0", 0},
        {"5.1.0.9", "5.1.0.15", -1}, {"6", "5.99.99.99", 1}, {"5.1.0.15", "5.1.0.15", 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CompareVersions(V(c.a), V(c.b)), c.order) << c.a << " " << c.b;
        EXPECT_EQ(CompareVersions(V(c.b), V(c.a)), -c.order) << c.b << " " << c.a;
    }
}

TEST(UpdateVersion, RefusesWhatIsNotAVersion)
{
    for (const char* text : {"", ".", "5.", ".5", "5..1", "5.a", "-1", "+1", " 5", "5 ", "5,1", "1234567890",
                             "1.2.3.4.5.6.7.8.9"}) {
        Version version;
        EXPECT_FALSE(ParseVersion(text, version)) << "'" << text << "'";
    }
}

TEST(UpdateDescription, ReadsEveryFieldAndTheNotes)
{
    UpdateDescription description;
    ASSERT_TRUE(ParseUpdateDescription(kBody, "Tollmark", description));
    EXPECT_EQ(description.version, "5.2.0.0");
    EXPECT_EQ(description.installer, "setup.exe");
    EXPECT_EQ(description.size, 1024u);
    for (size_t k = 0; k < description.sha256.size(); ++k)
        EXPECT_EQ(description.sha256[k], k) << k;
    EXPECT_EQ(description.expires, 20240229u);
    EXPECT_EQ(description.notes, L"Первая\r\nВторая \\ конец");
}

TEST(UpdateDescription, ReadsOnlyDaysOfTheCalendarAsTheLastDay)
{
    const struct { const char* text; DayNumber day; } cases[] = {
        {"2024-02-29", 20240229}, {"2000-02-29", 20000229}, {"2025-12-31", 20251231}, {"0001-01-01", 10101},
        {"2023-02-29", 0}, {"1900-02-29", 0}, {"2025-04-31", 0}, {"2025-13-01", 0}, {"2025-00-10", 0},
        {"2025-01-00", 0}, {"0000-01-01", 0}, {"2025-1-01", 0}, {"25-01-01", 0}, {"2025/01/01", 0},
        {"2025-01-01 ", 0}, {"+025-01-01", 0}, {"", 0},
    };
    for (const auto& c : cases) {
        DayNumber day = 0;
        EXPECT_EQ(ParseDay(c.text, day), c.day != 0) << c.text;
        EXPECT_EQ(day, c.day) << c.text;
    }
}

TEST(UpdateDescription, RefusesABodyThatIsNotWellFormed)
{
    const struct { std::string what; std::string with; } cases[] = {
        {"[Tollmark]", "[Other]"},
        {"version=5.2.0.0", "version=5.x"}, {"version=5.2.0.0\n", ""},
        {"version=5.2.0.0", "version=5.2.0.0\nversion=5.3"},
        {"installer=setup.exe\n", ""}, {"installer=setup.exe", "installer="},
        {"size=1024\n", ""}, {"size=1024", "size=0"}, {"size=1024", "size=1024 "}, {"size=1024", "size=1073741825"},
        {"sha256=" + kDigest + "\n", ""}, {"1F\n", "1\n"}, {"1F\n", "1G\n"},
        {"notes=", "notes=\\x"}, {"конец", "конец\\"},
        {"\nnotes", "\nno key here\nnotes"}, {"\nnotes", "\n=5\nnotes"},
        {"expires=2024-02-29", "expires=2023-02-29"}, {"expires=2024-02-29", "expires=2024-02-29\nexpires=2099-01-01"},
    };
    for (const auto& c : cases) {
        UpdateDescription description;
        EXPECT_FALSE(ParseUpdateDescription(Replaced(kBody, c.what, c.with), "Tollmark", description))
            << c.what << " -> " << c.with;
    }
}

TEST(UpdateDescription, IsBelievedOnlyWithTheSignatureOfTheKey)
{
    // Signed by scripts/sign-update.sh with the test key at build time.
    const std::string text = ReadWholeFile(WindowsPathOf(TEST_DESCRIPTIONS "/newer.ini"));
    UpdateDescription description;
    ASSERT_EQ(CheckUpdateDescription(text, kUpdatePublicKey, "Tollmark", TodayUtc(), description),
              DescriptionCheck::Valid);

    const std::string other = ReadWholeFile(WindowsPathOf(TEST_DESCRIPTIONS "/cut.ini"));
    const size_t section = text.find("[signature]");
    const std::string body = text.substr(0, section);
    const struct { std::string text; DescriptionCheck check; } cases[] = {
        {Replaced(text, "5.2.0.0", "5.3.0.0"), DescriptionCheck::BadSignature},
        {Replaced(text, "\n", "\r\n"), DescriptionCheck::BadSignature},
        {body + other.substr(other.find("[signature]")), DescriptionCheck::BadSignature},
        {body, DescriptionCheck::Malformed},
        {text + "version=9.0\n", DescriptionCheck::Malformed},
        {Replaced(text, "rsa-sha256=", "rsa-sha256=*"), DescriptionCheck::Malformed},
        {Replaced(text, "rsa-sha256=", "sha256="), DescriptionCheck::Malformed},
        {"", DescriptionCheck::Malformed},
    };
    for (size_t k = 0; k < sizeof cases / sizeof cases[0]; ++k)
        EXPECT_EQ(CheckUpdateDescription(cases[k].text, kUpdatePublicKey, "Tollmark", TodayUtc(), description),
                  cases[k].check)
            << "case " << k;
    EXPECT_EQ(CheckUpdateDescription(text, kUpdatePublicKey, "Other", TodayUtc(), description),
              DescriptionCheck::Malformed);
}

TEST(UpdateDescription, IsBelievedThroughItsLastDayAndNotAfterNorWithoutOne)
{
    // Signed to run out on 2020-01-31, and signed with no last day at all.
    const std::string expiring = ReadWholeFile(WindowsPathOf(TEST_DESCRIPTIONS "/expired.ini"));
    const std::string old = ReadWholeFile(WindowsPathOf(TEST_DESCRIPTIONS "/old.ini"));
    const struct { const std::string& text; DayNumber today; DescriptionCheck check; } cases[] = {
        {expiring, 20191231, DescriptionCheck::Valid},   {expiring, 20200131, DescriptionCheck::Valid},
        {expiring, 20200201, DescriptionCheck::Expired}, {expiring, TodayUtc(), DescriptionCheck::Expired},
        {old, 20000101, DescriptionCheck::Expired},      {old, TodayUtc(), DescriptionCheck::Expired},
    };
    for (const auto& c : cases) {
        UpdateDescription description;
        EXPECT_EQ(CheckUpdateDescription(c.text, kUpdatePublicKey, "Tollmark", c.today, description), c.check)
            << c.today << (&c.text == &old ? " old" : " expiring");
    }
}
