#include "QuarantineTestSupport.h"
#include "support/ProgramUnderTest.h"
#include "support/TestDrive.h"
#include "support/UnixHost.h"

#include <algorithm>
#include <cstring>
#include <random>
#include <set>
#include <thread>

namespace {

std::string AllByteValues()
{
    std::string bytes;
    for (int b = 0; b < 256; ++b)
        bytes += static_cast<char>(b);
    return bytes;
}

// Removes the named file from the desktop before and after a test.
class DesktopFile {
public:
    explicit DesktopFile(const std::string& name) : path_(DesktopPath(name)) { RemoveTree(path_); }
    ~DesktopFile() { RemoveTree(path_); }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

// Copies this test program into `folder` and runs the disabled test `test`
// there, as a copy of the program that lies in that folder would run.
void RunCopyOfThisProgram(const std::string& folder, const std::string& test)
{
    char self[MAX_PATH];
    ASSERT_LT(GetModuleFileNameA(nullptr, self, MAX_PATH), DWORD{MAX_PATH});
    const std::string copy = folder + "\\quarantine_tests.exe";
    ASSERT_TRUE(CopyFileA(self, copy.c_str(), FALSE)) << copy;
    ProgramUnderTest child;
    ASSERT_TRUE(child.Start(copy, "--gtest_also_run_disabled_tests --gtest_filter=" + test));
    ASSERT_TRUE(child.WaitForExit(120000));
    EXPECT_EQ(child.ExitCode(), 0u) << "the run in " << folder << " failed; its output is above";
}

}  // namespace

TEST(QuarantineStorePaths, ProgramFolderAndFileNamePart)
{
    char module[MAX_PATH];
    GetModuleFileNameA(nullptr, module, MAX_PATH);
    char folder[kStorePathSize];
    ASSERT_TRUE(GetProgramFolder(folder));
    EXPECT_EQ(std::string(module).rfind('\\') + 1, std::strlen(folder));
    EXPECT_EQ(std::strncmp(module, folder, std::strlen(folder)), 0);
    char tiny[4] = "xyz";
    EXPECT_FALSE(GetProgramFolder(tiny, sizeof tiny));

    char name[kStorePathSize] = "untouched";
    EXPECT_FALSE(GetFileNamePart("no-backslash.exe", name));
    EXPECT_STREQ(name, "untouched");
    EXPECT_TRUE(GetFileNamePart("E:\\dir\\AUTORUN.INF", name));
    EXPECT_STREQ(name, "AUTORUN.INF");
    char small[8] = "keep";
    EXPECT_FALSE(GetFileNamePart("E:\\12345678", small, sizeof small));
    EXPECT_STREQ(small, "keep");
}

TEST_F(QuarantineTest, FolderIsCreatedBesideTheProgramAndAFileInTheWayIsRefused)
{
    RemoveTree(QuarantineFolderPath());
    char folder[kStorePathSize];
    ASSERT_TRUE(GetQuarantineFolder(folder));
    EXPECT_EQ(std::string(folder), QuarantineFolderPath() + "\\");
    EXPECT_TRUE(GetQuarantineFolder(folder)) << "an existing folder is used as it is";

    RemoveTree(QuarantineFolderPath());
    MakeFile(QuarantineFolderPath(), "not a folder");
    EXPECT_FALSE(GetQuarantineFolder(folder));
    MakeFile(scratch_ / "x.exe", "MZ");
    EXPECT_FALSE(QuarantineFile((scratch_ / "x.exe").c_str()));
    EXPECT_EQ(ReadWholeFile(scratch_ / "x.exe"), "MZ");
}

TEST_F(QuarantineTest, PutWritesTheExactLayoutAndRestoreGivesEveryByteBack)
{
    const std::string path = scratch_ / "all.bin";
    const std::string content = AllByteValues() + AllByteValues();
    MakeFile(path, content, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY);

    ASSERT_TRUE(QuarantineFile(path.c_str()));
    EXPECT_FALSE(PathExists(path));
    ASSERT_EQ(ItemNames(), std::vector<std::string>{"all.bin.vw"});
    const std::string item = ItemPath("all.bin.vw");
    EXPECT_EQ(ReadWholeFile(item), ItemBytes(path, content));
    EXPECT_EQ(GetFileAttributesA(item.c_str()) & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY), 0u);

