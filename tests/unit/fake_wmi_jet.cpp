// The automation objects the fake hands out: a JET engine and a WMI
// service. Both only forward to the platform, which owns the state, and
// count themselves so that a test can see them released.
#include <algorithm>
#include <cwctype>

#include "fake_platform.h"

namespace cartest {
namespace {

constexpr std::int32_t kDatabaseExists = car::hresult(0x80040E17u);
constexpr std::int32_t kJetUnspecified = car::hresult(0x80004005u);
constexpr std::int32_t kWbemInvalidQuery = car::hresult(0x80041017u);
constexpr std::int32_t kWbemInvalidNamespace = car::hresult(0x8004100Eu);
constexpr std::int32_t kWbemMethodNotImplemented = car::hresult(0x8004102Eu);

// Holds the platform it forwards to and counts itself in one of the
// platform's counters while it lives.
template <int FakePlatform::*Live>
class Counted {
public:
    explicit Counted(FakePlatform& platform) : platform_(platform) { ++(platform_.*Live); }
    ~Counted() { --(platform_.*Live); }
    Counted(const Counted&) = delete;
    Counted& operator=(const Counted&) = delete;

protected:
    FakePlatform& platform_;
};

class FakeJetEngine final : public car::JetEngine, Counted<&FakePlatform::liveJetEngines> {
public:
    using Counted::Counted;
    void compactDatabase(const std::wstring& source, const std::wstring& destination, std::uint64_t limitMs,
                         const std::function<void(const car::Error&)>& untied) override {
        if (platform_.engineUntied) untied(*platform_.engineUntied);
        platform_.compact(source, destination, limitMs);
    }
};

class FakeWmiService final : public car::WmiService, Counted<&FakePlatform::liveWmiServices> {
public:
    using Counted::Counted;
    std::vector<car::WmiObject> execQuery(const std::wstring& wql) override { return platform_.query(wql); }
    std::uint32_t execMethod(const car::WmiObject& object, const std::wstring& method) override {
        return platform_.method(object, method);
    }
};

// Win32_Service's return values for a request that finds the service as asked.
constexpr std::uint32_t kServiceNotActive = 6;
constexpr std::uint32_t kServiceAlreadyRunning = 10;
constexpr std::uint32_t kDependentServicesRunning = 3;
constexpr std::uint32_t kServiceCannotAcceptControl = 5;

// WQL compares strings without regard to case.
bool sameName(const std::wstring& a, const std::wstring& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](wchar_t x, wchar_t y) {
        return std::towlower(static_cast<wint_t>(x)) == std::towlower(static_cast<wint_t>(y));
    });
}

// The name inside `prefix + name + "'"`, or nothing when the text has
// another form.
std::optional<std::wstring> quotedName(const std::wstring& wql, std::wstring_view prefix) {
    if (wql.size() <= prefix.size() || !wql.starts_with(prefix) || !wql.ends_with(L'\'')) return std::nullopt;
    std::wstring name = wql.substr(prefix.size(), wql.size() - prefix.size() - 1);
    if (name.find(L'\'') != std::wstring::npos) return std::nullopt;
    return name;
}

std::wstring dataSourceOf(const std::wstring& connection) {
    constexpr std::wstring_view key = L"Data Source=";
    const auto start = connection.find(key);
    if (start == std::wstring::npos) throw car::Error{kJetUnspecified, L"Could not find installable ISAM."};
    const auto from = start + key.size();
    return connection.substr(from, connection.find(L';', from) - from);
}

}  // namespace

std::unique_ptr<car::JetEngine> FakePlatform::createJetEngine() {
    record(L"createJetEngine");
    jetCreateFailures.hit();
    return std::make_unique<FakeJetEngine>(*this);
}

