// The two small adapters that show the Qt window and its "Auto quit window" box to the
// preference routines (settings/general.h), which the window model runs.
#pragma once

#include <QCheckBox>
#include <QWidget>

#include <cstdint>

#include "settings/general.h"

namespace kerfo::ui {

// A top-level window's position in twips (logical pixels times 15), meaning the top-left
// corner of its frame, title bar included, before and after the window is shown (see
// window_placement.h). Positions are applied as they come, off the screen too.
// `window` must outlive the object.
class WindowPosition final : public settings::PositionTarget {
public:
    explicit WindowPosition(QWidget& window) : m_window(window) {}

    // False on native Wayland, where a window is never told where it is.
    bool known() const override;
    std::int32_t left() const override;
    void setLeft(std::int32_t twips) override;
    std::int32_t top() const override;
    void setTop(std::int32_t twips) override;

private:
    QWidget& m_window;
};

// A check box's state as 0 cleared, 1 ticked, 2 greyed (Qt::PartiallyChecked). Any other
// value is refused and leaves the box as it was. `box` must outlive the object.
class CheckBoxState final : public settings::CheckTarget {
public:
    explicit CheckBoxState(QCheckBox& box) : m_box(box) {}

    std::int16_t value() const override;
    bool setValue(std::int16_t state) override;

private:
    QCheckBox& m_box;
};

}  // namespace kerfo::ui
