// Shared state and routines of the stand-in host (ffhost.exe), a small two-panel file manager.
#pragma once
#include <windows.h>
#include <string>
#include <vector>
#include "hostproto.h"

#define FF_HOST_CLASS L"TTOTAL_CMD"
#define FF_HOST_CMD_MESSAGE (WM_USER + 51)   // 1075: numbered commands
#define FF_HOST_CMD_PREVIOUS_DIR 570
#define FF_HOST_CMD_COPY_PATH 2029
#define FF_HOST_CHANGEDIR_TAG 0x4443         // WM_COPYDATA tag "CD"
#define FF_HOST_COPYFLAG_OVERWRITE 1
#define FF_HOST_COPYFLAG_MOVE 4
#define FF_HOST_FILE_EXISTS 1                // FsGetFile: the target exists, ask the user
#define FF_HOST_VIRTUAL_PREFIX L"\\\\\\"     // three backslashes open a plug-in's folder

// ---- Events (events.cpp) -----------------------------------------------------------------------
void FfHostRecordEvent(const wchar_t* kind, long long number, const std::wstring& path = std::wstring(),
                       const std::wstring& second = std::wstring(), const std::string& letters = std::string(),
                       const std::string& raw = std::string());
const std::vector<FfHostEvent>& FfHostEvents();
void FfHostClearEvents();

// ---- The change-folder record (cdrecord.cpp) -------------------------------------------------
struct FfHostChangeDir {
    std::wstring path;     // first path (the active panel's new location)
    std::wstring second;   // second path (the other panel's), often empty
    std::string letters;   // the letters after the paths ("SA")
};
// Parses a record of any size, terminated or not. False when it holds no first path.
bool FfHostParseChangeDir(const void* data, size_t size, FfHostChangeDir* out);

// ---- Host configuration (config.cpp) ---------------------------------------------------------
struct FfHostColumn {
    std::wstring header;   // column title
    std::wstring field;    // plug-in field name from "[=<fs>.Field]", empty when not a field
};
struct FfHostConfig {
    std::wstring iniPath;                                             // found wincmd.ini, or empty
    std::vector<std::pair<std::wstring, std::wstring>> plugins;       // [FileSystemPlugins]
    std::vector<std::pair<std::wstring, std::wstring>> shortcuts;     // [Shortcuts]
};
// Finds wincmd.ini: COMMANDER_INI, the registry's IniFileName, %APPDATA%\GHISLER, COMMANDER_PATH.
std::wstring FfHostFindIni();
// The file that holds a section of the ini (its RedirectSection followed once).
std::wstring FfHostResolveRedirect(const std::wstring& ini, const wchar_t* section);
// Reads a whole section as key/value pairs in file order.
std::vector<std::pair<std::wstring, std::wstring>> FfHostReadSection(const std::wstring& file,
                                                                     const wchar_t* section);
void FfHostLoadConfig(FfHostConfig* config);
extern FfHostConfig g_hostConfig;    // loaded at start
// The library registered for a plug-in root name, or empty.
std::wstring FfHostPluginLibrary(const FfHostConfig& config, const std::wstring& rootName);
// Registers a plug-in library under [FileSystemPlugins] in the ini and in the loaded configuration.
bool FfHostInstallPlugin(FfHostConfig* config, const std::wstring& rootName, const std::wstring& library);
// The custom columns of a plug-in's folder view ([CustomFields_<root>], view 1).
std::vector<FfHostColumn> FfHostLoadColumns(const FfHostConfig& config, const std::wstring& rootName);
// The folder a Ctrl+Alt+letter binding changes to, when it is a CD binding with a parameter.
bool FfHostShortcutFolder(const FfHostConfig& config, wchar_t letter, std::wstring* folder);
// A "\\\Root\sub" path split into the root name and the plug-in path ("\" or "\sub").
bool FfHostSplitVirtualPath(const std::wstring& path, std::wstring* root, std::wstring* pluginPath);

