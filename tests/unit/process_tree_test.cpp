#include "collect/system/process_tree.h"

#include <gtest/gtest.h>
#include <stdio.h>
#include <tlhelp32.h>

#include <string>
#include <vector>

#include "common/windows_version.h"
#include "test_support.h"

using testing_support::BesideTestProgram;
using testing_support::ReportFile;
using testing_support::TempDir;

namespace {

const DWORD kHelperTimeoutMs = 20000;


// Index of the line whose executable name is exe, or -1.
int FindLine(const std::vector<std::string>& lines, const std::string& exe) {
    for (size_t i = 0; i < lines.size(); ++i) {
        size_t at = lines[i].find(" " + exe + ", ");
        if (at != std::string::npos && at > 0 && (lines[i][at - 1] == '+' || lines[i][at - 1] == '\\'))
            return (int)i;
    }
    return -1;
}

DWORD FindProcessId(const char* exe) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof entry;
    DWORD found = 0;
    for (BOOL ok = Process32First(snapshot, &entry); ok && !found; ok = Process32Next(snapshot, &entry))
        if (lstrcmpiA(entry.szExeFile, exe) == 0) found = entry.th32ProcessID;
    CloseHandle(snapshot);
    return found;
}

// Starts the helper tree in a folder of its own and ends it on destruction.
class HelperTree {
public:
    HelperTree() {
        snprintf(prefix_, sizeof prefix_, "DiagnovaTreeTest%lu", GetCurrentProcessId());
        std::string helper = BesideTestProgram("process_tree_helper.exe");
        for (const char* name : {"root", "left", "leaf", "right", "bridge", "orphan"})
            CopyFileA(helper.c_str(), dir_.File(std::string(name) + ".exe").c_str(), FALSE);
        quit_ = Event("quit");
        HANDLE ready = Event("root");
        std::string path = dir_.File("root.exe");
        char commandLine[512];
        snprintf(commandLine, sizeof commandLine, "\"%s\" %s %lu", path.c_str(), prefix_, kHelperTimeoutMs);
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info;
        if (CreateProcessA(path.c_str(), commandLine, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &info)) {
            CloseHandle(info.hThread);
            root_ = info.hProcess;
            HANDLE waits[2] = {ready, root_};
            started_ = WaitForMultipleObjects(2, waits, FALSE, kHelperTimeoutMs) == WAIT_OBJECT_0;
        }
        CloseHandle(ready);
    }
    ~HelperTree() {
        // The orphan is nobody's child here: wait for it through its ID.
        HANDLE orphan = OpenProcess(SYNCHRONIZE, FALSE, FindProcessId("orphan.exe"));
        SetEvent(quit_);
        if (root_) WaitForSingleObject(root_, kHelperTimeoutMs);
        if (orphan) {
            WaitForSingleObject(orphan, kHelperTimeoutMs);
            CloseHandle(orphan);
        }
        if (root_) CloseHandle(root_);
        CloseHandle(quit_);
    }
    bool started() const { return started_; }
    std::string Path(const char* name) const { return dir_.File(name); }

private:
    HANDLE Event(const char* name) {
        char full[256];
        snprintf(full, sizeof full, "%s_%s", prefix_, name);
        return CreateEventA(NULL, TRUE, FALSE, full);
    }
    TempDir dir_;
    char prefix_[128];
    HANDLE quit_ = NULL;
    HANDLE root_ = NULL;
    bool started_ = false;
};

}  // namespace

