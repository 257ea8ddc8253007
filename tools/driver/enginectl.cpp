// Test-side control of the stand-in search engine: starting it, its query log, test trees, a minimal client.
#include "enginectl.h"
#include <stdio.h>
#include <string.h>

std::wstring FfEngineClassName(const std::wstring& instance)
{
    return instance.empty() ? std::wstring(FF_ENGINE_CLASS) : std::wstring(FF_ENGINE_CLASS) + L"_(" + instance + L")";
}

std::wstring FfEngineUniqueInstance(const wchar_t* tag)
{
    static int counter = 0;
    wchar_t name[160];
    _snwprintf(name, 159, L"%ls-%lu-%d", tag, (unsigned long)GetCurrentProcessId(), ++counter);
    name[159] = 0;
    return name;
}

// One argument for the command line: quoted, a trailing backslash doubled so it does not escape the quote.
static std::wstring FfEngineQuoteArg(const std::wstring& arg)
{
    std::wstring out = L" \"" + arg;
    size_t slashes = 0;
    for (size_t i = arg.size(); i > 0 && arg[i - 1] == L'\\'; --i) ++slashes;
    out.append(slashes, L'\\');
    return out + L"\"";
}

struct FfEngineFindState {
    const wchar_t* cls;
    DWORD pid;
    HWND found;
};

static BOOL CALLBACK FfEngineFindProc(HWND hwnd, LPARAM lp)
{
    FfEngineFindState* st = (FfEngineFindState*)lp;
    wchar_t cls[300] = {};
    GetClassNameW(hwnd, cls, 300);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (wcscmp(cls, st->cls) != 0 || pid != st->pid) return TRUE;
    st->found = hwnd;
    return FALSE;
}

bool FfTestEngine::Start(const FfEngineOptions& o, DWORD timeoutMs)
{
    Stop();
    std::wstring dir;
    logPath = o.logPath;
    if (logPath.empty() || !o.items.empty()) dir = FfTestMakeTempDir(L"engine");
    if (logPath.empty()) logPath = dir + L"\\queries.log";
    className = FfEngineClassName(o.instance);

    std::wstring cmd = L"\"" + (o.program.empty() ? FfTestBinPath(L"ffengine.exe") : o.program) + L"\"";
    for (const auto& root : o.roots) cmd += L" --root" + FfEngineQuoteArg(root);
    cmd += L" --log" + FfEngineQuoteArg(logPath);
    if (!o.instance.empty()) cmd += L" --instance" + FfEngineQuoteArg(o.instance);
    if (!o.filtersDir.empty()) cmd += L" --filters" + FfEngineQuoteArg(o.filtersDir);
    if (o.syntheticItems > 0) cmd += L" --synthetic " + std::to_wstring(o.syntheticItems);
    if (!o.items.empty()) {
        std::string lines;
        for (const auto& it : o.items)
            lines += std::string(it.isFolder ? "D" : "F") + "\t" + std::to_string(it.size) + "\t" +
                     std::to_string(it.modified) + "\t" + FfTestUtf8(it.path) + "\n";
        std::wstring itemsPath = dir + L"\\items.txt";
        FfTestWriteBytes(itemsPath, lines);
        cmd += L" --items" + FfEngineQuoteArg(itemsPath);
    }
    if (o.answerDelayMs > 0) cmd += L" --delay " + std::to_wstring(o.answerDelayMs);
    if (o.neverAnswer) cmd += L" --silent";
    if (o.replyId >= 0) cmd += L" --reply-id " + std::to_wstring(o.replyId);
    if (o.shortBlock) cmd += L" --short-block";
    if (o.excessCount > 0) cmd += L" --excess-count " + std::to_wstring(o.excessCount);
    if (o.badOffset) cmd += L" --bad-offset";
    if (o.badLength) {
        cmd += L" --bad-length";
        if (o.badLengthValue) cmd += L" " + std::to_wstring(o.badLengthValue);
    }
    if (o.quitAfter > 0) cmd += L" --quit-after " + std::to_wstring(o.quitAfter);
    if (o.folderSizes) cmd += L" --folder-sizes";
    if (!o.unknownDates.empty()) cmd += L" --unknown-dates" + FfEngineQuoteArg(o.unknownDates);
    if (o.dropFlags) cmd += L" --drop-flags " + std::to_wstring(o.dropFlags);
    if (o.addFlags) cmd += L" --add-flags " + std::to_wstring(o.addFlags);
    if (o.loadingMs) cmd += L" --loading " + std::to_wstring(o.loadingMs);
    if (o.oldEngine) cmd += L" --old";
    if (o.hangMs) cmd += L" --hang " + std::to_wstring(o.hangMs);
    if (!o.version.empty()) cmd += L" --version" + FfEngineQuoteArg(o.version);
    if (o.declineSort) cmd += L" --decline-sort";
    if (!o.extraArgs.empty()) cmd += L" " + o.extraArgs;

    if (!process.Start(cmd)) return false;
    FfEngineFindState st = {className.c_str(), process.pi.dwProcessId, nullptr};
    FfTestWaitFor([&] {
        EnumWindows(FfEngineFindProc, (LPARAM)&st);
        return st.found != nullptr || !process.Running();
    }, timeoutMs);
    window = st.found;
    return window != nullptr;
}

