// Filter menu under the filter button (pick, remember, search again) and the about box.
#include "overlay/list.h"
#include "overlay/overlay.h"
#include "bridge/bridge.h"
#include "core/core.h"
#include "search/search.h"

#define FF_ABOUT_MENU_TEXT_MAX 64

static void FfSelectFilterFromMenu(int index)
{
    g_selectedFilter = index;
    if (g_filterButton) {
        SetWindowTextW(g_filterButton, FfFilterShownName(g_filters[index].name));
        InvalidateRect(g_filterButton, nullptr, FALSE);
    }
    FfSaveLastSelectedFilter();
    FfRunSearchNow();
}

void FfShowFilterMenu()
{
    HMENU menu = CreatePopupMenu();
    if (!menu) return;
    int count = g_filterCount;
    if (count > FF_FILTERS_MAX) count = FF_FILTERS_MAX;
    for (int i = 0; i < count; i++) {
        UINT flags = MF_STRING | (i == g_selectedFilter ? MF_CHECKED : MF_UNCHECKED);
        AppendMenuW(menu, flags, FF_CMD_FILTER_BASE + i, FfFilterShownName(g_filters[i].name));
    }
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    wchar_t about[FF_ABOUT_MENU_TEXT_MAX];
    FfBuildAboutMenuText(about, FF_ABOUT_MENU_TEXT_MAX);
    AppendMenuW(menu, MF_STRING, FF_CMD_ABOUT, about);

    RECT button = {0, 0, 0, 0};
    if (g_filterButton) GetWindowRect(g_filterButton, &button);
    if (g_overlayWindow) SetForegroundWindow(g_overlayWindow);
    int id = (int)TrackPopupMenu(menu, TPM_RETURNCMD, button.left, button.bottom, 0,
                                 g_overlayWindow, nullptr);
    DestroyMenu(menu);

    // The catalogue may have been rebuilt while the menu was open (a re-open by the hotkey).
    if (id >= FF_CMD_FILTER_BASE && id < FF_CMD_FILTER_BASE + count &&
        id - FF_CMD_FILTER_BASE < g_filterCount) {
        FfSelectFilterFromMenu(id - FF_CMD_FILTER_BASE);
    } else if (id == FF_CMD_ABOUT) {
        FfShowAboutBox(g_overlayWindow);
    }
}
