// Starting command lines, and waiting for them without freezing the window.
#include "platform/win32/error_text.h"
#include "platform/win32/system/win32_platform.h"

namespace car {

namespace {

WORD showCommand(int windowStyle) {
    switch (windowStyle) {
        case 0:
            return SW_HIDE;
        case 1:
            return SW_SHOWNORMAL;
        case 2:
            return SW_SHOWMINIMIZED;
        default:
            // Other styles are the system's own SW_ numbers already.
            return static_cast<WORD>(windowStyle);
    }
}

}  // namespace

std::uint32_t Win32Platform::launch(const std::wstring& application, const std::wstring& commandLine,
                                    const std::wstring& currentFolder, int windowStyle) {
    // Forget the processes that ended without being waited for.
    std::erase_if(launched_,
                  [](const auto& entry) { return ::WaitForSingleObject(entry.second.get(), 0) == WAIT_OBJECT_0; });

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = showCommand(windowStyle);
    PROCESS_INFORMATION process{};
    // CreateProcessW may write into the command line, so it gets a copy. The
    // program file is named, never searched for: a search would look in the
    // program's own folder and the current one before the system's.
    std::wstring mutableLine = commandLine;
    // A child inherits a below-normal priority class (the Task Scheduler's,
    // for a scheduled run): the suite's servers would keep it until the next
    // reboot. Nor do children inherit an unattended run's error mode.
    constexpr DWORD kCreation = NORMAL_PRIORITY_CLASS | CREATE_DEFAULT_ERROR_MODE;
    if (!::CreateProcessW(application.c_str(), mutableLine.data(), nullptr, nullptr, FALSE, kCreation, nullptr,
                          currentFolder.empty() ? nullptr : currentFolder.c_str(), &startup, &process)) {
        win32::throwLastErrorAbout(commandLine);
    }
    win32::UniqueHandle thread(process.hThread);
    launched_.insert_or_assign(process.dwProcessId, win32::UniqueHandle(process.hProcess));
    return process.dwProcessId;
}

bool Win32Platform::awaitProcess(std::uint32_t processId, std::uint32_t timeoutMs,
                                 std::optional<std::uint32_t>* exitCode) {
    const auto found = launched_.find(processId);
    if (found == launched_.end()) return true;
    // Taken out while waited for: a handler run by the pump may launch and so
    // forget processes that have ended. One still running is kept for a later
    // wait on the very process (process ids are reused).
    win32::UniqueHandle process = std::move(found->second);
    launched_.erase(found);
    if (waitPumping(process.get(), timeoutMs)) {
        DWORD code = 0;
        if (exitCode != nullptr && ::GetExitCodeProcess(process.get(), &code)) *exitCode = code;
        return true;
    }
    launched_.insert_or_assign(processId, std::move(process));
    return false;
}

bool Win32Platform::waitPumping(HANDLE object, DWORD timeoutMs) {
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    bool pumping = true;
    for (;;) {
        const ULONGLONG now = ::GetTickCount64();
        const auto remaining =
            timeoutMs == INFINITE ? INFINITE : static_cast<DWORD>(now < deadline ? deadline - now : 0);
        // Once WM_QUIT waits in the queue the queue never looks empty again:
        // from then on only the object is waited for.
        const DWORD result = pumping ? ::MsgWaitForMultipleObjects(1, &object, FALSE, remaining, QS_ALLINPUT)
                                     : ::WaitForSingleObject(object, remaining);
        if (result == WAIT_OBJECT_0) return true;
        if (result == WAIT_TIMEOUT) return false;
        if (result == WAIT_FAILED) throw win32::win32Error(::GetLastError());
        pumping = dispatchWaitingMessages();
    }
}

}  // namespace car
