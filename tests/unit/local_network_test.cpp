#include "collect/network/local_network.h"

#include <gtest/gtest.h>
#include <shlwapi.h>

#include <string>

#include "common/registry_value.h"
#include "test_support.h"

using testing_support::ReadWholeFile;
using testing_support::ReportFile;
using testing_support::WriteWholeFile;
using testing_support::SectionBanner;

namespace {

// Points one of this process's predefined registry roots at a private key, so
// fixtures in "HKEY_LOCAL_MACHINE\SOFTWARE\..." or the current user's Internet
// Settings never touch what other programs of the prefix see.
class PrivateRoot {
public:
    PrivateRoot(HKEY predefined, const char* name) : predefined_(predefined), key_(NULL) {
        char path[128];
        snprintf(path, sizeof path, "Software\\DiagnovaTest\\%lu\\%s", GetCurrentProcessId(), name);
        path_ = path;
        SHDeleteKeyA(HKEY_CURRENT_USER, path_.c_str());
        EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, NULL, 0, KEY_ALL_ACCESS, NULL,
                                                 &key_, NULL));
        EXPECT_EQ(ERROR_SUCCESS, RegOverridePredefKey(predefined_, key_));
    }
    ~PrivateRoot() {
        RegOverridePredefKey(predefined_, NULL);
        RegCloseKey(key_);
        SHDeleteKeyA(HKEY_CURRENT_USER, path_.c_str());
        char parent[64];
        snprintf(parent, sizeof parent, "Software\\DiagnovaTest\\%lu", GetCurrentProcessId());
        RegDeleteKeyA(HKEY_CURRENT_USER, parent);
        RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\DiagnovaTest");
    }
    HKEY key() const { return key_; }

private:
    HKEY predefined_;
    HKEY key_;
    std::string path_;
};

void SetValue(HKEY root, const char* subKey, const char* name, DWORD type, const std::string& bytes) {
    HKEY key = NULL;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExA(root, subKey, 0, NULL, 0, KEY_ALL_ACCESS | kProgramRegistryView, NULL, &key, NULL));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                                            (DWORD)bytes.size()));
    RegCloseKey(key);
}
void SetString(HKEY root, const char* subKey, const char* name, const std::string& text, DWORD type = REG_SZ) {
    SetValue(root, subKey, name, type, std::string(text.c_str(), text.size() + 1));
}
void SetDword(HKEY root, const char* subKey, const char* name, DWORD value) {
    SetValue(root, subKey, name, REG_DWORD, std::string(reinterpret_cast<const char*>(&value), sizeof value));
}