void FfTestEngine::Stop()
{
    if (process.pi.hProcess) {
        if (window && process.Running()) {
            PostMessageW(window, WM_CLOSE, 0, 0);
            process.Wait(3000);
        }
        process.Kill();
        CloseHandle(process.pi.hProcess);
        if (process.pi.hThread) CloseHandle(process.pi.hThread);
        process.pi = PROCESS_INFORMATION();
    }
    window = nullptr;
}

static int FfEngineAsk(HWND window, UINT msg)
{
    DWORD_PTR result = 0;
    if (!window || !SendMessageTimeoutW(window, msg, 0, 0, SMTO_NORMAL, 60000, &result)) return -1;
    return (int)result;
}

int FfTestEngine::ItemCount() const { return FfEngineAsk(window, FF_ENGINE_MSG_COUNT); }
int FfTestEngine::Reindex() const { return FfEngineAsk(window, FF_ENGINE_MSG_REINDEX); }
int FfTestEngine::QueriesReceived() const { return FfEngineAsk(window, FF_ENGINE_MSG_QUERIES); }
std::vector<FfEngineQueryRecord> FfTestEngine::Queries() const { return FfEngineReadQueryLog(logPath); }

std::vector<DWORD> FfTestEngine::Answered(bool dropped) const
{
    std::vector<DWORD> ids;
    std::string bytes = FfTestReadBytes(logPath), head = dropped ? "dropped " : "answered ";
    for (size_t pos = 0; pos < bytes.size();) {
        size_t end = bytes.find('\n', pos);
        if (end == std::string::npos) end = bytes.size();
        size_t at = bytes.find(" replyId=", pos);
        if (bytes.compare(pos, head.size(), head) == 0 && at < end) ids.push_back((DWORD)strtoul(bytes.c_str() + at + 9, nullptr, 10));
        pos = end + 1;
    }
    return ids;
}

bool FfEngineEchoTo(HWND engineWindow, HWND target, DWORD replyId)
{
    DWORD data[2] = {(DWORD)(UINT_PTR)target, replyId};
    COPYDATASTRUCT cds = {FF_ENGINE_ECHO_ID, sizeof data, data};
    return SendMessageW(engineWindow, WM_COPYDATA, 0, (LPARAM)&cds) != 0;
}

// Reads "key=<unsigned>" from the line; false when the key is missing.
static bool FfEngineField(const std::string& line, const char* key, DWORD* out)
{
    std::string k = std::string(" ") + key + "=";
    size_t at = line.find(k);
    size_t textAt = line.find(" text=");
    if (at == std::string::npos || (textAt != std::string::npos && at > textAt)) return false;
    *out = (DWORD)strtoul(line.c_str() + at + k.size(), nullptr, 10);
    return true;
}

bool FfEngineParseQueryLine(const std::string& lineIn, FfEngineQueryRecord* out)
{
    std::string line = lineIn;
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
    *out = FfEngineQueryRecord();
    if (line.compare(0, 8, "ignored ") == 0) {
        size_t at = line.find("reason=");
        if (at == std::string::npos) return false;
        size_t end = line.find(' ', at);
        out->reason = line.substr(at + 7, end == std::string::npos ? std::string::npos : end - at - 7);
        FfEngineField(line, "id", &out->copyDataId);
        FfEngineField(line, "cb", &out->cbData);
        return true;
    }
    if (line.compare(0, 6, "query ") != 0) return false;
    size_t textAt = line.find(" text=");
    if (textAt == std::string::npos) return false;
    bool ok = FfEngineField(line, "id", &out->copyDataId) && FfEngineField(line, "cb", &out->cbData) &&
              FfEngineField(line, "reply", &out->replyWindow) && FfEngineField(line, "replyId", &out->replyId) &&
              FfEngineField(line, "search", &out->searchFlags) && FfEngineField(line, "first", &out->firstResult) &&
              FfEngineField(line, "max", &out->maxResults) && FfEngineField(line, "request", &out->requestFlags) &&
              FfEngineField(line, "sort", &out->sortType) && FfEngineField(line, "total", &out->totalMatches);
    if (!ok) return false;
    // %XX stands for a control character or a percent sign.
    std::string raw = line.substr(textAt + 6), text;
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '%' && i + 2 < raw.size()) {
            char hex[3] = {raw[i + 1], raw[i + 2], 0};
            text.push_back((char)strtoul(hex, nullptr, 16));
            i += 2;
        } else {
            text.push_back(raw[i]);
        }
    }
    out->text = FfTestWide(text);
    out->wellFormed = true;
    return true;
}

