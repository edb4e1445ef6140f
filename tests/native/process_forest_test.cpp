#include "collect/system/process_forest.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

// Builds a forest from (pid, parent pid, name) in snapshot order and frees it.
class Forest {
public:
    ~Forest() { FreeProcessForest(head_); }
    ProcessNode* Add(unsigned long pid, unsigned long parentPid, const std::string& name) {
        ProcessNode* node = CreateProcessNode(pid, parentPid, name.c_str());
        InsertProcessNode(&head_, node);
        return node;
    }
    std::string Text() const {
        std::string text;
        PrintProcessList(head_, Collect, &text);
        return text;
    }
    ProcessNode* head() const { return head_; }

private:
    static void Collect(void* context, const char* piece) { static_cast<std::string*>(context)->append(piece); }
    ProcessNode* head_ = nullptr;
};

size_t CountLines(const std::string& text) {
    size_t lines = 0;
    for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + 2)) ++lines;
    return lines;
}

}  // namespace

TEST(ProcessForest, ChildListedBeforeItsParentMovesBelowIt) {
    Forest forest;
    forest.Add(30, 20, "game.exe");
    forest.Add(31, 20, "helper.exe");
    forest.Add(20, 10, "launcher.exe");
    forest.Add(10, 1, "explorer.exe");
    EXPECT_EQ("\\ explorer.exe, explorer.exe\r\n"
              "    \\ launcher.exe, launcher.exe\r\n"
              "        + game.exe, game.exe\r\n"
              "        \\ helper.exe, helper.exe\r\n",
              forest.Text());
}

TEST(ProcessForest, IdleProcessFirstAndItsChildrenBelow) {
    Forest forest;
    forest.Add(0, 0, "[System Process]");
    forest.Add(4, 0, "System");
    forest.Add(300, 4, "smss.exe");
    forest.Add(500, 0, "wininit.exe");
    forest.Add(900, 700, "orphan.exe");
    EXPECT_EQ("+ [System Process], [System Process]\r\n"
              "|   + System, System\r\n"
              "|   |   \\ smss.exe, smss.exe\r\n"
              "|   \\ wininit.exe, wininit.exe\r\n"
              "\\ orphan.exe, orphan.exe\r\n",
              forest.Text());
}

TEST(ProcessForest, MarkersAndIndentationFollowTheSiblings) {
    Forest forest;
    ProcessNode* services = forest.Add(100, 1, "services.exe");
    SetProcessText(services->companyName, "Microsoft Corporation");
    SetProcessText(services->fileDescription, "Services and Controller app");
    SetProcessText(services->productVersion, "6.1.7601.17514");
    SetProcessText(services->imagePath, "C:\\Windows\\system32\\services.exe");
    forest.Add(110, 100, "svchost.exe");
    forest.Add(111, 110, "dllhost.exe");
    forest.Add(112, 110, "wmiprvse.exe");
    forest.Add(120, 100, "spoolsv.exe");
    forest.Add(200, 2, "explorer.exe");
    forest.Add(210, 200, "Diagnova.exe");
    EXPECT_EQ("+ services.exe, Microsoft Corporation, Services and Controller app v6.1.7601.17514, "
              "C:\\Windows\\system32\\services.exe\r\n"
              "|   + svchost.exe, svchost.exe\r\n"
              "|   |   + dllhost.exe, dllhost.exe\r\n"
              "|   |   \\ wmiprvse.exe, wmiprvse.exe\r\n"
              "|   \\ spoolsv.exe, spoolsv.exe\r\n"
              "\\ explorer.exe, explorer.exe\r\n"
              "    \\ Diagnova.exe, Diagnova.exe\r\n",
              forest.Text());
}

TEST(ProcessForest, ParentsNamingEachOtherLoseNoNodeAndPrintingEnds) {
    {
        Forest forest;
        forest.Add(1, 2, "a.exe");
        forest.Add(2, 1, "b.exe");
        EXPECT_EQ("\\ a.exe, a.exe\r\n    \\ b.exe, b.exe\r\n", forest.Text());
    }
    {
        // A three-step cycle closed by the last node to arrive.
        Forest forest;
        forest.Add(2, 1, "b.exe");
        forest.Add(3, 2, "c.exe");
        forest.Add(1, 3, "a.exe");
        EXPECT_EQ("\\ b.exe, b.exe\r\n    \\ c.exe, c.exe\r\n        \\ a.exe, a.exe\r\n", forest.Text());
    }
    {
        // A process that names itself as parent, and one that names it.
        Forest forest;
        forest.Add(7, 8, "child.exe");
        forest.Add(5, 5, "self.exe");
        forest.Add(8, 5, "middle.exe");
        EXPECT_EQ("\\ self.exe, self.exe\r\n    \\ middle.exe, middle.exe\r\n        \\ child.exe, child.exe\r\n",
                  forest.Text());
    }
}

