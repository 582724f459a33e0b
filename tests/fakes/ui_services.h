// Stand-ins for the window's services: they record what the window asks for instead of
// showing boxes, opening a browser or ending the test process.
#pragma once

#include <QCheckBox>
#include <QWidget>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ui/services.h"

namespace kerfo::test {

// Records every box. `onShow` runs while the "box is open", to look at the window then.
class RecordingMessages : public platform::MessageSink {
public:
    void show(const platform::Message& message) override {
        messages.push_back(message);
        if (onShow) {
            onShow(message);
        }
    }

    std::vector<platform::Message> messages;
    std::function<void(const platform::Message&)> onShow;
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

class RecordingExit : public ui::ProcessExit {
public:
    void exit(int code) override { codes.push_back(code); }
    std::vector<int> codes;
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

// Jobs with a chosen outcome; `during` runs inside the job, while the window is working.
class ScriptedJobs : public ui::JobRunner {
public:
    filejobs::JobResult encrypt(const std::string& userFile, std::string_view password) override {
        return run(userFile, password);
    }
    filejobs::JobResult decrypt(const std::string& userFile, std::string_view password) override {
        return run(userFile, password);
    }

    filejobs::JobResult result;
    std::function<void()> during;
    std::vector<std::string> passwords;

private:
    filejobs::JobResult run(const std::string&, std::string_view password) {
        passwords.emplace_back(password);
        if (during) {
            during();
        }
        return result;
    }
};

}  // namespace kerfo::test
