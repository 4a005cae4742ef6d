// Passes every change of a control on to the window, and tells the run log
// each new status text: whichever procedure sets it, the log has it.
#pragma once

#include "app/safeguards/run_log.h"
#include "ui/control.h"

namespace car {

class StatusTap final : public View {
public:
    StatusTap(View& view, RunLog& log) : view_(view), log_(log) {}

    void changed(ControlId id, Property property, const ControlState& state) override {
        view_.changed(id, property, state);
        if (id == ControlId::lblStatus && property == Property::Caption) log_.write(L"Status: " + state.caption);
    }

private:
    View& view_;
    RunLog& log_;
};

}  // namespace car
