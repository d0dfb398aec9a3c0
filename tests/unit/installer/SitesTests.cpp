#include "installer/Sites.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::wstring Text(const wstring_nc& text) { return text.c_str(); }

struct NamesCase {
    const wchar_t* setFrom;
    const wchar_t* displayName;
    const wchar_t* serviceName;
    const wchar_t* legacyName;
    const wchar_t* virtualUsersGroup;
    const wchar_t* legacyVirtualUsersGroup;
};

}  // namespace

TEST(SiteInfo, DerivesEveryNameOfTheSite)
{
    const std::vector<NamesCase> cases = {
        {L"", L"Korvane SSH Server", L"KvSshServer", L"Portiko", L"KvSsh_VirtualUsers", L"Portiko_VirtualUsers"},
        {L"Korvane SSH Server", L"Korvane SSH Server", L"KvSshServer", L"Portiko", L"KvSsh_VirtualUsers",
         L"Portiko_VirtualUsers"},
        {L"!!", L"Korvane SSH Server", L"KvSshServer", L"Portiko", L"KvSsh_VirtualUsers", L"Portiko_VirtualUsers"},
        {L"web", L"Korvane SSH Server - web", L"KvSshServer-web", L"Portiko-web", L"KvSsh_web", L"Portiko-web"},
        {L"Korvane SSH Server-web", L"Korvane SSH Server - web", L"KvSshServer-web", L"Portiko-web", L"KvSsh_web",
         L"Portiko-web"},
        {L"korvane ssh server - my site!", L"Korvane SSH Server - mysite", L"KvSshServer-mysite", L"Portiko-mysite",
         L"KvSsh_mysite", L"Portiko-mysite"},
        {L"Korvane SSH Serverweb", L"Korvane SSH Server - KorvaneSSHServerweb", L"KvSshServer-KorvaneSSHServerweb",
         L"Portiko-KorvaneSSHServerweb", L"KvSsh_898906B3858875", L"Portiko_52FE5C719A6F"},
        {L"abcdefghijkl", L"Korvane SSH Server - abcdefghijkl", L"KvSshServer-abcdefghijkl", L"Portiko-abcdefghijkl",
         L"KvSsh_abcdefghijkl", L"Portiko-abcdefghijkl"},
        {L"abcdefghijklm", L"Korvane SSH Server - abcdefghijklm", L"KvSshServer-abcdefghijklm",
         L"Portiko-abcdefghijklm", L"KvSsh_abcdefghijklm", L"Portiko_1EAB9114F637"},
        {L"abcdefghijklmn", L"Korvane SSH Server - abcdefghijklmn", L"KvSshServer-abcdefghijklmn",
         L"Portiko-abcdefghijklmn", L"KvSsh_abcdefghijklmn", L"Portiko_90E51DDCE413"},
        {L"abcdefghijklmno", L"Korvane SSH Server - abcdefghijklmno", L"KvSshServer-abcdefghijklmno",
         L"Portiko-abcdefghijklmno", L"KvSsh_3768E40E9C0F41", L"Portiko_D676B94F1084"},
    };
    SiteInfo& site = SiteInfo::Instance();
    for (const NamesCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "site set from: " << std::string(c.setFrom, c.setFrom + wcslen(c.setFrom)));
        site.Set(wstrview(c.setFrom));
        EXPECT_EQ(Text(site.displayName), c.displayName);
        EXPECT_EQ(Text(site.serviceName), c.serviceName);
        EXPECT_EQ(Text(site.legacyName), c.legacyName);
        EXPECT_EQ(Text(site.virtualUsersGroup), c.virtualUsersGroup);
        EXPECT_EQ(Text(site.legacyVirtualUsersGroup), c.legacyVirtualUsersGroup);
        EXPECT_LE(site.virtualUsersGroup.length(), 20u);
        EXPECT_LE(site.legacyVirtualUsersGroup.length(), 20u);
        std::wstring service = c.serviceName;
        EXPECT_EQ(Text(site.settingsKey), L"SOFTWARE\\Korvane\\" + service);
        EXPECT_EQ(Text(site.configChangeEvent), L"Global\\Korvane" + service + L"ConfigChangeEvent");
        EXPECT_EQ(Text(site.regChangeEvent), L"Global\\Korvane" + service + L"RegChangeKeyValueEvent");
        EXPECT_EQ(Text(site.sessionTable), L"Global\\Korvane" + service + L"SessionTable");
        EXPECT_EQ(Text(site.tunnelTable), L"Global\\Korvane" + service + L"TunnelTable");
        EXPECT_EQ(Text(site.localCtrlPipe), L"\\\\.\\pipe\\" + service + L"LocalCtrlPipe");
    }
}

