// The persisted preferences behind the window's settings seam: the per-user store, the
// key-path layer and the preference routines, kept together for the whole run, and the
// two small adapters that show the window and its "Auto quit window" box to them.
#pragma once

#include <QCheckBox>
#include <QWidget>

#include <cstdint>
#include <memory>

#include "texts/message.h"
#include "settings/general.h"
#include "settings/registry.h"
#include "settings/store.h"
#include "ui/services.h"

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

// The settings service of a normal run. Keep one object for the whole process: the
// values the preference routines last read carry over between loads, as the top position
// does when only "Left" could be read.
class StoredSettings final : public SettingsService {
public:
    // Uses `store`, or the current user's store (settings.ini in $XDG_CONFIG_HOME/kerfo
    // outside Windows) when it is null. The "Incorrect Format:" box of a malformed key path
    // goes to `messages`, which must outlive the object.
    explicit StoredSettings(texts::MessageSink& messages,
                            std::unique_ptr<settings::StoreBackend> store = nullptr);

    // LoadPosition, then LoadCheck. A position whose title bar would be on no screen is
    // replaced by the nearest place on the nearest screen; the store keeps its values.
    // Never fails.
    void load(QWidget& window, QCheckBox& autoQuit) override;
    // SavePosition, then SaveCheck. Store failures are silent.
    void save(const QWidget& window, const QCheckBox& autoQuit) override;

private:
    std::unique_ptr<settings::StoreBackend> m_store;
    settings::Registry m_registry;
    settings::General m_general;
};

}  // namespace kerfo::ui