    char origin[kStorePathSize];
    ASSERT_TRUE(ReadQuarantineOrigin(item.c_str(), origin));
    EXPECT_EQ(origin, path);
    EXPECT_EQ(RestoreQuarantineItem(item.c_str()), RestoreToOrigin);
    EXPECT_EQ(ReadWholeFile(path), content);
}

TEST_F(QuarantineTest, ManyChunksRoundTripAndDecodeNeverOverwrites)
{
    std::mt19937 random(7);
    std::string content(kQuarantineChunkSize * 5 / 2 + 3, '\0');
    for (char& c : content)
        c = static_cast<char>(random());
    const std::string plain = scratch_ / "big.bin";
    const std::string item = scratch_ / "big.bin.vw";
    const std::string back = scratch_ / "back.bin";
    MakeFile(plain, content);

    ASSERT_EQ(TranscodeQuarantineItem(plain.c_str(), item.c_str(), TranscodeEncode), TranscodeDone);
    EXPECT_EQ(ReadWholeFile(item), ItemBytes(plain, content));
    ASSERT_EQ(TranscodeQuarantineItem(back.c_str(), item.c_str(), TranscodeDecode), TranscodeDone);
    EXPECT_TRUE(ReadWholeFile(back) == content);

    MakeFile(back, "already here");
    EXPECT_EQ(TranscodeQuarantineItem(back.c_str(), item.c_str(), TranscodeDecode), TranscodePlainFailed);
    EXPECT_EQ(ReadWholeFile(back), "already here");
    EXPECT_EQ(TranscodeQuarantineItem((scratch_ / "no\\such\\folder").c_str(), item.c_str(), TranscodeDecode),
              TranscodePlainFailed);
    EXPECT_EQ(TranscodeQuarantineItem((scratch_ / "gone.bin").c_str(), item.c_str(), TranscodeEncode),
              TranscodePlainFailed);
    EXPECT_EQ(TranscodeQuarantineItem(plain.c_str(), (scratch_ / "no\\such\\item.vw").c_str(), TranscodeEncode),
              TranscodeItemFailed);
    EXPECT_EQ(TranscodeQuarantineItem(back.c_str(), (scratch_ / "none.vw").c_str(), TranscodeDecode),
              TranscodeItemFailed);
}

TEST_F(QuarantineTest, EmptyFileMakesAHeaderOnlyItemAndRestoresEmpty)
{
    const std::string path = scratch_ / "empty.txt";
    MakeFile(path);
    ASSERT_TRUE(QuarantineFile(path.c_str()));
    const std::string item = ItemPath("empty.txt.vw");
    EXPECT_EQ(ReadWholeFile(item).size(), 13 + path.size());
    EXPECT_EQ(RestoreQuarantineItem(item.c_str()), RestoreToOrigin);
    EXPECT_TRUE(PathExists(path));
    EXPECT_EQ(ReadWholeFile(path), "");
}

TEST_F(QuarantineTest, FileThatIsAnItemAlreadyIsDeletedWithoutAnotherItem)
{
    const std::string path = scratch_ / "copied.vw";
    MakeFile(path, ItemBytes("E:\\x.exe", "MZ"));
    EXPECT_EQ(TranscodeQuarantineItem(path.c_str(), (scratch_ / "out.vw").c_str(), TranscodeEncode),
              TranscodeAlreadyItem);
    EXPECT_FALSE(PathExists(scratch_ / "out.vw"));
    EXPECT_TRUE(QuarantineFile(path.c_str()));
    EXPECT_FALSE(PathExists(path));
    EXPECT_TRUE(ItemNames().empty());
}

