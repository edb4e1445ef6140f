#include "ui/window_basics.h"

#include <stdio.h>

#include "catalog/text_catalog.h"
#include "common/windows_version.h"
#include "resources/resource_ids.h"

namespace {

HINSTANCE g_instance = NULL;

}  // namespace

HINSTANCE GetProgramInstance() { return g_instance; }
void SetProgramInstance(HINSTANCE instance) { g_instance = instance; }

void SetVersionLabel(HWND window) {
    char version[256];
    if (!GetProgramVersion(version)) return;
    char text[256];
    snprintf(text, sizeof text, "%s %s", GetText(33), version);
    SetDlgItemTextA(window, IDC_VERSION_LABEL, text);
}