TEST(ProcessTree, OwnChildTreeWithVersionFieldsAndAnOrphanOnEveryPrefix) {
    HelperTree tree;
    ASSERT_TRUE(tree.started());
    ReportFile report;
    WriteProcessTree(report.sink());
    const std::string text = report.Contents();
    const std::string rule(78, '=');
    ASSERT_EQ(0u, text.find(rule + "\r\n= Dumping Running Processes\r\n" + rule + "\r\n"));
    EXPECT_EQ("\r\n\r\n", text.substr(text.size() - 4));

    std::vector<std::string> lines = testing_support::SplitCrLfLines(text);
    int root = FindLine(lines, "root.exe");
    ASSERT_GE(root, 0) << text;
    ASSERT_LT(root + 3, (int)lines.size());
    const std::string& rootLine = lines[root];
    const size_t marker = rootLine.find(" root.exe, ") - 1;
    const std::string indent = rootLine.substr(0, marker);
    const std::string below = indent + (rootLine[marker] == '+' ? "|   " : "    ");
    const std::string facts = ", Diagnova Test Tools, Process tree helper v3.1.4.1, ";

    // The test program itself is the root helper's parent.
    const std::string testProgram = BesideTestProgram("diagnova_tests.exe");
    const std::string testName = testProgram.substr(testProgram.rfind('\\') + 1);
    int self = FindLine(lines, testName);
    ASSERT_GE(self, 0);
    EXPECT_LT(self, root);
    EXPECT_EQ(rootLine.size() - rootLine.find(" root.exe"), std::string(" root.exe").size() + facts.size() +
                                                                      tree.Path("root.exe").size());
    EXPECT_EQ(indent.size(), lines[self].find(" " + testName + ", ") - 1 + 4) << "root sits one level below";

    EXPECT_EQ(std::string(1, rootLine[marker]) + " root.exe" + facts + tree.Path("root.exe"), rootLine.substr(marker));
    EXPECT_EQ(below + "+ left.exe" + facts + tree.Path("left.exe"), lines[root + 1]);
    EXPECT_EQ(below + "|   \\ leaf.exe" + facts + tree.Path("leaf.exe"), lines[root + 2]);
    EXPECT_EQ(below + "\\ right.exe" + facts + tree.Path("right.exe"), lines[root + 3]);

    // The bridge has ended; its child is at the top level.
    EXPECT_EQ(-1, FindLine(lines, "bridge.exe"));
    int orphan = FindLine(lines, "orphan.exe");
    ASSERT_GE(orphan, 0);
    const std::string& orphanLine = lines[orphan];
    EXPECT_TRUE(orphanLine.rfind("+ orphan.exe", 0) == 0 || orphanLine.rfind("\\ orphan.exe", 0) == 0) << orphanLine;
    EXPECT_EQ(orphanLine.substr(1), " orphan.exe" + facts + tree.Path("orphan.exe"));
}

TEST(ProcessTree, ImagePathComesFromTheModuleList) {
    ProcessNode* node = CreateProcessNode(GetCurrentProcessId(), 0, "DIAGNOVA_TESTS.EXE");
    FindImagePath(node);
    EXPECT_EQ(0, lstrcmpiA(BesideTestProgram("diagnova_tests.exe").c_str(), node->imagePath)) << node->imagePath;
    FreeProcessForest(node);
    // A process that does not exist keeps its executable name.
    node = CreateProcessNode(0xFFFFFFF0u, 0, "gone.exe");
    FindImagePath(node);
    EXPECT_STREQ("gone.exe", node->imagePath);
    FreeProcessForest(node);
}

TEST(ProcessTree, UnreadableModuleListTakesThePathAndFieldsFromTheSystemOnEveryPrefix) {
    // The system names other processes' images from Vista on.
    EXPECT_EQ(GetWindowsGeneration() >= WindowsGeneration::WinVista, CanQuerySystemImagePath());
    const std::string facts = ", Diagnova Test Tools, Process tree helper v3.1.4.1, ";
    HelperTree tree;
    ASSERT_TRUE(tree.started());
    ProcessNode* node = CreateProcessNode(FindProcessId("root.exe"), 0, "root.exe");
    FillProcessFacts(node, true, false);  // as when the module list cannot be read
    std::string line;
    PrintProcessNode(node, [](void* context, const char* text) { *static_cast<std::string*>(context) += text; },
                     &line);
    if (CanQuerySystemImagePath())
        EXPECT_EQ("\\ root.exe" + facts + tree.Path("root.exe") + "\r\n", line);
    else
        EXPECT_EQ("\\ root.exe, root.exe\r\n", line) << "XP: the name, and no file of that name on the search path";
    FreeProcessForest(node);

    // A process that cannot be named (it has ended) never shows the fields of
    // another file of its name, except on XP, which searches for it as before.
    char searched[256] = "";
    ASSERT_TRUE(GetVersionStringField("process_tree_helper.exe", "FileDescription", searched))
        << "the search finds the helper beside the test program";
    node = CreateProcessNode(0xFFFFFFF0u, 0, "process_tree_helper.exe");
    FillProcessFacts(node, true, true);
    EXPECT_STREQ("process_tree_helper.exe", node->imagePath);
    EXPECT_STREQ(CanQuerySystemImagePath() ? "" : searched, node->fileDescription);
    FreeProcessForest(node);
}