// ---- The loaded file-system plug-in (plugin.cpp) ---------------------------------------------
struct FfHostEntry {
    std::wstring name;
    std::string ansiName;        // the name exactly as an 8-bit listing gave it; empty from a wide one
    DWORD attributes = 0;
    unsigned long long size = 0;
    FILETIME modified = {};
    std::vector<std::wstring> columns;
};
// Loads the library for a root name on first use and calls FsInitW, else FsInit. Each call
// below goes to the plug-in's Unicode twin when it exports one (and the host was not started
// with --ansi-only), else to the 8-bit function. False when not available.
bool FfHostEnsurePlugin(const std::wstring& rootName);
bool FfHostPluginLoaded(const std::wstring& rootName);
// Lists a plug-in folder ("\" or "\entry\sub"); false when the plug-in gave no handle.
bool FfHostListPlugin(const std::wstring& rootName, const std::wstring& pluginPath,
                      std::vector<FfHostEntry>* items);
// The plug-in path of an item in a plug-in folder, as 8-bit text.
std::string FfHostPluginItemPath(const std::wstring& pluginPath, const FfHostEntry& item);
void FfHostFillColumns(const std::wstring& rootName, const std::wstring& pluginPath,
                       const std::vector<FfHostColumn>& columns, std::vector<FfHostEntry>* items);
int FfHostPluginGetFile(const std::wstring& rootName, const std::wstring& pluginPath, const FfHostEntry& item,
                        const std::wstring& local, int flags);
int FfHostPluginExecute(const std::wstring& rootName, HWND window, const std::wstring& pluginPath,
                        const FfHostEntry& item, const std::wstring& verb);
int FfHostPluginDelete(const std::wstring& rootName, const std::wstring& pluginPath, const FfHostEntry& item);

// ---- Panels (panels.cpp) ---------------------------------------------------------------------
struct FfHostPanel {
    HWND list = nullptr;
    std::wstring folder;                 // "C:\dir" or "\\\Root" / "\\\Root\entry\sub"
    std::vector<std::wstring> history;   // folders shown before, newest last
    std::vector<FfHostEntry> items;
    std::vector<FfHostColumn> columns;
};
extern FfHostPanel g_hostPanels[2];
extern int g_hostActivePanel;
extern HWND g_hostMainWindow;        // the "TTOTAL_CMD" window the panels live in (made by main.cpp)
extern int g_hostOverwriteAnswer;

int FfHostResolvePanel(int panel);
// Shows a folder (real or virtual) in a panel; a path naming a file shows its folder with the
// cursor on it. Records the old folder for command 570 when remember is true.
bool FfHostChangeFolder(int panel, const std::wstring& path, bool remember);
bool FfHostGoBack(int panel);
bool FfHostRefreshPanel(int panel);
bool FfHostGoUp(int panel);
void FfHostActivatePanel(int panel);
int FfHostFindItem(int panel, const std::wstring& name);
std::wstring FfHostCurrentItem(int panel);
// Copies (or moves) an item to the other panel's folder: FsGetFile first without the overwrite
// bit; on "exists" the overwrite answer decides whether it is called again with the bit.
int FfHostCopyItem(const std::wstring& name, bool move = false);
int FfHostOpenItem(const std::wstring& name);
int FfHostPropertiesItem(const std::wstring& name);
int FfHostDeleteItem(const std::wstring& name);

// ---- Files dropped on the panels (drop.cpp) ----------------------------------------------------
// The effect a drop has: Shift moves, Ctrl copies, else the source's preferred effect, else copy;
// within what the source allows. Nothing into a plug-in's folder.
DWORD FfHostDropEffect(DWORD keyState, DWORD preferred, DWORD allowed, bool realFolder);
// Copies (or moves) the files into the panel's folder, records a "drop" event; the number done.
int FfHostDropFiles(int panel, const std::vector<std::wstring>& files, DWORD effect);
// Makes both panels drop targets (OLE on the host's thread).
void FfHostRegisterDropTargets();

// ---- Control window (control.cpp) ------------------------------------------------------------
// A request to the control window; the answer goes back to replyWindow from controlWindow.
LRESULT FfHostHandleControlRequest(HWND controlWindow, HWND replyWindow, const COPYDATASTRUCT* request);
