// Stand-ins for the Qt window's own services: they record what the window asks for instead
// of showing boxes or opening a browser. Ending, the settings, the gate, the jobs and their
// clock are the window model's, so their stand-ins are shared with its tests
// (fakes/window_view.h).
#pragma once

#include <QDate>
#include <QUrl>

#include <functional>
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

}  // namespace kerfo::test
