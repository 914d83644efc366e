#pragma once
// Files and settings for the tests: the prepared zip archives, a scratch folder per test,
// whole-file reads and writes, and a guard that puts back what a test changed.

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <string_view>

// A host path (such as kTestBuildDir) as Wine sees it, through drive Z:.
std::wstring WindowsPathOfHost(std::string_view hostPath);

// One of the archives that tools/make_test_zips.py wrote for this build.
std::wstring TestZipPath(std::string_view name);

// A new, empty folder in the temporary directory, removed with everything in it at the end.
struct ScratchDir {
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::filesystem::path& Path() const { return path_; }
    std::wstring operator/(std::wstring_view relative) const {
        return (path_ / relative).wstring();
    }
    std::filesystem::path path_;
};

// The whole file; an empty string for a missing one.
std::string ReadWholeFile(const std::filesystem::path& path);
// Creates the file's missing folders and writes the bytes, replacing the file.
void WriteWholeFile(const std::filesystem::path& path, std::string_view bytes);
// Every file and folder below root, as relative paths with backslashes, folders ending in one,
// sorted, one a line.
std::wstring ListTree(const std::filesystem::path& root);

// Makes, in the folder, a Unix symbolic link named `link` to `target` (relative to the folder):
// CreateSymbolicLinkW makes nothing under Wine, so the host's /bin/ln does it, started from here
// as Wine starts a Linux program. Wine shows a link to a folder as a reparse point without a
// tag; one to a file looks like that file. False when the link does not appear.
bool MakeHostLink(const std::filesystem::path& folder, const std::string& target,
                  const std::string& link);
// Removes the folder with all it holds, links as links (which Windows programs cannot do under
// Wine: RemoveDirectoryW follows a Unix link), through the host's /bin/rm when it must. False
// when it is still there.
bool RemoveTree(const std::filesystem::path& path);

// Runs the function at the end of the scope, however the scope is left: it puts back what a
// test changed.
struct Finally {
    explicit Finally(std::function<void()> undo) : undo_(std::move(undo)) {}
    ~Finally() { undo_(); }
    Finally(const Finally&) = delete;
    Finally& operator=(const Finally&) = delete;
    const std::function<void()> undo_;
};

// Sets environment variables of this process and the programs it starts, to the scope's end.
[[nodiscard]] Finally SetVariables(const std::map<std::wstring, std::wstring>& variables);

// The current user's proxy settings in Internet Options, as Windows keeps them (the binary value
// DefaultConnectionSettings), to the scope's end, when the value goes again. Flags: 0x2 a fixed
// proxy with its bypass list, 0x4 a PAC file's address, 0x8 auto-detection; 0 leaves no value,
// as on a machine where nobody set anything.
[[nodiscard]] Finally SetInternetOptions(unsigned flags, const std::string& proxy = "",
                                         const std::string& bypass = "",
                                         const std::string& pac = "");
