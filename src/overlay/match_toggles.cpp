// The match option toggles on the search band: match case, whole words, match path, regex.
// Each flips its setting, remembers it in Fleetfinder.cfg and searches again at once.
#include "overlay/overlay.h"
#include "overlay/list.h"
#include "core/core.h"
#include "host/host.h"
#include "search/search.h"

#include <commctrl.h>


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

RECT g_toggleRects[FF_MATCH_OPTION_COUNT];
static HWND g_toggleTips = nullptr;  // hover tips naming each toggle's key; none is fine

static void FfFillToggleTool(TOOLINFOW* tool, int option)
{
    ZeroMemory(tool, sizeof(*tool));
    tool->cbSize = TTTOOLINFOW_V1_SIZE;
    tool->uFlags = TTF_SUBCLASS;
    tool->hwnd = g_overlayWindow;
    tool->uId = (UINT_PTR)option;
    tool->rect = g_toggleRects[option];
    tool->hinst = g_moduleHandle;
    tool->lpszText = (LPWSTR)g_toggleInfo[option].tip;
}

void FfCreateMatchToggleTips(HWND overlay)
{
    for (RECT& r : g_toggleRects) SetRectEmpty(&r);
    // A tooltip of its own: the list's is a tracking one, moved by hand.
    g_toggleTips = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                                   CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, overlay, nullptr,
                                   g_moduleHandle, nullptr);
    if (!g_toggleTips) return;
    for (int option = 0; option < FF_MATCH_OPTION_COUNT; option++) {
        TOOLINFOW tool;
        FfFillToggleTool(&tool, option);
        tool.hwnd = overlay;
        SendMessageW(g_toggleTips, TTM_ADDTOOLW, 0, (LPARAM)&tool);
    }
}

void FfPlaceMatchToggles(const RECT* rects)
{
    for (int option = 0; option < FF_MATCH_OPTION_COUNT; option++) {
        g_toggleRects[option] = rects[option];
        if (!g_toggleTips || !g_overlayWindow) continue;
        TOOLINFOW tool;
        FfFillToggleTool(&tool, option);
        SendMessageW(g_toggleTips, TTM_NEWTOOLRECTW, 0, (LPARAM)&tool);
    }
}

static void FfPaintMatchToggle(HDC dc, int option)
{
    RECT r = g_toggleRects[option];
    bool on = g_settings.matchOptions[option] != 0;
    // On: filled like a pressed button; off: the band's own background inside a thin frame.
    HBRUSH fill = CreateSolidBrush(on ? g_theme.accent : g_theme.windowBackground);
    FillRect(dc, &r, fill);
    DeleteObject(fill);
    HBRUSH frame = CreateSolidBrush(on ? g_theme.accent : g_theme.border);
    FrameRect(dc, &r, frame);
    DeleteObject(frame);

    COLORREF colour = on ? (g_theme.whiteOnAccent ? RGB(255, 255, 255) : RGB(0, 0, 0)) : g_theme.secondaryText;
    SetTextColor(dc, colour);
    DrawTextW(dc, g_toggleInfo[option].label, -1, &r, DT_SINGLELINE | DT_CENTER | DT_VCENTER | DT_NOPREFIX);
    if (option != FF_MATCH_WHOLE_WORD) return;
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

void FfPaintMatchToggles(HDC dc)
{
    SetBkMode(dc, TRANSPARENT);
    HGDIOBJ oldFont = SelectObject(dc, g_theme.font);
    for (int option = 0; option < FF_MATCH_OPTION_COUNT; option++)
        if (!IsRectEmpty(&g_toggleRects[option])) FfPaintMatchToggle(dc, option);
    SelectObject(dc, oldFont);
}

bool FfOnMatchToggleClick(int x, int y)
{
    POINT pt = {x, y};
    for (int option = 0; option < FF_MATCH_OPTION_COUNT; option++) {
        if (!PtInRect(&g_toggleRects[option], pt)) continue;
        FfToggleMatchOption(option);
        // Typing goes on in the search box.
        if (g_searchBox) SetFocus(g_searchBox);
        return true;
    }
    return false;
}

void FfToggleMatchOption(int option)
{
    if (option < 0 || option >= FF_MATCH_OPTION_COUNT) return;
    FfSaveMatchOption(option, !g_settings.matchOptions[option]);
    if (g_overlayWindow) InvalidateRect(g_overlayWindow, &g_toggleRects[option], TRUE);
    // At once: a search already waiting for its delay is this one.
    if (g_overlayWindow) KillTimer(g_overlayWindow, FF_TIMER_SEARCH);
    FfRunSearchNow();
}
