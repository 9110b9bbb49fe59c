// ConfigurationDlg: the optional export behind a viewer's "configure
// plug-in" button. 0 shows the about box, 1 the settings dialog, which edits
// the module's registry values with the settings file's rules. Windows only:
// it is part of the plug-in DLL, not of the module's portable code.
#include <windows.h>
#include <commdlg.h>

#include <string>

#include "plugin/plugin_api.h"
#include "plugin/settings_dialog_ids.h"
#include "plotmira_version.h"
#include "settings/plugin_settings.h"

extern HINSTANCE pluginInstance;  // set by DllMain

namespace {

constexpr int kFunctionAbout = 0;
constexpr int kFunctionSettings = 1;
constexpr int kMaxFieldChars = 1024;

const wchar_t kAboutTitle[] = L"Plotmira について";
const wchar_t kAboutText[] =
    L"Plotmira " PLOTMIRA_VERSION L"\n\n"
    L"Jw_cad の図面 (.jww) と図形 (.jws) を読み込む画像プラグインです。\n"
    L"Reads Jw_cad drawings (.jww) and figures (.jws).\n\n"
    L"Copyright (c) 2026 The Plotmira developers\n"
    L"MIT License";
const wchar_t kSettingsTitle[] = L"Plotmira の設定";
const wchar_t kDrawingWidthInvalid[] =
    L"図面の幅は 300 から 5000 までの数で入力してください。空欄なら画面の幅になります。";
const wchar_t kFigureWidthInvalid[] =
    L"図形の幅は 300 から 5000 までの数で入力してください。空欄なら画面の幅の半分になります。";
const wchar_t kReferenceFileInvalid[] =
    L"参照ファイルの名前は 2 文字以上で入力してください。空欄なら参照ファイルを使いません。";
const wchar_t kReferenceFileUnspellable[] = L"参照ファイルの名前に、このシステムの文字コードで表せない文字があります。";
const wchar_t kWriteFailed[] = L"設定をレジストリに書き込めませんでした。";
const wchar_t kBrowseFilter[] = L"テキスト ファイル (*.txt)\0*.txt\0すべてのファイル (*.*)\0*.*\0";

std::wstring FieldText(HWND dialog, int id)
{
    wchar_t text[kMaxFieldChars] = {};
    GetDlgItemTextW(dialog, id, text, kMaxFieldChars);
    std::wstring value = text;
    const size_t first = value.find_first_not_of(L" \t");
    if (first == std::wstring::npos) return std::wstring();
    return value.substr(first, value.find_last_not_of(L" \t") - first + 1);
}

// UTF-16 to the ANSI code page, in which the module reads its registry
// values; false when a character has no spelling there.
bool ToAnsi(const std::wstring &wide, std::string *ansi)
{
    if (wide.empty()) {
        ansi->clear();
        return true;
    }
    BOOL lossy = FALSE;
    const int bytes = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, nullptr, 0, nullptr, &lossy);
    if (bytes <= 0 || lossy) return false;
    std::string text(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, &text[0], bytes, nullptr, &lossy);
    text.resize(static_cast<size_t>(bytes) - 1);
    *ansi = text;
    return !lossy;
}

std::wstring FromAnsi(const std::string &ansi)
{
    if (ansi.empty()) return std::wstring();
    const int units = MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, nullptr, 0);
    if (units <= 0) return std::wstring();
    std::wstring wide(static_cast<size_t>(units), L'\0');
    MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, &wide[0], units);
    wide.resize(static_cast<size_t>(units) - 1);
    return wide;
}

// Refuses the field's value: says why, and puts the user back in the field.
bool Refuse(HWND dialog, int id, const wchar_t *message)
{
    MessageBoxW(dialog, message, kSettingsTitle, MB_OK | MB_ICONWARNING);
    HWND field = GetDlgItem(dialog, id);
    SetFocus(field);
    SendMessageW(field, EM_SETSEL, 0, -1);
    return false;
}

