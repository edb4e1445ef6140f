// The sealed report's way to the player when the archive beside the program
// cannot be written. Without it the result dialog named an archive that did
// not exist and the report survived only as an anonymous DGNxxxx.tmp.
//
// The places are those a player finds without help and may write to on a
// locked-down computer: the desktop, then the documents folder. Their paths
// come from the system in wide characters and are used in their ANSI form
// (long, or short where the long one is lossy), like every folder the
// program takes from the system. The temporary folder, where the report was
// just written, is the last place for a copy under the report's own name.
#include "run/report_delivery.h"

#include <shlobj.h>
#include <shlwapi.h>
#include <stdio.h>
#include <string.h>
#include <wchar.h>

#include "catalog/text_catalog.h"
#include "collect/run_control.h"
#include "common/ansi_path.h"
#include "common/system_message.h"

namespace {

const int kProgramTitleText = 10;
const int kArchiveNotSavedText = 114;
const int kSavedInsteadText = 115;

// "<folder>\<name>" in ANSI form for a folder that the system names in wide
// characters; false when there is none that fits MAX_PATH.
bool PathInFolder(const wchar_t* folder, const char* name, char (&path)[MAX_PATH]) {
    const size_t nameChars = strlen(name) + 1;
    char ansiFolder[MAX_PATH];
    if (!ToUsableAnsiPath(folder, nameChars, ansiFolder, sizeof ansiFolder)) return false;
    int length = snprintf(path, MAX_PATH, "%s%s%s", ansiFolder,
                          ansiFolder[0] != '\0' && ansiFolder[strlen(ansiFolder) - 1] == '\\' ? "" : "\\", name);
    return length > 0 && length < MAX_PATH;
}

bool PathInShellFolder(int csidl, const char* name, char (&path)[MAX_PATH]) {
    wchar_t folder[MAX_PATH];
    if (FAILED(SHGetFolderPathW(NULL, csidl, NULL, SHGFP_TYPE_CURRENT, folder))) return false;
    return PathInFolder(folder, name, path);
}

bool PathInTemporaryFolder(const char* name, char (&path)[MAX_PATH]) {
    wchar_t folder[kWidePathChars];
    return GetWideTempFolder(folder) && PathInFolder(folder, name, path);
}

}  // namespace

void DeliverReportElsewhere(ArchiveBuilder build, const char* archiveName, const char* reportName,
                            const char* reportPath, char delivered[MAX_PATH]) {
    static const int kArchiveFolders[] = {CSIDL_DESKTOPDIRECTORY, CSIDL_PERSONAL};
    for (size_t i = 0; i < sizeof kArchiveFolders / sizeof kArchiveFolders[0]; ++i) {
        char archivePath[MAX_PATH];
        if (PathInShellFolder(kArchiveFolders[i], archiveName, archivePath) &&
            build(archivePath, reportName, reportPath)) {
            lstrcpynA(delivered, archivePath, MAX_PATH);
            return;
        }
    }
    char copyPath[MAX_PATH];
    if (PathInTemporaryFolder(reportName, copyPath) && CopyFileA(reportPath, copyPath, FALSE)) {
        lstrcpynA(delivered, copyPath, MAX_PATH);
        return;
    }
    lstrcpynA(delivered, reportPath, MAX_PATH);
}

void TellReportDeliveredElsewhere(const char* archiveName, DWORD error, const char* delivered) {
    // The usual place as the player knows it: the program's folder by its
    // real (wide) name.
    wchar_t intended[kWidePathChars];
    GetWideProgramFolder(intended);
    const size_t folderChars = wcslen(intended);
    if (_snwprintf(intended + folderChars, kWidePathChars - folderChars, L"\\%hs", archiveName) < 0) {
        intended[kWidePathChars - 1] = L'\0';
    }
    wchar_t notSaved[512];
    wchar_t savedInstead[512];
    wchar_t caption[256];
    wchar_t reason[512];
    wchar_t deliveredWide[MAX_PATH];
    GetTextWide(kArchiveNotSavedText, notSaved, 512);
    GetTextWide(kSavedInsteadText, savedInstead, 512);
    GetTextWide(kProgramTitleText, caption, 256);
    GetSystemReason(error, reason, 512);
    if (MultiByteToWideChar(CP_ACP, 0, delivered, -1, deliveredWide, MAX_PATH) == 0) deliveredWide[0] = L'\0';
    const wchar_t* const parts[] = {notSaved, intended, reason, savedInstead, deliveredWide};
    ShowParagraphs(GetMainWindowHandle(), caption, MB_OK | MB_ICONWARNING, parts, 5);
}
