#include "fake_platform.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <cwchar>
#include <cwctype>

#include "fake_grantable.h"

namespace cartest {
namespace {

constexpr std::int32_t kFileAlreadyExists = car::hresult(0x800A003Au);
constexpr std::int32_t kFileNotFound = car::hresult(0x800A0035u);
constexpr std::uint32_t kErrorBufferOverflow = 111;
constexpr std::uint32_t kErrorNoData = 232;
constexpr std::size_t kHostFieldSize = 132;
constexpr wchar_t kInUseWording[] = L"The process cannot access the file because it is being used by another process.";

std::wstring lower(std::wstring text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](wchar_t c) { return static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c))); });
    return text;
}

bool isRoot(const std::wstring& name) {
    static const std::array<std::wstring_view, 10> roots{L"HKEY_LOCAL_MACHINE",  L"HKLM", L"HKEY_CURRENT_USER", L"HKCU",
                                                         L"HKEY_CLASSES_ROOT",   L"HKCR", L"HKEY_USERS",        L"HKU",
                                                         L"HKEY_CURRENT_CONFIG", L"HKCC"};
    return std::find(roots.begin(), roots.end(), name) != roots.end();
}

std::wstring hex(std::uint32_t value) {
    wchar_t text[16];
    std::swprintf(text, 16, L"0x%X", value);
    return text;
}

}  // namespace

void FailurePlan::hit() {
    ++calls;
    if (always) throw *always;
    if (auto it = nth.find(calls); it != nth.end()) throw it->second;
}

// The files as they stand between two calls are what a kill at that moment
// would leave, so each call looks at the guarded name as it finds it.
void FakePlatform::record(std::wstring entry) {
    log_.add(std::move(entry));
    if (!guardedPath.empty() && !files.contains(guardedPath)) guardedPathEmptyAt.push_back(log_.entries().back());
}

// ---- registry ---------------------------------------------------------------

std::wstring FakePlatform::missingWording(const std::wstring& path) {
    return L"Unable to open registry key \"" + path + L"\" for reading.";
}

std::wstring FakePlatform::noDefaultWording(const std::wstring& path) {
    return L"The registry key \"" + path + L"\" has no default value.";
}

void FakePlatform::addKey(const std::wstring& keyPath) {
    std::wstring key = keyPath.ends_with(L'\\') ? keyPath.substr(0, keyPath.size() - 1) : keyPath;
    while (!key.empty()) {
        keys_.insert(key);
        const auto cut = key.rfind(L'\\');
        if (cut == std::wstring::npos) break;
        key.resize(cut);
    }
}

void FakePlatform::setValue(const std::wstring& path, car::RegValue value) {
    const auto cut = path.rfind(L'\\');
    if (cut != std::wstring::npos) addKey(path.substr(0, cut));
    values_[path] = std::move(value);
}

void FakePlatform::failRead(const std::wstring& path, car::Error error, int nth) {
    FailurePlan& plan = readFailures_[path];
    if (nth == 0) {
        plan.always = std::move(error);
    } else {
        plan.nth[nth] = std::move(error);
    }
}

bool FakePlatform::keyExists(const std::wstring& key) const {
    const std::wstring root = key.substr(0, key.find(L'\\'));
    return isRoot(root) && (key == root || keys_.contains(key));
}

car::RegValue FakePlatform::regReadNativeView(const std::wstring& path) {
    record(L"regReadNativeView " + path);
    return readValue(path);
}

car::RegValue FakePlatform::regRead(const std::wstring& path) {
    record(L"regRead " + path);
    return readValue(path);
}

car::RegValue FakePlatform::readValue(const std::wstring& path) {
    if (auto failure = readFailures_.find(path); failure != readFailures_.end()) failure->second.hit();
    const auto cut = path.rfind(L'\\');
    const bool readable = cut != std::wstring::npos && keyExists(path.substr(0, cut));
    if (readable) {
        if (auto value = values_.find(path); value != values_.end()) return value->second;
        if (path.ends_with(L'\\')) throw car::Error{car::kFileNotFoundHr, noDefaultWording(path)};
    }
    throw car::Error{car::kFileNotFoundHr, missingWording(path)};
}

// ---- files --------------------------------------------------------------------

