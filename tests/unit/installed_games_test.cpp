#include "collect/system/installed_games.h"

#include <gtest/gtest.h>

#include <string>

#include "test_support.h"

using testing_support::RegistryKey;
using testing_support::RegistryLock;
using testing_support::ReportFile;

namespace {

const std::string kBanner = std::string(78, '=') + "\r\n= Installed games\r\n" + std::string(78, '=') + "\r\n";

// Every key the install catalog reads, present but empty while it exists.
struct EmptyInstallKeys {
    RegistryLock lock;
    RegistryKey k2Client{HKEY_LOCAL_MACHINE, "SOFTWARE\\Orvane\\K2Client_us"};
    RegistryKey kharros{HKEY_LOCAL_MACHINE, "SOFTWARE\\Orvane\\KharrosII"};
    RegistryKey solmere{HKEY_LOCAL_MACHINE, "SOFTWARE\\Orvane\\Solmere"};
    RegistryKey runeveilUser{HKEY_CURRENT_USER, "SOFTWARE\\Skellan\\Runeveil"};
    RegistryKey runeveilMachine{HKEY_LOCAL_MACHINE, "SOFTWARE\\Skellan\\Runeveil"};
    RegistryKey runeveil2{HKEY_LOCAL_MACHINE, "Software\\Skellan\\Runeveil 2"};
};

std::string Section() {
    ReportFile report;
    WriteInstalledGames(report.sink());
    return report.Contents();
}

}  // namespace

TEST(InstalledGames, NoGameInstalledListsEveryNameSharedRegistry) {
    EmptyInstallKeys keys;
    EXPECT_EQ(kBanner + "< Kharros 2 >\r\n< Solmere >\r\n< Runeveil >\r\n< Runeveil 2 >\r\n\r\n", Section());
}

TEST(InstalledGames, OnlyNonEmptyPlainStringsInCatalogOrderSharedRegistry) {
    EmptyInstallKeys keys;
    keys.k2Client.SetString("workingdir", "C:\\Orvane\\K2");
    keys.k2Client.SetString("installpath", "%ProgramFiles%\\K2", REG_EXPAND_SZ);
    keys.kharros.SetString("InstallPath", "");
    keys.solmere.SetDword("InstallPath", 1);
    keys.runeveilMachine.SetString("Path", "C:\\Program Files\\Runeveil");
    keys.runeveilUser.SetString("Path", "C:\\Users\\player\\Runeveil");
    EXPECT_EQ(kBanner +
                  "< Kharros 2 >\r\n"
                  "\tHKLM\\SOFTWARE\\Orvane\\K2Client_us\\workingdir\r\n\t\tC:\\Orvane\\K2\r\n"
                  "< Solmere >\r\n"
                  "< Runeveil >\r\n"
                  "\tHKCU\\SOFTWARE\\Skellan\\Runeveil\\Path\r\n\t\tC:\\Users\\player\\Runeveil\r\n"
                  "\tHKLM\\SOFTWARE\\Skellan\\Runeveil\\Path\r\n\t\tC:\\Program Files\\Runeveil\r\n"
                  "< Runeveil 2 >\r\n"
                  "\r\n",
              Section());
}

TEST(InstalledGames, LongPathLineIsCutAndRunsOnSharedRegistry) {
    EmptyInstallKeys keys;
    const std::string path = "D:\\" + std::string(240, 'p');
    keys.runeveil2.SetString("Path", path);
    keys.solmere.SetString("InstallPath", std::string(300, 's'));  // does not fit the 260-byte buffer
    const std::string location = "\tHKLM\\Software\\Skellan\\Runeveil 2\\Path\r\n\t\t";
    EXPECT_EQ(kBanner + "< Kharros 2 >\r\n< Solmere >\r\n< Runeveil >\r\n< Runeveil 2 >\r\n" +
                  (location + path).substr(0, 255) + "\r\n",
              Section());
}
