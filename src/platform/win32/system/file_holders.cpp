// Whether another process holds a file open, and which: a file that cannot
// be opened without sharing is held; the Restart Manager names the holders
// where the system has it (Wine's is a stub that names none).
#include <windows.h>

#include <restartmanager.h>

#include <vector>

#include "platform/win32/handle.h"
#include "platform/win32/system/win32_platform.h"
#include "platform/win32/system_library.h"

namespace car {

namespace {

// The Restart Manager's functions, loaded only when a run has to wait for the
// database; a system without them names no holders.
struct RestartManager {
    decltype(::RmStartSession)* startSession = fn<decltype(::RmStartSession)>("RmStartSession");
    decltype(::RmEndSession)* endSession = fn<decltype(::RmEndSession)>("RmEndSession");
    decltype(::RmRegisterResources)* registerResources = fn<decltype(::RmRegisterResources)>("RmRegisterResources");
    decltype(::RmGetList)* getList = fn<decltype(::RmGetList)>("RmGetList");

    bool complete() const { return startSession && endSession && registerResources && getList; }

private:
    template <class Function>
    static Function* fn(const char* name) {
        return win32::systemFunction<Function>(L"rstrtmgr.dll", name);
    }
};

const RestartManager& restartManager() {
    static const RestartManager functions;
    return functions;
}

// A Restart Manager session, ended with its scope.
class RmSession {
public:
    RmSession() {
        wchar_t key[CCH_RM_SESSION_KEY + 1] = {};
        started_ = restartManager().complete() && restartManager().startSession(&handle_, 0, key) == ERROR_SUCCESS;
    }
    ~RmSession() {
        if (started_) restartManager().endSession(handle_);
    }
    RmSession(const RmSession&) = delete;
    RmSession& operator=(const RmSession&) = delete;

    bool started() const { return started_; }
    DWORD handle() const { return handle_; }

private:
    DWORD handle_ = 0;
    bool started_ = false;
};

}  // namespace

bool Win32Platform::fileInUse(const std::wstring& path) {
    const win32::UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) return false;
    const DWORD code = ::GetLastError();
    // Any other failure (a file that is gone, say) is for the compaction to
    // report in its own words.
    return code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION;
}

std::vector<std::wstring> Win32Platform::fileHolders(const std::wstring& path) {
    std::vector<std::wstring> holders;
    RmSession session;
    if (!session.started()) return holders;
    LPCWSTR files[] = {path.c_str()};
    if (restartManager().registerResources(session.handle(), 1, files, 0, nullptr, 0, nullptr) != ERROR_SUCCESS) {
        return holders;
    }
    std::vector<RM_PROCESS_INFO> processes(8);
    UINT needed = 0;
    for (int attempt = 0; attempt < 3; ++attempt) {
        UINT count = static_cast<UINT>(processes.size());
        DWORD reasons = 0;
        const DWORD result = restartManager().getList(session.handle(), &needed, &count, processes.data(), &reasons);
        if (result == ERROR_MORE_DATA) {
            processes.resize(needed);
            continue;
        }
        if (result != ERROR_SUCCESS) return holders;
        for (UINT i = 0; i < count; ++i) {
            holders.push_back(std::wstring(processes[i].strAppName) + L" (pid " +
                              std::to_wstring(processes[i].Process.dwProcessId) + L")");
        }
        break;
    }
    return holders;
}

}  // namespace car