TEST_F(QuarantineTest, MissingPathsAndFilesAreRefused)
{
    const std::string any = scratch_ / "any";
    for (const char* missing : {static_cast<const char*>(nullptr), ""}) {
        EXPECT_EQ(TranscodeQuarantineItem(missing, any.c_str(), TranscodeEncode), TranscodeMissingPath);
        EXPECT_EQ(TranscodeQuarantineItem(any.c_str(), missing, TranscodeDecode), TranscodeMissingPath);
        EXPECT_FALSE(QuarantineFile(missing));
        EXPECT_EQ(RestoreQuarantineItem(missing), RestoreFailed);
    }
    RemoveTree(QuarantineFolderPath());
    EXPECT_FALSE(QuarantineFile((scratch_ / "not-there.exe").c_str()));
    EXPECT_FALSE(QuarantineFile(scratch_.Path().c_str())) << "a folder is not a file";
    EXPECT_FALSE(PathExists(QuarantineFolderPath())) << "a refused put does not touch the quarantine folder";
}

TEST_F(QuarantineTest, DamagedAndForeignItemsAreRefusedByEveryReader)
{
    const std::string origin = scratch_ / "threat.exe";
    const std::string tooLong = "C:\\" + std::string(253, 'a');  // 256 bytes: no store buffer holds it
    const std::string damaged[] = {
        "",
        "vormtalwar",
        "VORMTALWARE" + origin + "\r\nMZ",
        "vormtalware" + origin,
        "vormtalware" + origin + "\rMZ",
        "vormtalware" + origin + "\nMZ",
        "vormtalware\r\nMZ",
        "vormtalware" + origin.substr(0, 5) + std::string(1, '\0') + origin.substr(5) + "\r\n",
        "vormtalware" + tooLong + "\r\n",
    };
    const std::string item = scratch_ / "damaged.vw";
    for (const std::string& bytes : damaged) {
        SCOPED_TRACE(testing::PrintToString(bytes));
        RemoveTree(item);
        MakeFile(item, bytes);
        char buffer[kStorePathSize + 16];
        std::memset(buffer, '#', sizeof buffer);
        EXPECT_FALSE(ReadQuarantineOrigin(item.c_str(), buffer, kStorePathSize));
        EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(sizeof buffer, '#'));
        EXPECT_EQ(TranscodeQuarantineItem(origin.c_str(), item.c_str(), TranscodeDecode), TranscodeNotAnItem);
        EXPECT_EQ(RestoreQuarantineItem(item.c_str()), RestoreFailed);
        EXPECT_FALSE(PathExists(origin));
        EXPECT_EQ(ReadWholeFile(item), bytes) << "readers never change an item";
    }
}

TEST_F(QuarantineTest, AnOriginThatDoesNotFitIsRefusedNeverCut)
{
    const std::string origin = "E:\\" + std::string(197, 'o');  // 200 bytes
    const std::string item = scratch_ / "long.vw";
    MakeFile(item, ItemBytes(origin, "data"));
    char buffer[300];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_FALSE(ReadQuarantineOrigin(item.c_str(), buffer, 200));
    EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(sizeof buffer, '#'));
    ASSERT_TRUE(ReadQuarantineOrigin(item.c_str(), buffer, 201));
    EXPECT_EQ(buffer, origin);
    EXPECT_EQ(buffer[201], '#');

    const std::string longest = "E:\\" + std::string(252, 'o');  // 255 bytes, the most a store buffer holds
    MakeFile(item, ItemBytes(longest, "data"));
    char path[kStorePathSize];
    ASSERT_TRUE(ReadQuarantineOrigin(item.c_str(), path));
    EXPECT_EQ(path, longest);
}

