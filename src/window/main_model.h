// The main window's behaviour without any toolkit: its states from start-up to the finished
// job, which control is enabled, default and focused, the texts it shows, what Enter, Esc
// and each click do, when the settings are loaded and saved, where the window may open,
// auto quit, retry and stuck, the job run away from the window's thread with its progress,
// a close asked for while the job runs, and several files under one password (one job
// after another, a file handed over by another start while the password is still to be
// typed). A window (Qt or Win32) creates the controls, forwards its events here and shows
// what the model tells it through `MainView`.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "filejobs/gate.h"
#include "filejobs/jobs.h"
#include "platform/secret.h"
#include "settings/general.h"
#include "texts/message.h"
#include "window/batch.h"
#include "window/hand_over.h"
#include "window/job_runner.h"
#include "window/placement.h"
#include "window/services.h"

namespace kerfo::window {

// The controls of `frmmain`, in tab order, then the two labels.
enum class Control {
    kTxtPassword1,
    kTxtPassword2,
    kCmdEncrypt,
    kCmdDecrypt,
    kCmdCancel,
    kCmdAbout,
    kCheck1,
    kLblPassword1,
    kLblPassword2,
};

// The most characters a password box takes (the most the Qt box can hold).
inline constexpr int kPasswordLimit = 32767;

// How far the running job has come, as the window shows it.
struct ProgressView {
    int percent = 0;  // 0 to 100
    // The file and the percentage, for the bar's text and for screen readers.
    std::string text;
    friend bool operator==(const ProgressView&, const ProgressView&) = default;
};

// What the model asks of the window. Every call acts at once; none fails.
class MainView {
public:
    virtual ~MainView() = default;

    virtual void setCaption(std::string_view caption) = 0;
    virtual void setEnabled(Control control, bool enabled) = 0;
    // Makes `button` the button Enter presses while no other button has the focus.
    virtual void setDefaultButton(Control button) = 0;
    virtual void setFocus(Control control) = 0;
    // Selects the whole text of the password box that has the focus; nothing otherwise.
    virtual void selectFocusedText() = 0;
    // The box's text as UTF-8; the caller wipes its copy.
    virtual std::string password(Control box) const = 0;
    virtual void clearPassword(Control box) = 0;
    // Both password boxes take at most `characters` characters from now on.
    virtual void setPasswordLimit(int characters) = 0;
    virtual void setCancelText(std::string_view text) = 0;
    // The focus colour (true) or the button-text colour on a password label.
    virtual void setLabelFocused(Control label, bool focused) = 0;
    virtual void setCheckTip(std::string_view tip) = 0;
    // The auto-quit box: 0 cleared, 1 ticked, 2 greyed.
    virtual int checkState() const = 0;
    // Busy (hourglass) or normal pointer over the whole window.
    virtual void setBusy(bool busy) = 0;
    // Paints every pending change before returning.
    virtual void repaintNow() = 0;
    // Shows the running job's progress in the window, or (nullopt) takes it away.
    virtual void showProgress(const std::optional<ProgressView>& progress) = 0;
    // Shows the names of the files the window works on in a list screen readers read, or
    // (empty) no list, as for one file.
    virtual void showFiles(const std::vector<std::string>& names) = 0;
    // Shows the about box modally; returns when it is closed.
    virtual void showAbout() = 0;
    // Closes the window; the window reports it with `queryUnload` (which may refuse) and,
    // once it is gone, `unload`.
    virtual void closeWindow() = 0;
    // Where the settings read and write the window's position and the auto-quit box.
    virtual settings::PositionTarget& position() = 0;
    virtual settings::CheckTarget& autoQuitBox() = 0;
    // The window's frame where it will open, in the pixels the toolkit places frames in,
    // with the height of its title bar (an estimate while no frame has been drawn yet).
    virtual Frame frame() const = 0;
    // The work areas of the connected screens, in the same pixels; empty when unknown.
    virtual std::vector<Rect> screens() const = 0;
    // Puts the frame's outer top-left corner at `corner`.
    virtual void moveFrame(Point corner) = 0;
    // Calls the model's `remind` once, on the window's thread, when `delay` has passed; a
    // second call before then moves that moment to `delay` from the second.
    virtual void remindAfter(std::chrono::milliseconds delay) = 0;
};

// Everything the model needs from outside; none may be null, each must outlive the model.
struct MainServices {
    texts::MessageSink* messages;
    ProcessExit* exit;
    SettingsService* settings;
    Gate* gate;
    JobRunner* jobs;
    Clock* clock;
};

enum class State { kDesign, kEncrypt, kDecrypt, kWorking, kFinished, kRetry, kStuck, kClosed };

class MainModel final : private JobEvents {
public:
    // `view` must outlive the model. Puts the view in its design-time look: caption
    // "Kerfo ", no default button, the auto-quit box ticked, the password limit.
    MainModel(MainView& view, const MainServices& services);
    // A job still running is let come to its end first; nothing it reports is shown.
    ~MainModel() override;
    MainModel(const MainModel&) = delete;
    MainModel& operator=(const MainModel&) = delete;

