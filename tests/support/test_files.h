#pragma once
// Files and settings for the tests: the prepared zip archives, a scratch folder per test,
// whole-file reads and writes, and guards that put a moved file, the desktop setting or an
// environment variable back.

#include <filesystem>
#include <string>
#include <string_view>

// A host path (such as kTestBuildDir) as Wine sees it, through drive Z:.
std::wstring WindowsPathOfHost(std::string_view hostPath);

// One of the archives that tools/make_test_zips.py wrote for this build.
std::wstring TestZipPath(std::string_view name);

// A new, empty folder in the temporary directory, removed with everything in it at the end.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    std::wstring operator/(std::wstring_view relative) const {
        return (path_ / relative).wstring();
    }

private:
    std::filesystem::path path_;
};

// The whole file; an empty string for a missing one.
std::string ReadWholeFile(const std::filesystem::path& path);
// Creates the file's missing folders and writes the bytes, replacing the file.
void WriteWholeFile(const std::filesystem::path& path, std::string_view bytes);
// Every file and folder below root, as relative paths with backslashes, folders ending in one,
// sorted, one a line.
std::wstring ListTree(const std::filesystem::path& root);

// Each of these changes something for its lifetime and puts it back on every way out; Done()
// tells whether the change was made.
class MovedAside {  // a file, moved away
public:
    explicit MovedAside(std::filesystem::path original);
    ~MovedAside();
    MovedAside(const MovedAside&) = delete;
    MovedAside& operator=(const MovedAside&) = delete;
    bool Done() const { return done_; }

private:
    std::filesystem::path original_;
    std::filesystem::path aside_;
    bool done_ = false;
};

class DesktopRedirect {  // the current user's desktop folder, pointed elsewhere
public:
    explicit DesktopRedirect(const std::wstring& folder);
    ~DesktopRedirect();
    DesktopRedirect(const DesktopRedirect&) = delete;
    DesktopRedirect& operator=(const DesktopRedirect&) = delete;
    bool Done() const { return done_; }

private:
    std::wstring previous_;
    unsigned long previousType_ = 0;
    bool done_ = false;
};

class ScopedVariable {  // an environment variable of this process (and its children)
public:
    ScopedVariable(const wchar_t* name, const std::wstring& value);
    ~ScopedVariable();
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    const wchar_t* name_;
};
