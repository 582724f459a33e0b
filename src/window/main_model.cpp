#include "window/main_model.h"

#include <algorithm>
#include <memory>
#include <string>
#include <utility>

#include "filejobs/messages.h"
#include "filejobs/paths.h"
#include "filejobs/progress.h"
#include "platform/secret.h"
#include "texts/texts.h"

namespace kerfo::window {

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
    m_view.setPasswordLimit(kPasswordLimit);
    // Ticked at design time; the stored preference replaces it while loading.
    m_view.autoQuitBox().setValue(1);
}

MainModel::~MainModel() {
    if (m_state == State::kWorking) {
        m_services.jobs->wait();
    }
}

bool MainModel::enabled(Control control) const {
    return m_enabled[index(control)];
}

void MainModel::setEnabled(Control control, bool enabled) {
    m_enabled[index(control)] = enabled;
    m_view.setEnabled(control, enabled);
}

bool MainModel::load(const std::string& userFile) {
    return load(std::vector<std::string>{userFile});
}

bool MainModel::load(const std::vector<std::string>& files) {
    m_services.settings->load(m_view.position(), m_view.autoQuitBox());
    keepReachable();
    const Selection selection = selectFiles(
        files.empty() ? std::vector<std::string>{std::string()} : files, *m_services.gate);
    if (selection.box) {
        m_services.messages->show(*selection.box);
    }
    if (selection.files.empty()) {
        return false;
    }
    m_files = selection.files;
    applyMode(selection.mode, selection.caption);
    if (batch()) {
        showFileList();
    }
    return true;
}

void MainModel::showFileList() {
    std::vector<std::string> names;
    for (const std::string& file : m_files) {
        names.push_back(filejobs::GetFileName(file, filejobs::kPathSeparator));
    }
    m_view.showFiles(names);
}

HandOver MainModel::handOver(const std::string& file) {
    // Only a window still waiting for its password: once a job has started, the files are
    // settled.
    if (m_state != State::kEncrypt && m_state != State::kDecrypt) {
        return HandOver::kBusy;
    }
    if (std::find(m_files.begin(), m_files.end(), file) != m_files.end()) {
        return HandOver::kTaken;
    }
    const filejobs::GateResult gate = m_services.gate->check(file);
    if (gate.refusal) {
        // Explorer starts one Kerfo per selected file: the refused ones of a selection are
        // named together, once its starts have come in.
        m_lateRefusals.push_back(gate.refusal->text);
        m_view.remindAfter(kRefusalsSettle);
        return HandOver::kTaken;
    }
    if ((gate.mode == filejobs::Mode::kDecrypt) != (m_state == State::kDecrypt)) {
        return HandOver::kBusy;
    }
    m_files.push_back(file);
    m_view.setCaption(filesCaption(m_files.size()));
    showFileList();
    return HandOver::kTaken;
}

void MainModel::remind() {
    showLateRefusals();
}

void MainModel::showLateRefusals() {
    // The box runs its own message loop, in which more files may be handed over and the
    // reminder may come: the loop below shows those once this box has closed.
    if (m_showingRefusals) {
        return;
    }
    m_showingRefusals = true;
    while (!m_lateRefusals.empty()) {
        const std::vector<std::string> refusals = std::exchange(m_lateRefusals, {});
        m_services.messages->show(refusalsBox(refusals, true));
    }
    m_showingRefusals = false;
}

void MainModel::keepReachable() {
    // The stored place may lie off every screen now (a monitor unplugged since): the window
    // then opens on the nearest one. The stored values stay until the next save.
    const Frame frame = m_view.frame();
    const Point placed = reachablePosition(frame, m_view.screens());
    if (placed != frame.outer.corner()) {
        m_view.moveFrame(placed);
    }
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
        m_services.messages->show(texts::Message{std::string(texts::kPasswordsDiffer),
                                                 texts::Icon::kWarning,
                                                 std::string(texts::kAppTitle)});
        m_view.setFocus(Control::kTxtPassword2);
        m_view.selectFocusedText();
        return;
    }
    startJob(JobKind::kEncrypt);
}