    // Loading: restores the settings, moves the window onto a screen if the stored place
    // is on none, takes `userFile` (the whole command-line tail) and runs the gate. False
    // when the gate refused the file: its box has been shown, nothing is saved and the
    // program must end without showing the window.
    bool load(const std::string& userFile);
    // The same for the files of one start (see targetFiles), each through the gate as
    // selectFiles decides: its box is shown first; false when no file is left to work on.
    bool load(const std::vector<std::string>& files);

    // Another start offers `file`. A window waiting for its password (no job started)
    // takes a file of its own kind that the gate lets through, and works on it with its
    // others; a file it has already is taken as it is. One the gate refuses is taken too,
    // and named with the other refused ones in one box, kRefusalsSettle after the last of
    // them or, if sooner, when a job starts or the window closes. Never fails.
    HandOver handOver(const std::string& file);
    // The delay asked for with MainView::remindAfter is over.
    void remind();

    // Events. Each is ignored where the control it comes from is disabled.
    void encryptClicked();
    void decryptClicked();
    void cancelClicked();
    void aboutClicked();
    // A click (or Space) on the auto-quit box: greyed becomes ticked, then it toggles.
    void check1Clicked();
    // Esc runs the close action while Cancel/Done is enabled, else nothing.
    void escapePressed();
    void check1MouseMove();
    void passwordFocusChanged(Control box, bool gained);
    // The window is asked to close (query-unload). False while a job runs: the window must
    // stay; it is closed once the job has ended and its outcome has been shown. Otherwise
    // saves and returns true; the window then goes.
    bool queryUnload();
    // The window has gone (unload): saves once more.
    void unload();

    State state() const { return m_state; }
    bool enabled(Control control) const;
    // The files the jobs work on, in their order; one but for several.
    const std::vector<std::string>& files() const { return m_files; }

private:
    void jobProgressed(const JobProgress& progress) override;
    void jobEnded(const filejobs::JobResult& result) override;

    void setEnabled(Control control, bool enabled);
    void applyMode(filejobs::Mode mode, const std::string& caption);
    void keepReachable();
    bool batch() const { return m_files.size() > 1; }
    void showFileList();
    // Shows the box of the handed-over files the gate refused, if any wait for it; more
    // that arrive while it shows follow in the next.
    void showLateRefusals();
    void startJob(JobKind kind);
    void runCurrentJob();
    void showProgress(std::uint64_t done, std::uint64_t total);
    void hideProgress();
    void endJob(const filejobs::JobResult& result);
    void endSingleJob(const filejobs::JobResult& result);
    // One file of several has ended: records it and runs the next one (false), or ends the
    // batch (true).
    bool endBatchJob(const filejobs::JobResult& result);
    void retry();
    void finish(bool mayQuit = true);
    void closeAction();
    void endProgram(int code);
    void save();

    MainView& m_view;
    MainServices m_services;
    State m_state = State::kDesign;
    std::vector<std::string> m_files;
    // The gate's texts for handed-over files it refused, still to be shown.
    std::vector<std::string> m_lateRefusals;
    bool m_showingRefusals = false;
    // Indexed by Control; every control starts enabled.
    std::array<bool, 9> m_enabled{true, true, true, true, true, true, true, true, true};

    JobKind m_jobKind = JobKind::kEncrypt;
    // The password the click started with, for each job it runs; wiped at the end.
    std::unique_ptr<platform::SecretString> m_password;
    // Which of m_files runs, and how the ones before it ended.
    std::size_t m_current = 0;
    std::vector<FileOutcome> m_outcomes;
    // When the click started the jobs.
    std::chrono::steady_clock::time_point m_jobStart;
    bool m_progressShown = false;
    // A job that ended while the about box was open, shown once it closes.
    bool m_aboutOpen = false;
    std::optional<filejobs::JobResult> m_endedDuringAbout;
    // The window was asked to close while the job ran.
    bool m_closeAfterJob = false;
    bool m_ending = false;
};

}  // namespace kerfo::window
