#include "window/main_model.h"

#include <memory>

#include "filejobs/gate.h"
#include "filejobs/messages.h"
#include "platform/secret.h"
#include "texts/texts.h"

namespace kerfo::window {

void StoredSettings::load(settings::PositionTarget& window, settings::CheckTarget& autoQuit) {
    m_general.LoadPosition(window);
    m_general.LoadCheck(autoQuit);
}

void StoredSettings::save(const settings::PositionTarget& window, const settings::CheckTarget& autoQuit) {
    m_general.SavePosition(window);
    m_general.SaveCheck(autoQuit);
}

filejobs::JobResult FileJobRunner::encrypt(const std::string& userFile, std::string_view password) {
    return filejobs::Encrypt(userFile, password);
}

filejobs::JobResult FileJobRunner::decrypt(const std::string& userFile, std::string_view password) {
    return filejobs::Decrypt(userFile, password);
}

namespace {

std::size_t index(Control control) {
    return static_cast<std::size_t>(control);
}

// The first box's password in a copy that is wiped when the job is done with it.
std::unique_ptr<platform::SecretString> passwordForJob(const MainView& view) {
    std::string typed = view.password(Control::kTxtPassword1);
    auto secret = std::make_unique<platform::SecretString>(typed);
    platform::wipe(typed);
    return secret;
}

}  // namespace

MainModel::MainModel(MainView& view, const MainServices& services) : m_view(view), m_services(services) {
    m_view.setCaption(texts::kDesignCaption);
    m_view.setLabelFocused(Control::kLblPassword1, false);
    m_view.setLabelFocused(Control::kLblPassword2, false);
}

bool MainModel::enabled(Control control) const {
    return m_enabled[index(control)];
}

void MainModel::setEnabled(Control control, bool enabled) {
    m_enabled[index(control)] = enabled;
    m_view.setEnabled(control, enabled);
}

bool MainModel::load(const std::string& userFile) {
    m_services.settings->load(m_view.position(), m_view.autoQuitBox());
    m_userFile = userFile;
    const filejobs::GateResult gate = filejobs::checkAll(m_userFile);
    if (gate.refusal) {
        m_services.messages->show(*gate.refusal);
        return false;
    }
    applyMode(gate.mode, gate.caption);
    return true;
}

void MainModel::applyMode(filejobs::Mode mode, const std::string& caption) {
    const bool decrypt = mode == filejobs::Mode::kDecrypt;
    setEnabled(Control::kCmdEncrypt, !decrypt);
    setEnabled(Control::kCmdDecrypt, decrypt);
    setEnabled(Control::kLblPassword2, !decrypt);
    setEnabled(Control::kTxtPassword2, !decrypt);
    if (decrypt) {
        m_view.clearPassword(Control::kTxtPassword2);
    }
    m_view.setDefaultButton(decrypt ? Control::kCmdDecrypt : Control::kCmdEncrypt);
    setEnabled(Control::kLblPassword1, true);
    setEnabled(Control::kTxtPassword1, true);
    m_view.setFocus(Control::kTxtPassword1);
    if (!caption.empty()) {
        m_view.setCaption(caption);
    }
    m_state = decrypt ? State::kDecrypt : State::kEncrypt;
}

void MainModel::encryptClicked() {
    if (!enabled(Control::kCmdEncrypt) || m_state == State::kClosed) {
        return;
    }
    std::string first = m_view.password(Control::kTxtPassword1);
    std::string second = m_view.password(Control::kTxtPassword2);
    const bool same = first == second;
    platform::wipe(first);
    platform::wipe(second);
    if (!same) {
        m_services.messages->show(texts::Message{std::string(texts::kPasswordsDiffer), texts::Icon::kWarning,
                                                    std::string(texts::kAppTitle)});
        m_view.setFocus(Control::kTxtPassword2);
        m_view.selectFocusedText();
        return;
    }
    enterWorking();
    const filejobs::JobResult result = m_services.jobs->encrypt(m_userFile, passwordForJob(m_view)->str());
    if (result.status == filejobs::JobStatus::kDone) {
        finish();
    } else {
        // A failed encryption is fatal: the box, then the end, without a close (nothing is
        // saved). The plain file is still there, untouched.
        m_services.messages->show(filejobs::encryptFailureMessage(result, m_userFile));
        m_services.exit->exit(1);
    }
    m_view.setBusy(false);
}

void MainModel::decryptClicked() {
    if (!enabled(Control::kCmdDecrypt) || m_state == State::kClosed) {
        return;
    }
    enterWorking();
    const filejobs::JobResult result = m_services.jobs->decrypt(m_userFile, passwordForJob(m_view)->str());
    switch (result.status) {
        case filejobs::JobStatus::kDone:
            finish();
            break;
        case filejobs::JobStatus::kWrongPassword:
            // Retry: the same box again, its text selected; Cancel stays off.
            m_state = State::kRetry;
            m_services.messages->show(filejobs::wrongPasswordMessage());
            m_view.setFocus(Control::kTxtPassword1);
            m_view.selectFocusedText();
            setEnabled(Control::kLblPassword1, true);
            setEnabled(Control::kCmdDecrypt, true);
            break;
        case filejobs::JobStatus::kFailed:
            // Stuck: only About, the auto-quit box and the close box are left.
            m_state = State::kStuck;
            m_services.messages->show(filejobs::decryptErrorReport(result, m_userFile));
            break;
    }
    m_view.setBusy(false);
}

void MainModel::enterWorking() {
    m_state = State::kWorking;
    m_view.setBusy(true);
    setEnabled(Control::kCmdEncrypt, false);
    setEnabled(Control::kCmdDecrypt, false);
    setEnabled(Control::kCmdCancel, false);
    m_view.repaintNow();
}

void MainModel::finish() {
    m_state = State::kFinished;
    setEnabled(Control::kCmdCancel, true);
    m_view.setCancelText(texts::kDone);
    m_view.setFocus(Control::kCmdCancel);
    m_view.setDefaultButton(Control::kCmdCancel);
    setEnabled(Control::kLblPassword1, false);
    setEnabled(Control::kLblPassword2, false);
    setEnabled(Control::kTxtPassword1, false);
    setEnabled(Control::kTxtPassword2, false);
    // The job is done: the password has no further use, so the boxes let go of it.
    m_view.clearPassword(Control::kTxtPassword1);
    m_view.clearPassword(Control::kTxtPassword2);
    // Only a plain tick ends the program; the greyed state does not.
    if (m_view.checkState() == 1) {
        closeAction();
    }
}

void MainModel::cancelClicked() {
    if (enabled(Control::kCmdCancel)) {
        closeAction();
    }
}

void MainModel::escapePressed() {
    cancelClicked();
}

void MainModel::closeAction() {
    if (m_state == State::kClosed) {
        return;
    }
    m_view.closeWindow();
    m_services.exit->exit(0);
}

void MainModel::aboutClicked() {
    if (m_state != State::kClosed) {
        m_view.showAbout();
    }
}

void MainModel::check1MouseMove() {
    // With neither action button enabled the tip keeps its last text.
    if (enabled(Control::kCmdEncrypt)) {
        m_view.setCheckTip(texts::kQuickExitEncrypt);
    }
    if (enabled(Control::kCmdDecrypt)) {
        m_view.setCheckTip(texts::kQuickExitDecrypt);
    }
}

void MainModel::passwordFocusChanged(Control box, bool gained) {
    if (box == Control::kTxtPassword1) {
        m_view.setLabelFocused(Control::kLblPassword1, gained);
    } else if (box == Control::kTxtPassword2) {
        m_view.setLabelFocused(Control::kLblPassword2, gained);
    }
}

void MainModel::queryUnload() {
    if (m_state == State::kClosed) {
        return;
    }
    save();
    m_state = State::kClosed;
}

void MainModel::unload() {
    // Only a window that was closed unloads; one refused at start-up never loaded.
    if (m_state == State::kClosed) {
        save();
    }
}

void MainModel::save() {
    m_services.settings->save(m_view.position(), m_view.autoQuitBox());
}

}  // namespace kerfo::window