void MainModel::decryptClicked() {
    if (!enabled(Control::kCmdDecrypt) || m_state == State::kClosed) {
        return;
    }
    startJob(JobKind::kDecrypt);
}

void MainModel::startJob(JobKind kind) {
    showLateRefusals();
    // A retry goes on with the file that refused the password; a click in the mode starts
    // with the first file.
    if (m_state != State::kRetry) {
        m_current = 0;
        m_outcomes.clear();
    }
    m_state = State::kWorking;
    m_jobKind = kind;
    m_jobStart = m_services.clock->now();
    m_progressShown = false;
    m_view.setBusy(true);
    setEnabled(Control::kCmdEncrypt, false);
    setEnabled(Control::kCmdDecrypt, false);
    setEnabled(Control::kCmdCancel, false);
    m_view.repaintNow();
    // Read once: the box may change while the jobs run, the password may not.
    m_password = passwordForJob(m_view);
    runCurrentJob();
}

void MainModel::runCurrentJob() {
    m_state = State::kWorking;
    // A later file of several shows at once which it is, when the jobs have run long
    // enough for their progress to show.
    if (m_current > 0 &&
        (m_progressShown || m_services.clock->now() - m_jobStart >= filejobs::kProgressDelay)) {
        showProgress(0, 1);
    }
    // Last: the runner may tell the end before it returns.
    m_services.jobs->start(m_jobKind, m_files[m_current],
                           std::make_unique<platform::SecretString>(m_password->str()), *this);
}

void MainModel::jobProgressed(const JobProgress& progress) {
    if (m_state != State::kWorking) {
        return;
    }
    // A short job ends before its progress would be worth showing.
    if (!m_progressShown && m_services.clock->now() - m_jobStart < filejobs::kProgressDelay) {
        return;
    }
    showProgress(progress.done, progress.total);
}

void MainModel::showProgress(std::uint64_t done, std::uint64_t total) {
    m_progressShown = true;
    done = std::min(done, total);
    const int percent = total == 0 ? 100 : static_cast<int>(done * 100 / total);
    std::string text = filejobs::GetFileName(m_files[m_current], filejobs::kPathSeparator) +
                       std::string(texts::kProgressAfterName) + std::to_string(percent) +
                       std::string(texts::kProgressPercent);
    if (batch()) {
        text += texts::kProgressFileLead;
        text += std::to_string(m_current + 1);
        text += texts::kProgressFileOf;
        text += std::to_string(m_files.size());
        text += texts::kProgressFileTail;
    }
    m_view.showProgress(ProgressView{percent, std::move(text)});
}

void MainModel::hideProgress() {
    if (m_progressShown) {
        m_progressShown = false;
        m_view.showProgress(std::nullopt);
    }
}

void MainModel::jobEnded(const filejobs::JobResult& result) {
    // Several files keep their progress shown from one job to the next.
    if (!batch()) {
        hideProgress();
    }
    // The about box is modal: what the job says waits until the user has closed it.
    if (m_aboutOpen) {
        m_endedDuringAbout = result;
        return;
    }
    endJob(result);
}

void MainModel::endJob(const filejobs::JobResult& result) {
    if (batch()) {
        if (!endBatchJob(result)) {
            return;
        }
    } else {
        endSingleJob(result);
    }
    m_view.setBusy(false);
    // A close asked for while the job ran, now that the user has seen how it ended.
    if (m_closeAfterJob && !m_ending && m_state != State::kClosed) {
        m_closeAfterJob = false;
        m_view.closeWindow();
    }
}

