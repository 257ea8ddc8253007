// The demo session itself: each step acts through real input or the host's own commands,
// checks that it had its effect, writes a line to the transcript and takes a screenshot.
#include "demo.h"
#include "png_writer.h"
#include <stdarg.h>
#include <stdio.h>
#include <algorithm>

namespace {

const wchar_t* const kRoot = L"\\\\\\Fleetfinder";

std::string LogText(FfDemo& d) { return FfTestReadBytes(d.pluginDir + L"\\Fleetfinder.log"); }

bool LogHas(FfDemo& d, const std::string& needle, DWORD timeoutMs)
{
    return FfTestWaitFor([&] { return LogText(d).find(needle) != std::string::npos; }, timeoutMs);
}

// Waits for the search run that answers exactly this typed text (and filter, when given).
bool WaitSearch(FfDemo& d, const std::wstring& typed, const std::wstring& filter = L"")
{
    std::string needle = "typed=\"" + FfTestUtf8(typed) + "\" includeFolders=";
    if (!filter.empty()) needle = "filter=\"" + FfTestUtf8(filter) + "\" " + needle;
    return LogHas(d, needle, 10000);
}

struct FindState { DWORD pid; const wchar_t* cls; HWND found; };

BOOL CALLBACK FindVisible(HWND hwnd, LPARAM lp)
{
    FindState* st = (FindState*)lp;
    wchar_t cls[64] = {};
    GetClassNameW(hwnd, cls, 64);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (wcscmp(cls, st->cls) == 0 && (!st->pid || pid == st->pid) && IsWindowVisible(hwnd)) {
        st->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

HWND VisibleWindow(const wchar_t* cls, DWORD pid)
{
    FindState st = {pid, cls, nullptr};
    EnumWindows(FindVisible, (LPARAM)&st);
    return st.found;
}

HWND Overlay(FfDemo& d) { return VisibleWindow(L"FleetfinderOverlay", d.host.process.pi.dwProcessId); }

void Key(WORD vk, bool up) { FfTestSendKey(vk, up); }

void Chord(std::initializer_list<WORD> keys)
{
    for (WORD k : keys) Key(k, false);
    for (auto it = keys.end(); it != keys.begin();) Key(*--it, true);
    FfTestFlushEvents(100);
}

void TypeText(const std::wstring& text)
{
    for (wchar_t c : text) {
        FfTestTypeChar(c);
        FfTestFlushEvents(30);
    }
}

void Click(int x, int y)
{
    SetCursorPos(x, y);
    INPUT in[2] = {};
    in[0].type = in[1].type = INPUT_MOUSE;
    in[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    in[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(2, in, sizeof(INPUT));
}

std::wstring ClipboardText()
{
    std::wstring text;
    if (!OpenClipboard(nullptr)) return text;
    HANDLE h = GetClipboardData(CF_UNICODETEXT);
    if (h) {
        const wchar_t* p = (const wchar_t*)GlobalLock(h);
        if (p) text = p;
        GlobalUnlock(h);
    }
    CloseClipboard();
    return text;
}

bool SetClipboardTextW(const std::wstring& text)
{
    if (!OpenClipboard(nullptr)) return false;
    EmptyClipboard();
    HGLOBAL g = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
    bool ok = false;
    if (g) {
        memcpy(GlobalLock(g), text.c_str(), (text.size() + 1) * sizeof(wchar_t));
        GlobalUnlock(g);
        ok = SetClipboardData(CF_UNICODETEXT, g) != nullptr;
    }
    CloseClipboard();
    return ok;
}

// Waits until a screen area looks different from before (a repaint after an action).
bool WaitRepaint(const RECT& r, const std::vector<unsigned char>& before)
{
    return FfTestWaitFor([&] { return FfTestCaptureScreen(r) != before; }, 3000);
}

// Typing reaches the overlay once it is in front with the focus in its search box; that
// activation crosses processes and lags a little behind the window's showing.
bool OverlayHasTheKeyboard(FfDemo& d)
{
    HWND window = Overlay(d);
    if (!window || GetForegroundWindow() != window) return false;
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) &&
           info.hwndFocus == GetDlgItem(window, 201);
}

std::wstring WindowText(HWND window)
{
    // WM_GETTEXT itself: across processes GetWindowTextW reads only the caption an edit never sets.
    wchar_t text[1024] = {};
    DWORD_PTR copied = 0;
    if (window) SendMessageTimeoutW(window, WM_GETTEXT, 1024, (LPARAM)text, SMTO_ABORTIFHUNG, 2000, &copied);
    return text;
}

// The status line under the list: engine trouble, "No results" or the counts.
std::wstring StatusText(FfDemo& d) { return WindowText(GetDlgItem(Overlay(d), 206)); }

// Waits for a status line that holds the counts ("... files" or "... folders") and returns it.
std::string WaitCounts(FfDemo& d)
{
    std::wstring text;
    FfTestWaitFor([&] {
        text = StatusText(d);
        return text.find(L" file") != std::wstring::npos || text.find(L" folder") != std::wstring::npos;
    }, 5000);
    return FfTestUtf8(text);
}

// Screen x of the Size column's middle, from the plug-in's last column line ("columns for rows
// W px wide: folder F, size S, date D"): right to left the date, a 6 px gap, the size.
int SizeColumnX(FfDemo& d, HWND list)
{
    std::string log = LogText(d), key = "FfFillResultList: columns for rows ";
    size_t at = log.rfind(key);
    int content = 0, folder = 0, size = 64, date = 118;
    if (at != std::string::npos)
        sscanf(log.c_str() + at + key.size(), "%d px wide: folder %d, size %d, date %d", &content, &folder, &size, &date);
    RECT client = {};
    GetClientRect(list, &client);
    if (content <= 0) content = client.right;
    POINT p = {content - 4 - date - 6 - size / 2, 0};
    ClientToScreen(list, &p);
    return p.x;
}

bool OpenOverlayWithHotkey(FfDemo& d)
{
    d.host.BringToFront();
    // The hotkey counts only while the host is in front; the activation lags a little.
    FfTestWaitFor([&] { return GetForegroundWindow() == d.host.mainWindow; }, 5000);
    Chord({VK_CONTROL, VK_MENU, 'F'});
    return FfTestWaitFor([&] { return OverlayHasTheKeyboard(d); }, 15000);
}

}  // namespace

void FfDemoSay(FfDemo& d, const char* fmt, ...)
{
    char line[4096];
    va_list args;
    va_start(args, fmt);
    vsnprintf(line, sizeof line, fmt, args);
    va_end(args);
    printf("%s\n", line);
    fflush(stdout);
    if (d.transcript) {
        fprintf(d.transcript, "%s\r\n", line);
        fflush(d.transcript);
    }
}

bool FfDemoStep(FfDemo& d, const char* title, bool ok, const std::string& detail)
{
    if (!ok) ++d.failures;
    FfDemoSay(d, "[%s] %s%s%s", ok ? "OK" : "FAILED", title, detail.empty() ? "" : ": ", detail.c_str());
    return ok;
}

void FfDemoShot(FfDemo& d, const char* label)
{
    FfTestFlushEvents(150);
    RECT r;
    if (!d.host.mainWindow || !GetWindowRect(d.host.mainWindow, &r)) return;
    std::vector<unsigned char> rgb = FfTestCaptureScreen(r);
    char name[128];
    snprintf(name, sizeof name, "%02d-%s.png", ++d.shots, label);
    std::wstring path = d.outDir + L"\\" + FfTestWide(name);
    FfTestWriteBytes(path, FfTestEncodePng(r.right - r.left, r.bottom - r.top, rgb));
    FfDemoSay(d, "      screenshot %s", name);
}

bool FfDemoRunSession(FfDemo& d)
{
    FfHostStartOptions opts;
    opts.leftFolder = d.sampleDir;
    opts.rightFolder = d.targetDir;
    opts.commanderIni = d.iniPath;
    opts.x = 40;
    opts.y = 30;
    opts.width = 1200;
    opts.height = 760;

    // 1. First start: the user opens the plug-in's folder once; the host loads the library,
    //    which registers itself, its hotkey binding and its column view in wincmd.ini. As after
    //    every cold load, it also sends the panel back and opens the search box.
    bool up = d.host.Start(opts);
    if (!FfDemoStep(d, "start the host with the fresh wincmd.ini", up, "")) return false;
    d.host.SetFolder(FF_HOST_LEFT, kRoot);
    bool registered = FfTestWaitFor([&] {
        std::string ini = FfTestReadBytes(d.iniPath);
        return ini.find("CA+F=CD") != std::string::npos && ini.find("CustomFields_Fleetfinder") != std::string::npos;
    }, 10000);
    bool opened = FfTestWaitFor([&] { return Overlay(d) != nullptr; }, 10000);
    FfDemoStep(d, "enter the plug-in's folder once: the plug-in registers itself and opens the search box",
               registered && opened, "wincmd.ini now holds:\n" + FfTestReadBytes(d.iniPath));
    FfDemoShot(d, "first-entry");
    d.host.Quit();

    // 2. Restart: the first Ctrl+Alt+F runs the host's own shortcut, the host loads the plug-in,
    //    which sends the panel back and opens the search box.
    up = d.host.Start(opts);
    FfDemoStep(d, "restart the host", up, "left panel: " + FfTestUtf8(d.host.Folder(FF_HOST_LEFT)));
    FfDemoShot(d, "host");
    bool open = OpenOverlayWithHotkey(d);
    bool shortcut = d.host.WaitForEvent(L"shortcut", 2000);
    bool back = FfTestWaitFor([&] { return d.host.Folder(FF_HOST_LEFT) == d.sampleDir; }, 5000);
    FfDemoStep(d, "first Ctrl+Alt+F after the start: host shortcut, plug-in loads, overlay opens",
               open && shortcut && back, "panel back at " + FfTestUtf8(d.host.Folder(FF_HOST_LEFT)));
    if (!open) return false;

    // 3. The engine is not running yet: the status line says so before anything is typed.
    const std::wstring notRunning = L"Everything is not running - start it to search";
    bool told = FfTestWaitFor([&] { return StatusText(d) == notRunning; }, 5000);
    FfDemoStep(d, "the status line, with the engine not running", told,
               "\"" + FfTestUtf8(StatusText(d)) + "\"");
    FfDemoShot(d, "not-running");
    Chord({VK_ESCAPE});
    bool closed = FfTestWaitFor([&] { return Overlay(d) == nullptr; }, 5000);
    bool engineUp = d.engine.Start(d.engineOptions, 60000);
    if (!FfDemoStep(d, "Escape, then start the search engine over the sample tree", closed && engineUp,
                    std::to_string(engineUp ? d.engine.ItemCount() : 0) + " items indexed"))
        return false;
    open = OpenOverlayWithHotkey(d);
    FfDemoStep(d, "Ctrl+Alt+F again: the plug-in's hook opens the overlay", open, "");
    if (!open) return false;

    // 4. Typing, word by word; the status line counts what is listed against what matched.
    HWND overlay = Overlay(d);
    HWND list = GetDlgItem(overlay, 205);
    TypeText(L"report");
    bool s1 = WaitSearch(d, L"report");
    std::string counts = WaitCounts(d);
    FfDemoStep(d, "type \"report\"", s1 && !counts.empty(),
               std::to_string(SendMessageW(list, LB_GETCOUNT, 0, 0)) + " results listed, status line \"" + counts + "\"");
    FfDemoShot(d, "typed-report");
    TypeText(L" 2024");
    bool s2 = WaitSearch(d, L"report 2024");
    counts = WaitCounts(d);
    FfDemoStep(d, "type \" 2024\"", s2 && !counts.empty(),
               std::to_string(SendMessageW(list, LB_GETCOUNT, 0, 0)) + " results listed, status line \"" + counts + "\"");
    FfDemoShot(d, "typed-report-2024");

    // 5. The filter menu: a real click on the filter button, then the keyboard in the menu.
    HWND filterButton = GetDlgItem(overlay, 203);
    RECT fr;
    GetWindowRect(filterButton, &fr);
    Click((fr.left + fr.right) / 2, (fr.top + fr.bottom) / 2);
    HWND menu = nullptr;
    FfTestWaitFor([&] { return (menu = VisibleWindow(L"#32768", 0)) != nullptr; }, 5000);
    if (menu) {
        // <All Files>, Audio, Compressed, Document: the fourth entry.
        for (int i = 0; i < 4; ++i) PostMessageW(menu, WM_KEYDOWN, VK_DOWN, 0);
        PostMessageW(menu, WM_KEYDOWN, VK_RETURN, 0);
    }
    // The engine's Filters.csv names it DOCUMENT; its window, and the menu, show "Document". A
    // 1.4 engine knows no filter: function: the filter's search goes in a group.
    bool filtered = WaitSearch(d, L"report 2024", L"DOCUMENT");
    wchar_t buttonText[128] = {};
    GetWindowTextW(filterButton, buttonText, 128);
    bool saved = FfTestReadBytes(d.pluginDir + L"\\Fleetfinder.cfg").find("LastSelectedFilter=DOCUMENT") != std::string::npos;
    std::wstring sent;
    for (const FfEngineQueryRecord& q : d.engine.Queries())
        if (q.text.find(L"report 2024") != std::wstring::npos) sent = q.text;
    bool grouped = sent.compare(0, 5, L"<ext:") == 0 && sent.find(L"filter:") == std::wstring::npos;
    FfDemoStep(d, "pick the filter \"Document\" from the menu", menu && filtered && saved && grouped &&
               !wcscmp(buttonText, L"Document"),
               "button shows \"" + FfTestUtf8(buttonText) + "\", " +
               std::to_string(SendMessageW(list, LB_GETCOUNT, 0, 0)) + " results, choice saved in Fleetfinder.cfg, "
               "the engine was sent \"" + FfTestUtf8(sent.substr(0, 24)) + "...\"");
    FfDemoShot(d, "filter-document");

    // 6. A column sort: a click on the Size title (the first click sorts largest first).
    RECT orc, lrc;
    GetWindowRect(overlay, &orc);
    GetWindowRect(list, &lrc);
    RECT watch = {orc.left, orc.top, orc.right, lrc.bottom};
    std::vector<unsigned char> before = FfTestCaptureScreen(watch);
    // The Size column sits left of the whole date; the plug-in logs where its columns went.
    Click(SizeColumnX(d, list), (orc.top + lrc.top) / 2);
    bool repainted = WaitRepaint(watch, before);
    FfDemoStep(d, "click the Size column title", repainted, "");
    FfDemoShot(d, "sorted-by-size");

    // 7. A sort leaves no row selected: Down selects the first, Shift+Down adds the second;
    //    Enter publishes them.
    RECT br;
    GetWindowRect(GetDlgItem(overlay, 201), &br);
    Click(br.right - 20, (br.top + br.bottom) / 2);  // back into the search box
    FfTestFlushEvents(100);
    Chord({VK_DOWN});
    // The search box reads Shift's state when it handles the arrow, so Shift stays held until
    // the selection has grown.
    Key(VK_SHIFT, false);
    FfTestFlushEvents(100);
    Chord({VK_DOWN});
    bool two = FfTestWaitFor([&] { return SendMessageW(list, LB_GETSELCOUNT, 0, 0) == 2; }, 3000);
    Key(VK_SHIFT, true);
    FfDemoStep(d, "Down, then Shift+Down selects two results", two,
               std::to_string(SendMessageW(list, LB_GETSELCOUNT, 0, 0)) + " selected");
    FfDemoShot(d, "two-selected");
    d.host.ClearEvents();
    Chord({VK_RETURN});
    bool changed = d.host.WaitForEvent(L"changedir", 5000);
    std::vector<FfHostItem> items;
    FfTestWaitFor([&] { items = d.host.Items(FF_HOST_LEFT); return items.size() == 2 && !items[0].path.empty(); }, 5000);
    std::string listing;
    bool realPaths = items.size() == 2;
    for (const FfHostItem& it : items) {
        listing += "\n      " + FfTestUtf8(it.name) + "  " + std::to_string(it.size) + " B  Path=" + FfTestUtf8(it.path);
        realPaths = realPaths && FfTestFileExists(it.path);
    }
    bool bySize = items.size() == 2 && items[0].size >= items[1].size;
    FfDemoStep(d, "Enter: the host's panel lists the two published entries with the Path column",
               changed && realPaths && bySize && !Overlay(d), "panel " + FfTestUtf8(d.host.Folder(FF_HOST_LEFT)) + listing);
    FfDemoShot(d, "published");

    // 8. Copy one entry out into the other panel with the host's own copy command.
    if (!items.empty()) {
        int rc = d.host.CopyToOtherPanel(items[0].name);
        std::wstring copy = d.targetDir + L"\\" + items[0].name;
        bool same = rc == 0 && FfTestFileExists(copy) && FfTestReadBytes(copy) == FfTestReadBytes(items[0].path);
        d.host.Refresh(FF_HOST_RIGHT);
        FfDemoStep(d, "copy the first entry into the other panel", same,
                   "result " + std::to_string(rc) + ", " + FfTestUtf8(copy) + " has the real file's bytes");
        FfDemoShot(d, "copied");
    }

    // 9. The box opens empty; Ctrl+Up brings back the search published last, which runs again.
    //    Ctrl is read when the key is handled, so it stays held until the text is back.
    open = OpenOverlayWithHotkey(d);
    overlay = Overlay(d);
    list = GetDlgItem(overlay, 205);
    HWND box = GetDlgItem(overlay, 201);
    bool wasEmpty = WindowText(box).empty();
    Key(VK_CONTROL, false);
    FfTestFlushEvents(100);
    Chord({VK_UP});
    bool recalled = FfTestWaitFor([&] { return WindowText(box) == L"report 2024"; }, 3000);
    Key(VK_CONTROL, true);
    bool refilled = FfTestWaitFor([&] { return SendMessageW(list, LB_GETCOUNT, 0, 0) > 1; }, 5000);
    counts = WaitCounts(d);
    FfDemoStep(d, "Ctrl+Up in the empty box recalls the published search", open && wasEmpty && recalled && refilled,
               "box shows \"" + FfTestUtf8(WindowText(box)) + "\", " +
               std::to_string(SendMessageW(list, LB_GETCOUNT, 0, 0)) + " results listed, status line \"" + counts + "\"");
    FfDemoShot(d, "recalled");

    // 9a. The engine's match options at its own keys: Ctrl+I turns "match case" on (the toggle on
    //     the band lights up, the query carries flag 1 at once, the cfg keeps it); again turns it off.
    // Ctrl+I pressed with the real keys; true once the engine received a query with flags want.
    auto pressCtrlI = [&](DWORD want) {
        size_t sentBefore = d.engine.Queries().size();
        Key(VK_CONTROL, false);
        FfTestFlushEvents(100);
        Chord({'I'});
        bool sent = FfTestWaitFor([&] {
            std::vector<FfEngineQueryRecord> queries = d.engine.Queries();
            return queries.size() > sentBefore && queries.back().searchFlags == want;
        }, 5000);
        Key(VK_CONTROL, true);
        return sent;
    };
    bool flagged = pressCtrlI(1);
    bool kept = FfTestReadBytes(d.pluginDir + L"\\Fleetfinder.cfg").find("MatchCase=Y") != std::string::npos;
    FfDemoStep(d, "Ctrl+I: match case on, the search runs again with the engine's flag", flagged && kept && WindowText(box) == L"report 2024",
               "engine received search flags 1, Fleetfinder.cfg has MatchCase=Y");
    FfDemoShot(d, "match-case");
    bool unflagged = pressCtrlI(0);
    FfDemoStep(d, "Ctrl+I again: match case off", unflagged, "");

    // 9b. A result dragged out of the list with the mouse into the other panel: the real file
    //     lands there (a copy); the overlay stays open.
    refilled = FfTestWaitFor([&] { return SendMessageW(list, LB_GETCOUNT, 0, 0) > 1; }, 5000);
    RECT row = {};
    SendMessageW(list, LB_GETITEMRECT, 0, (LPARAM)&row);
    POINT from = {(row.left + row.right) / 2 - 40, (row.top + row.bottom) / 2}, to = {0, 0};
    ClientToScreen(list, &from);
    RECT target = {};
    GetWindowRect(d.host.PanelList(FF_HOST_RIGHT), &target);
    to.x = (target.left + target.right) / 2, to.y = (target.top + target.bottom) / 2;
    d.host.ClearEvents();
    FfTestMouseTo(from), FfTestMouseTo(from, MOUSEEVENTF_LEFTDOWN);
    for (int step = 1; step <= 8; step++) FfTestMouseTo({from.x + (to.x - from.x) * step / 8, from.y + (to.y - from.y) * step / 8});
    FfTestMouseTo(to, MOUSEEVENTF_LEFTUP);
    FfHostEvent drop;
    bool dropped = d.host.WaitForEvent(L"drop", 10000, &drop) && LogHas(d, "FfDragResultsOut: 1 result(s), preferred copy, dropped", 5000);
    // The plug-in names the file it handed over; the panel names what arrived.
    std::string log = LogText(d), first = ", first ";
    size_t at = log.rfind(first);
    std::wstring dragged = at == std::string::npos ? L"" : FfTestWide(log.substr(at + first.size(), log.find('\r', at) - at - first.size()));
    std::wstring landed = d.targetDir + L"\\" + drop.second;
    std::string landedBytes = FfTestReadBytes(landed);
    bool sameBytes = dropped && !landedBytes.empty() && landedBytes == FfTestReadBytes(dragged);
    d.host.Refresh(FF_HOST_RIGHT);
    FfDemoStep(d, "drag the first result into the other panel with the mouse: the real file is copied there",
               sameBytes && Overlay(d) != nullptr, FfTestUtf8(landed) + " has the real file's " + std::to_string(landedBytes.size()) + " bytes");
    FfDemoShot(d, "dragged");
    GetWindowRect(GetDlgItem(overlay, 201), &br);
    Click(br.right - 20, (br.top + br.bottom) / 2);  // back into the search box
    FfTestFlushEvents(100);
    Chord({VK_UP});  // the first row again, alone

    // 10. Two results' full paths to the clipboard: Down, Shift+Down, then Ctrl+Shift+C, which
    //     closes the overlay like Enter; each line must name a real file that matches.
    Chord({VK_DOWN});
    Key(VK_SHIFT, false);
    FfTestFlushEvents(100);
    Chord({VK_DOWN});
    two = FfTestWaitFor([&] { return SendMessageW(list, LB_GETSELCOUNT, 0, 0) == 2; }, 3000);
    FfTestFlushEvents(100);
    SetClipboardTextW(L"-");
    Key(VK_CONTROL, false);
    FfTestFlushEvents(100);
    Chord({'C'});
    bool copiedPaths = LogHas(d, "FfCopySelectedResultPaths: 2 paths to the clipboard: OK", 5000);
    Key(VK_CONTROL, true);
    Key(VK_SHIFT, true);
    FfTestFlushEvents(100);
    std::wstring pasted = ClipboardText();
    std::vector<std::wstring> lines;
    for (size_t at = 0; at <= pasted.size();) {
        size_t end = pasted.find(L"\r\n", at);
        if (end == std::wstring::npos) end = pasted.size();
        lines.push_back(pasted.substr(at, end - at));
        at = end + 2;
    }
    bool pathsOk = lines.size() == 2 && lines[0] != lines[1];
    std::string shown;
    for (const std::wstring& line : lines) {
        std::wstring name = line.substr(line.find_last_of(L'\\') + 1);
        pathsOk = pathsOk && line.compare(0, d.sampleDir.size(), d.sampleDir) == 0 && FfTestFileExists(line) &&
                  name.find(L"2024") != std::wstring::npos;
        shown += "\n      " + FfTestUtf8(line);
    }
    FfDemoStep(d, "Down, Shift+Down, Ctrl+Shift+C: the clipboard holds the two full paths, one a line",
               two && copiedPaths && pathsOk && FfTestWaitFor([&] { return Overlay(d) == nullptr; }, 3000),
               std::to_string(lines.size()) + " line(s):" + shown);
    FfDemoShot(d, "copied-paths");

    // 11. "path:." with the host's current folder; the clipboard is given back as it was.
    std::wstring folder = d.sampleDir + L"\\Documents\\Reports";
    d.host.SetActivePanel(FF_HOST_LEFT);
    d.host.SetFolder(FF_HOST_LEFT, folder);
    const std::wstring clip = L"text the user had copied";
    SetClipboardTextW(clip);
    open = OpenOverlayWithHotkey(d);
    overlay = Overlay(d);
    list = GetDlgItem(overlay, 205);
    TypeText(L"path:. report");
    bool s3 = WaitSearch(d, L"path:. report");
    std::vector<FfEngineQueryRecord> queries = d.engine.Queries();
    std::wstring expect = L"path:\"" + folder + L"\\\"";  // the folder with a trailing backslash
    bool substituted = !queries.empty() && queries.back().text.find(expect) != std::wstring::npos;
    bool clipKept = ClipboardText() == clip;
    FfDemoStep(d, "\"path:. report\" searches the active panel's folder (hook opens the overlay now)",
               open && s3 && substituted && clipKept,
               "engine received [" + (queries.empty() ? std::string() : FfTestUtf8(queries.back().text)) +
               "], " + std::to_string(SendMessageW(list, LB_GETCOUNT, 0, 0)) + " results, clipboard " +
               (clipKept ? "restored" : "NOT restored"));
    FfDemoShot(d, "path-dot");
    Chord({VK_RETURN});
    FfTestWaitFor([&] { items = d.host.Items(FF_HOST_LEFT); return !items.empty() && !items[0].path.empty(); }, 5000);
    bool inside = !items.empty();
    for (const FfHostItem& it : items) inside = inside && it.path.compare(0, folder.size(), folder) == 0;
    FfDemoStep(d, "Enter: every published entry lies in that folder", inside,
               std::to_string(items.size()) + " entries");
    FfDemoShot(d, "path-dot-published");

    // 12. A name outside the code page, end to end through the host's Unicode calls: found,
    //    published and listed under its whole name with its Path, copied out with its bytes.
    const std::wstring lodz = L"\u0141\u00F3d\u017A", lodzName = lodz + L" raport 2024.txt";
    const std::wstring lodzReal = d.sampleDir + L"\\Documents\\Reports\\" + lodzName;
    open = OpenOverlayWithHotkey(d);
    list = GetDlgItem(Overlay(d), 205);
    TypeText(lodz);
    bool s4 = WaitSearch(d, lodz) && FfTestWaitFor([&] { return SendMessageW(list, LB_GETCOUNT, 0, 0) > 0; }, 5000);
    FfDemoStep(d, ("type \"" + FfTestUtf8(lodz) + "\"").c_str(), open && s4,
               std::to_string(SendMessageW(list, LB_GETCOUNT, 0, 0)) + " results listed");
    FfDemoShot(d, "typed-lodz");
    d.host.ClearEvents();
    Chord({VK_RETURN});
    bool listed = FfTestWaitFor([&] {
        items = d.host.Items(FF_HOST_LEFT);
        return items.size() == 1 && items[0].name == lodzName && items[0].path == lodzReal;
    }, 5000);
    FfDemoStep(d, "Enter: the panel lists it under its whole name, with its Path", listed,
               items.empty() ? std::string("nothing listed")
                             : FfTestUtf8(items[0].name) + "  Path=" + FfTestUtf8(items[0].path));
    FfDemoShot(d, "published-lodz");
    int rc = d.host.CopyToOtherPanel(lodzName);
    std::wstring copy = d.targetDir + L"\\" + lodzName;
    std::string bytes = FfTestReadBytes(copy);
    bool same = rc == 0 && !bytes.empty() && bytes == FfTestReadBytes(lodzReal);
    d.host.Refresh(FF_HOST_RIGHT);
    FfDemoStep(d, "copy it into the other panel", same,
               "result " + std::to_string(rc) + ", " + FfTestUtf8(copy) + " has the real file's " +
               std::to_string(bytes.size()) + " bytes");
    FfDemoShot(d, "copied-lodz");

    // 13. More matches than a page: clicks in the scroll bar's track page down the list, and near
    //     the end of what is loaded the next page comes. A sort leaves nothing selected; Enter then
    //     publishes every match, the pages still at the engine fetched first, and one of the last
    //     entries is copied out with its bytes.
    open = OpenOverlayWithHotkey(d);
    overlay = Overlay(d);
    list = GetDlgItem(overlay, 205);
    TypeText(L"20");
    bool s5 = WaitSearch(d, L"20");
    counts = WaitCounts(d);
    int firstPage = (int)SendMessageW(list, LB_GETCOUNT, 0, 0);
    GetWindowRect(overlay, &orc);
    GetWindowRect(list, &lrc);
    bool paged = false;
    for (int i = 0; i < 30 && !paged; i++) {
        Click(lrc.right - 3, lrc.bottom - 4);  // the track below the thumb: a page down
        paged = FfTestWaitFor([&] { return SendMessageW(list, LB_GETCOUNT, 0, 0) > firstPage; }, 300);
    }
    std::string more = WaitCounts(d);
    FfDemoStep(d, "type \"20\" and page down the list: past the first page the next one comes", open && s5 && paged,
               "status line \"" + counts + "\", then \"" + more + "\"");
    FfDemoShot(d, "next-page");
    // "200 of 1,234 files": every match is the total after "of".
    std::wstring status = StatusText(d);
    size_t of = status.find(L" of ");
    int all = 0;
    for (size_t i = of == std::wstring::npos ? status.size() : of + 4; i < status.size() && ((status[i] >= L'0' && status[i] <= L'9') || status[i] == L','); i++)
        if (status[i] != L',') all = all * 10 + (status[i] - L'0');
    Click(orc.right - 160, (orc.top + lrc.top) / 2);  // the Size title: sorted, nothing selected
    FfTestFlushEvents(300);
    d.host.ClearEvents();
    Chord({VK_RETURN});
    bool fetched = LogHas(d, "FfPublishAllResults: ", 5000);
    FfTestWaitFor([&] { items = d.host.Items(FF_HOST_LEFT); return (int)items.size() == all && !items.back().path.empty(); }, 15000);
    FfDemoStep(d, "Enter with nothing selected publishes every match, fetching the remaining pages first",
               fetched && all > firstPage && (int)items.size() == all && !Overlay(d),
               std::to_string(items.size()) + " entries listed of " + std::to_string(all) + " matches");
    FfDemoShot(d, "published-all");
    if (!items.empty()) {
        // The last entry not copied by an earlier step, so that the copy is this step's own.
        size_t pick = items.size() - 1;
        while (pick > 0 && FfTestFileExists(d.targetDir + L"\\" + items[pick].name)) pick--;
        const FfHostItem& last = items[pick];
        rc = d.host.CopyToOtherPanel(last.name);
        copy = d.targetDir + L"\\" + last.name;
        bytes = FfTestReadBytes(copy);
        same = rc == 0 && FfTestFileExists(copy) && bytes == FfTestReadBytes(last.path);
        d.host.Refresh(FF_HOST_RIGHT);
        FfDemoStep(d, "copy one of the last entries into the other panel", same && pick + 10 > items.size(),
                   "entry " + std::to_string(pick + 1) + ", result " + std::to_string(rc) + ", " + FfTestUtf8(copy) + " has the real file's " +
                   std::to_string(bytes.size()) + " bytes");
        FfDemoShot(d, "copied-last");
    }
    return d.failures == 0;
}