TEST(SiteInfo, ObjectNamesLeaveTheGlobalNamespaceOnWindowsBefore2000)
{
    EXPECT_EQ(std::wstring(ObjectNamePrefixFor({2, 4, 0}).ptr), L"Korvane");
    EXPECT_EQ(std::wstring(ObjectNamePrefixFor({1, 4, 90}).ptr), L"Korvane");
    EXPECT_EQ(std::wstring(ObjectNamePrefixFor({2, 5, 0}).ptr), L"Global\\Korvane");
    EXPECT_EQ(std::wstring(ObjectNamePrefixFor({2, 10, 0}).ptr), L"Global\\Korvane");
}

TEST(SiteNames, DisplayNameFromTheInstallDirectory)
{
    const std::vector<std::pair<const wchar_t*, const wchar_t*>> cases = {
        {L"C:\\Program Files\\Korvane SSH Server - web", L"Korvane SSH Server - web"},
        {L"C:\\Program Files\\Korvane SSH Server - web\\\\", L"Korvane SSH Server - web"},
        {L"C:\\Program Files\\korvane ssh server - Web", L"Korvane SSH Server - Web"},
        {L"D:\\Apps\\portiko-web", L"Korvane SSH Server - web"},
        {L"D:\\Apps\\SSH", L"Korvane SSH Server"},
        {L"D:\\Apps\\Korvane SSH Server", L"Korvane SSH Server"},
        {L"Korvane SSH Server - web", L"Korvane SSH Server"},
        {L"D:\\Sites\\Korvane SSH Server - a b!", L"Korvane SSH Server - a b!"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Text(SiteDisplayNameFromDir(wstrview(c.first))), c.second) << c.first;
}

TEST(SiteNames, SanitizeAndServiceName)
{
    const std::vector<std::pair<const wchar_t*, const wchar_t*>> sanitized = {
        {L"Korvane SSH Server", L"Korvane SSH Server"},
        {L"PORTIKO", L"PORTIKO"},
        {L"Portiko-we b", L"Portiko-web"},
        {L"Portiko-!!", L"Korvane SSH Server"},
        {L"Korvane SSH Server - my site!", L"Korvane SSH Server - mysite"},
        {L"Something else", L"Korvane SSH Server"},
    };
    for (const auto& c : sanitized)
        EXPECT_EQ(Text(SanitizeSiteName(wstrview(c.first))), c.second) << c.first;

    const std::vector<std::pair<const wchar_t*, const wchar_t*>> services = {
        {L"Korvane SSH Server - web", L"KvSshServer-web"},
        {L"korvane ssh server - web", L"KvSshServer-web"},
        {L"KORVANE SSH SERVER", L"KvSshServer"},
        {L"Portiko", L"Portiko"},
        {L"Portiko-web", L"Portiko-web"},
    };
    for (const auto& c : services)
        EXPECT_EQ(Text(ServiceNameForSite(wstrview(c.first))), c.second) << c.first;
}

TEST(SiteNames, RegisteredNameIsTheInstalledSitesOwnName)
{
    InstalledSites sites;
    InstalledSite legacy;
    legacy.name = L"Portiko-web"_v;
    legacy.otherName = L"Korvane SSH Server - web"_v;
    sites.push_back(legacy);
    EXPECT_EQ(Text(RegisteredSiteName(L"D:\\Korvane SSH Server - web"_v, sites)), L"Portiko-web");
    EXPECT_EQ(Text(RegisteredSiteName(L"D:\\Portiko-WEB"_v, sites)), L"Portiko-web");
    EXPECT_EQ(Text(RegisteredSiteName(L"D:\\Korvane SSH Server - other"_v, sites)), L"Korvane SSH Server - other");
}

namespace {

const wchar_t UninstallKeyText[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

void PlantSite(const std::wstring& name, const std::vector<std::pair<std::wstring, std::wstring>>& values)
{
    HKEY key;
    std::wstring path = UninstallKeyText + name;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    for (const auto& value : values)
        RegSetValueExW(key, value.first.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.second.c_str()),
                       DWORD((value.second.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

void RemoveSite(const std::wstring& name) { RegDeleteTreeW(HKEY_LOCAL_MACHINE, (UninstallKeyText + name).c_str()); }

const InstalledSite* FindSite(const InstalledSites& sites, const std::wstring& name)
{
    for (ncsize_t i = 0; i < sites.size(); ++i)
        if (Text(sites[i].name) == name)
            return &sites[i];
    return nullptr;
}

}  // namespace

TEST(InstalledSites, AreReadFromTheUninstallKey)
{
    const std::vector<std::wstring> planted = {L"Portiko", L"Korvane SSH Server - unitA", L"Portiko-unitB",
                                               L"Korvane SSH Server - unitC", L"Korvane SSH Server - unitD",
                                               L"Unrelated Product"};
    for (const std::wstring& name : planted)
        RemoveSite(name);
    PlantSite(L"Portiko", {{L"Version", L"5.10"}, {L"InstallDir", L"C:\\Old"}});
    PlantSite(L"Korvane SSH Server - unitA",
              {{L"Version", L"5.59"}, {L"VersionInfo", L"build 7"}, {L"InstallDir", L"C:\\A"}});
    PlantSite(L"Portiko-unitB", {{L"Version", L"5.20"}, {L"UninstallString", L"\"C:\\Sites\\B\\uninst.exe\" \"B\""}});
    PlantSite(L"Korvane SSH Server - unitC", {{L"InstallDir", L"C:\\C"}});
    PlantSite(L"Korvane SSH Server - unitD", {{L"Version", L"5.59"}, {L"UninstallString", L"C:\\D\\uninst.exe"}});
    PlantSite(L"Unrelated Product", {{L"Version", L"1.0"}, {L"InstallDir", L"C:\\U"}});

    InstalledSites sites = ListInstalledSites();
    const InstalledSite* legacyDefault = FindSite(sites, L"Portiko");
    ASSERT_NE(legacyDefault, nullptr);
    EXPECT_EQ(Text(legacyDefault->otherName), L"Korvane SSH Server");
    EXPECT_EQ(Text(legacyDefault->installDir), L"C:\\Old");

    const InstalledSite* a = FindSite(sites, L"Korvane SSH Server - unitA");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(Text(a->otherName), L"Portiko-unitA");
    EXPECT_EQ(Text(a->version), L"5.59");
    EXPECT_EQ(Text(a->versionInfo), L"build 7");

    const InstalledSite* b = FindSite(sites, L"Portiko-unitB");
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(Text(b->otherName), L"Korvane SSH Server - unitB");
    EXPECT_EQ(Text(b->installDir), L"C:\\Sites\\B") << "the directory of the quoted uninstaller";
    EXPECT_EQ(Text(b->versionInfo), L"");

    EXPECT_EQ(FindSite(sites, L"Korvane SSH Server - unitC"), nullptr) << "a site without a version";
    EXPECT_EQ(FindSite(sites, L"Korvane SSH Server - unitD"), nullptr) << "an unquoted uninstall string";
    EXPECT_EQ(FindSite(sites, L"Unrelated Product"), nullptr);

    for (const std::wstring& name : planted)
        RemoveSite(name);
}
