// The about box: shown from the overlay's filter menu and for the host's properties of the root.
#include "bridge/bridge.h"
#include "core/text.h"

#define FF_ABOUT_TEXT_MAX 320

void FfBuildAboutText(wchar_t* buffer, int capacity, int year)
{
    wchar_t notice[96];
    FfFormatText(notice, 96, L"Copyright \u00A9 %d %s", year, FF_ABOUT_OWNER);
    wchar_t stamp[32];
    FfFormatText(stamp, 32, L"%hs %hs", __DATE__, __TIME__);
    FfFormatText(buffer, capacity, L"%s\n\nVersion: %s\nBuild: %s\n\n%s", FF_PRODUCT_NAME,
                 FF_VERSION_TEXT, stamp, notice);
}

void FfShowAboutBox(HWND owner)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    wchar_t text[FF_ABOUT_TEXT_MAX];
    FfBuildAboutText(text, FF_ABOUT_TEXT_MAX, now.wYear);
    MessageBoxW(owner, text, FF_PRODUCT_NAME, MB_ICONINFORMATION);
}