TEST_F(QuarantineTest, ASourcePathTooLongToStoreLeavesTheFileInPlace)
{
    const size_t sourceName = kStorePathSize - scratch_.Path().size() - 1;
    const std::string longSource = scratch_ / std::string(sourceName, 's');
    ASSERT_EQ(longSource.size(), kStorePathSize);
    MakeFile(longSource, "payload", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    EXPECT_FALSE(QuarantineFile(longSource.c_str()));
    EXPECT_EQ(ReadWholeFile(longSource), "payload");
    EXPECT_EQ(GetFileAttributesA(longSource.c_str()) & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM),
              DWORD{FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM});
    EXPECT_TRUE(ItemNames().empty());
}

// Quarantines the files in turn and checks that each has an item of its own
// whose path fits a store buffer and which restores that file's content to
// its origin. Returns the item names in the order of the files.
static std::vector<std::string> PutAndRestoreEach(const std::vector<std::string>& paths)
{
    std::vector<std::string> items;
    for (size_t k = 0; k < paths.size(); ++k) {
        MakeFile(paths[k], "content " + std::to_string(k));
        EXPECT_TRUE(QuarantineFile(paths[k].c_str())) << paths[k];
        for (const std::string& name : ItemNames())
            if (std::find(items.begin(), items.end(), name) == items.end())
                items.push_back(name);
    }
    EXPECT_EQ(items.size(), paths.size()) << "every file has an item of its own";
    for (size_t k = 0; k < items.size() && k < paths.size(); ++k) {
        const std::string item = ItemPath(items[k]);
        EXPECT_LT(item.size(), kStorePathSize);
        EXPECT_EQ(item.substr(item.size() - 3), ".vw");
        EXPECT_EQ(RestoreQuarantineItem(item.c_str()), RestoreToOrigin);
        EXPECT_EQ(ReadWholeFile(paths[k]), "content " + std::to_string(k));
    }
    return items;
}

TEST_F(QuarantineTest, ANameTooLongForTheItemPathIsShortenedAndStaysUnique)
{
    // On a drive root the origin stays short while the item name need not fit.
    TestDrive drive('Q', DRIVE_REMOVABLE);
    const size_t fits = kStorePathSize - 1 - (QuarantineFolderPath().size() + 1) - 3;  // "name.vw" of 255 bytes
    const std::string exact(fits, 'f');
    const std::string longer = std::string(fits, 'f') + "X.exe";
    const std::string other = std::string(fits, 'f') + "Y.exe";
    const std::vector<std::string> items = PutAndRestoreEach({drive / exact, drive / longer, drive / other});
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0], exact + ".vw") << "a name that fits keeps its form";
    EXPECT_EQ(items[1].substr(items[1].size() - 7), " (2).vw");
    EXPECT_EQ(items[2].substr(items[2].size() - 7), " (3).vw");
}

// A program installed in a deep folder: the test program copies itself into a
// folder about 150 characters deep and runs the test below from there, so the
// result does not depend on where the build lies.
TEST(QuarantineDeepProgramFolder, LongThreatNamesAreStoredAndRestored)
{
    ScratchDir scratch;
    std::string folder = scratch.Path();
    while (folder.size() < 150) {
        folder += "\\program files of a user-" + std::to_string(folder.size());
        ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr)) << folder;
    }
    RunCopyOfThisProgram(folder, "QuarantineDeepProgramFolder.DISABLED_InTheDeepFolder");
}

TEST(QuarantineDeepProgramFolder, DISABLED_InTheDeepFolder)
{
    ASSERT_GE(QuarantineFolderPath().size(), 150u);
    ScratchDir origin;
    const std::string threat = origin / (std::string(196, 'w') + ".exe");  // a 200-character name
    const std::string twin = origin / (std::string(196, 'w') + ".scr");    // shortens to the same start
    const std::vector<std::string> items = PutAndRestoreEach({threat, twin});
    ASSERT_EQ(items.size(), 2u);
    EXPECT_NE(items[0], items[1]);
}