void MainModel::endSingleJob(const filejobs::JobResult& result) {
    m_password.reset();
    if (m_jobKind == JobKind::kEncrypt) {
        if (result.status == filejobs::JobStatus::kDone) {
            finish();
        } else {
            // A failed encryption is fatal: the box, then the end, without a close (nothing
            // is saved). The plain file is still there, untouched.
            m_state = State::kStuck;
            m_services.messages->show(filejobs::encryptFailureMessage(result, m_files.front()));
            endProgram(1);
        }
        return;
    }
    switch (result.status) {
        case filejobs::JobStatus::kDone:
            finish();
            break;
        case filejobs::JobStatus::kWrongPassword:
            retry();
            break;
        case filejobs::JobStatus::kFailed:
            // Stuck: only About, the auto-quit box and the close box are left.
            m_state = State::kStuck;
            m_services.messages->show(filejobs::decryptErrorReport(result, m_files.front()));
            break;
    }
}

bool MainModel::endBatchJob(const filejobs::JobResult& result) {
    const std::string& file = m_files[m_current];
    const bool encrypting = m_jobKind == JobKind::kEncrypt;
    // The first file tells whether the password is the one the user meant: it may be
    // typed again. Once a file has ended, one that refuses it was encrypted with another.
    if (result.status == filejobs::JobStatus::kWrongPassword && m_outcomes.empty()) {
        hideProgress();
        m_password.reset();
        retry();
        return true;
    }
    if (result.status == filejobs::JobStatus::kDone) {
        m_outcomes.push_back(
            FileOutcome{file, true, result.newPath.empty() ? file : result.newPath});
    } else {
        m_outcomes.push_back(
            FileOutcome{file, false, filejobs::jobEndMessage(encrypting, result, file).text});
    }
    ++m_current;
    // One failure never stops the others; a close asked for meanwhile does, between two jobs.
    if (m_current < m_files.size() && !m_closeAfterJob) {
        runCurrentJob();
        return false;
    }
    for (; m_current < m_files.size(); ++m_current) {
        m_outcomes.push_back(
            FileOutcome{m_files[m_current], false, std::string(texts::kBatchNotStarted)});
    }
    m_current = 0;
    hideProgress();
    m_password.reset();
    const bool allDone = std::all_of(m_outcomes.begin(), m_outcomes.end(),
                                     [](const FileOutcome& outcome) { return outcome.done; });
    if (allDone && m_view.checkState() == 1) {
        finish();
    } else {
        m_services.messages->show(batchSummary(m_outcomes));
        // Auto quit only after a batch that left nothing undone: the box said what was not.
        finish(false);
    }
    return true;
}

void MainModel::retry() {
    // Retry: the same box again, its text selected; Cancel stays off.
    m_state = State::kRetry;
    m_services.messages->show(filejobs::wrongPasswordMessage());
    m_view.setFocus(Control::kTxtPassword1);
    m_view.selectFocusedText();
    setEnabled(Control::kLblPassword1, true);
    setEnabled(Control::kCmdDecrypt, true);
}

void MainModel::finish(bool mayQuit) {
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
    if (mayQuit && m_view.checkState() == 1) {
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
    endProgram(0);
}

void MainModel::endProgram(int code) {
    m_ending = true;
    m_services.exit->exit(code);
}

void MainModel::aboutClicked() {
    if (m_state == State::kClosed || m_aboutOpen) {
        return;
    }
    m_aboutOpen = true;
    m_view.showAbout();
    m_aboutOpen = false;
    if (m_endedDuringAbout) {
        const filejobs::JobResult result = *m_endedDuringAbout;
        m_endedDuringAbout.reset();
        endJob(result);
    }
}

void MainModel::check1Clicked() {
    // The greyed state a stored preference may hold is left for a plain tick; from then on
    // a click only ticks and clears.
    settings::CheckTarget& box = m_view.autoQuitBox();
    box.setValue(box.value() == 1 ? 0 : 1);
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

bool MainModel::queryUnload() {
    if (m_state == State::kWorking) {
        // Never stop a job half-way: the window goes once it has ended.
        m_closeAfterJob = true;
        return false;
    }
    showLateRefusals();
    if (m_state != State::kClosed) {
        save();
        m_state = State::kClosed;
    }
    return true;
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