void FakePlatform::moveFile(const std::wstring& from, const std::wstring& to) {
    record(L"moveFile " + from + L" -> " + to);
    moveFailures.hit();
    if (heldFiles.contains(from)) throw car::Error{car::kSharingViolationHr, kInUseWording};
    auto source = files.find(from);
    if (source == files.end()) throw car::Error{kFileNotFound, L"File not found"};
    if (files.contains(to)) throw car::Error{kFileAlreadyExists, L"File already exists"};
    FakeFile moved = std::move(source->second);
    files.erase(source);
    files.emplace(to, std::move(moved));
}

// The fake's files never change once written, so a second name can be a copy.
void FakePlatform::createHardLink(const std::wstring& existing, const std::wstring& newName) {
    record(L"createHardLink " + existing + L" -> " + newName);
    if (!hardLinks) throw car::Error{car::kNoHardLinksHr, L"Incorrect function."};
    auto source = files.find(existing);
    if (source == files.end()) throw car::Error{car::kFileNotFoundHr, L"The system cannot find the file specified."};
    if (files.contains(newName))
        throw car::Error{car::hresult(0x800700B7u), L"Cannot create a file when that file already exists."};
    files[newName] = source->second;
}

void FakePlatform::deleteFile(const std::wstring& path) {
    record(L"deleteFile " + path);
    deleteFailures.hit();
    if (heldFiles.contains(path)) throw car::Error{car::kSharingViolationHr, kInUseWording};
    if (files.erase(path) == 0) throw car::Error{car::kFileNotFoundHr, L"The system cannot find the file specified."};
}

car::ReparseKind FakePlatform::reparseKindOf(const std::wstring& path) const {
    if (const auto kind = reparseKinds.find(path); kind != reparseKinds.end()) return kind->second;
    if (!reparsePoints.contains(path)) return car::ReparseKind::None;
    return isFolder(path) ? car::ReparseKind::Junction : car::ReparseKind::SymbolicLink;
}

// A rename through a hold: the file goes with its hold to the new name.
void FakePlatform::renameHeld(std::wstring& path, const std::wstring& to, bool replace) {
    record(L"rename " + path + L" -> " + to + (replace ? L" replacing" : L""));
    (replace ? replaceFailures : moveFailures).hit();
    if (files.contains(to) && !replace) {
        throw car::Error{car::hresult(0x800700B7u), L"Cannot create a file when that file already exists."};
    }
    if (heldFiles.contains(to)) throw car::Error{car::kAccessDeniedHr, L"Access is denied."};
    FakeFile moved = std::move(files.at(path));
    files.erase(path);
    files[to] = std::move(moved);
    heldFiles.erase(heldFiles.find(path));
    heldFiles.insert(to);
    path = to;
}

std::wstring FakePlatform::longPathName(const std::wstring& path) {
    const auto found = longPaths.find(path);
    return found == longPaths.end() ? path : found->second;
}

bool FakePlatform::fileInUse(const std::wstring& path) {
    record(L"fileInUse " + path);
    auto held = heldForChecks.find(path);
    if (held == heldForChecks.end() || held->second == 0) return false;
    --held->second;
    return true;
}

std::vector<std::wstring> FakePlatform::fileHolders(const std::wstring& path) {
    record(L"fileHolders " + path);
    return holders;
}

std::vector<car::FolderEntry> FakePlatform::filesEndingIn(const std::wstring& folder, const std::wstring& ending) {
    record(L"filesEndingIn " + folder + L"*" + ending);
    std::vector<car::FolderEntry> entries;
    for (const auto& [path, file] : files) {
        const std::wstring name = path.substr(folder.size());
        if (path.starts_with(folder) && name.find(L'\\') == std::wstring::npos && lower(name).ends_with(lower(ending)))
            entries.push_back({name, file.lastWrite});
    }
    return entries;
}

bool FakePlatform::pathExists(const std::wstring& path) {
    record(L"pathExists " + path);
    if (files.contains(path)) return true;
    const std::wstring folder = path.ends_with(L'\\') ? path : path + L'\\';
    return std::any_of(files.begin(), files.end(), [&](const auto& file) { return file.first.starts_with(folder); });
}

// A folder is any path that files stand under.
bool FakePlatform::isFolder(const std::wstring& path) const {
    const std::wstring folder = path.ends_with(L'\\') ? path : path + L'\\';
    return !path.empty() &&
           std::any_of(files.begin(), files.end(), [&](const auto& file) { return file.first.starts_with(folder); });
}