// An empty width field stands for the default, which the registry says by
// having no value.
bool ReadWidthField(HWND dialog, int id, const wchar_t *invalid, bool *present, uint32_t *width)
{
    std::string text;
    if (!ToAnsi(FieldText(dialog, id), &text)) return Refuse(dialog, id, invalid);
    *present = !text.empty();
    *width = 0;
    if (*present && !ParseSettingWidth(text, width)) return Refuse(dialog, id, invalid);
    return true;
}

// OK: every field is checked before anything is written.
bool Apply(HWND dialog)
{
    StoredPluginSettings settings;
    if (!ReadWidthField(dialog, PLOTMIRA_IDC_DRAWING_WIDTH, kDrawingWidthInvalid, &settings.hasDrawingWidth,
                        &settings.drawingWidth) ||
        !ReadWidthField(dialog, PLOTMIRA_IDC_FIGURE_WIDTH, kFigureWidthInvalid, &settings.hasFigureWidth,
                        &settings.figureWidth)) {
        return false;
    }
    if (!ToAnsi(FieldText(dialog, PLOTMIRA_IDC_REFERENCE_FILE), &settings.referenceFile)) {
        return Refuse(dialog, PLOTMIRA_IDC_REFERENCE_FILE, kReferenceFileUnspellable);
    }
    settings.hasReferenceFile = !settings.referenceFile.empty();
    if (settings.hasReferenceFile && !AcceptableReferenceFile(settings.referenceFile)) {
        return Refuse(dialog, PLOTMIRA_IDC_REFERENCE_FILE, kReferenceFileInvalid);
    }
    if (!WriteStoredPluginSettings(settings)) {
        MessageBoxW(dialog, kWriteFailed, kSettingsTitle, MB_OK | MB_ICONERROR);
        return false;
    }
    return true;
}

void ShowStoredSettings(HWND dialog)
{
    StoredPluginSettings settings;
    ReadStoredPluginSettings(&settings);
    if (settings.hasDrawingWidth && settings.drawingWidth != 0) {
        SetDlgItemInt(dialog, PLOTMIRA_IDC_DRAWING_WIDTH, settings.drawingWidth, FALSE);
    }
    if (settings.hasFigureWidth && settings.figureWidth != 0) {
        SetDlgItemInt(dialog, PLOTMIRA_IDC_FIGURE_WIDTH, settings.figureWidth, FALSE);
    }
    if (settings.hasReferenceFile) {
        SetDlgItemTextW(dialog, PLOTMIRA_IDC_REFERENCE_FILE, FromAnsi(settings.referenceFile).c_str());
    }
}

void Browse(HWND dialog)
{
    wchar_t path[MAX_PATH] = {};
    const std::wstring current = FieldText(dialog, PLOTMIRA_IDC_REFERENCE_FILE);
    if (current.size() < MAX_PATH) current.copy(path, current.size());
    OPENFILENAMEW request = {};
    request.lStructSize = sizeof request;
    request.hwndOwner = dialog;
    request.lpstrFilter = kBrowseFilter;
    request.lpstrFile = path;
    request.nMaxFile = MAX_PATH;
    request.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (GetOpenFileNameW(&request)) SetDlgItemTextW(dialog, PLOTMIRA_IDC_REFERENCE_FILE, path);
}

INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG: ShowStoredSettings(dialog); return TRUE;  // focus to the first field
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            if (Apply(dialog)) EndDialog(dialog, IDOK);
            return TRUE;
        case IDCANCEL: EndDialog(dialog, IDCANCEL); return TRUE;
        case PLOTMIRA_IDC_BROWSE: Browse(dialog); return TRUE;
        default: return FALSE;
        }
    default: return FALSE;
    }
}

}  // namespace

extern "C" int WINAPI ConfigurationDlg(HWND parent, int function)
{
    try {
        switch (function) {
        case kFunctionAbout:
            MessageBoxW(parent, kAboutText, kAboutTitle, MB_OK | MB_ICONINFORMATION);
            return kResultSuccess;
        case kFunctionSettings:
            DialogBoxParamW(pluginInstance, MAKEINTRESOURCEW(PLOTMIRA_IDD_SETTINGS), parent, SettingsDialogProc, 0);
            return kResultSuccess;
        default: return kResultNotImplemented;
        }
    } catch (...) {
        return kResultInternalError;
    }
}
