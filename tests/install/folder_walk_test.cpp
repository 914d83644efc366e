#include "install/folder_walk.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "support/test_files.h"
#include "support/test_server.h"

namespace fs = std::filesystem;

namespace {

// Wine cannot make a junction or a reparse point with a tag: the decision is tested on the values
// a directory entry carries too.
TEST(IsLinkEntry, TakesNameSurrogatesAndUntaggedReparsePointsForLinks) {
    constexpr DWORD kReparse = FILE_ATTRIBUTE_REPARSE_POINT;
    constexpr DWORD kFolder = FILE_ATTRIBUTE_DIRECTORY | kReparse;
    constexpr DWORD kCloudFiles = 0x9000601A;  // a cloud-sync client's placeholder
    const struct {
        DWORD attributes, tag;
        bool link;
    } cases[] = {{kFolder, IO_REPARSE_TAG_SYMLINK, true},
                 {kFolder, IO_REPARSE_TAG_MOUNT_POINT, true},
                 {kFolder, 0, true},  // Wine's Unix symbolic link, or a tag not read
                 {kReparse, IO_REPARSE_TAG_SYMLINK, true},
                 {kFolder, kCloudFiles, false},
                 {kReparse, IO_REPARSE_TAG_DEDUP, false},
                 {FILE_ATTRIBUTE_DIRECTORY, IO_REPARSE_TAG_SYMLINK, false}};
    for (const auto& c : cases)
        EXPECT_EQ(IsLinkEntry(c.attributes, c.tag), c.link) << c.attributes << " " << c.tag;
}

// Every entry once, each folder before what it holds; a linked folder is visited and not
// entered, and the walk ends where the visitor says.
TEST(WalkFolder, VisitsEachFolderBeforeItsEntriesAndNeverEntersALink) {
    const ScratchDir scratch;
    WriteWholeFile(scratch / L"root\\a\\b\\深层.txt", "12345");
    WriteWholeFile(scratch / L"root\\top.txt", "");
    WriteWholeFile(scratch / L"elsewhere\\hidden.txt", "x");
    ASSERT_TRUE(MakeHostLink(scratch / L"root\\a", "../../elsewhere", "linked"));
    std::wstring seen;
    std::vector<std::wstring> order;
    EXPECT_TRUE(WalkFolder(scratch / L"root\\", [&](const FolderEntry& entry) {
        order.push_back(entry.relative);
        seen += entry.relative +
                (entry.IsLink()     ? L" link"
                 : entry.IsFolder() ? L" folder"
                                    : L"") +
                L" " + std::to_wstring(entry.size) + L"\n";
        EXPECT_EQ(entry.path, scratch / (L"root\\" + entry.relative));
        return true;
    }));
    for (size_t i = 0; i < order.size(); ++i) {
        const size_t cut = order[i].rfind(L'\\');
        if (cut == std::wstring::npos) continue;
        const auto parent = std::find(order.begin(), order.end(), order[i].substr(0, cut));
        EXPECT_LT(parent - order.begin(), static_cast<std::ptrdiff_t>(i)) << Narrow(order[i]);
    }
    std::sort(order.begin(), order.end());
    std::wstring sorted;
    for (const std::wstring& relative : order)
        sorted += relative + L"\n";
    EXPECT_EQ(sorted, L"a\na\\b\na\\b\\深层.txt\na\\linked\ntop.txt\n");
    EXPECT_NE(seen.find(L"a\\b\\深层.txt 5\n"), std::wstring::npos) << Narrow(seen);
    EXPECT_NE(seen.find(L"a\\linked link"), std::wstring::npos) << Narrow(seen);
    EXPECT_NE(seen.find(L"a\\b folder"), std::wstring::npos) << Narrow(seen);

    int visited = 0;
    EXPECT_TRUE(WalkFolder(scratch / L"root", [&](const FolderEntry&) { return ++visited < 2; }));
    EXPECT_EQ(visited, 2);
    EXPECT_TRUE(WalkFolder(scratch / L"no such folder", [](const FolderEntry&) { return false; }));
}

}  // namespace
