// The window model from the gate's mode to the finished job, without a toolkit: each
// state's controls, and what every event does in every state.
#include <gtest/gtest.h>

#include <memory>

#include "fakes/scratch_dir.h"
#include "fakes/window_view.h"
#include "window/about_model.h"
#include "window/command_tail.h"
#include "window/padlock.h"

namespace kerfo::test {
namespace {

using window::Control;
using window::State;
using filejobs::JobStatus;

const std::string kPlain = "Dear diary,\r\ntoday nothing happened.\r\n";

class MainModelTest : public ::testing::Test {
protected:
    MainModelTest() {
        view.onClose = [this] { model->queryUnload(); };
    }

    void open(const std::string& bytes, const std::string& name = "notes.txt") {
        model = std::make_unique<window::MainModel>(view, services());
        ASSERT_TRUE(model->load(dir.write(name, bytes)));
    }

    window::MainServices services() { return {&messages, &exit, &settings, &jobs}; }

    // Brings the model into `state` through the events a user would cause.
    void reach(State state) {
        settings.checkToLoad = 0;
        const bool decrypt = state != State::kEncrypt;
        open(decrypt ? "[Kerfod]rest" : kPlain);
        if (state == State::kFinished || state == State::kRetry || state == State::kStuck) {
            jobs.result.status = state == State::kFinished ? JobStatus::kDone
                                 : state == State::kRetry  ? JobStatus::kWrongPassword
                                                           : JobStatus::kFailed;
            model->decryptClicked();
            messages.messages.clear();
            jobs.passwords.clear();
        }
        ASSERT_EQ(model->state(), state);
    }

    ScratchDir dir;
    FakeView view;
    RecordingSink messages;
    RecordingExit exit;
    RecordingModelSettings settings{view};
    ScriptedJobs jobs;
    std::unique_ptr<window::MainModel> model;
};

// The controls each state shows.
struct StateCase {
    State state;
    bool encrypt, decrypt, password1, password2, cancel;
    const char* cancelText;
    Control focus;
};

TEST_F(MainModelTest, EachStateShowsItsControls) {
    const StateCase cases[] = {
        {State::kEncrypt, true, false, true, true, true, "&Cancel", Control::kTxtPassword1},
        {State::kDecrypt, false, true, true, false, true, "&Cancel", Control::kTxtPassword1},
        {State::kFinished, false, false, false, false, true, "&Done", Control::kCmdCancel},
        {State::kRetry, false, true, true, false, false, "&Cancel", Control::kTxtPassword1},
        {State::kStuck, false, false, true, false, false, "&Cancel", Control::kTxtPassword1},
    };
    for (const StateCase& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.state));
        view = FakeView{};
        view.onClose = [this] { model->queryUnload(); };
        reach(c.state);
        EXPECT_EQ(view.isEnabled(Control::kCmdEncrypt), c.encrypt);
        EXPECT_EQ(view.isEnabled(Control::kCmdDecrypt), c.decrypt);
        EXPECT_EQ(view.isEnabled(Control::kTxtPassword1), c.password1);
        EXPECT_EQ(view.isEnabled(Control::kLblPassword1), c.password1);
        EXPECT_EQ(view.isEnabled(Control::kTxtPassword2), c.password2);
        EXPECT_EQ(view.isEnabled(Control::kLblPassword2), c.password2);
        EXPECT_EQ(view.isEnabled(Control::kCmdCancel), c.cancel);
        EXPECT_TRUE(view.isEnabled(Control::kCmdAbout));
        EXPECT_TRUE(view.isEnabled(Control::kCheck1));
        EXPECT_EQ(view.cancelText, c.cancelText);
        EXPECT_EQ(view.focus, c.focus);
        EXPECT_FALSE(view.busy);
        EXPECT_EQ(view.caption, "Kerfo / notes.txt");
    }
}

// What each event does in each state: the close action (exit 0, two saves), a job, the
// about box, or nothing at all.
enum class Outcome { kNothing, kClose, kJob, kAbout };

struct EventCase {
    State state;
    void (window::MainModel::*event)();
    Outcome outcome;
};

