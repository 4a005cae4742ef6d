// The window without a screen: every property assignment becomes one log
// entry such as "lblStatus.Caption=Stopping Admin" or "cmdCompact.Visible=0".
#pragma once

#include <cstddef>
#include <string>

#include "event_log.h"
#include "ui/control.h"

namespace cartest {

class HeadlessView final : public car::View {
public:
    explicit HeadlessView(EventLog& log) : log_(log) {}

    void changed(car::ControlId id, car::Property property, const car::ControlState& state) override;

    // How many property assignments the window has made so far.
    std::size_t changes() const { return changes_; }

    static std::wstring nameOf(car::ControlId id);

private:
    EventLog& log_;
    std::size_t changes_ = 0;
};

// "3" for 3.0F, "2.5" for 2.5F: how the log writes a progress value.
std::wstring formatNumber(float value);

}  // namespace cartest
