// Neat Image's integrity level against Tolvane's, read once at Start.
#include "target/rights.h"
#include "diag/diag.h"
#include "tolvane.h"

#include <cstdlib>

namespace {

#if defined(TOLVANE_TEST_PROBES)
// Test build only: under Wine both programs always run at one level, so
// TOLVANE_TEST_TARGET_INTEGRITY=<level> (decimal or 0x hex) stands for Neat
// Image's level, and "unreadable" for a level that cannot be read. False when
// the variable is not set.
bool TargetLevelForTest(DWORD* level)
{
    char value[32] = "";
    DWORD n = GetEnvironmentVariableA("TOLVANE_TEST_TARGET_INTEGRITY", value, sizeof value);
    if (n == 0 || n >= sizeof value)
        return false;
    *level =
        lstrcmpiA(value, "unreadable") == 0 ? kLevelUnreadable : static_cast<DWORD>(std::strtoul(value, nullptr, 0));
    return true;
}
#else
bool TargetLevelForTest(DWORD*)
{
    return false;
}
#endif

// The level of the process that owns the target main window. The limited
// query right is the one Windows grants on a process of higher rights (of the
// same user); it is enough to open its token for reading.
DWORD TargetIntegrityLevel()
{
    DWORD level = kLevelUnreadable;
    if (TargetLevelForTest(&level))
        return level;
    DWORD processId = 0;
    GetWindowThreadProcessId(TargetMainWindow, &processId);
    if (processId == 0)
        return kLevelUnreadable;
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (process == nullptr)
        return kLevelUnreadable;
    level = ProcessIntegrityLevel(process);
    CloseHandle(process);
    return level;
}

} // namespace

// A level that cannot be read never refuses: Neat Image may run under another
// account (its token then cannot be opened without the debug privilege), a
// security product may deny the query, or the system may have no integrity
// levels. None of these proves higher rights, and refusing on a guess would
// block a night that works; if its rights are really higher, the first
// refused command still says so.
bool TargetRightsTooHigh(DWORD ownLevel, DWORD targetLevel)
{
    if (ownLevel == kLevelUnreadable || targetLevel == kLevelUnreadable)
        return false;
    return targetLevel > ownLevel;
}

// Reads TokenIntegrityLevel into a buffer of its own that holds the label and
// the longest SID, so no allocation and no second call are needed.
DWORD ProcessIntegrityLevel(HANDLE process)
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(process, TOKEN_QUERY, &token))
        return kLevelUnreadable;
    union {
        TOKEN_MANDATORY_LABEL label;
        unsigned char bytes[sizeof(TOKEN_MANDATORY_LABEL) + SECURITY_MAX_SID_SIZE];
    } info;
    DWORD size = 0;
    DWORD level = kLevelUnreadable;
    if (GetTokenInformation(token, TokenIntegrityLevel, &info, sizeof info, &size)) {
        PSID sid = info.label.Label.Sid;
        if (sid != nullptr && IsValidSid(sid)) {
            UCHAR count = *GetSidSubAuthorityCount(sid);
            if (count > 0)
                level = *GetSidSubAuthority(sid, count - 1u);
        }
    }
    CloseHandle(token);
    return level;
}

// Tolvane's own level against Neat Image's, both traced, so that a refused
// (or a let through) Start can be explained from the trace.
bool TargetHasHigherRights()
{
    DWORD own = ProcessIntegrityLevel(GetCurrentProcess());
    DWORD target = TargetIntegrityLevel();
    Trace("Integrity levels: Tolvane 0x%lx, Neat Image 0x%lx\n", static_cast<unsigned long>(own),
          static_cast<unsigned long>(target));
    return TargetRightsTooHigh(own, target);
}