const char kSettings[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
const char kBho[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects";

std::string ProxySection() {
    ReportFile report;
    WriteProxySettings(report.sink());
    return report.Contents();
}

std::string ProxyLines(const char* autoConfig, const char* migrate, const char* enabled, const std::string& override,
                       const std::string& server) {
    return SectionBanner("IE proxy setting") + "Auto Config : " + autoConfig + "\r\nMigrate     : " + migrate +
           "\r\nEnabled     : " + enabled + "\r\nOverride    : " + override + "\r\nServer      : " + server +
           "\r\n\r\n";
}

}  // namespace

TEST(ProxySettings, NothingConfiguredPrintsNullAndOff) {
    PrivateRoot user(HKEY_CURRENT_USER, "user");
    EXPECT_EQ(ProxyLines("(null)", "OFF", "OFF", "(null)", "(null)"), ProxySection());
    const ProxySettings* proxy = ReadProxySettings();
    EXPECT_EQ(NULL, proxy->server);
    EXPECT_EQ(0u, proxy->enabled);
}

TEST(ProxySettings, ManualProxyWithoutAutomaticConfiguration) {
    PrivateRoot user(HKEY_CURRENT_USER, "user");
    SetDword(HKEY_CURRENT_USER, kSettings, "ProxyEnable", 1);
    SetDword(HKEY_CURRENT_USER, kSettings, "MigrateProxy", 7);
    SetString(HKEY_CURRENT_USER, kSettings, "ProxyServer", "proxy.corp.invalid:8080");
    SetString(HKEY_CURRENT_USER, kSettings, "ProxyOverride", "<local>");
    EXPECT_EQ(ProxyLines("(null)", "ON", "ON", "<local>", "proxy.corp.invalid:8080"), ProxySection());
}

TEST(ProxySettings, ValuesOfOtherTypesOrTooLongCountAsAbsent) {
    PrivateRoot user(HKEY_CURRENT_USER, "user");
    SetString(HKEY_CURRENT_USER, kSettings, "AutoConfigProxy", "%SystemRoot%\\proxy.pac", REG_EXPAND_SZ);
    SetString(HKEY_CURRENT_USER, kSettings, "ProxyEnable", "1");
    SetValue(HKEY_CURRENT_USER, kSettings, "MigrateProxy", REG_BINARY, std::string("\1\0\0\0", 4));
    SetString(HKEY_CURRENT_USER, kSettings, "ProxyServer", std::string(256, 's'));
    SetDword(HKEY_CURRENT_USER, kSettings, "ProxyOverride", 1);
    EXPECT_EQ(ProxyLines("(null)", "OFF", "OFF", "(null)", "(null)"), ProxySection());

    // 255 characters and the terminator just fit.
    SetString(HKEY_CURRENT_USER, kSettings, "ProxyServer", std::string(255, 's'));
    SetString(HKEY_CURRENT_USER, kSettings, "AutoConfigProxy", "wpad.dat");
    EXPECT_EQ(ProxyLines("wpad.dat", "OFF", "OFF", "(null)", std::string(255, 's')), ProxySection());
}

TEST(ProxySettings, LongOverrideListDoesNotPushTheServerOutOfTheReport) {
    PrivateRoot user(HKEY_CURRENT_USER, "user");
    std::string override;
    while (override.size() < 220) override += "*.intranet" + std::to_string(override.size()) + ".invalid;";
    SetDword(HKEY_CURRENT_USER, kSettings, "ProxyEnable", 1);
    SetString(HKEY_CURRENT_USER, kSettings, "ProxyOverride", override);
    SetString(HKEY_CURRENT_USER, kSettings, "ProxyServer", "10.1.2.3:3128");
    EXPECT_EQ(ProxyLines("(null)", "OFF", "ON", override, "10.1.2.3:3128"), ProxySection());
}

TEST(BhoList, MissingKeyAndEmptyKeyHaveTheirOwnLines) {
    PrivateRoot machine(HKEY_LOCAL_MACHINE, "machine");
    {
        ReportFile report;
        WriteBhoList(report.sink());
        EXPECT_EQ(SectionBanner("Gathering BHO list") + "error : fail to load key \\Browser Help Objects\r\n\r\n",
                  report.Contents());
    }
    HKEY key = NULL;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, kBho, 0, NULL, 0, KEY_ALL_ACCESS | kProgramRegistryView, NULL,
                                             &key, NULL));
    RegCloseKey(key);
    ReportFile report;
    WriteBhoList(report.sink());
    EXPECT_EQ(SectionBanner("Gathering BHO list") + "There is no installed BHO\r\n\r\n", report.Contents());
}

TEST(BhoList, ListsNamedClassesWithPathAndThreadingModel) {
    PrivateRoot machine(HKEY_LOCAL_MACHINE, "machine");
    PrivateRoot classes(HKEY_CLASSES_ROOT, "classes");
    const std::string base = std::string(kBho) + "\\";
    const char* ids[] = {"{11111111-0000-0000-0000-000000000001}", "{22222222-0000-0000-0000-000000000002}",
                         "{33333333-0000-0000-0000-000000000003}", "{44444444-0000-0000-0000-000000000004}",
                         "{55555555-0000-0000-0000-000000000005}"};
    for (const char* id : ids) SetString(HKEY_LOCAL_MACHINE, (base + id).c_str(), "NoExplorer", "1");
    auto clsid = [](const char* id) { return std::string("CLSID\\") + id; };
    auto server = [](const char* id) { return std::string("CLSID\\") + id + "\\InProcServer32"; };
    // A complete helper.
    SetString(HKEY_CLASSES_ROOT, clsid(ids[0]).c_str(), NULL, "Toolbar Helper");
    SetString(HKEY_CLASSES_ROOT, server(ids[0]).c_str(), NULL, "C:\\Program Files\\Toolbar\\helper.dll");
    SetString(HKEY_CLASSES_ROOT, server(ids[0]).c_str(), "ThreadingModel", "Apartment");
    // Expandable server path and threading model count as absent.
    SetString(HKEY_CLASSES_ROOT, clsid(ids[1]).c_str(), NULL, "Expanding Helper");
    SetString(HKEY_CLASSES_ROOT, server(ids[1]).c_str(), NULL, "%ProgramFiles%\\x.dll", REG_EXPAND_SZ);
    SetString(HKEY_CLASSES_ROOT, server(ids[1]).c_str(), "ThreadingModel", "Both", REG_EXPAND_SZ);
    // No class registered, and a class with an empty name: both left out.
    SetString(HKEY_CLASSES_ROOT, clsid(ids[3]).c_str(), NULL, "");
    SetString(HKEY_CLASSES_ROOT, server(ids[3]).c_str(), NULL, "C:\\hidden.dll");
    // A block far longer than one formatted line keeps every line and line end.
    std::string longPath = "C:\\" + std::string(200, 'p') + "\\helper64.dll";
    std::string longName(60, 'N');
    SetString(HKEY_CLASSES_ROOT, clsid(ids[4]).c_str(), NULL, longName);
    SetString(HKEY_CLASSES_ROOT, server(ids[4]).c_str(), NULL, longPath);
    SetString(HKEY_CLASSES_ROOT, server(ids[4]).c_str(), "ThreadingModel", "Free");

    ReportFile report;
    WriteBhoList(report.sink());
    EXPECT_EQ(SectionBanner("Gathering BHO list") +
                  "- Toolbar Helper\r\n\tClass Id     : {11111111-0000-0000-0000-000000000001}\r\n"
                  "\tInstall Path : C:\\Program Files\\Toolbar\\helper.dll\r\n\tThread Model : Apartment\r\n"
                  "- Expanding Helper\r\n\tClass Id     : {22222222-0000-0000-0000-000000000002}\r\n"
                  "\tInstall Path : \r\n\tThread Model : \r\n"
                  "- " + longName + "\r\n\tClass Id     : {55555555-0000-0000-0000-000000000005}\r\n"
                  "\tInstall Path : " + longPath + "\r\n\tThread Model : Free\r\n"
                  "\r\n",
              report.Contents());

    const ComClassInfo* info = LookupComClass(ids[0]);
    ASSERT_NE(nullptr, info);
    EXPECT_STREQ(ids[0], info->clsid);
    EXPECT_STREQ("Apartment", info->threadingModel);
    EXPECT_EQ(nullptr, LookupComClass(ids[2]));
    EXPECT_EQ(nullptr, LookupComClass(""));
    EXPECT_EQ(nullptr, LookupComClass(NULL));
}

