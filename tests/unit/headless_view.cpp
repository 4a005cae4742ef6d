#include "headless_view.h"

#include <cmath>
#include <cwchar>

#include "ui/layout.h"

namespace cartest {

std::wstring formatNumber(float value) {
    if (std::nearbyint(value) == value) return std::to_wstring(static_cast<long long>(value));
    wchar_t text[32];
    std::swprintf(text, 32, L"%g", static_cast<double>(value));
    return text;
}

std::wstring HeadlessView::nameOf(car::ControlId id) {
    if (id == car::ControlId::Form) return L"Form";
    return std::wstring(car::layoutOf(id).name);
}

void HeadlessView::changed(car::ControlId id, car::Property property, const car::ControlState& state) {
    ++changes_;
    std::wstring entry = nameOf(id) + L".";
    switch (property) {
        case car::Property::Visible:
            entry += L"Visible=" + std::to_wstring(state.visible ? 1 : 0);
            break;
        case car::Property::Enabled:
            entry += L"Enabled=" + std::to_wstring(state.enabled ? 1 : 0);
            break;
        case car::Property::Caption:
            entry += L"Caption=" + state.caption;
            break;
        case car::Property::Left:
            entry += L"Left=" + std::to_wstring(state.left);
            break;
        case car::Property::Width:
            entry += L"Width=" + std::to_wstring(state.width);
            break;
        case car::Property::Value:
            entry += L"Value=" + formatNumber(state.value);
            break;
        case car::Property::Max:
            entry += L"Max=" + formatNumber(state.max);
            break;
        case car::Property::Interval:
            entry += L"Interval=" + std::to_wstring(state.interval);
            break;
    }
    log_.add(std::move(entry));
}

}  // namespace cartest
