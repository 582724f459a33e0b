// The main window's behaviour without any toolkit: its states from start-up to the finished
// job, which control is enabled, default and focused, the texts it shows, what Enter, Esc
// and each click do, when the settings are loaded and saved, auto quit, retry and stuck.
// A window (Qt or Win32) creates the controls, forwards its events here and shows what
// the model tells it through `MainView`.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "filejobs/gate.h"
#include "filejobs/jobs.h"
#include "texts/message.h"
#include "settings/general.h"

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
    virtual void setCancelText(std::string_view text) = 0;
    // The focus colour (true) or the button-text colour on a password label.
    virtual void setLabelFocused(Control label, bool focused) = 0;
    virtual void setCheckTip(std::string_view tip) = 0;
    // The auto-quit box: 0 cleared, 1 ticked, 2 greyed.
    virtual int checkState() const = 0;
    // Busy (hourglass) or normal pointer over the whole window.
    virtual void setBusy(bool busy) = 0;
    // Paints every pending change before returning: the job then holds the thread.
    virtual void repaintNow() = 0;
    // Shows the about box modally; returns when it is closed.
    virtual void showAbout() = 0;
    // Closes the window for good; the window reports it with `queryUnload` and `unload`.
    virtual void closeWindow() = 0;
    // Where the settings read and write the window's position and the auto-quit box.
    virtual settings::PositionTarget& position() = 0;
    virtual settings::CheckTarget& autoQuitBox() = 0;
};

// The persisted preferences. `load` runs first while the window loads, before the command
// line is read; `save` on the query-unload and again on the unload. Failures stay silent.
class SettingsService {
public:
    virtual ~SettingsService() = default;
    virtual void load(settings::PositionTarget& window, settings::CheckTarget& autoQuit) = 0;
    virtual void save(const settings::PositionTarget& window, const settings::CheckTarget& autoQuit) = 0;
};

// The settings of a normal run: LoadPosition then LoadCheck, SavePosition then SaveCheck,
// through one `General` kept for the whole process (its last values carry over).
class StoredSettings final : public SettingsService {
public:
    // `general` must outlive the object.
    explicit StoredSettings(settings::General& general) : m_general(general) {}
    void load(settings::PositionTarget& window, settings::CheckTarget& autoQuit) override;
    void save(const settings::PositionTarget& window, const settings::CheckTarget& autoQuit) override;

private:
    settings::General& m_general;
};

// The two file jobs; `password` is UTF-8.
class JobRunner {
public:
    virtual ~JobRunner() = default;
    virtual filejobs::JobResult encrypt(const std::string& userFile, std::string_view password) = 0;
    virtual filejobs::JobResult decrypt(const std::string& userFile, std::string_view password) = 0;
};

// filejobs::Encrypt and filejobs::Decrypt on the real file system and clock.
class FileJobRunner final : public JobRunner {
public:
    filejobs::JobResult encrypt(const std::string& userFile, std::string_view password) override;
    filejobs::JobResult decrypt(const std::string& userFile, std::string_view password) override;
};

// Ends the program with `code` once the running event handler has returned.
class ProcessExit {
public:
    virtual ~ProcessExit() = default;
    virtual void exit(int code) = 0;
};

// Everything the model needs from outside; none may be null, each must outlive the model.
struct MainServices {
    texts::MessageSink* messages;
    ProcessExit* exit;
    SettingsService* settings;
    JobRunner* jobs;
};

enum class State { kDesign, kEncrypt, kDecrypt, kWorking, kFinished, kRetry, kStuck, kClosed };

class MainModel {
public:
    // `view` must outlive the model. Puts the view in its design-time look: caption
    // "Kerfo ", no default button, the auto-quit box as the view made it.
    MainModel(MainView& view, const MainServices& services);

    // Loading: restores the settings, takes `userFile` (the whole command-line tail) and
    // runs the gate. False when the gate refused the file: its box has been shown, nothing
    // is saved and the program must end without showing the window.
    bool load(const std::string& userFile);

    // Events. Each is ignored where the control it comes from is disabled.
    void encryptClicked();
    void decryptClicked();
    void cancelClicked();
    void aboutClicked();
    // Esc runs the close action while Cancel/Done is enabled, else nothing.
    void escapePressed();
    void check1MouseMove();
    void passwordFocusChanged(Control box, bool gained);
    // The window is closing (query-unload) and has gone (unload): each saves once.
    void queryUnload();
    void unload();

    State state() const { return m_state; }
    bool enabled(Control control) const;
    const std::string& userFile() const { return m_userFile; }

private:
    void setEnabled(Control control, bool enabled);
    void applyMode(filejobs::Mode mode, const std::string& caption);
    void enterWorking();
    void finish();
    void closeAction();
    void save();

    MainView& m_view;
    MainServices m_services;
    State m_state = State::kDesign;
    std::string m_userFile;
    // Indexed by Control; every control starts enabled.
    std::array<bool, 9> m_enabled{true, true, true, true, true, true, true, true, true};
};

}  // namespace kerfo::window
