#pragma once
// Walking a folder tree as its directory listings show it, without ever entering a link: a
// junction or a symbolic link in the install folder may lead anywhere on the disk.

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

// The failure text of a tree that could not be walked.
inline constexpr wchar_t kTextCannotReadFolder[] = L"无法读取安装目录";

// Whether a reparse point stands for another place (a symbolic link, a junction, a mount point),
// or is one whose tag cannot be told (Wine shows a Unix symbolic link so). Other reparse points
// (a cloud-sync client's placeholders, say) mark ordinary files and folders.
bool IsLinkTag(DWORD reparseTag);
// A directory entry that is such a link, to a file or to a folder.
bool IsLinkEntry(DWORD attributes, DWORD reparseTag);

// One entry of the tree, as the listing of its folder gives it.
struct FolderEntry {
    std::wstring path;      // the full path
    std::wstring relative;  // below the root, with backslashes
    DWORD attributes = 0;
    DWORD reparseTag = 0;  // when attributes hold FILE_ATTRIBUTE_REPARSE_POINT
    std::uint64_t size = 0;
    bool IsLink() const { return IsLinkEntry(attributes, reparseTag); }
    bool IsFolder() const { return (attributes & FILE_ATTRIBUTE_DIRECTORY) && !IsLink(); }
};

// Calls visit for every entry below root, each folder before what it holds (so that the entries
// in reverse order come each after all it holds). Links are visited, never entered; folders that
// this user may not list are visited and not entered, and what vanishes meanwhile is passed
// over. visit returns false to end the walk there. False when a folder could not be listed
// otherwise, root included; a root that does not exist holds nothing.
bool WalkFolder(const std::wstring& root, const std::function<bool(const FolderEntry&)>& visit);