car::PathInfo FakePlatform::pathInfo(const std::wstring& path) {
    record(L"pathInfo " + path);
    const bool reparsePoint = reparsePoints.contains(path);
    if (auto file = files.find(path); file != files.end()) {
        return {true, false, reparsePoint, file->second.content.size()};
    }
    if (std::any_of(systemPrograms.begin(), systemPrograms.end(),
                    [&](const std::wstring& program) { return lower(program) == lower(path); })) {
        return {true, false, false, 0};
    }
    const bool folder = isFolder(path);
    return {folder, folder, reparsePoint, 0};
}

std::uint64_t FakePlatform::freeSpace(const std::wstring& folder) {
    record(L"freeSpace " + folder);
    freeSpaceFailures.hit();
    return freeBytes;
}

car::SystemFolders FakePlatform::systemFolders() { return folders; }

// ---- programs -------------------------------------------------------------------

// The program file's name as the lookup tables name it, or empty when no
// such file exists: nothing is searched, as for CreateProcess with the
// application named.
std::wstring FakePlatform::programOf(const std::wstring& application) const {
    const std::wstring wanted = lower(application);
    const auto same = [&](const std::wstring& path) { return lower(path) == wanted; };
    const bool found = std::any_of(systemPrograms.begin(), systemPrograms.end(), same) ||
                       std::any_of(files.begin(), files.end(), [&](const auto& file) { return same(file.first); });
    if (!found) return {};
    std::wstring name = wanted.substr(wanted.rfind(L'\\') + 1);
    if (name.ends_with(L".exe")) name.resize(name.size() - 4);
    return name;
}

void FakePlatform::removeSystemProgram(const std::wstring& name) {
    std::erase_if(systemPrograms,
                  [&](const std::wstring& path) { return lower(path).ends_with(L"\\" + name + L".exe"); });
}

std::uint32_t FakePlatform::launch(const std::wstring& application, const std::wstring& commandLine,
                                   const std::wstring& currentFolder, int windowStyle) {
    record(L"launch " + std::to_wstring(windowStyle) + L" " + commandLine);
    if (!privileges.empty()) startedWithPrivilege.push_back(commandLine);
    const std::wstring program = programOf(application);
    if (program.empty()) throw car::Error{car::kFileNotFoundHr, L"The system cannot find the file specified."};
    if (auto failure = launchFailures.find(program); failure != launchFailures.end()) throw failure->second;

    // iisreset stops and starts IIS's web service, as the real one does.
    if (program == L"iisreset") {
        for (FakeService& service : services) {
            if (service.name == L"W3SVC") service.running = commandLine.ends_with(L"/start");
        }
    }
    // A program of its own (a server started as a program) runs on.
    const bool systemProgram = std::any_of(systemPrograms.begin(), systemPrograms.end(),
                                           [&](const std::wstring& path) { return lower(path) == lower(application); });
    if (!systemProgram) addProcess(application.substr(application.rfind(L'\\') + 1), application);

    LaunchRecord record;
    record.application = application;
    record.currentFolder = currentFolder;
    record.commandLine = commandLine;
    record.style = windowStyle;
    record.pid = nextPid_ += 4;
    const auto runTime = runTimesMs.find(program);
    record.finishesAt = now + (runTime != runTimesMs.end() ? runTime->second : 100);
    record.stillRunningAtStart = static_cast<std::size_t>(
        std::count_if(launches.begin(), launches.end(), [&](const LaunchRecord& l) { return !hasEnded(l.pid); }));
    launches.push_back(record);
    return record.pid;
}

bool FakePlatform::hasEnded(std::uint32_t pid) const {
    auto it = std::find_if(launches.begin(), launches.end(), [&](const LaunchRecord& l) { return l.pid == pid; });
    return it == launches.end() || it->finishesAt <= now;
}

bool FakePlatform::awaitProcess(std::uint32_t processId, std::uint32_t timeoutMs,
                                std::optional<std::uint32_t>* exitCode) {
    record(L"await " + std::to_wstring(processId));
    auto it = std::find_if(launches.begin(), launches.end(), [&](const LaunchRecord& l) { return l.pid == processId; });
    bool ended = true;
    if (it != launches.end() && it->finishesAt > now) {
        ended = it->finishesAt - now <= timeoutMs;
        now = ended ? it->finishesAt : now + timeoutMs;
    }
    if (ended && exitCode != nullptr && it != launches.end()) *exitCode = it->exitCode;
    awaits.push_back({processId, timeoutMs, ended});
    return ended;
}

