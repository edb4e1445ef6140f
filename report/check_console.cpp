// See check_console.h.
#include "report/check_console.h"

#include "common/owned_handle.h"
#include "common/system_message.h"

namespace {

std::string ToUtf8(const wchar_t* text, int chars = -1) {
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, chars, NULL, 0, NULL, NULL);
    if (bytes <= 0) return std::string();
    std::string out(bytes, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, chars, &out[0], bytes, NULL, NULL);
    if (chars == -1) out.resize(bytes - 1);
    return out;
}

std::string AnsiToUtf8(const std::string& text) {
    if (text.empty()) return text;
    const int chars = MultiByteToWideChar(CP_ACP, 0, text.data(), (int)text.size(), NULL, 0);
    if (chars <= 0) return std::string();
    std::wstring wide(chars, L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), (int)text.size(), &wide[0], chars);
    return ToUtf8(wide.data(), chars);
}

// Where the lines go: the inherited standard output when there is one (a
// pipe, a file, or the console of a console parent), else the console of the
// process that started us.
struct ConsoleOutput {
    HANDLE handle;
    OwnedFile opened;  // CONOUT$, when we attached
    bool console;
};

void OpenConsoleOutput(ConsoleOutput* output) {
    output->handle = GetStdHandle(STD_OUTPUT_HANDLE);
    if (output->handle == NULL || output->handle == INVALID_HANDLE_VALUE ||
        GetFileType(output->handle) == FILE_TYPE_UNKNOWN) {
        output->handle = INVALID_HANDLE_VALUE;
        typedef BOOL(WINAPI * AttachConsoleFunction)(DWORD);
        HMODULE kernel = GetModuleHandleA("kernel32.dll");
        AttachConsoleFunction attachConsole = kernel == NULL ? NULL
            : reinterpret_cast<AttachConsoleFunction>(reinterpret_cast<void*>(GetProcAddress(kernel, "AttachConsole")));
        if (attachConsole != NULL && attachConsole(ATTACH_PARENT_PROCESS)) {
            output->opened.Reset(CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                             NULL, OPEN_EXISTING, 0, NULL));
            output->handle = output->opened.Get();
        }
    }
    DWORD mode = 0;
    output->console = output->handle != INVALID_HANDLE_VALUE && GetConsoleMode(output->handle, &mode);
}

// A console takes wide text (its own code page may lack the path's letters);
// a pipe or file gets UTF-8.
bool WriteOutput(const ConsoleOutput& output, const std::string& text) {
    if (output.handle == INVALID_HANDLE_VALUE) return false;
    if (output.console) {
        const int chars = MultiByteToWideChar(CP_UTF8, 0, text.data(), (int)text.size(), NULL, 0);
        if (chars <= 0) return text.empty();
        std::wstring wide(chars, L'\0');
        MultiByteToWideChar(CP_UTF8, 0, text.data(), (int)text.size(), &wide[0], chars);
        DWORD written = 0;
        return WriteConsoleW(output.handle, wide.data(), (DWORD)wide.size(), &written, NULL) != 0;
    }
    DWORD written = 0;
    return WriteFile(output.handle, text.data(), (DWORD)text.size(), &written, NULL) && written == text.size();
}

}  // namespace

void DescribeFileCheck(const wchar_t* path, const FileCheck& check, const ReportFindings* findings,
                       CheckRecord* record) {
    record->outcome = check.outcome;
    record->path = ToUtf8(path);
    record->game.clear();
    record->member = AnsiToUtf8(check.member);
    record->findings.clear();
    switch (check.outcome) {
    case CheckMatched:
        record->reason = kMatchedText;
        break;
    case CheckMismatched:
        record->reason = kMismatchedText;
        break;
    case CheckArchiveDamaged:
        record->reason = ArchiveProblemReason(check.archiveResult);
        break;
    default: {
        wchar_t reason[512];
        GetSystemReason(check.error, reason, 512);
        record->reason = std::string("The report file cannot be opened: ") + ToUtf8(reason);
        break;
    }
    }
    if (check.outcome == CheckMatched && findings != NULL) {
        record->game = AnsiToUtf8(findings->game);
        for (const std::string& line : findings->lines) record->findings.push_back(AnsiToUtf8(line));
    }
}

int RunConsoleCheck(const std::vector<std::wstring>& files, bool json) {
    ConsoleOutput output;
    OpenConsoleOutput(&output);
    CheckOutcome worst = CheckMatched;
    FileCheck check;
    CheckRecord record;
    for (const std::wstring& path : files) {
        CheckFile(path.c_str(), json, &check);
        ReportFindings findings;
        // Only a matched report is read for findings: nothing in any other
        // can be trusted.
        if (json && check.outcome == CheckMatched)
            findings = FindReportFindings(check.reportText.data(), check.reportText.size());
        DescribeFileCheck(path.c_str(), check, &findings, &record);
        WriteOutput(output, json ? FormatCheckJson(record) : FormatCheckLine(record));
        worst = WorseOutcome(worst, check.outcome);
    }
    return CheckOutcomeExitCode(worst);
}

bool WriteConsoleText(const std::string& text) {
    ConsoleOutput output;
    OpenConsoleOutput(&output);
    return WriteOutput(output, text);
}
