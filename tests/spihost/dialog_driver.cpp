// Drives the plug-in's ConfigurationDlg as a user would: the host's thread
// calls it, and a second thread finds the dialog among that thread's
// windows, walks its tab order, types into the fields and presses keys and
// buttons. What it sees goes to standard output, then the module's registry
// values as they are afterwards.
#include "tests/spihost/dialog_driver.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "plugin/settings_dialog_ids.h"

namespace {

typedef int(WINAPI *ConfigurationDlgFn)(HWND, int);

constexpr DWORD kWaitMilliseconds = 20000;
constexpr DWORD kPollMilliseconds = 20;
constexpr LPARAM kAltDown = 1 << 29;  // WM_SYSCHAR's context bit: Alt is held
const wchar_t kSettingsKey[] = L"Software\\Plotmira_spi\\ini";

std::string Utf8(const std::wstring &wide)
{
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string text(bytes > 0 ? bytes : 1, '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, &text[0], bytes, nullptr, nullptr);
    text.resize(bytes > 0 ? bytes - 1 : 0);
    return text;
}

std::wstring WindowText(HWND window)
{
    wchar_t text[2048] = {};
    SendMessageW(window, WM_GETTEXT, 2048, reinterpret_cast<LPARAM>(text));
    return text;
}

struct DialogSearch {
    HWND except;
    HWND found;
};

BOOL CALLBACK FindDialogWindow(HWND window, LPARAM data)
{
    auto *search = reinterpret_cast<DialogSearch *>(data);
    wchar_t className[32] = {};
    GetClassNameW(window, className, 32);
    if (window != search->except && IsWindowVisible(window) && std::wstring(className) == L"#32770") {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

// A visible dialog window of the thread other than except, waited for.
HWND WaitForDialog(DWORD thread, HWND except)
{
    for (DWORD waited = 0; waited < kWaitMilliseconds; waited += kPollMilliseconds) {
        DialogSearch search = {except, nullptr};
        EnumThreadWindows(thread, FindDialogWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr) return search.found;
        Sleep(kPollMilliseconds);
    }
    return nullptr;
}

BOOL CALLBACK CountVisible(HWND window, LPARAM count)
{
    if (IsWindowVisible(window)) ++*reinterpret_cast<int *>(count);
    return TRUE;
}

int FocusedControl(DWORD thread)
{
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(thread, &info) || info.hwndFocus == nullptr) return 0;
    return GetDlgCtrlID(info.hwndFocus);
}

// Waits until the host's thread has handled everything sent before.
void Settle(HWND dialog)
{
    SendMessageW(dialog, WM_NULL, 0, 0);
    Sleep(50);
    SendMessageW(dialog, WM_NULL, 0, 0);
}

// Types text into a field as keys would: select all, then the characters
// (an empty text deletes what is there).
bool Type(HWND dialog, int id, const std::wstring &text)
{
    HWND field = GetDlgItem(dialog, id);
    SendMessageW(field, EM_SETSEL, 0, -1);
    if (text.empty()) {
        PostMessageW(field, WM_CHAR, VK_BACK, 1);
    } else {
        for (wchar_t c : text) PostMessageW(field, WM_CHAR, c, 1);
    }
    for (DWORD waited = 0; waited < kWaitMilliseconds; waited += kPollMilliseconds) {
        if (WindowText(field) == text) return true;
        Sleep(kPollMilliseconds);
    }
    return false;
}

void PressKey(HWND dialog, WPARAM key)
{
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info);
    HWND target = info.hwndFocus != nullptr ? info.hwndFocus : dialog;
    PostMessageW(target, WM_KEYDOWN, key, 1);
    PostMessageW(target, WM_KEYUP, key, 0xC0000001);
}

// Closes a message box with its OK button and says what it said.
void AnswerMessageBox(HWND box)
{
    std::printf("message: %s\n", Utf8(WindowText(GetDlgItem(box, 0xFFFF))).c_str());
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    for (DWORD waited = 0; waited < kWaitMilliseconds && IsWindow(box); waited += kPollMilliseconds) {
        Sleep(kPollMilliseconds);
    }
}

struct Script {
    DWORD hostThread;
    std::vector<std::wstring> steps;
};

void ShowDialog(HWND dialog)
{
    std::printf("dialog: %s\n", Utf8(WindowText(dialog)).c_str());
    const int fields[] = {PLOTMIRA_IDC_DRAWING_WIDTH, PLOTMIRA_IDC_FIGURE_WIDTH, PLOTMIRA_IDC_REFERENCE_FILE};
    for (int id : fields) std::printf("field %d: \"%s\"\n", id, Utf8(WindowText(GetDlgItem(dialog, id))).c_str());
    std::printf("tab order:");
    HWND first = GetNextDlgTabItem(dialog, nullptr, FALSE);
    HWND control = first;
    for (int i = 0; control != nullptr && i < 20; ++i) {
        std::printf(" %d", GetDlgCtrlID(control));
        control = GetNextDlgTabItem(dialog, control, FALSE);
        if (control == first) break;
    }
    std::printf("\n");
}

// The steps, each a word: show, mnemonics, type:ID:TEXT, enter, escape,
// ok, cancel, expect-message (a message box over the dialog: read and
// close it), read-message (the window found is itself a message box),
// expect-open, hold:SECONDS.
DWORD WINAPI Drive(LPVOID data)
{
    const auto *script = static_cast<const Script *>(data);
    HWND dialog = WaitForDialog(script->hostThread, nullptr);
    if (dialog == nullptr) {
        std::printf("driver: no dialog appeared\n");
        return 1;
    }
    Settle(dialog);
    for (const std::wstring &step : script->steps) {
        if (step == L"show") {
            ShowDialog(dialog);
        } else if (step == L"mnemonics") {
            for (wchar_t letter : std::wstring(L"wfr")) {
                PostMessageW(dialog, WM_SYSCHAR, letter, kAltDown);
                Settle(dialog);
                std::printf("alt+%c: %d\n", static_cast<char>(letter), FocusedControl(script->hostThread));
            }
        } else if (step.compare(0, 5, L"type:") == 0) {
            const size_t colon = step.find(L':', 5);
            const int id = _wtoi(step.substr(5, colon - 5).c_str());
            const std::wstring text = colon == std::wstring::npos ? L"" : step.substr(colon + 1);
            if (!Type(dialog, id, text)) std::printf("driver: typing into %d failed\n", id);
        } else if (step == L"enter") {
            PressKey(dialog, VK_RETURN);
        } else if (step == L"escape") {
            PressKey(dialog, VK_ESCAPE);
        } else if (step == L"ok" || step == L"cancel") {
            // Posted: a click that opens a message box would not return to a sender.
            PostMessageW(GetDlgItem(dialog, step == L"ok" ? IDOK : IDCANCEL), BM_CLICK, 0, 0);
        } else if (step == L"expect-message") {
            HWND box = WaitForDialog(script->hostThread, dialog);
            if (box == nullptr) {
                std::printf("driver: no message box appeared\n");
            } else {
                AnswerMessageBox(box);
            }
        } else if (step == L"read-message") {
            AnswerMessageBox(dialog);
        } else if (step == L"expect-open") {
            Settle(dialog);
            std::printf("dialog %s\n", IsWindow(dialog) && IsWindowVisible(dialog) ? "still open" : "closed");
        } else if (step.compare(0, 5, L"hold:") == 0) {
            Sleep(static_cast<DWORD>(_wtoi(step.c_str() + 5)) * 1000);
        } else {
            std::printf("driver: unknown step %s\n", Utf8(step).c_str());
        }
        if (!IsWindow(dialog)) break;
    }
    return 0;
}

void PrintRegistry()
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        std::printf("registry: no key\n");
        return;
    }
    for (const wchar_t *name : {L"SIZE_JWW", L"SIZE_JWS", L"REF_FILE"}) {
        BYTE data[2048] = {};
        DWORD size = sizeof data - 2;
        DWORD type = 0;
        if (RegQueryValueExW(key, name, nullptr, &type, data, &size) != ERROR_SUCCESS) {
            std::printf("registry %s: absent\n", Utf8(name).c_str());
        } else if (type == REG_DWORD) {
            std::printf("registry %s: dword %lu\n", Utf8(name).c_str(), *reinterpret_cast<DWORD *>(data));
        } else {
            std::printf("registry %s: text \"%s\"\n", Utf8(name).c_str(),
                        Utf8(reinterpret_cast<const wchar_t *>(data)).c_str());
        }
    }
    RegCloseKey(key);
}

}  // namespace

