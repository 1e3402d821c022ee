#include "platform/ThreadSnapshot.h"

#include <windows.h>
#include <tlhelp32.h>

namespace platform {

std::vector<uint32_t> processThreadIds() {
    std::vector<uint32_t> ids;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return ids;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        ids.push_back(entry.th32ThreadID);
    CloseHandle(snapshot);
    return ids;
}

}  // namespace platform
