// Wire protocol of the stand-in host's control window, shared by the host and the test driver.
#pragma once
#include <string>

// One thing the host received or did, in arrival order.
//   kind "command":   message 1075; number = the command (570, 2029, ...)
//   kind "changedir": a WM_COPYDATA 0x4443 record; path/second/letters parsed, raw = the bytes,
//                     number = 1 when it held a first path
//   kind "copydata":  a WM_COPYDATA with another tag; number = the tag, raw = the bytes
//   kind "shortcut":  a Ctrl+Alt+letter binding from [Shortcuts] ran; number = the key, path = its parameter
//   kind "plugin":    a plug-in library was loaded (path = library file, number = 1 ok / 0 failed)
//   kind "fsinit":    FsInit was called (number = plug-in number, path = root name, second =
//                     "FsInitW" or "FsInit", the one called)
//   kind "folder":    a panel now shows a folder (number = panel, path = folder)
//   kind "execute":   FsExecuteFile was called (number = its result, path = item, second = verb)
//   kind "drop":      files were dropped on a panel (number = the effect, 1 copy / 2 move; path =
//                     the panel's folder; second = the names that arrived, '|' between)
struct FfHostEvent {
    std::wstring kind;
    long long number = 0;
    std::wstring path;
    std::wstring second;
    std::string letters;
    std::string raw;
};

// The answer a user gives to the host's overwrite question, asked when FsGetFile (called first
// without the overwrite bit) reports that the target exists.
enum {
    FF_HOST_OVERWRITE_YES = 0,  // call FsGetFile again, with the overwrite bit (the default)
    FF_HOST_OVERWRITE_NO = 1,   // skip the file: FsGetFile is not called again
};

// Result of an item operation when the host did not reach the plug-in at all.
enum {
    FF_HOST_OP_NOT_FOUND = -1000,  // no item of that name in the panel
    FF_HOST_OP_SKIPPED = -1001,    // the target existed and the overwrite answer was "no"
    FF_HOST_OP_NO_PLUGIN = -1002,  // the panel is not in a plug-in folder, or no library loaded
    FF_HOST_OP_FAILED = -1003,     // the control request itself failed (host gone, time-out)
};

// Request codes of the control window (dwData of the WM_COPYDATA request). The request text is
// UTF-16 without terminator, fields separated by '\n'; the reply comes back, before the request
// returns, as a WM_COPYDATA (same code) to the window given in wParam.
enum {
    FF_HOSTCTL_PING = 1,
    FF_HOSTCTL_QUIT,
    FF_HOSTCTL_SET_ACTIVE,     // panel
    FF_HOSTCTL_GET_ACTIVE,
    FF_HOSTCTL_SET_FOLDER,     // panel \n folder
    FF_HOSTCTL_GET_FOLDER,     // panel
    FF_HOSTCTL_REFRESH,        // panel
    FF_HOSTCTL_GET_ITEMS,      // panel -> lines: name \t attributes \t size \t modified \t path
    FF_HOSTCTL_GET_CURRENT,    // panel
    FF_HOSTCTL_MOVE,           // x \n y \n width \n height
    FF_HOSTCTL_FRONT,
    FF_HOSTCTL_GET_FOCUS,      // -> focus hwnd \n left \n top \n right \n bottom
    FF_HOSTCTL_GET_EVENTS,     // -> lines: kind \t number \t path \t second \t letters(hex) \t raw(hex)
    FF_HOSTCTL_CLEAR_EVENTS,
    FF_HOSTCTL_COPY,           // name
    FF_HOSTCTL_OPEN,           // name
    FF_HOSTCTL_PROPERTIES,     // name
    FF_HOSTCTL_DELETE,         // name
    FF_HOSTCTL_SET_OVERWRITE,  // answer
    FF_HOSTCTL_GET_WINDOWS,    // -> main \n left list \n right list
    FF_HOSTCTL_INSTALL_PLUGIN, // root name \n library: written to [FileSystemPlugins] as the host's installer does
    FF_HOSTCTL_MOVE_ITEM,      // name: moved to the other panel (FsGetFile with the move bit)
};

// Window class of the host's control window.
#define FF_HOSTCTL_CLASS L"FfHostControl"
