// The process forest: nodes linked by parent process, built one snapshot entry
// at a time, and printed as an indented tree. Kept free of <windows.h> so it
// builds natively for sanitizer runs; the Windows side fills the nodes.
#pragma once

#include <stddef.h>

struct ProcessNode {
    unsigned long processId;
    unsigned long parentProcessId;
    char exeName[256];          // the snapshot's executable file name
    char imagePath[256];        // full path, or the executable name when none was found
    char productVersion[256];
    char fileDescription[256];
    char companyName[256];
    ProcessNode* parent;        // none at the top level
    ProcessNode* nextSibling;
    ProcessNode* firstChild;
};

// A new node with the snapshot's facts; the image path starts as the
// executable name, texts longer than 255 characters are cut. NULL when memory
// runs out.
ProcessNode* CreateProcessNode(unsigned long processId, unsigned long parentProcessId, const char* exeName);
// Copies text into a 256-byte field, cut at 255 characters.
void SetProcessText(char field[256], const char* text);

// Depth-first search of a sibling list and the subtrees below it (a node, its
// children, then its next sibling); the first node with the ID, or NULL.
ProcessNode* FindProcessNode(ProcessNode* list, unsigned long processId);

// Adds a node below its parent (or at the end of the top level), then moves
// every top-level node that names the new node as its parent below it, unless
// that node is an ancestor of the new one. Parent-ID cycles therefore never
// make a node its own ancestor: every node stays reachable exactly once.
void InsertProcessNode(ProcessNode** head, ProcessNode* node);

// Receives the tree's text piece by piece.
typedef void (*ProcessTextSink)(void* context, const char* text);

// One line: per ancestor "|   " or four blanks, the marker "+" or "\", the
// executable name, company, description, " v" version and image path. Each
// formatted piece is cut at 255 characters like the report's formatted write.
void PrintProcessNode(const ProcessNode* node, ProcessTextSink sink, void* context);
// A sibling list with every subtree, in pre-order.
void PrintProcessList(const ProcessNode* list, ProcessTextSink sink, void* context);

void FreeProcessForest(ProcessNode* head);