namespace {

std::string SystemHostsPath() {
    char folder[MAX_PATH];
    GetSystemDirectoryA(folder, sizeof folder);
    return std::string(folder) + "\\drivers\\etc\\hosts";
}

// Replaces a file of the prefix for one test and puts the original back.
class SwappedFile {
public:
    SwappedFile(const std::string& path, const std::string& bytes) : path_(path) {
        existed_ = GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
        if (existed_) original_ = ReadWholeFile(path);
        EXPECT_TRUE(WriteWholeFile(path, bytes)) << path;
    }
    ~SwappedFile() {
        if (existed_) {
            WriteWholeFile(path_, original_);
        } else {
            DeleteFileA(path_.c_str());
        }
    }

private:
    std::string path_;
    bool existed_;
    std::string original_;
};

std::string HostsSection() {
    ReportFile report;
    WriteHostsFile(report.sink());
    return report.Contents();
}

}  // namespace

TEST(HostsFilePrefixSystemFiles, SectionHoldsTheFileBetweenTitleAndEmptyLines) {
    const std::string hosts = "127.0.0.1       localhost\r\n10.0.0.9 login.runeveil.invalid\r\n";
    const std::string path = SystemHostsPath();
    {
        SwappedFile swap(path, hosts);
        EXPECT_EQ(SectionBanner("Collecting Hosts file content") + "*--> " + path + " <--*\r\n\r\n" + hosts + "\r\n\r\n",
                  HostsSection());
    }
    {
        SwappedFile swap(path, "");
        EXPECT_EQ(SectionBanner("Collecting Hosts file content") + "*--> " + path + " <--*\r\n\r\n\r\n\r\n",
                  HostsSection());
    }
}

TEST(HostsFilePrefixSystemFiles, FileHeldExclusivelyIsReportedNotFoundButSharedOpenIsRead) {
    const std::string path = SystemHostsPath();
    SwappedFile swap(path, "1.2.3.4 example.invalid\r\n");
    HANDLE shared = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                                0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, shared);
    EXPECT_EQ(SectionBanner("Collecting Hosts file content") + "*--> " + path + " <--*\r\n\r\n" +
                  "1.2.3.4 example.invalid\r\n\r\n\r\n",
              HostsSection());
    CloseHandle(shared);

    HANDLE exclusive = CreateFileA(path.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, exclusive);
    ReportFile report;
    EXPECT_FALSE(CopyHostsFile(report.sink()));
    CloseHandle(exclusive);
    EXPECT_EQ("File(" + path + ") not found\r\n", report.Contents());
}