TEST(ProcessForest, RandomSnapshotsKeepEveryNodeExactlyOnce) {
    std::mt19937 random(1234);
    for (int round = 0; round < 50; ++round) {
        Forest forest;
        const int count = 1 + (int)(random() % 300);
        std::vector<unsigned long> pids;
        for (int i = 0; i < count; ++i) pids.push_back(4 * (unsigned long)(i + 1));
        std::shuffle(pids.begin(), pids.end(), random);
        std::set<std::string> names;
        for (int i = 0; i < count; ++i) {
            // Parents: mostly other snapshot entries (cycles included), some gone.
            unsigned long parent = random() % 5 == 0 ? 100000 + random() % 10 : pids[random() % count];
            std::string name = "p" + std::to_string(pids[i]) + ".exe";
            names.insert(name);
            forest.Add(pids[i], parent, name);
        }
        std::string text = forest.Text();
        ASSERT_EQ((size_t)count, CountLines(text)) << "round " << round;
        for (const std::string& name : names) {
            size_t first = text.find(" " + name + ",");
            ASSERT_NE(std::string::npos, first) << name;
            EXPECT_EQ(std::string::npos, text.find(" " + name + ",", first + 1)) << name;
        }
        // Every node's parent link agrees with the process IDs where it can.
        for (ProcessNode* top = forest.head(); top; top = top->nextSibling) EXPECT_EQ(nullptr, top->parent);
    }
}

TEST(ProcessForest, FindSearchesDepthFirstWithinTheGivenList) {
    Forest forest;
    forest.Add(1, 0, "root.exe");
    forest.Add(2, 1, "left.exe");
    forest.Add(3, 2, "deep.exe");
    forest.Add(4, 1, "right.exe");
    forest.Add(5, 0, "other.exe");
    ProcessNode* deep = FindProcessNode(forest.head(), 3);
    ASSERT_NE(nullptr, deep);
    EXPECT_STREQ("deep.exe", deep->exeName);
    EXPECT_STREQ("other.exe", FindProcessNode(forest.head(), 5)->exeName);
    EXPECT_EQ(nullptr, FindProcessNode(forest.head(), 6));
    // Searching the left subtree's list does not climb out of it.
    ProcessNode* left = FindProcessNode(forest.head(), 2);
    EXPECT_EQ(nullptr, FindProcessNode(left->firstChild, 4));
    EXPECT_EQ(nullptr, FindProcessNode(nullptr, 1));
}

TEST(ProcessForest, LongTextsAreCutAt255PerPiece) {
    Forest forest;
    const std::string longName(300, 'n');
    ProcessNode* node = forest.Add(1, 0, longName);
    EXPECT_EQ(std::string(255, 'n'), node->exeName);
    EXPECT_EQ(std::string(255, 'n'), node->imagePath);
    SetProcessText(node->companyName, std::string(300, 'c').c_str());
    SetProcessText(node->imagePath, "C:\\x.exe");
    // "\ " and 255 name characters make 257, cut to 255; ", " and 255 company
    // characters likewise.
    EXPECT_EQ("\\ " + std::string(253, 'n') + ", " + std::string(253, 'c') + ", C:\\x.exe\r\n", forest.Text());
}

TEST(ProcessForest, LongParentChainNeedsNoRecursion) {
    Forest forest;
    const int kDepth = 3000;
    for (int i = kDepth; i >= 1; --i) forest.Add((unsigned long)i, (unsigned long)(i - 1), "x");
    std::string text = forest.Text();
    EXPECT_EQ((size_t)kDepth, CountLines(text));
    EXPECT_EQ(std::string(4 * (kDepth - 1), ' ') + "\\ x, x\r\n", text.substr(text.rfind("\r\n", text.size() - 3) + 2));
}