std::vector<FfEngineQueryRecord> FfEngineReadQueryLog(const std::wstring& logPath)
{
    std::vector<FfEngineQueryRecord> out;
    std::string bytes = FfTestReadBytes(logPath);
    size_t pos = 0;
    while (pos < bytes.size()) {
        size_t end = bytes.find('\n', pos);
        if (end == std::string::npos) end = bytes.size();
        FfEngineQueryRecord r;
        if (FfEngineParseQueryLine(bytes.substr(pos, end - pos), &r)) out.push_back(r);
        pos = end + 1;
    }
    return out;
}

unsigned long long FfTestFileTime(int year, int month, int day, int hour, int minute, int second)
{
    SYSTEMTIME st = {};
    st.wYear = (WORD)year;
    st.wMonth = (WORD)month;
    st.wDay = (WORD)day;
    st.wHour = (WORD)hour;
    st.wMinute = (WORD)minute;
    st.wSecond = (WORD)second;
    FILETIME ft = {};
    SystemTimeToFileTime(&st, &ft);
    return ((unsigned long long)ft.dwHighDateTime << 32) | ft.dwLowDateTime;
}

static FILETIME FfEngineToFileTime(unsigned long long ticks)
{
    FILETIME ft;
    ft.dwLowDateTime = (DWORD)ticks;
    ft.dwHighDateTime = (DWORD)(ticks >> 32);
    return ft;
}

static void FfEngineMakeParents(const std::wstring& root, const std::wstring& rel)
{
    for (size_t i = rel.find(L'\\'); i != std::wstring::npos; i = rel.find(L'\\', i + 1))
        CreateDirectoryW((root + L"\\" + rel.substr(0, i)).c_str(), nullptr);
}

bool FfTestMakeTree(const std::wstring& root, const std::vector<FfTestTreeItem>& items)
{
    CreateDirectoryW(root.c_str(), nullptr);
    bool ok = true;
    for (const auto& it : items) {
        FfEngineMakeParents(root, it.relPath);
        std::wstring path = root + L"\\" + it.relPath;
        if (it.isFolder) {
            if (!CreateDirectoryW(path.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) ok = false;
            continue;
        }
        HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            ok = false;
            continue;
        }
        LARGE_INTEGER size;
        size.QuadPart = (LONGLONG)it.size;
        if (it.size && (!SetFilePointerEx(h, size, nullptr, FILE_BEGIN) || !SetEndOfFile(h))) ok = false;
        CloseHandle(h);
    }
    // Times last, children before parents, since creating an entry touches its folder's times.
    for (size_t k = items.size(); k > 0; --k) {
        const auto& it = items[k - 1];
        if (!it.modified && !it.created && !it.accessed && !it.attributes) continue;
        std::wstring path = root + L"\\" + it.relPath;
        HANDLE h = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            ok = false;
            continue;
        }
        FILETIME c = FfEngineToFileTime(it.created), a = FfEngineToFileTime(it.accessed), m = FfEngineToFileTime(it.modified);
        if (!SetFileTime(h, it.created ? &c : nullptr, it.accessed ? &a : nullptr, it.modified ? &m : nullptr)) ok = false;
        CloseHandle(h);
        if (it.attributes) {
            DWORD attr = GetFileAttributesW(path.c_str());
            if (attr == INVALID_FILE_ATTRIBUTES || !SetFileAttributesW(path.c_str(), attr | it.attributes)) ok = false;
        }
    }
    return ok;
}

std::string FfEngineBuildQueryRecord(DWORD replyWindow, const FfEngineQueryArgs& a)
{
    DWORD head[7] = {replyWindow, a.replyId, a.searchFlags, a.firstResult, a.maxResults, a.requestFlags, a.sortType};
    std::string out((const char*)head, sizeof head);
    out.append((const char*)a.text.data(), 2 * a.text.size());
    out.append(2, '\0');
    return out;
}

struct FfEngineClientState {
    FfEngineReply* reply;
    bool sending;
    DWORD sendReturned;
};

static LRESULT CALLBACK FfEngineClientProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg != WM_COPYDATA) return DefWindowProcW(hwnd, msg, wParam, lParam);
    FfEngineClientState* st = (FfEngineClientState*)GetWindowLongPtrW(hwnd, GWLP_USERDATA);
    const COPYDATASTRUCT* cds = (const COPYDATASTRUCT*)lParam;
    if (!st || !cds || st->reply->answered) return TRUE;
    st->reply->answered = true;
    st->reply->copyDataId = (DWORD)cds->dwData;
    if (cds->lpData && cds->cbData) st->reply->bytes.assign((const char*)cds->lpData, cds->cbData);
    st->reply->duringSend = st->sending;
    st->reply->receivedAfterMs = st->sending ? 0 : GetTickCount() - st->sendReturned;
    return TRUE;
}

