// A main window made of plain values, and recording services, for driving the window
// model without a toolkit: what a real window would show is kept here to look at.
#pragma once

#include <functional>
#include <optional>
#include <map>
#include <string>
#include <vector>

#include "fakes/recording_sink.h"
#include "window/main_model.h"

namespace kerfo::test {

class FakePosition : public settings::PositionTarget {
public:
    bool known() const override { return true; }
    std::int32_t left() const override { return x; }
    void setLeft(std::int32_t twips) override { x = twips; }
    std::int32_t top() const override { return y; }
    void setTop(std::int32_t twips) override { y = twips; }
    std::int32_t x = 1500, y = 1500;
};

class FakeCheck : public settings::CheckTarget {
public:
    std::int16_t value() const override { return state; }
    bool setValue(std::int16_t v) override {
        if (v < 0 || v > 2) return false;
        state = v;
        return true;
    }
    std::int16_t state = 1;  // ticked at design time
};

class FakeView : public window::MainView {
public:
    using Control = window::Control;

    void setCaption(std::string_view text) override { caption = text; }
    void setEnabled(Control c, bool on) override { enabled[c] = on; }
    void setDefaultButton(Control c) override { defaultButton = c; }
    void setFocus(Control c) override {
        focus = c;
        selected = false;
    }
    void selectFocusedText() override { selected = focus == Control::kTxtPassword1 || focus == Control::kTxtPassword2; }
    std::string password(Control c) const override {
        const auto it = passwords.find(c);
        return it == passwords.end() ? std::string() : it->second;
    }
    void clearPassword(Control c) override { passwords[c].clear(); }
    void setCancelText(std::string_view text) override { cancelText = text; }
    void setLabelFocused(Control c, bool on) override { labelFocused[c] = on; }
    void setCheckTip(std::string_view tip) override { checkTip = tip; }
    int checkState() const override { return check.state; }
    void setBusy(bool on) override { busy = on; }
    void repaintNow() override { log.push_back(busy ? "repaint busy" : "repaint"); }
    void showAbout() override { log.push_back("about"); }
    void closeWindow() override {
        log.push_back("close");
        if (onClose) onClose();
    }
    settings::PositionTarget& position() override { return place; }
    settings::CheckTarget& autoQuitBox() override { return check; }

    bool isEnabled(Control c) const {
        const auto it = enabled.find(c);
        return it == enabled.end() || it->second;  // enabled unless told otherwise
    }

    std::string caption;
    std::map<Control, bool> enabled;
    std::optional<Control> defaultButton;
    std::optional<Control> focus;
    bool selected = false;
    std::map<Control, std::string> passwords;
    std::string cancelText = "&Cancel";
    std::map<Control, bool> labelFocused;
    std::string checkTip;
    bool busy = false;
    std::vector<std::string> log;
    std::function<void()> onClose;
    FakePosition place;
    FakeCheck check;
};

class RecordingExit : public window::ProcessExit {
public:
    void exit(int code) override { codes.push_back(code); }
    std::vector<int> codes;
};

// Counts loads and saves; notes the caption at load to check it ran before the gate.
class RecordingModelSettings : public window::SettingsService {
public:
    explicit RecordingModelSettings(const FakeView& view) : m_view(view) {}
    void load(settings::PositionTarget&, settings::CheckTarget& box) override {
        ++loads;
        captionAtLoad = m_view.caption;
        if (checkToLoad) box.setValue(*checkToLoad);
    }
    void save(const settings::PositionTarget&, const settings::CheckTarget& box) override {
        ++saves;
        savedChecks.push_back(box.value());
    }
    int loads = 0;
    int saves = 0;
    std::string captionAtLoad;
    std::optional<std::int16_t> checkToLoad;
    std::vector<std::int16_t> savedChecks;

private:
    const FakeView& m_view;
};

// Jobs with a chosen outcome; `during` runs inside the job, while the window is working.
class ScriptedJobs : public window::JobRunner {
public:
    filejobs::JobResult encrypt(const std::string&, std::string_view password) override { return run(password); }
    filejobs::JobResult decrypt(const std::string&, std::string_view password) override { return run(password); }

    filejobs::JobResult result;
    std::function<void()> during;
    std::vector<std::string> passwords;

private:
    filejobs::JobResult run(std::string_view password) {
        passwords.emplace_back(password);
        if (during) during();
        return result;
    }
};

}  // namespace kerfo::test