// A copy installed under either Program Files folder keeps its items in the
// local application data of the user who runs it, where no other user can
// empty or replace them, and nothing beside its executable.
TEST(QuarantineInstalledCopy, ItemsGoToTheUsersOwnFolder)
{
    std::set<std::string> programFolders;
    for (const int folder : {CSIDL_PROGRAM_FILES, CSIDL_PROGRAM_FILESX86}) {
        char path[MAX_PATH];
        if (SUCCEEDED(SHGetFolderPathA(nullptr, folder, nullptr, SHGFP_TYPE_CURRENT, path)))
            programFolders.insert(path);
    }
    ASSERT_FALSE(programFolders.empty());
    for (const std::string& programFiles : programFolders) {
        const std::string folder = programFiles + "\\Vardenix test " + std::to_string(GetCurrentProcessId());
        ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr)) << folder;
        RunCopyOfThisProgram(folder, "QuarantineInstalledCopy.DISABLED_InProgramFiles");
        RemoveTree(folder);
    }
}

TEST(QuarantineInstalledCopy, DISABLED_InProgramFiles)
{
    char local[MAX_PATH];
    ASSERT_TRUE(SUCCEEDED(SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, local)));
    const std::string quarantine = std::string(local) + "\\Vardenix\\quarantine\\";
    char folder[kStorePathSize];
    ASSERT_TRUE(GetQuarantineFolder(folder));
    EXPECT_EQ(folder, quarantine);

    ScratchDir origin;
    const std::string name = "vardenix-installed-" + std::to_string(GetCurrentProcessId()) + ".exe";
    const std::string threat = origin / name;
    const std::string content = AllByteValues();
    MakeFile(threat, content, FILE_ATTRIBUTE_HIDDEN);
    ASSERT_TRUE(QuarantineFile(threat.c_str()));
    const std::string item = quarantine + name + ".vw";
    EXPECT_EQ(ReadWholeFile(item), ItemBytes(threat, content));
    EXPECT_EQ(RestoreQuarantineItem(item.c_str()), RestoreToOrigin);
    EXPECT_EQ(ReadWholeFile(threat), content);
    RemoveTree(item);
    EXPECT_FALSE(PathExists(QuarantineFolderPath())) << "nothing beside the executable";
}

// Items are written into the quarantine folder itself, never through a link:
// one that replaced the folder, or one on the way to it, would lead them
// anywhere. The put fails and the threat stays where it is.
TEST_F(QuarantineTest, AQuarantineFolderThatIsALinkGetsNoItem)
{
    RemoveTree(QuarantineFolderPath());
    ScratchDir elsewhere;
    const std::string programFolder = QuarantineFolderPath().substr(0, QuarantineFolderPath().rfind('\\'));
    ASSERT_TRUE(MakeUnixLink(UnixPathOf(elsewhere.Path()), programFolder, "quarantine"));
    MakeFile(scratch_ / "worm.exe", "MZ worm");
    char folder[kStorePathSize];
    EXPECT_FALSE(GetQuarantineFolder(folder));
    EXPECT_FALSE(QuarantineFile((scratch_ / "worm.exe").c_str()));
    RemoveUnixLink(programFolder, "quarantine");
    EXPECT_EQ(ReadWholeFile(scratch_ / "worm.exe"), "MZ worm");
    EXPECT_FALSE(PathExists(elsewhere / "worm.exe.vw"));

    ScratchDir copy;
    MakeFolder(copy / "real");
    ASSERT_TRUE(MakeUnixLink("real", copy.Path(), "link"));
    RunCopyOfThisProgram(copy / "link", "QuarantineLinkedProgramFolder.DISABLED_Put");
    RemoveUnixLink(copy.Path(), "link");
}

// A copy started through a linked folder: its quarantine folder is no link,
// but a folder on the way to it is.
TEST(QuarantineLinkedProgramFolder, DISABLED_Put)
{
    ScratchDir origin;
    MakeFile(origin / "worm.exe", "MZ worm");
    EXPECT_FALSE(QuarantineFile((origin / "worm.exe").c_str()));
    EXPECT_EQ(ReadWholeFile(origin / "worm.exe"), "MZ worm");
    EXPECT_TRUE(ItemNames().empty());
}