namespace {

// An open file or folder of the fake: counted while it is open.
class FakeOpenPath : public car::AppendFile {
public:
    FakeOpenPath(FakePlatform& platform, std::wstring path, std::function<void()> close)
        : platform_(platform), path_(std::move(path)), close_(std::move(close)) {}
    FakeOpenPath(const FakeOpenPath&) = delete;
    FakeOpenPath& operator=(const FakeOpenPath&) = delete;
    ~FakeOpenPath() override { close_(); }

    car::ReparseKind reparseKind() const override { return platform_.reparseKindOf(path_); }
    std::uint32_t nameCount() const override {
        const auto names = platform_.nameCounts.find(path_);
        return names == platform_.nameCounts.end() ? 1 : names->second;
    }
    void appendLine(const std::wstring& line) override {
        platform_.appendFailures.hit();
        platform_.appended[path_].push_back(line);
    }
    void restrictToAdministrators() override { platform_.log().add(L"restrictToAdministrators " + path_); }

private:
    FakePlatform& platform_;
    std::wstring path_;
    std::function<void()> close_;
};

// A file held open without delete sharing, named as it is now.
class FakeHeldFile : public FakeGrantable<car::HeldFile> {
public:
    FakeHeldFile(FakePlatform& platform, std::wstring path) : FakeGrantable(platform, std::move(path)) {
        platform_.heldFiles.insert(path_);
    }
    ~FakeHeldFile() override {
        platform_.log().add(L"release " + path_);
        platform_.heldFiles.erase(platform_.heldFiles.find(path_));
    }

    std::vector<std::uint8_t> ownerAndAccessList() const override {
        return std::vector<std::uint8_t>(path_.begin(), path_.end());
    }
    void giveOwnerAndAccessList(const std::vector<std::uint8_t>& descriptor) override {
        if (!platform_.privileges.contains(car::Privilege::Restore)) ++platform_.ownersGivenWithoutRestore;
        platform_.log().add(L"giveOwnerAndAccessList " + path_ + L" <- " +
                            std::wstring(descriptor.begin(), descriptor.end()));
        platform_.accessListFailures.hit();
    }
    void flush() override {
        platform_.log().add(L"flush " + path_);
        platform_.flushFailures.hit();
    }
    void rename(const std::wstring& to, bool replace) override { platform_.renameHeld(path_, to, replace); }
};

class FakeLock : public car::Held {
public:
    explicit FakeLock(int& held) : held_(held) { ++held_; }
    FakeLock(const FakeLock&) = delete;
    FakeLock& operator=(const FakeLock&) = delete;
    ~FakeLock() override { --held_; }

private:
    int& held_;
};

}  // namespace

std::unique_ptr<car::HeldFile> FakePlatform::holdFile(const std::wstring& path) {
    record(L"holdFile " + path);
    holdFileFailures.hit();
    if (heldFiles.contains(path)) throw car::Error{car::kSharingViolationHr, kInUseWording};
    if (!files.contains(path) && !isFolder(path) && !reparsePoints.contains(path)) {
        throw car::Error{car::kFileNotFoundHr, L"The system cannot find the file specified."};
    }
    return std::make_unique<FakeHeldFile>(*this, path);
}

std::unique_ptr<car::AppendFile> FakePlatform::openAppendFile(const std::wstring& path) {
    openAppendFailures.hit();
    appended[path];  // created when missing
    ++openAppendFiles;
    return std::make_unique<FakeOpenPath>(*this, path, [this] { --openAppendFiles; });
}

car::LockAttempt FakePlatform::lockInAdministratorsNamespace(const std::wstring& name) {
    record(L"lockInAdministratorsNamespace " + name);
    if (!privateNamespaces) return {};
    lockFailures.hit();
    if (lockTakenElsewhere || locksHeld > 0) return {car::LockAttempt::Outcome::HeldByAnother, nullptr, {}};
    return {car::LockAttempt::Outcome::Taken, std::make_unique<FakeLock>(locksHeld), {}};
}