int DriveConfigurationDialog(const std::wstring &pluginPath, int function, const std::vector<std::wstring> &steps)
{
    HMODULE plugin = LoadLibraryW(pluginPath.c_str());
    if (plugin == nullptr) {
        std::printf("spihost: cannot load the plug-in\n");
        return 1;
    }
    auto configure =
        reinterpret_cast<ConfigurationDlgFn>(reinterpret_cast<void (*)()>(GetProcAddress(plugin, "ConfigurationDlg")));
    if (configure == nullptr) {
        std::printf("spihost: ConfigurationDlg is missing\n");
        FreeLibrary(plugin);
        return 1;
    }
    Script script = {GetCurrentThreadId(), steps};
    HANDLE driver = steps.empty() ? nullptr : CreateThread(nullptr, 0, Drive, &script, 0, nullptr);
    const int result = configure(nullptr, function);
    std::printf("ConfigurationDlg %d returned %d\n", function, result);
    int visible = 0;
    EnumThreadWindows(GetCurrentThreadId(), CountVisible, reinterpret_cast<LPARAM>(&visible));
    std::printf("visible windows after: %d\n", visible);
    if (driver != nullptr) {
        WaitForSingleObject(driver, kWaitMilliseconds);
        CloseHandle(driver);
    }
    std::fflush(stdout);
    PrintRegistry();
    FreeLibrary(plugin);
    return 0;
}

int SetRegistryValues(const std::vector<std::wstring> &assignments)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS) {
        std::printf("spihost: cannot open the settings key\n");
        return 1;
    }
    for (const std::wstring &assignment : assignments) {
        const size_t equals = assignment.find(L'=');
        if (equals == std::wstring::npos) continue;
        const std::wstring name = assignment.substr(0, equals);
        const std::wstring value = assignment.substr(equals + 1);
        if (value.empty()) {
            RegDeleteValueW(key, name.c_str());
        } else if (name == L"REF_FILE") {
            RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE *>(value.c_str()),
                           static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
        } else {
            const DWORD number = static_cast<DWORD>(_wtoi(value.c_str()));
            RegSetValueExW(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE *>(&number), sizeof number);
        }
    }
    RegCloseKey(key);
    PrintRegistry();
    return 0;
}
