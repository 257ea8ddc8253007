// What the stand-in host received or did, in arrival order: every part records here, and the
// control window hands the list to the test bed.
#include "host.h"

static std::vector<FfHostEvent> g_hostEvents;
static const size_t FF_HOST_EVENTS_MAX = 20000;
static const size_t FF_HOST_RAW_MAX = 65536;

void FfHostRecordEvent(const wchar_t* kind, long long number, const std::wstring& path, const std::wstring& second,
                       const std::string& letters, const std::string& raw)
{
    if (g_hostEvents.size() >= FF_HOST_EVENTS_MAX) return;
    FfHostEvent e;
    e.kind = kind;
    e.number = number;
    e.path = path;
    e.second = second;
    e.letters = letters;
    e.raw = raw.size() > FF_HOST_RAW_MAX ? raw.substr(0, FF_HOST_RAW_MAX) : raw;
    g_hostEvents.push_back(e);
}

const std::vector<FfHostEvent>& FfHostEvents() { return g_hostEvents; }
void FfHostClearEvents() { g_hostEvents.clear(); }
