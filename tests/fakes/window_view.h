// A main window made of plain values, and recording services, for driving the window
// model without a toolkit: what a real window would show is kept here to look at. The
// gate, the jobs and the clock are scripted, so no test of the model needs a file.
#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "fakes/recording_sink.h"
#include "texts/texts.h"
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
    std::int16_t state = 0;
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
    void setPasswordLimit(int characters) override { passwordLimit = characters; }
    void setCancelText(std::string_view text) override { cancelText = text; }
    void setLabelFocused(Control c, bool on) override { labelFocused[c] = on; }
    void setCheckTip(std::string_view tip) override { checkTip = tip; }
    int checkState() const override { return check.state; }
    void setBusy(bool on) override { busy = on; }
    void repaintNow() override { log.push_back(busy ? "repaint busy" : "repaint"); }
    void showProgress(const std::optional<window::ProgressView>& shown) override {
        progress = shown;
        log.push_back(shown ? "progress " + shown->text : "no progress");
    }
    void showFiles(const std::vector<std::string>& names) override { fileList = names; }
    void showAbout() override {
        log.push_back("about");
        if (duringAbout) duringAbout();
    }
    void closeWindow() override {
        log.push_back("close");
        if (onClose) onClose();
    }
    settings::PositionTarget& position() override { return place; }
    settings::CheckTarget& autoQuitBox() override { return check; }
    window::Frame frame() const override { return {{place.x / 15, place.y / 15, 330, 170}, 24}; }
    std::vector<window::Rect> screens() const override { return screenAreas; }
    void moveFrame(window::Point corner) override {
        place.x = corner.x * 15;
        place.y = corner.y * 15;
        log.push_back("move " + std::to_string(corner.x) + "," + std::to_string(corner.y));
    }
    void remindAfter(std::chrono::milliseconds delay) override { reminder = delay; }

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
    int passwordLimit = 0;
    std::string cancelText = "&Cancel";
    std::map<Control, bool> labelFocused;
    std::string checkTip;
    bool busy = false;
    std::optional<window::ProgressView> progress;
    std::vector<std::string> fileList;
    std::vector<std::string> log;
    std::function<void()> onClose;
    std::function<void()> duringAbout;
    FakePosition place;
    FakeCheck check;
    std::vector<window::Rect> screenAreas{{0, 0, 1024, 768}};
    // The delay of the last reminder asked for; the test calls `remind` itself.
    std::optional<std::chrono::milliseconds> reminder;
};

class RecordingExit : public window::ProcessExit {
public:
    void exit(int code) override { codes.push_back(code); }
    std::vector<int> codes;
};

// Counts loads and saves; notes the window's caption at load (through `caption`) to check
// that the load ran before the gate.
class RecordingModelSettings : public window::SettingsService {
public:
    explicit RecordingModelSettings(std::function<std::string()> caption)
        : m_caption(std::move(caption)) {}
    void load(settings::PositionTarget&, settings::CheckTarget& box) override {
        ++loads;
        captionAtLoad = m_caption();
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
    std::function<std::string()> m_caption;
};

// The gate's answer, chosen by the test; by default encrypt mode on notes.txt. A file of
// several may have an answer of its own (`byFile`): a plain file unless its name ends in
// ".kfo", or the refusal "NAME refused" where its name begins with "bad".
class ScriptedGate : public window::Gate {
public:
    filejobs::GateResult check(const std::string& userFile) override {
        asked.push_back(userFile);
        if (!byFile) return result;
        if (userFile.rfind("bad", 0) == 0) {
            return {
                texts::Message{userFile + " refused", texts::Icon::kWarning, std::nullopt}, {}, {}};
        }
        const bool encrypted =
            userFile.size() > 4 && userFile.substr(userFile.size() - 4) == ".kfo";
        return {std::nullopt, encrypted ? filejobs::Mode::kDecrypt : filejobs::Mode::kEncrypt,
                std::string(texts::kCaptionPrefix) + userFile};
    }
    void decryptMode(const std::string& name = "notes.kfo") {
        result = {std::nullopt, filejobs::Mode::kDecrypt,
                  std::string(texts::kCaptionPrefix) + name};
    }
    filejobs::GateResult result{std::nullopt, filejobs::Mode::kEncrypt, "Kerfo / notes.txt"};
    bool byFile = false;
    std::vector<std::string> asked;
};

class FakeClock : public window::Clock {
public:
    std::chrono::steady_clock::time_point now() const override { return at; }
    void advance(std::chrono::milliseconds by) { at += by; }
    std::chrono::steady_clock::time_point at{};
};

// Jobs with a chosen outcome. By default a job ends inside start(), after `during` has run
// (the window as it is while the job works); with `endAtOnce` false it runs until the test
// calls progress() and end(), as a job on its own thread would.
class ScriptedJobs : public window::JobRunner {
public:
    void start(window::JobKind kind, const std::string& userFile,
               std::unique_ptr<platform::SecretString> password,
               window::JobEvents& events) override {
        kinds.push_back(kind);
        files.push_back(userFile);
        passwords.push_back(password->str());
        m_events = &events;
        if (during) during();
        if (endAtOnce) end();
    }
    void wait() noexcept override {
        ++waits;
        m_events = nullptr;
    }

    bool running() const { return m_events != nullptr; }
    void progress(std::uint64_t done, std::uint64_t total) {
        m_events->jobProgressed({done, total});
    }
    // Ends with the next of `results`, or `result` once they are used up.
    void end() {
        filejobs::JobResult next = result;
        if (!results.empty()) {
            next = results.front();
            results.pop_front();
        }
        std::exchange(m_events, nullptr)->jobEnded(next);
    }

    filejobs::JobResult result{filejobs::JobStatus::kDone, {}, {}};
    std::deque<filejobs::JobResult> results;
    bool endAtOnce = true;
    std::function<void()> during;
    std::vector<window::JobKind> kinds;
    std::vector<std::string> files;
    std::vector<std::string> passwords;
    int waits = 0;

private:
    window::JobEvents* m_events = nullptr;
};

}  // namespace kerfo::test
