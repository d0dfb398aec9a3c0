// The expected output of an unattended run that installs a new site, built from the site's
// names and the folders of this machine.
#pragma once

#include <string>
#include <vector>

struct SitePaths {
    std::wstring displayName;
    std::wstring installDir;
    std::wstring termInfoDir;
    std::wstring startMenuFolder;
    std::vector<std::wstring> shortcuts;  // in creation order
    std::vector<std::wstring> files;      // the payload files written on this machine, in stream order

    // A named site installed into the default directory under Program Files, or into `installDir`.
    static SitePaths ForSite(const std::wstring& siteName, const std::wstring& installDir = L"");
};

std::string Utf8(const std::wstring& text);

// The lines from "Creating directory" of the install directory to the site's Start-menu folder.
std::string CreationLinesBeforeShortcuts(const SitePaths& site);
// The same, followed by the lines of every shortcut.
std::string CreationLines(const SitePaths& site);
std::string CreatingShortcutLine(const std::wstring& shortcut);
std::string RollbackShortcutLine(const std::wstring& shortcut);
// The rollback lines of the Start-menu folder, the payload files, "TermInfo" and the install
// directory, in the order they are undone.
std::string RollbackLinesAfterShortcuts(const SitePaths& site);
// The rollback lines of everything CreationLines created, in the order they are undone.
std::string RollbackLines(const SitePaths& site);
std::string RollbackDirectoryLine(const std::wstring& directory);

// The Program Files folder of this (32-bit) program.
std::wstring ProgramFilesFolder();

// Where this build's run sequence stops for now.
extern const std::string NotBuiltYet;

// Removes whatever a run may have left of the site (directories, shortcuts, pending deletions).
void RemoveSiteLeftovers(const SitePaths& site);
