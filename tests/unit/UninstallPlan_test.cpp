#include "uninstall/UninstallPlan.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace brik {
namespace {

using Log = std::map<std::string, std::vector<std::string>>;

constexpr char kRegistration[] = R"(HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\App)";
// The stamp every file of these tests still has.
constexpr char kStamp[] = "1234,01D9ABCDEF012345";

// A log its registration vouches for, in C:\Program Files\App.
TLogFacts Verified() {
    return {R"(C:\Program Files\App)", kRegistration,
            [](const std::string&, std::string_view stamp) { return stamp == kStamp; }};
}

TUndoPlan Plan(const Log& log, const TLogFacts& facts = Verified()) {
    const TProtectedFolders folders{R"(C:\WINDOWS)", R"(C:\WINDOWS\SYSTEM)"};
    return BuildUndoPlan(
        [&log](std::string_view section) {
            const auto it = log.find(std::string(section));
            return it == log.end() ? std::vector<std::string>{} : it->second;
        },
        folders, facts);
}

// One line per action: its kind's number, target, section and name.
std::vector<std::string> Lines(const TUndoPlan& plan) {
    std::vector<std::string> lines;
    for (const TUndoAction& a : plan.actions) {
        std::string line = std::to_string(static_cast<int>(a.kind)) + " " + a.target;
        if (!a.section.empty()) line += " [" + a.section + "]";
        if (!a.name.empty() || a.kind == TUndoKind::DeleteRegValue) line += " '" + a.name + "'";
        lines.push_back(line);
    }
    return lines;
}

// The log of an install that made everything once, its sections in the order
// the install writes them: the plan takes it back in the reverse order of the
// install, whatever the order of the sections.
TEST(UninstallPlan, EveryRecordKindInReverseOrder) {
    const Log log = {
        {"CreateDirs", {R"(C:\Program Files\App=)", R"(C:\Program Files\App\Data=)", R"(C:\Program Files\App\Data\Deep=)",
                        R"(C:\Program Files\App\Bin=)", R"(C:\Menu\App=)"}},
        {"CopyFiles",
         {R"(C:\Program Files\App\app.exe=)", R"(C:\Program Files\App\shared.dll=)", R"(C:\WINDOWS\Fonts\app.ttf=1234,01D9ABCDEF012345)",
          R"(C:\Program Files\App\app.ini=)"}},
        {"SharedFiles", {R"(C:\Program Files\App\shared.dll=)"}},
        {"CreateKeys",
         {R"(HKLM\Software\Maker=)", R"(HKLM\Software\Maker\App=)",
          R"(HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\App=)", R"(HKLM\Software\Maker\App\Sub=)"}},
        {"RegServers", {R"(C:\Program Files\App\server.dll=)"}},
        {"AddReg", {R"(HKLM\Software\Maker\App\Path=C:\Program Files\App)", R"(HKLM\Software\Maker\App\=default)",
                    R"(HKLM\Software\Maker\App\'a\b'=quoted)"}},
        {"AddIni", {R"(C:\Program Files\App\app.ini,Main,Key=1)"}},
        {"RegFonts", {R"(App Sans (TrueType)=C:\WINDOWS\Fonts\app.ttf)"}},
        {"Shortcuts", {R"(C:\Menu\App\App.lnk=)"}},
        {"RunApp", {R"(1=C:\Program Files\App\app.exe,/cleanup)"}},
        {"Strings", {"1=not a record"}},
    };
    const TUndoPlan plan = Plan(log);
    const std::vector<std::string> want = {
        R"(0 C:\Program Files\App\app.exe,/cleanup)",
        R"(1 C:\Menu\App\App.lnk)",
        R"(2 C:\Program Files\App\server.dll)",
        R"(3 C:\WINDOWS\Fonts\app.ttf 'App Sans (TrueType)')",
        R"(4 C:\Program Files\App\shared.dll)",
        R"(5 HKLM\Software\Maker\App 'Path')",
        R"(5 HKLM\Software\Maker\App '')",
        R"(5 HKLM\Software\Maker\App 'a\b')",
        R"(6 C:\Program Files\App\app.ini [Main] 'Key')",
        R"(7 C:\Program Files\App\app.exe)",
        R"(7 C:\Program Files\App\app.ini)",
        R"(8 HKLM\Software\Maker\App\Sub)",
        R"(8 HKLM\Software\Maker\App)",
        R"(8 HKLM\Software\Maker)",
        R"(9 C:\Program Files\App\Data\Deep)",
        R"(9 C:\Program Files\App\Data)",
        R"(9 C:\Program Files\App\Bin)",
        R"(9 C:\Program Files\App)",
        R"(9 C:\Menu\App)",
        R"(8 HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\App)",
    };
    EXPECT_EQ(Lines(plan), want);
    EXPECT_TRUE(plan.refused.empty()) << plan.refused.front();
}

// Records a damaged or hostile log may hold: each is refused with its reason
// and the rest of the log is still undone.
TEST(UninstallPlan, HarmfulRecordsAreRefused) {
    struct Case {
        const char* section;
        const char* line;
        const char* reason;
    };
    const std::vector<Case> cases = {
        {"CopyFiles", R"(C:\=)", "a folder of the system"},
        {"CreateDirs", R"(D:\=)", "a folder of the system"},
        {"CreateDirs", R"(c:\windows\=)", "a folder of the system"},
        {"CreateDirs", R"(C:\WINDOWS\System=)", "a folder of the system"},
        {"CopyFiles", R"(C:\App\..\WINDOWS\win.ini=)", "not a full local path"},
        {"CopyFiles", R"(app.exe=)", "not a full local path"},
        {"CopyFiles", R"(\\server\share\app.exe=)", "not a full local path"},
        {"CopyFiles", R"(C:\App\*.*=)", "not a full local path"},
        {"CopyFiles", R"(%Windows%\app.exe=)", "not a full local path"},
        {"Shortcuts", "=", "not a full local path"},
        {"RegFonts", R"(=C:\WINDOWS\Fonts\a.ttf)", "no font name"},
        {"RegFonts", R"(Font=a.ttf)", "not a full local path"},
        {"AddIni", R"(C:\App\a.ini,Main=1)", "not a file, section and key"},
        {"CreateKeys", "HKLM=", "a registry root"},
        {"CreateKeys", R"(HKCU\=)", "a registry root"},
        {"CreateKeys", R"(Software\App=)", "no registry root"},
        {"AddReg", R"(HKEY_CURRENT_CONFIG\Software\App\v=1)", "no registry root"},
        {"AddReg", R"(HKLM\v=1)", "a registry root"},
    };
    for (const Case& c : cases) {
        Log log = {{"CopyFiles", {R"(C:\Program Files\App\kept.txt=)"}}};
        log[c.section].push_back(c.line);
        const TUndoPlan plan = Plan(log);
        ASSERT_EQ(plan.refused.size(), 1u) << c.line;
        EXPECT_EQ(plan.refused[0], std::string("[") + c.section + "] " + c.line + ": " + c.reason);
        bool kept = false;
        for (const TUndoAction& a : plan.actions) kept = kept || a.target == R"(C:\Program Files\App\kept.txt)";
        EXPECT_TRUE(kept) << "the rest of the log after " << c.line;
    }
}

// What a log may do beyond its folder: a record that points at what the
// install did not make is refused with its reason, whether the registration
// vouches for the log or not; without the registration, everything that
// could reach another program's data is refused.
TEST(UninstallPlan, RecordsBeyondTheInstall) {
    const std::string stamp = kStamp;
    struct Case {
        const char* section;
        std::string line;
        const char* verified;    // the reason when vouched for; "" when done
        const char* unverified;  // the same without a registration
    };
    constexpr char kNotWritten[] = "not a file the install wrote, or changed since";
    constexpr char kNotVouched[] = "the install's registration does not vouch for this log";
    const std::vector<Case> cases = {
        {"CopyFiles", R"(C:\WINDOWS\SYSTEM\kernel32.dll=)", kNotWritten, kNotWritten},
        {"CopyFiles", R"(C:\WINDOWS\SYSTEM\kernel32.dll=99,01D9ABCDEF012345)", kNotWritten, kNotWritten},
        {"CopyFiles", R"(C:\Common\lib.dll=)" + stamp, "", ""},
        {"CopyFiles", R"(C:\Program Files\App\app.exe=)", "", kNotWritten},
        {"CopyFiles", R"(C:\Program Files\App\app.exe=)" + stamp, "", ""},
        {"Shortcuts", R"(C:\My Documents\letter.doc=)", "not a shortcut", "not a shortcut"},
        {"Shortcuts", R"(C:\Menu\App.lnk=)", "", kNotWritten},
        {"Shortcuts", R"(C:\Menu\App.pif=)" + stamp, "", ""},
        {"RegServers", R"(C:\WINDOWS\SYSTEM\shell32.dll=)", kNotWritten, kNotWritten},
        {"RegServers", R"(C:\Program Files\App\server.dll=)", "", kNotWritten},
        {"RunApp", R"(1=C:\WINDOWS\command.com /c del C:\*.*)", "", kNotVouched},
        {"AddReg", R"(HKLM\Software\Microsoft\Windows NT\CurrentVersion\Winlogon\Shell=x)", "", kNotVouched},
        {"CreateKeys", R"(HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Other=)", "", kNotVouched},
        {"AddIni", R"(C:\WINDOWS\win.ini,windows,load=x)", "", kNotVouched},
        {"SharedFiles", R"(C:\WINDOWS\SYSTEM\mfc42.dll=)", "", kNotVouched},
        {"RegFonts", R"(Arial (TrueType)=C:\WINDOWS\Fonts\arial.ttf)", "", kNotVouched},
    };
    for (const bool vouched : {true, false}) {
        TLogFacts facts = Verified();
        if (!vouched) facts.registrationKey.clear();
        for (const Case& c : cases) {
            const TUndoPlan plan = Plan({{c.section, {c.line}}}, facts);
            const std::string reason = vouched ? c.verified : c.unverified;
            if (reason.empty()) {
                EXPECT_TRUE(plan.refused.empty()) << c.line << (vouched ? "" : " (unverified)");
                EXPECT_EQ(plan.actions.size(), 1u) << c.line;
            } else {
                ASSERT_EQ(plan.refused.size(), 1u) << c.line;
                EXPECT_EQ(plan.refused[0], std::string("[") + c.section + "] " + c.line + ": " + reason);
                EXPECT_TRUE(plan.actions.empty()) << c.line;
            }
        }
    }
}

// A shared file or a font outside the install folder that is not the one
// the install wrote: its count or registration goes, the file stays. Only the
// registration that vouches for the log goes whole; another key of the list
// of programs the log names is an ordinary key.
TEST(UninstallPlan, WhatStaysOfFilesAndKeysThatAreNotTheInstalls) {
    const Log log = {
        {"CopyFiles", {R"(C:\Common\ours.dll=1234,01D9ABCDEF012345)", R"(C:\Common\theirs.dll=1,2)"}},
        {"SharedFiles", {R"(C:\Common\ours.dll=)", R"(C:\Common\theirs.dll=)"}},
        {"RegFonts", {R"(Sans=C:\WINDOWS\Fonts\sans.ttf)"}},
        {"CreateKeys", {std::string(kRegistration) + "=", R"(HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Other=)"}},
    };
    const TUndoPlan plan = Plan(log);
    EXPECT_TRUE(plan.refused.empty()) << plan.refused.front();
    std::vector<std::string> got;
    for (const TUndoAction& a : plan.actions)
        got.push_back(a.target + (a.keepFile ? " keep" : "") + (a.wholeKey ? " whole" : ""));
    const std::vector<std::string> want = {
        R"(C:\WINDOWS\Fonts\sans.ttf keep)",
        R"(C:\Common\ours.dll)",
        R"(C:\Common\theirs.dll keep)",
        R"(HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Other)",
        std::string(kRegistration) + " whole",
    };
    EXPECT_EQ(got, want);
}

TEST(UninstallPlan, UninstallRegistration) {
    EXPECT_TRUE(IsUninstallRegistration(R"(HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\App)"));
    EXPECT_TRUE(IsUninstallRegistration(R"(hklm\software\microsoft\windows\currentversion\uninstall\My App)"));
    EXPECT_FALSE(IsUninstallRegistration(R"(HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall)"));
    EXPECT_FALSE(IsUninstallRegistration(R"(HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\App\Sub)"));
}

}  // namespace
}  // namespace brik
