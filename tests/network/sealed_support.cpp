#include "sealed_support.h"

#include <string.h>

namespace sealed {

std::string CurrentScenario() {
    char name[128] = "";
    DWORD n = GetEnvironmentVariableA("DIAGNOVA_SEALED_SCENARIO", name, sizeof name);
    return n > 0 && n < sizeof name ? name : "";
}

void ScenarioTest::SetUp() {
    ASSERT_EQ(scenario_, CurrentScenario()) << "this suite needs sealed_run.py --scenario " << scenario_;
}

namespace {
MessageBoxCatcher* g_catcher = NULL;
}

MessageBoxCatcher::MessageBoxCatcher() {
    g_catcher = this;
    hook_ = SetWindowsHookExA(WH_CBT, Hook, NULL, GetCurrentThreadId());
}

MessageBoxCatcher::~MessageBoxCatcher() {
    if (hook_ != NULL) UnhookWindowsHookEx(hook_);
    g_catcher = NULL;
}

LRESULT CALLBACK MessageBoxCatcher::Hook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE && g_catcher != NULL) {
        HWND window = reinterpret_cast<HWND>(wParam);
        char className[64] = "";
        GetClassNameA(window, className, sizeof className);
        if (strcmp(className, "#32770") == 0) {
            char caption[512] = "";
            char text[1024] = "";
            GetWindowTextA(window, caption, sizeof caption);
            GetDlgItemTextA(window, 0xFFFF, text, sizeof text);
            g_catcher->boxes_.push_back(CaughtBox{caption, text});
            PostMessageA(window, WM_COMMAND, IDOK, 0);
        }
    }
    return CallNextHookEx(NULL, code, wParam, lParam);
}

ServerEntry Entry(const char* label, int region, const char* host, int port, unsigned checks) {
    ServerEntry entry;
    memset(&entry, 0, sizeof entry);
    lstrcpynA(entry.label, label, sizeof entry.label);
    entry.region = region;
    lstrcpynA(entry.host, host, sizeof entry.host);
    entry.port = port;
    entry.checks = checks;
    return entry;
}

RouteScript::RouteScript(const std::string& lines) {
    std::string path = dir_.File("route_script.txt");
    testing_support::WriteWholeFile(path, lines);
    SetEnvironmentVariableA("DIAGNOVA_ROUTE_SCRIPT", path.c_str());
}

RouteScript::~RouteScript() { SetEnvironmentVariableA("DIAGNOVA_ROUTE_SCRIPT", NULL); }

std::string StandInOutput(const std::string& address) {
    return "stand-in: pathping.exe -w 500 -q 100 -4 " + address + "\r\nTracing route to " + address + "\r\n  1  " +
           address + "\r\nTrace complete.\r\n";
}

std::string RouteBlock(const std::string& label, const std::string& region, const std::string& address,
                       const std::string& output) {
    std::string heading = "Route for [" + label + ":" + region + "] (" + address + ")";
    std::string rule(heading.size(), '-');
    return "\r\n" + rule + "\r\n" + heading + "\r\n" + rule + "\r\n" + output;
}

}  // namespace sealed