void FakePlatform::compact(const std::wstring& source, const std::wstring& destination, std::uint64_t limitMs) {
    record(L"compactDatabase " + source + L" | " + destination);
    if (!privileges.empty()) startedWithPrivilege.push_back(L"the JET engine");
    compactions.emplace_back(source, destination);
    engineLimits.push_back(limitMs);
    compactFailures.hit();
    const std::wstring from = dataSourceOf(source);
    const std::wstring to = dataSourceOf(destination);
    if (files.contains(to)) throw car::Error{kDatabaseExists, L"Database already exists."};
    auto original = files.find(from);
    if (original == files.end()) throw car::Error{kJetUnspecified, L"Could not find file '" + from + L"'."};
    if (engineRunMs > limitMs) {
        now += limitMs;
        files[to] = FakeFile{original->second.content.substr(0, original->second.content.size() / 2), false};
        car::EngineTimedOut late;
        late.number = car::kWmiTimeoutHr;
        late.description = L"The JET engine did not finish compacting within its limit and was ended.";
        throw late;
    }
    now += engineRunMs;
    if (engineCrashCode) {
        files[to] = FakeFile{original->second.content.substr(0, original->second.content.size() / 2), false};
        car::EngineEnded ended;
        ended.number = static_cast<std::int32_t>(*engineCrashCode);
        throw ended;
    }
    files[to] = FakeFile{original->second.content, true};
    if (const auto tables = daoFiles.find(from); tables != daoFiles.end()) {
        daoFiles[to] = tables->second;
        countedRows[to] = countedRows[from];
        if (compactionChanges) compactionChanges(daoFiles[to], countedRows[to]);
    }
    if (daoRefusesCopy) daoRefuses[to] = *daoRefusesCopy;
}

namespace {

void daoLooksAt(FakePlatform& platform, const std::wstring& path) {
    if (!platform.daoInstalled) {
        car::DaoMissing missing;
        missing.number = car::hresult(0x80040154u);
        missing.description = L"Class not registered";
        throw missing;
    }
    if (const auto refusal = platform.daoRefuses.find(path); refusal != platform.daoRefuses.end()) {
        throw refusal->second;
    }
    if (!platform.files.contains(path)) throw car::Error{3024, L"Could not find file '" + path + L"'."};
}

}  // namespace

std::vector<car::TableFacts> FakePlatform::daoTables(const std::wstring& path) {
    record(L"daoTables " + path);
    daoLooksAt(*this, path);
    return daoFiles[path];
}

std::int64_t FakePlatform::daoCountRows(const std::wstring& path, const std::wstring& table) {
    record(L"daoCountRows " + path + L" [" + table + L"]");
    daoLooksAt(*this, path);
    const auto& tables = daoFiles[path];
    const auto found = std::find_if(tables.begin(), tables.end(), [&](const auto& t) { return t.name == table; });
    if (found == tables.end())
        throw car::Error{3078, L"The Microsoft Jet database engine cannot find the input table."};
    const auto counted = countedRows[path].find(table);
    return counted == countedRows[path].end() ? found->rowCount : counted->second;
}

std::unique_ptr<car::WmiService> FakePlatform::connectWmi(const std::wstring& moniker) {
    record(L"connectWmi " + moniker);
    connectFailures.hit();
    if (moniker != kWmiMoniker) throw car::Error{kWbemInvalidNamespace, L"Invalid namespace"};
    return std::make_unique<FakeWmiService>(*this);
}

std::uint32_t FakePlatform::addProcess(const std::wstring& name, std::wstring image) {
    processes.push_back({name, nextPid_ += 4, image.empty() ? L"C:\\Windows\\" + name : std::move(image)});
    return processes.back().pid;
}

bool FakePlatform::isRunning(std::uint32_t pid) const {
    return std::any_of(processes.begin(), processes.end(), [&](const FakeProcess& p) { return p.pid == pid; });
}

const FakeService* FakePlatform::service(const std::wstring& name) const {
    auto it = std::find_if(services.begin(), services.end(), [&](const FakeService& s) { return s.name == name; });
    return it == services.end() ? nullptr : &*it;
}

// Evaluates only the two query forms the program is meant to send, character
// for character; any other text is refused as WMI refuses a bad query.
std::vector<car::WmiObject> FakePlatform::query(const std::wstring& wql) {
    record(L"execQuery " + wql);
    queryFailures.hit();
    std::vector<car::WmiObject> result;
    if (auto name = quotedName(wql, kProcessQuery)) {
        for (const FakeProcess& p : processes) {
            if (!sameName(p.name, *name)) continue;
            result.push_back({L"\\\\FAKEHOST\\root\\cimv2:Win32_Process.Handle=\"" + std::to_wstring(p.pid) + L"\"",
                              p.name,
                              p.pid,
                              {}});
        }
        return result;
    }
    if (auto name = quotedName(wql, kServiceQuery)) {
        for (const FakeService& s : services) {
            if (!sameName(s.name, *name)) continue;
            result.push_back({L"\\\\FAKEHOST\\root\\cimv2:Win32_Service.Name=\"" + s.name + L"\"", s.name, 0,
                              s.running ? L"Running" : L"Stopped"});
        }
        return result;
    }
    throw car::Error{kWbemInvalidQuery, L"Invalid query"};
}

