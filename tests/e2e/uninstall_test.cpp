// Found, updated where it lives, removed cleanly: the install in Apps & features and the Start
// menu, and the uninstaller in the install folder, quiet or asking first.

#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>

#include "app/install_location.h"
#include "e2e/installer_fixture.h"
#include "install/shortcut.h"

namespace {

class Uninstall : public Installer {
public:
    fs::path Uninstaller() const { return InstallDir() / L"VexaBoxUninstaller.exe"; }
    // Starts the uninstaller as Apps & features does.
    void StartUninstaller(UniqueProcess& process) const {
        const std::wstring path = Uninstaller().wstring();
        ASSERT_TRUE(StartDetached(path, L"\"" + path + L"\" /uninstall", process));
    }
    int UninstallQuietly(const fs::path& program = fs::path()) const {
        return RunToEnd(program.empty() ? Uninstaller() : program, L"/uninstall /S");
    }
};

// The message box the process shows, other than `answered`, with its text; null while there is
// none (another process may see a box for a while after it has gone).
HWND MessageBoxOf(const UniqueProcess& process, HWND answered, std::wstring& text) {
    struct Search {
        DWORD processId;
        HWND answered;
        HWND box = nullptr;
    } search{process.info.dwProcessId, answered};
    EnumWindows(
        [](HWND window, LPARAM context) {
            auto* s = reinterpret_cast<Search*>(context);
            wchar_t name[16] = {};
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            GetClassNameW(window, name, 16);
            if (owner == s->processId && std::wstring(name) == L"#32770" &&
                IsWindowVisible(window) && window != s->answered) {
                s->box = window;
            }
            return s->box ? FALSE : TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    text.clear();
    for (HWND child = search.box ? GetWindow(search.box, GW_CHILD) : nullptr; child;
         child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t name[16] = {}, label[512] = {};
        GetClassNameW(child, name, 16);
        GetWindowTextW(child, label, 512);
        if (_wcsicmp(name, L"Static") == 0 && wcslen(label) > text.size()) text = label;
    }
    return search.box;
}

// Waits for the process's next message box and answers it with the button; its text.
std::wstring Answer(const UniqueProcess& process, int button, HWND& answered) {
    std::wstring text;
    HWND box = nullptr;
    WaitUntil([&] { return (box = MessageBoxOf(process, answered, text)) != nullptr; }, 20s);
    if (box) PostMessageW(box, WM_COMMAND, button, 0);
    answered = box;
    return box ? text : L"no message box";
}

// After an install: one entry in Apps & features, written anew by every install; the Start menu
// shortcut beside the desktop one; the uninstaller in the folder. The next window offers the
// folder of the install it would update, and the default once that folder is gone.
TEST_F(Uninstall, AnInstallIsListedInAppsAndFeaturesAndFoundByTheNextRun) {
    InstallNow("client-top.zip");
    const std::wstring exe = (InstallDir() / L"Vexa盒子.exe").wstring();
    const std::wstring uninstall = L"\"" + Uninstaller().wstring() + L"\" /uninstall";
    std::map<std::wstring, std::wstring> values = AppsEntryValues();
    const std::wstring date = values[L"InstallDate"];
    EXPECT_EQ(date.size(), 8u);
    EXPECT_GT(std::stoul(values[L"EstimatedSize"]), 300u);  // the client alone has 300 KiB
    values.erase(L"InstallDate");
    values.erase(L"EstimatedSize");
    EXPECT_EQ(values,
              (std::map<std::wstring, std::wstring>{{L"DisplayName", L"Vexa盒子"},
                                                    {L"DisplayIcon", exe},
                                                    {L"DisplayVersion", L"2.1.0"},
                                                    {L"Publisher", L"Vexa Games"},
                                                    {L"InstallLocation", InstallDir().wstring()},
                                                    {L"UninstallString", uninstall},
                                                    {L"QuietUninstallString", uninstall + L" /S"},
                                                    {L"NoModify", L"1"},
                                                    {L"NoRepair", L"1"}}));
    const SavedShortcut start = LoadShortcut(StartMenuShortcutPath());
    EXPECT_EQ(start.target, exe);
    EXPECT_EQ(start.workingDirectory, InstallDir().wstring());
    EXPECT_EQ(start.description, L"Vexa盒子");
    EXPECT_TRUE(fs::is_regular_file(Uninstaller()));

    // A client without a version resource: no version, no publisher, none left from before.
    ServePackage("not-a-program.zip");
    auto installer = Start({}, BuildPath("app/VexaBoxInstaller.exe"), false);
    EXPECT_EQ(installer->Text(kInstallDirId), InstallDir().wstring());
    installer->Click(kInstallId);
    ASSERT_TRUE(installer->WaitForLine(L"button 立即安装", 20s));
    values = AppsEntryValues();
    EXPECT_EQ(values.count(L"DisplayVersion") + values.count(L"Publisher"), 0u);
    EXPECT_EQ(values[L"DisplayIcon"], exe);

    installer.reset();
    ASSERT_TRUE(RemoveTree(InstallDir()));
    installer = Start({}, BuildPath("app/VexaBoxInstaller.exe"), false);
    EXPECT_EQ(installer->Text(kInstallDirId), DefaultInstallDir());
}

// Quiet, the uninstaller removes what every install unpacked, the record, both shortcuts while
// they lead into the folder, a partial download of ours, the folders left empty and the entry,
// and within seconds itself and the folder if nothing else is left; the client's and the user's
// files stay. What is in use, or not an install folder of ours, stops it before anything goes.
TEST_F(Uninstall, RemovesWhatInstallsBroughtAndKeepsTheRest) {
    const fs::path documents = kTemp / L"vexa-e2e-documents";
    const fs::path partialRecord = kTemp / L"VexaBoxInstaller.partial-download";
    UniqueProcess client;
    const struct {
        const char* name;
        std::function<void()> arrange;  // after the install
        int exitCode;
        std::wstring left;    // the install folder's tree afterwards; "-": the folder is gone
        bool removed = true;  // the entry and the shortcuts leading into the folder are gone
    } cases[] = {
        {"everything ours", [] {}, 0, L"-"},
        {"the user's files", [&] { WriteWholeFile(InstallDir() / L"saves\\slot1.sav", "mine"); }, 0,
         L"saves\\\nsaves\\slot1.sav\n"},
        // The first version's readme.txt stays out of the second package: it goes too.
        {"every version's files", [&] { InstallNow("client-nested.zip"); }, 0, L"-"},
        {"a shortcut the user pointed elsewhere",
         [&] {
             WriteWholeFile(documents / L"other.exe", "MZ");
             ASSERT_TRUE(CreateDesktopShortcut((documents / L"other.exe").wstring(), nullptr));
         },
         0, L"-"},
        // The package's data folder replaced by a link to the user's documents: removed as a
        // link, if at all (Wine cannot), never followed.
        {"a package folder that is a link",
         [&] {
             fs::remove_all(InstallDir() / L"data");
             ASSERT_TRUE(MakeHostLink(InstallDir(), "../../../vexa-e2e-documents", "data"));
         },
         0, L"data\\\ndata\\config.ini\n"},
        // A record line that leads out of the folder, to the user's documents, is skipped.
        {"a record line that leaves the folder",
         [&] {
             std::ofstream(InstallDir() / L"VexaBoxInstaller.installed-files",
                           std::ios::app | std::ios::binary)
                 << "..\\..\\..\\vexa-e2e-documents\\config.ini\n";
         },
         0, L"-"},
        {"a partial download",
         [&] {
             WriteWholeFile(kTemp / L"other.zip.partial", "half");
             WriteWholeFile(partialRecord,
                            "VexaBoxInstaller partial download 1\nhttps://e/o.zip\n"
                            "other.zip.partial\n\"v\"\n10\n");
         },
         0, L"-"},
        {"the client running",
         [&] {
             ASSERT_TRUE(StartDetached((InstallDir() / L"Vexa盒子.exe").wstring(), L"c", client));
             ASSERT_TRUE(WaitUntil([&] { return ClientStarted(); }, 20s));
         },
         2,
         L"VexaBoxInstaller.installed-files\nVexaBoxUninstaller.exe\nVexa盒子.exe\n"
         L"data\\\ndata\\config.ini\nreadme.txt\n",
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        UseInstallRoot(name_ + "-" + c.name);
        fs::remove_all(documents);
        WriteWholeFile(documents / L"config.ini", "the user's");
        InstallNow("client-top.zip");
        c.arrange();
        EXPECT_EQ(UninstallQuietly(), c.exitCode);
        if (client.info.hProcess) {
            TerminateProcess(client.info.hProcess, 0);
            WaitForSingleObject(client.info.hProcess, 10000);
            fs::remove(InstallDir() / L"client-started.txt");
        }
        // The uninstaller's own file, and then an empty folder, go once it has ended.
        EXPECT_TRUE(WaitUntil(
            [&] {
                return c.left == L"-" ? !fs::exists(InstallDir())
                                      : !c.removed || !fs::exists(Uninstaller());
            },
            20s));
        EXPECT_EQ(fs::exists(InstallDir()) ? ListTree(InstallDir()) : L"-", c.left);
        EXPECT_EQ(AppsEntryValues().empty(), c.removed);
        EXPECT_EQ(fs::exists(StartMenuShortcutPath()), !c.removed);
        const bool elsewhere = std::string(c.name).find("elsewhere") != std::string::npos;
        EXPECT_EQ(fs::exists(ShortcutPath()), !c.removed || elsewhere);
        EXPECT_FALSE(fs::exists(partialRecord) || fs::exists(kTemp / L"other.zip.partial"));
        EXPECT_EQ(ReadWholeFile(documents / L"config.ini"), "the user's");
        fs::remove_all(ShortcutPath());
        RegDeleteTreeW(HKEY_CURRENT_USER, kAppsEntryKey);
    }

    // Outside an install folder of ours it removes nothing.
    UseInstallRoot(name_ + "-elsewhere");
    InstallNow("client-top.zip");
    const fs::path copy = installRoot_ / L"VexaBoxUninstaller.exe";
    fs::copy_file(Uninstaller(), copy);
    EXPECT_EQ(UninstallQuietly(copy), 3);
    EXPECT_TRUE(fs::exists(InstallDir() / L"Vexa盒子.exe"));
    EXPECT_FALSE(AppsEntryValues().empty());
}

// Started from Apps & features it asks first: no changes nothing; yes removes and then tells
// what stayed.
TEST_F(Uninstall, AsksFirstAndTellsTheOutcome) {
    InstallNow("client-top.zip");
    WriteWholeFile(InstallDir() / L"saves\\slot1.sav", "mine");
    const std::wstring before = ListTree(InstallDir());
    for (const int answer : {IDNO, IDYES}) {
        UniqueProcess uninstaller;
        StartUninstaller(uninstaller);
        const Finally ended([&] { TerminateProcess(uninstaller.info.hProcess, 1); });
        HWND answered = nullptr;
        EXPECT_EQ(Answer(uninstaller, answer, answered), L"确定要卸载 Vexa盒子 吗？");
        if (answer == IDYES) {
            EXPECT_EQ(Answer(uninstaller, IDOK, answered),
                      L"Vexa盒子 已卸载，以下文件夹中保留了不属于安装包的文件：\n" +
                          InstallDir().wstring());
        }
        ASSERT_EQ(WaitForSingleObject(uninstaller.info.hProcess, 20000), WAIT_OBJECT_0);
        DWORD code = 99;
        GetExitCodeProcess(uninstaller.info.hProcess, &code);
        EXPECT_EQ(code, answer == IDNO ? 1u : 0u);
        if (answer == IDNO) {
            EXPECT_EQ(ListTree(InstallDir()), before);
            EXPECT_FALSE(AppsEntryValues().empty());
        }
    }
    EXPECT_TRUE(WaitUntil([&] { return !fs::exists(Uninstaller()); }, 20s));
    EXPECT_EQ(ListTree(InstallDir()), L"saves\\\nsaves\\slot1.sav\n");
    EXPECT_TRUE(AppsEntryValues().empty());
}

}  // namespace
