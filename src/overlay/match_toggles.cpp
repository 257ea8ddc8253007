// The match option toggles on the search band: match case, whole words, match path, regex.
// Each flips its setting, remembers it in Fleetfinder.cfg and searches again at once.
#include "overlay/overlay.h"
#include "overlay/list.h"
#include "core/core.h"
#include "host/host.h"
#include "search/search.h"

#include <commctrl.h>

HWND g_matchToggles[FF_MATCH_OPTION_COUNT];
static HWND g_toggleTooltip = nullptr;  // hover tips naming each toggle's key; none is fine

struct FfMatchToggleInfo {
    const wchar_t* label;  // what the toggle shows
    const wchar_t* tip;    // its tooltip, with the key that toggles it from the search box
    WPARAM key;            // the letter pressed with Ctrl
};

// In FfMatchOption order; the keys are the ones the engine's own window uses.
static const FfMatchToggleInfo g_toggleInfo[FF_MATCH_OPTION_COUNT] = {
    {L"Aa", L"Match case (Ctrl+I)", 'I'},
    {L"ab", L"Match whole words (Ctrl+B)", 'B'},
    {L"C:\\", L"Match path (Ctrl+U)", 'U'},
    {L".*", L"Regular expression (Ctrl+R)", 'R'},
};

int FfMatchOptionForKey(WPARAM key, bool ctrl, bool shift, bool alt)
{
    if (!ctrl || shift || alt) return -1;
    for (int option = 0; option < FF_MATCH_OPTION_COUNT; option++)
        if (g_toggleInfo[option].key == key) return option;
    return -1;
}

bool FfIsMatchOptionChar(WPARAM character)
{
    // Ctrl+letter types the letter's control character (A = 1).
    for (const FfMatchToggleInfo& info : g_toggleInfo)
        if (character == info.key - 'A' + 1) return true;
    return false;
}

static void FfAddToggleTip(HWND overlay, HWND toggle, const wchar_t* text)
{
    TOOLINFOW tool;
    ZeroMemory(&tool, sizeof(tool));
    tool.cbSize = TTTOOLINFOW_V1_SIZE;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = overlay;
    tool.uId = (UINT_PTR)toggle;
    tool.hinst = g_moduleHandle;
    tool.lpszText = (LPWSTR)text;
    SendMessageW(g_toggleTooltip, TTM_ADDTOOLW, 0, (LPARAM)&tool);
}

void FfCreateMatchToggles(HWND overlay)
{
    for (int option = 0; option < FF_MATCH_OPTION_COUNT; option++)
        g_matchToggles[option] = CreateWindowExW(0, L"BUTTON", g_toggleInfo[option].label,
                                                 WS_CHILD | WS_VISIBLE | BS_OWNERDRAW, 0, 0, 0, 0, overlay,
                                                 (HMENU)(INT_PTR)(FF_ID_TOGGLE_FIRST + option), g_moduleHandle,
                                                 nullptr);
    // A tooltip of its own: the list's is a tracking one, moved by hand.
    g_toggleTooltip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                                      CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, overlay, nullptr,
                                      g_moduleHandle, nullptr);
    if (!g_toggleTooltip) return;
    for (int option = 0; option < FF_MATCH_OPTION_COUNT; option++)
        if (g_matchToggles[option]) FfAddToggleTip(overlay, g_matchToggles[option], g_toggleInfo[option].tip);
}

void FfDrawMatchToggle(const DRAWITEMSTRUCT* item)
{
    int option = (int)item->CtlID - FF_ID_TOGGLE_FIRST;
    if (option < 0 || option >= FF_MATCH_OPTION_COUNT) return;
    HDC dc = item->hDC;
    RECT r = item->rcItem;
    bool on = g_settings.matchOptions[option] != 0;
    // On: filled like a pressed button; off: the band's own background inside a thin frame.
    HBRUSH fill = CreateSolidBrush(on ? g_theme.accent : g_theme.windowBackground);
    FillRect(dc, &r, fill);
    DeleteObject(fill);
    HBRUSH frame = CreateSolidBrush(on ? g_theme.accent : g_theme.border);
    FrameRect(dc, &r, frame);
    DeleteObject(frame);

    COLORREF colour = on ? (g_theme.whiteOnAccent ? RGB(255, 255, 255) : RGB(0, 0, 0)) : g_theme.secondaryText;
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, colour);
    HGDIOBJ oldFont = SelectObject(dc, g_theme.font);
    DrawTextW(dc, g_toggleInfo[option].label, -1, &r, DT_SINGLELINE | DT_CENTER | DT_VCENTER | DT_NOPREFIX);
    if (option == FF_MATCH_WHOLE_WORD) {
        // Whole words: the letters stand on a bar with ends, the engine's own sign for it.
        SIZE extent = {0, 0};
        GetTextExtentPoint32W(dc, L"ab", 2, &extent);
        int d = FfScalePixels(2, g_theme.dpiScale);
        int left = (r.left + r.right - extent.cx) / 2 - d, right = (r.left + r.right + extent.cx) / 2 + d;
        int y = (r.top + r.bottom + extent.cy) / 2;
        HPEN pen = CreatePen(PS_SOLID, 1, colour);
        HGDIOBJ oldPen = SelectObject(dc, pen);
        MoveToEx(dc, left, y - d, nullptr);
        LineTo(dc, left, y);
        LineTo(dc, right, y);
        LineTo(dc, right, y - d - 1);
        SelectObject(dc, oldPen);
        DeleteObject(pen);
    }
    SelectObject(dc, oldFont);
}

void FfToggleMatchOption(int option)
{
    if (option < 0 || option >= FF_MATCH_OPTION_COUNT) return;
    FfSaveMatchOption(option, !g_settings.matchOptions[option]);
    if (g_matchToggles[option]) InvalidateRect(g_matchToggles[option], nullptr, TRUE);
    // At once: a search already waiting for its delay is this one.
    if (g_overlayWindow) KillTimer(g_overlayWindow, FF_TIMER_SEARCH);
    FfRunSearchNow();
}
