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

StoredSettings::StoredSettings(texts::MessageSink& messages, std::unique_ptr<settings::StoreBackend> store)
    : m_store(store ? std::move(store) : settings::openUserStore()),
      m_registry(*m_store, messages),
      m_general(m_registry) {}

void StoredSettings::load(QWidget& window, QCheckBox& autoQuit) {
    WindowPosition position(window);
    m_general.LoadPosition(position);
    // The stored corner may lie off every screen now (a monitor unplugged since): the window
    // then opens on the nearest one. The stored values stay until the next save.
    keepTitleBarOnScreen(window);
    CheckBoxState state(autoQuit);
    m_general.LoadCheck(state);
}

void StoredSettings::save(const QWidget& window, const QCheckBox& autoQuit) {
    // Saving only reads the controls: the adapters are handed over as const, so nothing
    // can move the window or change the box through them.
    const WindowPosition position(const_cast<QWidget&>(window));
    m_general.SavePosition(position);
    const CheckBoxState state(const_cast<QCheckBox&>(autoQuit));
    m_general.SaveCheck(state);
}

}  // namespace kerfo::ui
