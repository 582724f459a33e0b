#include "ui/settings_adapter.h"

#include <QGuiApplication>

#include <utility>

#include "ui/window_placement.h"

namespace kerfo::ui {

bool WindowPosition::known() const {
    return !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

std::int32_t WindowPosition::left() const {
    return settings::pixelsToTwips(framePosition(m_window).x());
}

void WindowPosition::setLeft(std::int32_t twips) {
    moveFrameTo(m_window, QPoint(settings::twipsToPixels(twips), framePosition(m_window).y()));
}

std::int32_t WindowPosition::top() const {
    return settings::pixelsToTwips(framePosition(m_window).y());
}

void WindowPosition::setTop(std::int32_t twips) {
    moveFrameTo(m_window, QPoint(framePosition(m_window).x(), settings::twipsToPixels(twips)));
}

std::int16_t CheckBoxState::value() const {
    switch (m_box.checkState()) {
        case Qt::Unchecked:
            return 0;
        case Qt::Checked:
            return 1;
        case Qt::PartiallyChecked:
            return 2;
    }
    return 0;
}

bool CheckBoxState::setValue(std::int16_t state) {
    switch (state) {
        case 0:
            m_box.setCheckState(Qt::Unchecked);
            return true;
        case 1:
            m_box.setCheckState(Qt::Checked);
            return true;
        case 2:
            // Shows the box greyed; setCheckState makes it three-state for that.
            m_box.setCheckState(Qt::PartiallyChecked);
            return true;
        default:
            return false;
    }
}

}  // namespace kerfo::ui
