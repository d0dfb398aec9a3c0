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

    // A named site installed into the default directory under Program Files, or into `installDir`.
    static SitePaths ForSite(const std::wstring& siteName, const std::wstring& installDir = L"");
};

std::string Utf8(const std::wstring& text);

// The lines from "Creating directory" of the install directory to the last shortcut.
std::string CreationLines(const SitePaths& site);
// The rollback lines of everything CreationLines created, in the order they are undone.
std::string RollbackLines(const SitePaths& site);

// The Program Files folder of this (32-bit) program.
std::wstring ProgramFilesFolder();

// Where this build's run sequence stops for now.
extern const std::string NotBuiltYet;

// Removes whatever a run may have left of the site (directories, shortcuts, pending deletions).
void RemoveSiteLeftovers(const SitePaths& site);