TEST_F(MainModelTest, EventsActOnlyWhereTheirControlIsEnabled) {
    using M = window::MainModel;
    const EventCase cases[] = {
        {State::kEncrypt, &M::escapePressed, Outcome::kClose},
        {State::kEncrypt, &M::cancelClicked, Outcome::kClose},
        {State::kEncrypt, &M::encryptClicked, Outcome::kJob},
        {State::kEncrypt, &M::decryptClicked, Outcome::kNothing},
        {State::kDecrypt, &M::escapePressed, Outcome::kClose},
        {State::kDecrypt, &M::encryptClicked, Outcome::kNothing},
        {State::kDecrypt, &M::decryptClicked, Outcome::kJob},
        {State::kFinished, &M::escapePressed, Outcome::kClose},
        {State::kFinished, &M::cancelClicked, Outcome::kClose},
        {State::kFinished, &M::decryptClicked, Outcome::kNothing},
        {State::kRetry, &M::escapePressed, Outcome::kNothing},
        {State::kRetry, &M::cancelClicked, Outcome::kNothing},
        {State::kRetry, &M::decryptClicked, Outcome::kJob},
        {State::kStuck, &M::escapePressed, Outcome::kNothing},
        {State::kStuck, &M::decryptClicked, Outcome::kNothing},
        {State::kStuck, &M::aboutClicked, Outcome::kAbout},
        {State::kFinished, &M::aboutClicked, Outcome::kAbout},
    };
    for (const EventCase& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.state));
        SCOPED_TRACE(static_cast<int>(c.outcome));
        view = FakeView{};
        view.onClose = [this] { model->queryUnload(); };
        exit.codes.clear();
        settings.saves = 0;
        jobs.passwords.clear();
        reach(c.state);
        view.log.clear();
        jobs.result.status = JobStatus::kDone;
        (model.get()->*c.event)();
        model->unload();
        const bool closed = c.outcome == Outcome::kClose;
        EXPECT_EQ(exit.codes, closed ? std::vector<int>{0} : std::vector<int>{});
        EXPECT_EQ(settings.saves, closed ? 2 : 0);
        EXPECT_EQ(jobs.passwords.size(), c.outcome == Outcome::kJob ? 1u : 0u);
        EXPECT_EQ(view.log == std::vector<std::string>{"about"}, c.outcome == Outcome::kAbout);
    }
}

TEST_F(MainModelTest, RefusedFileShowsTheGatesBoxAndSavesNothing) {
    model = std::make_unique<window::MainModel>(view, services());
    EXPECT_FALSE(model->load(""));
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].text.rfind("Usage:\r\n", 0), 0u);
    model->unload();
    EXPECT_EQ(settings.loads, 1);
    EXPECT_EQ(settings.saves, 0);
    EXPECT_TRUE(exit.codes.empty());
}

TEST_F(MainModelTest, SettingsLoadBeforeTheGateAndTheCloseBoxSavesTwice) {
    settings.checkToLoad = 2;
    open(kPlain);
    EXPECT_EQ(settings.captionAtLoad, "Kerfo ");
    EXPECT_EQ(view.check.state, 2);
    model->queryUnload();
    model->unload();
    EXPECT_EQ(settings.savedChecks, (std::vector<std::int16_t>{2, 2}));
    EXPECT_TRUE(exit.codes.empty());
}

TEST_F(MainModelTest, MismatchWarnsAndSelectsTheConfirmation) {
    open(kPlain);
    view.passwords[Control::kTxtPassword1] = "Secret";
    view.passwords[Control::kTxtPassword2] = "secret";
    model->encryptClicked();
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0], (texts::Message{"The two passwords are not the same.\r\nPlease adjust...",
                                                       texts::Icon::kWarning, "Kerfo"}));
    EXPECT_EQ(view.focus, Control::kTxtPassword2);
    EXPECT_TRUE(view.selected);
    EXPECT_EQ(model->state(), State::kEncrypt);
    EXPECT_TRUE(jobs.passwords.empty());
}

TEST_F(MainModelTest, TheWindowShowsItIsWorkingBeforeTheJobRuns) {
    open(kPlain);
    view.passwords[Control::kTxtPassword1] = view.passwords[Control::kTxtPassword2] = "pw";
    jobs.result.status = JobStatus::kDone;
    jobs.during = [&] {
        EXPECT_TRUE(view.busy);
        EXPECT_EQ(view.log.back(), "repaint busy");
        EXPECT_FALSE(view.isEnabled(Control::kCmdEncrypt));
        EXPECT_FALSE(view.isEnabled(Control::kCmdCancel));
    };
    model->encryptClicked();
    EXPECT_EQ(jobs.passwords, std::vector<std::string>{"pw"});
    // The finished window lets go of the password.
    EXPECT_EQ(view.password(Control::kTxtPassword1), "");
}

