#include "app/stopped_by_run.h"

#include <algorithm>

namespace car {
namespace {

std::wstring Joined(const std::vector<std::wstring>& names) {
    std::wstring text;
    for (const std::wstring& name : names) text += (text.empty() ? L"" : L", ") + name;
    return text;
}

}  // namespace

void StoppedByRun::add(std::vector<std::wstring>& list, const std::wstring& name) {
    if (!contains(list, name)) list.push_back(name);
}

bool StoppedByRun::contains(const std::vector<std::wstring>& list, const std::wstring& name) {
    return std::find(list.begin(), list.end(), name) != list.end();
}

void StoppedByRun::remove(std::vector<std::wstring>& list, const std::wstring& name) { std::erase(list, name); }

std::wstring StoppedByRun::describe() const {
    if (empty()) return {};
    std::wstring text = L"This run stopped these, and they are still stopped:";
    if (!services_.empty()) text += L"\r\n- the services " + Joined(services_);
    if (!programs_.empty()) text += L"\r\n- the programs " + Joined(programs_);
    if (iis_) text += L"\r\n- IIS (iisreset /stop)";
    return text + L"\r\nStart them again, or keep them stopped to repair the database by hand.";
}

}  // namespace car
