// The window's controls as the logic sees them: property bags that report
// every change to a view, which renders it (a real window) or records it
// (the headless view of the tests).
#pragma once

#include <cstdint>
#include <string>
#include <utility>

namespace car {

enum class ControlId {
    Form,
    cmdClose,
    cmdCompact,
    cmdOpenDataFolder,
    tmrSpin,
    prjProgress,
    imgTick,
    qoline,
    tpline,
    thline,
    imgTH,
    imgQO,
    imgTP,
    lblSpin,
    lblStatus,
    lblStatus2,
    txtDBPath,
    Label1_1,
    Label1_0,
    lblDBPath,
    Label3,
};

enum class Property { Visible, Enabled, Caption, Left, Width, Value, Max, Interval };

// Positions and sizes are in twips, as the layout gives them.
struct ControlState {
    bool visible = true;
    bool enabled = true;
    std::wstring caption;
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    float value = 0.0F;
    float max = 0.0F;
    int interval = 0;
};

class View {
public:
    virtual ~View() = default;
    virtual void changed(ControlId id, Property property, const ControlState& state) = 0;
};

class Control {
public:
    Control(ControlId id, View& view, ControlState initial) : id_(id), view_(&view), state_(std::move(initial)) {}

    ControlId id() const { return id_; }
    const ControlState& state() const { return state_; }

    bool Visible() const { return state_.visible; }
    bool Enabled() const { return state_.enabled; }
    const std::wstring& Caption() const { return state_.caption; }
    int Left() const { return state_.left; }
    int Width() const { return state_.width; }
    float Value() const { return state_.value; }
    float Max() const { return state_.max; }
    int Interval() const { return state_.interval; }

    void setVisible(bool v) { set(state_.visible, v, Property::Visible); }
    void setEnabled(bool v) { set(state_.enabled, v, Property::Enabled); }
    void setCaption(std::wstring v) { set(state_.caption, std::move(v), Property::Caption); }
    void setLeft(int v) { set(state_.left, v, Property::Left); }
    void setWidth(int v) { set(state_.width, v, Property::Width); }
    void setValue(float v) { set(state_.value, v, Property::Value); }
    void setMax(float v) { set(state_.max, v, Property::Max); }
    void setInterval(int v) { set(state_.interval, v, Property::Interval); }

private:
    // Every assignment is reported, even of an unchanged value: the view may
    // rely on a caption set before a pump being painted by that pump.
    template <class T>
    void set(T& field, T value, Property property) {
        field = std::move(value);
        view_->changed(id_, property, state_);
    }

    ControlId id_;
    View* view_;
    ControlState state_;
};

}  // namespace car