TEST_F(MainModelTest, AutoQuitEndsOnlyOnAPlainTickAndOnlyAfterSuccess) {
    struct Case {
        std::int16_t check;
        JobStatus status;
        bool ends;
    };
    const Case cases[] = {{1, JobStatus::kDone, true},
                          {2, JobStatus::kDone, false},
                          {0, JobStatus::kDone, false},
                          {1, JobStatus::kWrongPassword, false}};
    for (const Case& c : cases) {
        view = FakeView{};
        view.onClose = [this] { model->queryUnload(); };
        exit.codes.clear();
        settings.checkToLoad = c.check;
        open("[Kerfod]x", "notes.kfo");
        jobs.result.status = c.status;
        model->decryptClicked();
        EXPECT_EQ(exit.codes, c.ends ? std::vector<int>{0} : std::vector<int>{}) << c.check;
    }
}

TEST_F(MainModelTest, FailedEncryptionReportsAndEndsWithoutSaving) {
    open(kPlain);
    jobs.result.status = JobStatus::kFailed;
    jobs.result.error = platform::RuntimeError(platform::ErrorNumber::kPermissionDenied);
    model->encryptClicked();
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].icon, texts::Icon::kError);
    EXPECT_EQ(exit.codes, std::vector<int>{1});
    model->unload();
    EXPECT_EQ(settings.saves, 0);
}

TEST_F(MainModelTest, TipAndLabelColoursFollowTheControls) {
    reach(State::kEncrypt);
    model->check1MouseMove();
    EXPECT_EQ(view.checkTip, " Enables quick exit after encryption ");
    model->passwordFocusChanged(Control::kTxtPassword2, true);
    EXPECT_TRUE(view.labelFocused[Control::kLblPassword2]);
    EXPECT_FALSE(view.labelFocused[Control::kLblPassword1]);
    model->passwordFocusChanged(Control::kTxtPassword2, false);
    EXPECT_FALSE(view.labelFocused[Control::kLblPassword2]);

    // With neither action button enabled the tip keeps its last text.
    jobs.result.status = JobStatus::kDone;
    model->encryptClicked();
    model->check1MouseMove();
    EXPECT_EQ(view.checkTip, " Enables quick exit after encryption ");
}

TEST(AboutModelTest, TextsAndTwips) {
    EXPECT_EQ(window::versionLine(1, 10, 2), "Version 1.10.2");
    EXPECT_EQ(window::copyrightLine(2031), "Copyright \u00a9 2024 - 2031");
    EXPECT_EQ(window::twipsToPixelsAt(3300, 96), 220);
    EXPECT_EQ(window::twipsToPixelsAt(3300, 144), 330);
    EXPECT_EQ(window::twipsToPixelsAt(15, 120), 1);
    EXPECT_EQ(window::kAboutLabels.back().text, "https://tarnwick.example/kerfo");
}

TEST(PadlockTest, TwoDifferentGreyPicturesOnAClearGround) {
    const auto closed = window::padlockPixels(window::Padlock::kClosed);
    const auto opened = window::padlockPixels(window::Padlock::kOpen);
    EXPECT_NE(closed, opened);
    EXPECT_EQ(closed[0] >> 24, 0u);
    EXPECT_EQ(closed[22 * 32 + 16] >> 24, 0xffu);
    for (std::uint32_t p : closed) {
        const std::uint32_t r = p >> 16 & 0xff, g = p >> 8 & 0xff, b = p & 0xff;
        EXPECT_TRUE(r == g && g == b) << std::hex << p;
    }
}

TEST(CommandTailTest, EverythingAfterTheProgramsNameIsThePath) {
    const std::pair<std::wstring_view, std::wstring_view> cases[] = {
        {L"\"C:\\Program Files\\Kerfo\\kerfo.exe\" C:\\My  Notes\\a b.txt",
         L"C:\\My  Notes\\a b.txt"},
        {L"kerfo.exe   \"quoted.txt\"  ", L"quoted.txt"},
        {L"\"kerfo.exe\" \"C:\\My  Notes\\a b.txt\"", L"C:\\My  Notes\\a b.txt"},
        {L"kerfo.exe \"a.txt\" \"b.txt\"", L"\"a.txt\" \"b.txt\""},
        {L"kerfo.exe C:\\a\"b.txt ", L"C:\\a\"b.txt "},
        {L"kerfo.exe \"\"", L""},
        {L"\"kerfo.exe\"", L""},
        {L"kerfo.exe", L""},
        {L"\"kerfo.exe\"notes.txt", L"notes.txt"},
    };
    for (const auto& [line, tail] : cases) {
        EXPECT_TRUE(window::commandTail(line) == tail);
    }
}

}  // namespace
}  // namespace kerfo::test
