// The platform as Windows provides it. Each group of operations is defined in
// a source file of its own (registry.cpp, files.cpp, held_paths.cpp, held_file.cpp and tree_paths.cpp with
// grantable_path.cpp and full_control_grant.cpp, accounts.cpp, privilege.cpp, trusted_folder.cpp with
// trusted_accounts.cpp, file_holders.cpp, jet.cpp, dao.cpp, wmi.cpp with wmi_worker.cpp, services.cpp,
// processes.cpp, program_closing.cpp, system_folders.cpp, launch.cpp, machine_lock.cpp, messages.cpp, network.cpp).
#pragma once

#include <windows.h>

#include <map>
#include <thread>

#include "platform/platform.h"
#include "platform/win32/com.h"
#include "platform/win32/handle.h"
#include "platform/win32/system/wmi_worker.h"

namespace car {

class Win32Platform final : public Platform {
public:
    // Joins the thread to a COM apartment and sets the process's COM
    // security, which WMI needs before its first call.
    Win32Platform();
    Win32Platform(const Win32Platform&) = delete;
    Win32Platform& operator=(const Win32Platform&) = delete;
    ~Win32Platform() override;

    // The window that owns message boxes and whose dialog keys (Tab) the
    // message pump handles.
    void setOwnerWindow(HWND window) noexcept { owner_ = window; }

    RegValue regRead(const std::wstring& path) override;
    RegValue regReadNativeView(const std::wstring& path) override;

    void moveFile(const std::wstring& from, const std::wstring& to) override;
    bool pathExists(const std::wstring& path) override;
    std::vector<FolderEntry> filesEndingIn(const std::wstring& folder, const std::wstring& ending) override;
    void createHardLink(const std::wstring& existing, const std::wstring& newName) override;
    void deleteFile(const std::wstring& path) override;
    std::unique_ptr<HeldFile> holdFile(const std::wstring& path) override;
    std::wstring longPathName(const std::wstring& path) override;
    bool fileInUse(const std::wstring& path) override;
    std::vector<std::wstring> fileHolders(const std::wstring& path) override;
    PathInfo pathInfo(const std::wstring& path) override;
    std::uint64_t freeSpace(const std::wstring& folder) override;

    std::vector<TableFacts> daoTables(const std::wstring& path) override;
    std::int64_t daoCountRows(const std::wstring& path, const std::wstring& table) override;
    std::unique_ptr<JetEngine> createJetEngine() override;
    std::unique_ptr<WmiService> connectWmi(const std::wstring& moniker) override;

    ServiceState serviceState(const std::wstring& name) override;
    void startServiceDirectly(const std::wstring& name) override;
    void stopServiceDirectly(const std::wstring& name) override;
    std::vector<std::wstring> activeDependentServices(const std::wstring& name) override;
    std::vector<std::uint32_t> processesNamed(const std::wstring& fileName) override;
    std::wstring processImage(std::uint32_t processId) override;
    std::uint32_t ownProcessId() override;
    SystemFolders systemFolders() override;

    std::uint32_t launch(const std::wstring& application, const std::wstring& commandLine,
                         const std::wstring& currentFolder, int windowStyle) override;
    using Platform::awaitProcess;
    bool awaitProcess(std::uint32_t processId, std::uint32_t timeoutMs,
                      std::optional<std::uint32_t>* exitCode) override;
    std::unique_ptr<GrantablePath> holdFolder(const std::wstring& folder) override;
    std::unique_ptr<AppendFile> openAppendFile(const std::wstring& path) override;
    LockAttempt lockInAdministratorsNamespace(const std::wstring& name) override;
    LockAttempt lockMachineWide(const std::wstring& name) override;
    LocalTime localTime() override;
    std::uint64_t milliseconds() override;

    std::unique_ptr<GrantablePath> openInTree(const std::wstring& path) override;
    std::optional<Account> accountBySid(const std::wstring& sid) override;
    std::optional<Account> accountByName(const std::wstring& name) override;
    std::unique_ptr<Held> enablePrivilege(Privilege privilege) override;
    TrustedFolder holdTrustedFolder() override;
    bool askToClose(std::uint32_t processId) override;  // program_closing.cpp

    void showMessage(const std::wstring& text) override;
    Answer askYesNo(const std::wstring& text, bool noByDefault, std::uint32_t limitMs) override;
    std::optional<std::wstring> readTextTail(const std::wstring& path, std::size_t maxBytes) override;
    void setShutdownBlock(const std::wstring& reason) override;
    void reportEvent(EventKind kind, const std::vector<std::wstring>& fields) override;
    [[noreturn]] void endProgram(int exitCode) override;
    void pumpMessages() override;
    void sleep(std::uint32_t milliseconds) override;
    std::uint64_t clockTicks() override;

    std::uint32_t getNetworkParams(std::uint8_t* buffer, std::uint32_t& length) override;
    std::wstring fromAnsiCodePage(const std::uint8_t* bytes, std::size_t count) override;
    bool initCommonControls(std::uint32_t size, std::uint32_t classes) override;

    // Loads the network parameters' library on a thread of its own, so that
    // the host name is at hand sooner; getNetworkParams needs no call of this.
    void loadNetworkParamsAhead();

    // Waits until the object is signalled or the time is up (true when it
    // was signalled), handling the window's messages meanwhile.
    bool waitPumping(HANDLE object, DWORD timeoutMs = INFINITE);

private:
    // Handles what waits in the queue; false when it met WM_QUIT (which it
    // leaves posted for the program's own loop).
    bool dispatchWaitingMessages();

    win32::ComApartment apartment_;  // first in, last out: everything COM lives inside it
    HWND owner_ = nullptr;
    // Processes started by launch(), kept until they are seen to end so that
    // a later wait is on the very process (process ids are reused).
    std::map<DWORD, win32::UniqueHandle> launched_;
    // Every WMI call of every service object connectWmi hands out.
    win32::WmiWorkers wmi_;
    std::thread networkAhead_;
};

}  // namespace car