// Sends one copy-data block made from the client window's handle and waits for the answer.
static FfEngineReply FfEngineExchange(HWND engineWindow, DWORD copyDataId,
                                      std::string (*build)(DWORD, const void*), const void* context, DWORD timeoutMs)
{
    FfEngineReply reply;
    WNDCLASSW wc = {};
    wc.lpfnWndProc = FfEngineClientProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"FfTestEngineClient";
    RegisterClassW(&wc);  // fails harmlessly from the second call on
    HWND hwnd = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    if (!hwnd) return reply;
    FfEngineClientState st = {&reply, true, 0};
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, (LONG_PTR)&st);
    std::string record = build((DWORD)(UINT_PTR)hwnd, context);
    COPYDATASTRUCT cds;
    cds.dwData = copyDataId;
    cds.cbData = (DWORD)record.size();
    cds.lpData = &record[0];
    SendMessageW(engineWindow, WM_COPYDATA, (WPARAM)hwnd, (LPARAM)&cds);
    st.sending = false;
    st.sendReturned = GetTickCount();
    if (!reply.answered) FfTestWaitFor([&] { return reply.answered; }, timeoutMs);
    DestroyWindow(hwnd);
    return reply;
}

static std::string FfEngineQueryBlock(DWORD hwnd, const void* context)
{
    return FfEngineBuildQueryRecord(hwnd, *(const FfEngineQueryArgs*)context);
}

static std::string FfEngineEchoBlock(DWORD hwnd, const void* context)
{
    DWORD data[2] = {hwnd, *(const DWORD*)context};
    return std::string((const char*)data, sizeof data);
}

FfEngineReply FfEngineSendQuery(HWND engineWindow, const FfEngineQueryArgs& args, DWORD timeoutMs)
{
    return FfEngineExchange(engineWindow, args.copyDataId, FfEngineQueryBlock, &args, timeoutMs);
}

FfEngineReply FfEngineSendEcho(HWND engineWindow, DWORD replyId, DWORD timeoutMs)
{
    return FfEngineExchange(engineWindow, FF_ENGINE_ECHO_ID, FfEngineEchoBlock, &replyId, timeoutMs);
}

static bool FfEngineRead32(const std::string& b, size_t at, DWORD* out)
{
    if (at > b.size() || b.size() - at < 4) return false;
    memcpy(out, b.data() + at, 4);
    return true;
}

// Reads one text field at *at (length, characters, terminator); false when it leaves the block.
static bool FfEngineReadText(const std::string& b, size_t* at, std::wstring* out)
{
    DWORD len = 0;
    if (!FfEngineRead32(b, *at, &len)) return false;
    unsigned long long end = (unsigned long long)*at + 4 + 2 * ((unsigned long long)len + 1);
    if (end > b.size()) return false;
    out->resize(len);
    if (len) memcpy(&(*out)[0], b.data() + *at + 4, 2 * (size_t)len);
    *at = (size_t)end;
    return true;
}

bool FfEngineDecodeReply(const std::string& b, DWORD* total, std::vector<FfEngineItem>* items)
{
    items->clear();
    DWORD count = 0, fields = 0;
    if (b.size() < 20 || !FfEngineRead32(b, 0, total) || !FfEngineRead32(b, 4, &count) || !FfEngineRead32(b, 12, &fields))
        return false;
    for (DWORD i = 0; i < count; ++i) {
        DWORD flags = 0, offset = 0;
        if (!FfEngineRead32(b, 20 + 8 * (size_t)i, &flags) || !FfEngineRead32(b, 24 + 8 * (size_t)i, &offset)) return false;
        size_t at = offset;
        std::wstring texts[4];  // name, path, full path, extension
        unsigned long long values[4] = {~0ull, ~0ull, ~0ull, ~0ull};  // size, created, modified, accessed
        for (int bit = 0; bit < 8; ++bit) {
            if (!(fields & (1u << bit))) continue;
            if (bit < 4) {
                if (!FfEngineReadText(b, &at, &texts[bit])) return false;
                continue;
            }
            if (at > b.size() || b.size() - at < 8) return false;
            memcpy(&values[bit - 4], b.data() + at, 8);
            at += 8;
        }
        FfEngineItem item;
        item.path = (fields & 4) ? texts[2] : texts[1] + L"\\" + texts[0];
        item.size = values[0];
        item.modified = values[2];
        item.isFolder = (flags & 1) != 0;
        items->push_back(item);
    }
    return true;
}