car::LockAttempt FakePlatform::lockMachineWide(const std::wstring& name) {
    record(L"lockMachineWide " + name);
    lockFailures.hit();
    if (!foreignLockOwner.empty()) return {car::LockAttempt::Outcome::ForeignOwner, nullptr, foreignLockOwner};
    if (lockTakenElsewhere || locksHeld > 0) return {car::LockAttempt::Outcome::HeldByAnother, nullptr, {}};
    return {car::LockAttempt::Outcome::Taken, std::make_unique<FakeLock>(locksHeld), {}};
}

// 2026-12-07 at nine, moving with the virtual clock.
car::LocalTime FakePlatform::localTime() {
    const auto total = static_cast<int>(now);
    return {2026, 12, 7, 9 + total / 3'600'000, total / 60'000 % 60, total / 1000 % 60, total % 1000};
}

std::uint64_t FakePlatform::milliseconds() { return now; }

std::uint32_t FakePlatform::ownProcessId() { return ownPid; }

// ---- messages, pump, clock ---------------------------------------------------------

void FakePlatform::showMessage(const std::wstring& text) {
    record(L"showMessage " + text);
    messages.push_back(text);
    heldAtBoxes.push_back(locksHeld + static_cast<int>(heldFolders.size()));
}

void FakePlatform::reportEvent(car::EventKind kind, const std::vector<std::wstring>& fields) {
    record(L"reportEvent " + std::to_wstring(static_cast<std::uint32_t>(kind)));
    events.emplace_back(kind, fields);
}

car::Platform::Answer FakePlatform::askYesNo(const std::wstring& text, bool noByDefault, std::uint32_t limitMs) {
    record(noByDefault ? L"askYesNo, No by default" : L"askYesNo");
    questions.push_back(text);
    questionLimits.push_back(limitMs);
    heldAtBoxes.push_back(locksHeld + static_cast<int>(heldFolders.size()));
    if (nobodyAnswers && limitMs != 0) {
        now += limitMs;
        return Answer::NoByItself;
    }
    return answerYes ? Answer::Yes : Answer::No;
}

// The lines appended so far, as the file holds them.
std::optional<std::wstring> FakePlatform::readTextTail(const std::wstring& path, std::size_t) {
    const auto found = appended.find(path);
    if (found == appended.end()) return std::nullopt;
    std::wstring text;
    for (const std::wstring& line : found->second) text += line + L"\r\n";
    return text;
}

void FakePlatform::setShutdownBlock(const std::wstring& reason) {
    record(L"setShutdownBlock " + reason);
    shutdownBlock = reason;
}

void FakePlatform::endProgram(int exitCode) {
    record(L"end " + std::to_wstring(exitCode));
    throw EndSignal{exitCode};
}

void FakePlatform::pumpMessages() {
    record(L"pump");
    if (onPump && !pumping_) {
        pumping_ = true;
        onPump();
        pumping_ = false;
    }
}

void FakePlatform::sleep(std::uint32_t milliseconds) {
    record(L"sleep " + std::to_wstring(milliseconds));
    now += milliseconds;
}

// Differs on every call even when no virtual time has passed, as a real
// clock of fine resolution would between two draws.
std::uint64_t FakePlatform::clockTicks() { return now * 10000 + ++ticksCalls_ * 7919; }

// ---- network parameters, common controls -------------------------------------------

std::uint32_t FakePlatform::getNetworkParams(std::uint8_t* buffer, std::uint32_t& length) {
    record(L"getNetworkParams");
    networkParamsLengths.push_back(length);
    if (networkParamsSize == 0) {
        length = 0;
        return kErrorNoData;
    }
    if (buffer == nullptr || length < networkParamsSize) {
        length = networkParamsSize;
        return kErrorBufferOverflow;
    }
    // A failing call may still have written the record: only its result tells.
    std::memset(buffer, 0, length);
    std::memcpy(buffer, hostField.data(), std::min(hostField.size(), kHostFieldSize));
    std::memcpy(buffer + kHostFieldSize, domainField.data(), std::min(domainField.size(), kHostFieldSize));
    return filledCallResult;
}

std::wstring FakePlatform::fromAnsiCodePage(const std::uint8_t* bytes, std::size_t count) {
    ansiConversions.push_back(count);
    return std::wstring(bytes, bytes + count);  // Latin-1: each byte is its own code point
}

bool FakePlatform::initCommonControls(std::uint32_t size, std::uint32_t classes) {
    record(L"initCommonControls " + std::to_wstring(size) + L" " + hex(classes));
    return commonControlsResult;
}

}  // namespace cartest