TEST(HostsFilePrefixSystemFiles, AHostsFileOfFourGibibytesIsCutAfter32MebibytesAndSaysSo) {
    // 4 GiB and a few bytes, sparse: copied whole it would make the report
    // too large to seal or archive. The copy stops after 32 MiB, and the
    // section says that the copy failed.
    const std::string path = SystemHostsPath();
    const std::string head = "127.0.0.1 localhost\r\n";
    SwappedFile swap(path, head);
    ASSERT_TRUE(testing_support::SetFileSize(path, (1ULL << 32) + 5));
    const size_t limit = 32u << 20;
    const std::string section = HostsSection();
    const std::string title = SectionBanner("Collecting Hosts file content") + "*--> " + path + " <--*\r\n\r\n";
    const std::string tail = "failed(5)\r\n\r\n";
    ASSERT_EQ(title.size() + limit + tail.size(), section.size());
    EXPECT_EQ(title + head, section.substr(0, title.size() + head.size()));
    // The sparse part is zeros up to the limit; the failure line follows.
    EXPECT_EQ(title.size() + limit, section.find_first_not_of('\0', title.size() + head.size()));
    EXPECT_EQ(tail, section.substr(title.size() + limit));

    // A file of exactly 32 MiB is whole and ends in the usual empty lines.
    ASSERT_TRUE(testing_support::SetFileSize(path, limit));
    const std::string whole = HostsSection();
    ASSERT_EQ(title.size() + limit + 4, whole.size());
    EXPECT_EQ("\r\n\r\n", whole.substr(title.size() + limit));
}

TEST(HostsFilePrefixSystemFiles, OldOrUnknownWindowsReadsHostsFromTheWindowsFolder) {
    char folder[MAX_PATH];
    GetWindowsDirectoryA(folder, sizeof folder);
    const std::string path = std::string(folder) + "\\HOSTS";
    {
        SwappedFile swap(path, "# old style\r\n");
        ReportFile report;
        EXPECT_TRUE(CopyHostsFileFor(report.sink(), WindowsGeneration::Unknown));
        EXPECT_EQ("*--> " + path + " <--*\r\n\r\n# old style\r\n\r\n", report.Contents());
    }
    ReportFile report;
    EXPECT_FALSE(CopyHostsFileFor(report.sink(), WindowsGeneration::WinMe));
    EXPECT_EQ("File(" + path + ") not found\r\n", report.Contents());
}

namespace {
std::string ToolSectionText(void (*write)(ReportSink)) {
    ReportFile report;
    write(report.sink());
    return report.Contents();
}

// The tools' own output is theirs; the frame around it is ours.
void ExpectToolSection(void (*write)(ReportSink), const std::string& title, const std::string& commandLine,
                       bool printsSomething) {
    ReportFile report;
    write(report.sink());
    std::string contents = report.Contents();
    std::string head = SectionBanner(title) + "*--> " + commandLine + " <--*\r\n\r\n";
    EXPECT_EQ(0u, contents.find(head)) << contents;
    if (printsSomething) {
        EXPECT_GT(contents.size(), head.size() + 2) << "the tool printed nothing: " << contents;
    }
    EXPECT_EQ("\r\n", contents.substr(contents.size() - 2));
    EXPECT_EQ(std::string::npos, contents.find("CreateProcess\r\n")) << contents;
}
}  // namespace

TEST(ToolSections, AdapterSettingsRunIpconfigAll) {
    ExpectToolSection(WriteAdapterSettings, "Gathering adapter settings", "ipconfig /all", true);
}

TEST(ToolSections, NetworkConnectionsRunNetstat) {
    // Wine 8's netstat prints nothing at all for "-n" alone (it lists only with
    // "-a" or no switch); Windows prints the connection table.
    ExpectToolSection(WriteNetworkConnections, "Detecting network connections", "netstat -n", false);
}

TEST(ToolSections, LspCatalogRunsNetshWithItsCapitalNOnEveryPrefix) {
    // Wine's netsh is a stub that prints nothing to a pipe.
    if (!IsWindows64Bit()) {
        ExpectToolSection(WriteLspCatalog, "Gathering LSP list", "Netsh winsock show catalog", false);
        EXPECT_EQ(std::string::npos, ToolSectionText(WriteLspCatalog).find("64-bit")) << "one catalog";
        return;
    }
    // 64-bit Windows: the 32-bit netsh's catalog, then the native one's.
    const std::string text = ToolSectionText(WriteLspCatalog);
    const std::string title = "*--> Netsh winsock show catalog <--*\r\n\r\n";
    const std::string head = SectionBanner("Gathering LSP list") + title;
    ASSERT_EQ(0u, text.find(head)) << text;
    const size_t native = text.find("\r\n64-bit Winsock catalog (native netsh):\r\n" + title, head.size());
    ASSERT_NE(std::string::npos, native) << text;
    EXPECT_EQ("\r\n", text.substr(text.size() - 2));
    EXPECT_EQ(std::string::npos, text.find("CreateProcess", native)) << text;
    const std::string first = text.substr(head.size(), native - head.size());
#if defined(_WIN64)
    // This build runs its tests where no 32-bit program can run: there the
    // 32-bit netsh cannot start, which its own catalog's place says.
    const bool thirtyTwoBitRuns = first != "CreateProcess\r\n";
#else
    const bool thirtyTwoBitRuns = true;
#endif
    if (thirtyTwoBitRuns) {
        EXPECT_EQ(std::string::npos, first.find("CreateProcess")) << text;
    }
}
