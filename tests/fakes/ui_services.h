// Stand-ins for the Qt window's services: they record what the window asks for instead of
// showing boxes, opening a browser or ending the test process. Ending and the jobs are the
// window model's, so their stand-ins are shared with its tests (fakes/window_view.h).
#pragma once

#include <QCheckBox>
#include <QWidget>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "fakes/window_view.h"
#include "ui/services.h"

namespace kerfo::test {

// Records every box. `onShow` runs while the "box is open", to look at the window then.
class RecordingMessages : public texts::MessageSink {
public:
    void show(const texts::Message& message) override {
        messages.push_back(message);
        if (onShow) {
            onShow(message);
        }
    }

    std::vector<texts::Message> messages;
    std::function<void(const texts::Message&)> onShow;
};

class FixedClock : public ui::Clock {
public:
    explicit FixedClock(QDate date) : date(date) {}
    QDate today() const override { return date; }
    QDate date;
};

class RecordingLinks : public ui::LinkOpener {
public:
    void open(const QUrl& address) override { opened.push_back(address); }
    std::vector<QUrl> opened;
};

// Counts the seam's calls and notes what the window looked like at each.
class RecordingSettings : public ui::SettingsService {
public:
    void load(QWidget& window, QCheckBox& autoQuit) override {
        ++loads;
        captionAtLoad = window.windowTitle();
        if (checkToLoad) {
            autoQuit.setCheckState(*checkToLoad);
        }
    }
    void save(const QWidget&, const QCheckBox& autoQuit) override {
        ++saves;
        savedChecks.push_back(autoQuit.checkState());
    }

    int loads = 0;
    int saves = 0;
    QString captionAtLoad;
    std::optional<Qt::CheckState> checkToLoad;
    std::vector<Qt::CheckState> savedChecks;
};

}  // namespace kerfo::test