TEST_F(QuarantineTest, AFileHeldOpenWithoutSharingStays)
{
    const std::string path = scratch_ / "busy.exe";
    MakeFile(path, "MZ busy");
    HANDLE held = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(QuarantineFile(path.c_str()));
    CloseHandle(held);
    EXPECT_EQ(ReadWholeFile(path), "MZ busy");
    EXPECT_TRUE(ItemNames().empty()) << "no item without the file being deleted";

    ASSERT_TRUE(QuarantineFile(path.c_str()));
    HANDLE item = CreateFileA(ItemPath("busy.exe.vw").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(item, INVALID_HANDLE_VALUE);
    char origin[kStorePathSize];
    EXPECT_FALSE(ReadQuarantineOrigin(ItemPath("busy.exe.vw").c_str(), origin));
    EXPECT_EQ(RestoreQuarantineItem(ItemPath("busy.exe.vw").c_str()), RestoreFailed);
    CloseHandle(item);
    EXPECT_FALSE(PathExists(path));
}

TEST_F(QuarantineTest, RestoringOneItemThreeTimesGoesToOriginThenDesktopThenFails)
{
    TestDrive drive('Q', DRIVE_REMOVABLE);
    DesktopFile onDesktop("vardenix-restore.exe");
    const std::string path = drive / "vardenix-restore.exe";
    MakeFile(path, "MZ restore me", FILE_ATTRIBUTE_HIDDEN);
    ASSERT_TRUE(QuarantineFile(path.c_str()));
    const std::string item = ItemPath("vardenix-restore.exe.vw");

    EXPECT_EQ(RestoreQuarantineItem(item.c_str()), RestoreToOrigin);
    EXPECT_EQ(ReadWholeFile(path), "MZ restore me");
    EXPECT_EQ(RestoreQuarantineItem(item.c_str()), RestoreToDesktop);
    EXPECT_EQ(ReadWholeFile(onDesktop.Path()), "MZ restore me");
    EXPECT_EQ(RestoreQuarantineItem(item.c_str()), RestoreFailed);
    EXPECT_EQ(ReadWholeFile(item), ItemBytes(path, "MZ restore me")) << "the item stays as it was";
}

TEST_F(QuarantineTest, ItemOfADetachedDriveIsRestoredToTheDesktop)
{
    TestDrive drive('Q', DRIVE_REMOVABLE);
    DesktopFile onDesktop("AUTORUN.INF");
    MakeFile(drive / "AUTORUN.INF", "[autorun]\r\nopen=x.exe\r\n");
    ASSERT_TRUE(QuarantineFile((drive / "AUTORUN.INF").c_str()));
    drive.Detach();
    EXPECT_EQ(RestoreQuarantineItem(ItemPath("AUTORUN.INF.vw").c_str()), RestoreToDesktop);
    EXPECT_EQ(ReadWholeFile(onDesktop.Path()), "[autorun]\r\nopen=x.exe\r\n");
}

TEST_F(QuarantineTest, SameNameFromTwoDrivesKeepsBothItems)
{
    TestDrive first('Q', DRIVE_REMOVABLE);
    TestDrive second('R', DRIVE_REMOVABLE);
    MakeFile(first / "AUTORUN.INF", "[autorun]\r\nopen=q.exe\r\n", FILE_ATTRIBUTE_HIDDEN);
    MakeFile(second / "AUTORUN.INF", "[autorun]\r\nopen=r.exe\r\n", FILE_ATTRIBUTE_HIDDEN);
    ASSERT_TRUE(QuarantineFile((first / "AUTORUN.INF").c_str()));
    ASSERT_TRUE(QuarantineFile((second / "AUTORUN.INF").c_str()));

    const std::vector<std::string> names = ItemNames();
    ASSERT_EQ(names.size(), 2u);
    std::set<std::string> origins;
    for (const std::string& name : names) {
        EXPECT_EQ(name.substr(name.size() - 3), ".vw");
        char origin[kStorePathSize];
        ASSERT_TRUE(ReadQuarantineOrigin(ItemPath(name).c_str(), origin));
        origins.insert(origin);
        EXPECT_EQ(RestoreQuarantineItem(ItemPath(name).c_str()), RestoreToOrigin);
    }
    EXPECT_EQ(origins, (std::set<std::string>{first / "AUTORUN.INF", second / "AUTORUN.INF"}));
    EXPECT_EQ(ReadWholeFile(first / "AUTORUN.INF"), "[autorun]\r\nopen=q.exe\r\n");
    EXPECT_EQ(ReadWholeFile(second / "AUTORUN.INF"), "[autorun]\r\nopen=r.exe\r\n");
}

TEST_F(QuarantineTest, PutsOnSeveralThreadsAtOnceEachKeepTheirItem)
{
    // The folder is missing at the start, so the threads also race to create it.
    RemoveTree(QuarantineFolderPath());
    constexpr int kThreads = 6;
    std::vector<std::string> paths;
    for (int k = 0; k < kThreads; ++k) {
        MakeFolder(scratch_ / std::to_string(k));
        paths.push_back(scratch_ / (std::to_string(k) + "\\AUTORUN.INF"));
        MakeFile(paths.back(), "drive " + std::to_string(k));
    }
    bool results[kThreads] = {};
    std::vector<std::thread> threads;
    for (int k = 0; k < kThreads; ++k)
        threads.emplace_back([&, k] { results[k] = QuarantineFile(paths[k].c_str()); });
    for (std::thread& thread : threads)
        thread.join();

    for (int k = 0; k < kThreads; ++k)
        EXPECT_TRUE(results[k]) << k;
    std::set<std::string> origins;
    for (const std::string& name : ItemNames()) {
        char origin[kStorePathSize];
        ASSERT_TRUE(ReadQuarantineOrigin(ItemPath(name).c_str(), origin));
        origins.insert(origin);
    }
    EXPECT_EQ(origins, std::set<std::string>(paths.begin(), paths.end()));
}

// Nothing in an item is trusted: anyone who can write the quarantine folder
// can plant one. An origin that is not a plain path on a drive letter
// restores nothing anywhere, not even to the desktop, and the item stays.
TEST_F(QuarantineTest, ItemsWithCraftedOriginsRestoreNothing)
{
    TestDrive drive('Q', DRIVE_REMOVABLE);
    MakeFolder(drive / "sub");
    DesktopFile onDesktop("planted.exe");
    const std::string desktop = onDesktop.Path().substr(0, onDesktop.Path().rfind('\\'));
    char here[MAX_PATH];
    GetFullPathNameA("planted.exe", MAX_PATH, here, nullptr);
    // Where each of them would write, were it trusted.
    const std::string landings[] = {drive / "planted.exe", drive / "sub\\planted.exe", onDesktop.Path(),
                                    desktop.substr(0, desktop.rfind('\\')) + "\\planted.exe", here};
    const std::string origins[] = {
        "planted.exe", "Q:planted.exe", "Q:/planted.exe", "Q:\\sub\\..\\planted.exe", "Q:\\.\\planted.exe",
        "Q:\\planted.exe.", "Q:\\planted.exe:stream", "Q:\\NUL", "Q:\\sub\\con.txt", "\\\\?\\Q:\\planted.exe",
        "\\\\.\\Q:\\planted.exe", "\\\\localhost\\share\\planted.exe",
        // The drive is missing, so the desktop would be next, under this name.
        "W:\\gone\\x/../../planted.exe",
    };
    const std::string item = scratch_ / "planted.exe.vw";
    for (const std::string& origin : origins) {
        SCOPED_TRACE(origin);
        const std::string bytes = ItemBytes(origin, "MZ planted");
        MakeFile(item, bytes);
        EXPECT_EQ(RestoreQuarantineItem(item.c_str()), RestoreFailed);
        EXPECT_EQ(ReadWholeFile(item), bytes);
        for (const std::string& landing : landings) {
            EXPECT_FALSE(PathExists(landing)) << landing;
            RemoveTree(landing);
        }
    }
}
