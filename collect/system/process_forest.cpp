// Tree building and printing for the running-processes section.
//
// Snapshots list processes in no particular order, and process IDs are reused,
// so a child may arrive before its parent and two processes may name each
// other as parents. Insertion adopts waiting children only when that cannot
// make a node its own ancestor, and every walk here is iterative, so a long
// parent chain costs no stack.
#include "collect/system/process_forest.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include <new>

namespace {

void AppendChild(ProcessNode* parent, ProcessNode* child) {
    child->parent = parent;
    child->nextSibling = NULL;
    if (parent->firstChild == NULL) {
        parent->firstChild = child;
        return;
    }
    ProcessNode* last = parent->firstChild;
    while (last->nextSibling) last = last->nextSibling;
    last->nextSibling = child;
}

void AppendTopLevel(ProcessNode** head, ProcessNode* node) {
    node->parent = NULL;
    node->nextSibling = NULL;
    if (*head == NULL) {
        *head = node;
        return;
    }
    ProcessNode* last = *head;
    while (last->nextSibling) last = last->nextSibling;
    last->nextSibling = node;
}

// Whether node lies in the subtree of root (root itself included).
bool SubtreeContains(const ProcessNode* root, const ProcessNode* node) {
    for (const ProcessNode* n = node; n != NULL; n = n->parent) {
        if (n == root) return true;
    }
    return false;
}

void Emit(ProcessTextSink sink, void* context, const char* format, ...) __attribute__((format(printf, 3, 4)));

void Emit(ProcessTextSink sink, void* context, const char* format, ...) {
    char piece[256];
    va_list args;
    va_start(args, format);
    int n = vsnprintf(piece, sizeof piece, format, args);
    va_end(args);
    if (n < 0) piece[0] = '\0';
    sink(context, piece);
}

// The next node of a pre-order walk that stays below stop's level.
const ProcessNode* NextInPreOrder(const ProcessNode* node, const ProcessNode* stop) {
    if (node->firstChild) return node->firstChild;
    while (node != NULL && node->nextSibling == NULL) {
        node = node->parent;
        if (node == stop) return NULL;
    }
    return node ? node->nextSibling : NULL;
}

}  // namespace

void SetProcessText(char field[256], const char* text) {
    if (text == NULL) text = "";
    size_t length = strlen(text);
    if (length > 255) length = 255;
    memcpy(field, text, length);
    field[length] = '\0';
}

ProcessNode* CreateProcessNode(unsigned long processId, unsigned long parentProcessId, const char* exeName) {
    ProcessNode* node = new (std::nothrow) ProcessNode;
    if (node == NULL) return NULL;
    memset(node, 0, sizeof *node);
    node->processId = processId;
    node->parentProcessId = parentProcessId;
    SetProcessText(node->exeName, exeName);
    SetProcessText(node->imagePath, node->exeName);
    return node;
}

ProcessNode* FindProcessNode(ProcessNode* list, unsigned long processId) {
    if (list == NULL) return NULL;
    const ProcessNode* stop = list->parent;
    for (const ProcessNode* node = list; node != NULL; node = NextInPreOrder(node, stop)) {
        if (node->processId == processId) return const_cast<ProcessNode*>(node);
    }
    return NULL;
}

void InsertProcessNode(ProcessNode** head, ProcessNode* node) {
    node->parent = NULL;
    node->nextSibling = NULL;
    node->firstChild = NULL;
    if (*head == NULL) {
        *head = node;
        return;
    }
    ProcessNode* parent = FindProcessNode(*head, node->parentProcessId);
    if (parent)
        AppendChild(parent, node);
    else
        AppendTopLevel(head, node);

    ProcessNode* previous = NULL;
    ProcessNode* current = *head;
    while (current != NULL) {
        ProcessNode* next = current->nextSibling;
        if (current->parentProcessId == node->processId && !SubtreeContains(current, node)) {
            if (previous)
                previous->nextSibling = next;
            else
                *head = next;
            AppendChild(node, current);
        } else {
            previous = current;
        }
        current = next;
    }
}

void PrintProcessNode(const ProcessNode* node, ProcessTextSink sink, void* context) {
    int depth = 0;
    for (const ProcessNode* a = node->parent; a != NULL; a = a->parent) ++depth;
    // Ancestors from the top level down to the parent.
    for (int level = depth; level >= 1; --level) {
        const ProcessNode* ancestor = node;
        for (int i = 0; i < level; ++i) ancestor = ancestor->parent;
        sink(context, ancestor->nextSibling ? "|   " : "    ");
    }
    Emit(sink, context, "%s %s", node->nextSibling ? "+" : "\\", node->exeName);
    if (node->companyName[0]) Emit(sink, context, ", %s", node->companyName);
    if (node->fileDescription[0]) Emit(sink, context, ", %s", node->fileDescription);
    if (node->productVersion[0]) Emit(sink, context, " v%s", node->productVersion);
    if (node->imagePath[0]) Emit(sink, context, ", %s", node->imagePath);
    sink(context, "\r\n");
}

void PrintProcessList(const ProcessNode* list, ProcessTextSink sink, void* context) {
    if (list == NULL) return;
    const ProcessNode* stop = list->parent;
    for (const ProcessNode* node = list; node != NULL; node = NextInPreOrder(node, stop))
        PrintProcessNode(node, sink, context);
}

void FreeProcessForest(ProcessNode* head) {
    ProcessNode* node = head;
    while (node != NULL) {
        if (node->firstChild) {
            // Move the children to the front of the work list.
            ProcessNode* last = node->firstChild;
            while (last->nextSibling) last = last->nextSibling;
            last->nextSibling = node->nextSibling;
            node->nextSibling = node->firstChild;
            node->firstChild = NULL;
        }
        ProcessNode* next = node->nextSibling;
        delete node;
        node = next;
    }
}