// A refusal (access denied, say) is the method's return value, as WMI gives
// it: the call itself succeeds.
std::uint32_t FakePlatform::method(const car::WmiObject& object, const std::wstring& name) {
    record(L"execMethod " + name + L" " + object.name +
           (object.processId ? L" " + std::to_wstring(object.processId) : L""));
    methodFailures.hit();
    const bool isProcess = object.path.find(L":Win32_Process.") != std::wstring::npos;
    if (isProcess && name == L"Terminate") {
        if (!privileges.contains(car::Privilege::Debug)) ++terminatedWithoutDebug;
        // The object of a process that ended since the query is gone with it.
        if (!isRunning(object.processId)) throw car::Error{car::kWmiNotFound, L"Not found"};
        if (auto refusal = terminateRefusals.find(object.name); refusal != terminateRefusals.end()) {
            return refusal->second;
        }
        std::erase_if(processes, [&](const FakeProcess& p) { return p.pid == object.processId; });
        return 0;
    }
    if (!isProcess && (name == L"StartService" || name == L"StopService")) {
        for (FakeService& s : services) {
            if (!object.path.ends_with(L"=\"" + s.name + L"\"")) continue;
            const bool start = name == L"StartService";
            if (s.refusal) return *s.refusal;
            if (start && s.startRefusal) return *s.startRefusal;
            if (!start && s.stopPending > 0) return kServiceCannotAcceptControl;
            if (!start && s.running && std::any_of(services.begin(), services.end(), [&](const FakeService& d) {
                    return d.running && d.dependsOn == s.name;
                })) {
                return kDependentServicesRunning;
            }
            if (start == s.running) return start ? kServiceAlreadyRunning : kServiceNotActive;
            if (!start) s.stopPending = s.stopPendingReadings;
            s.running = start;
        }
        return 0;
    }
    throw car::Error{kWbemMethodNotImplemented, L"Method not implemented"};
}

void FakePlatform::startServiceDirectly(const std::wstring& name) {
    record(L"startServiceDirectly " + name);
    auto it = std::find_if(services.begin(), services.end(), [&](const FakeService& s) { return s.name == name; });
    if (it == services.end()) throw car::Error{car::hresult(0x80070424u), L"The specified service does not exist."};
    it->running = true;
}

void FakePlatform::stopServiceDirectly(const std::wstring& name) {
    record(L"stopServiceDirectly " + name);
    auto it = std::find_if(services.begin(), services.end(), [&](const FakeService& s) { return s.name == name; });
    if (it == services.end()) throw car::Error{car::hresult(0x80070424u), L"The specified service does not exist."};
    if (it->refusal) throw car::Error{car::kAccessDeniedHr, L"Access is denied."};
    if (it->running) it->stopPending = it->stopPendingReadings;
    it->running = false;
}

std::vector<std::wstring> FakePlatform::activeDependentServices(const std::wstring& name) {
    record(L"activeDependentServices " + name);
    std::vector<std::wstring> names;
    for (const FakeService& s : services) {
        if (s.dependsOn == name && (s.running || s.stopPending > 0)) names.push_back(s.name);
    }
    return names;
}

std::vector<std::uint32_t> FakePlatform::processesNamed(const std::wstring& fileName) {
    record(L"processesNamed " + fileName);
    closingReading(fileName);
    std::vector<std::uint32_t> ids;
    for (const FakeProcess& p : processes) {
        if (sameName(p.name, fileName)) ids.push_back(p.pid);
    }
    return ids;
}

std::wstring FakePlatform::processImage(std::uint32_t processId) {
    record(L"processImage " + std::to_wstring(processId));
    const auto found =
        std::find_if(processes.begin(), processes.end(), [&](const FakeProcess& p) { return p.pid == processId; });
    return found == processes.end() ? std::wstring() : found->image;
}

car::ServiceState FakePlatform::serviceState(const std::wstring& name) {
    record(L"serviceState " + name);
    auto it = std::find_if(services.begin(), services.end(), [&](const FakeService& s) { return s.name == name; });
    if (it == services.end()) return car::ServiceState::Missing;
    if (it->running) return car::ServiceState::Running;
    if (it->stopPending > 0) {
        --it->stopPending;
        return car::ServiceState::StopPending;
    }
    return car::ServiceState::Stopped;
}

}  // namespace cartest
