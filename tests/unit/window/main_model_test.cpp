// The window model from start-up to the finished job, without a toolkit or a file: each
// state's controls, what every event does in every state, where the window opens, the job
// away from the window's thread with its progress, and the rules both windows share.
#include <gtest/gtest.h>

#include <memory>

#include "fakes/window_view.h"
#include "filejobs/messages.h"
#include "window/about_model.h"
#include "window/batch.h"
#include "window/command_tail.h"
#include "window/hand_over.h"
#include "window/padlock.h"
#include "window/placement.h"

namespace kerfo::test {
namespace {

using filejobs::JobStatus;
using window::Control;
using window::State;
using namespace std::chrono_literals;

class MainModelTest : public ::testing::Test {
protected:
    MainModelTest() { fresh(); }

    // A new window, as a new start makes it.
    void fresh() {
        model.reset();
        view = FakeView{};
        gate = ScriptedGate{};
        view.onClose = [this] {
            if (model->queryUnload()) closed = true;
        };
        closed = false;
    }

    void make() { model = std::make_unique<window::MainModel>(view, services()); }

    void open(const std::string& userFile = "/home/ann/notes.txt") {
        make();
        ASSERT_TRUE(model->load(userFile));
    }

    window::MainServices services() { return {&messages, &exit, &settings, &gate, &jobs, &clock}; }

    // Brings the model into `state` through the events a user would cause.
    void reach(State state) {
        settings.checkToLoad = 0;
        if (state != State::kEncrypt) gate.decryptMode();
        open();
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

    FakeView view;
    bool closed = false;
    RecordingSink messages;
    RecordingExit exit;
    RecordingModelSettings settings{[this] { return view.caption; }};
    ScriptedGate gate;
    ScriptedJobs jobs;
    FakeClock clock;
    std::unique_ptr<window::MainModel> model;
};

TEST_F(MainModelTest, StartsInTheDesignTimeLook) {
    make();
    EXPECT_EQ(view.caption, "Kerfo ");
    EXPECT_EQ(view.check.state, 1);  // ticked, until the stored preference says otherwise
    EXPECT_EQ(view.passwordLimit, 32767);
    EXPECT_FALSE(view.defaultButton.has_value());
    EXPECT_EQ(window::alreadyRunningMessage(),
              (texts::Message{"Kerfo is allready running...", texts::Icon::kInformation, "Info"}));
}

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
        fresh();
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
        EXPECT_EQ(view.caption,
                  c.state == State::kEncrypt ? "Kerfo / notes.txt" : "Kerfo / notes.kfo");
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
        fresh();
        exit.codes.clear();
        settings.saves = 0;
        jobs.passwords.clear();
        reach(c.state);
        view.log.clear();
        jobs.result.status = JobStatus::kDone;
        (model.get()->*c.event)();
        model->unload();
        const bool closes = c.outcome == Outcome::kClose;
        EXPECT_EQ(exit.codes, closes ? std::vector<int>{0} : std::vector<int>{});
        EXPECT_EQ(settings.saves, closes ? 2 : 0);
        EXPECT_EQ(jobs.passwords.size(), c.outcome == Outcome::kJob ? 1u : 0u);
        EXPECT_EQ(view.log == std::vector<std::string>{"about"}, c.outcome == Outcome::kAbout);
    }
}

TEST_F(MainModelTest, RefusedFileShowsTheGatesBoxAndSavesNothing) {
    gate.result.refusal = texts::Message{"Usage:\r\n...", texts::Icon::kWarning, "Kerfo"};
    make();
    EXPECT_FALSE(model->load(""));
    EXPECT_EQ(gate.asked, std::vector<std::string>{""});
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0], *gate.result.refusal);
    model->unload();
    EXPECT_EQ(settings.loads, 1);
    EXPECT_EQ(settings.saves, 0);
    EXPECT_TRUE(exit.codes.empty());
}

TEST_F(MainModelTest, SettingsLoadBeforeTheGateAndTheCloseBoxSavesTwice) {
    settings.checkToLoad = 2;
    open();
    EXPECT_EQ(settings.captionAtLoad, "Kerfo ");
    EXPECT_EQ(view.check.state, 2);
    EXPECT_TRUE(model->queryUnload());
    model->unload();
    EXPECT_EQ(settings.savedChecks, (std::vector<std::int16_t>{2, 2}));
    EXPECT_TRUE(exit.codes.empty());
}

// A stored corner stays while the title bar can be reached; otherwise the window opens on
// the nearest screen, and only the next save changes what is stored.
TEST_F(MainModelTest, AStoredPlaceOffEveryScreenOpensOnTheNearest) {
    struct Case {
        const char* name;
        std::int32_t left, top;  // twips
        std::vector<std::string> moves;
    };
    const Case cases[] = {
        {"on screen", 3000, 2250, {}},
        {"far right", 450000, 2250, {"move 694,150"}},
        {"above the top", 3000, -300, {"move 200,0"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fresh();
        view.place.x = c.left;
        view.place.y = c.top;
        open();
        EXPECT_EQ(view.log, c.moves);
        EXPECT_EQ(settings.saves, 0);
    }
}

TEST(ReachablePositionTest, TitleBarStaysOnAScreen) {
    const window::Rect left{0, 0, 1024, 768};
    const window::Rect right{1024, 0, 1280, 1024};
    struct Case {
        const char* name;
        window::Point corner;
        std::vector<window::Rect> screens;
        window::Point expected;
    };
    const Case cases[] = {
        {"on screen", {200, 150}, {left}, {200, 150}},
        {"corner", {0, 0}, {left}, {0, 0}},
        {"far right", {2000, 150}, {left}, {1024 - 300, 150}},
        {"far below", {200, 10000}, {left}, {200, 768 - 180}},
        {"title bar above the top", {200, -10}, {left}, {200, 0}},
        {"left of every screen", {-2000, 100}, {left, right}, {0, 100}},
        {"only a sliver showing", {1024 - 20, 100}, {left}, {1024 - 300, 100}},
        {"on the second screen", {1500, 900}, {left, right}, {1500, 900}},
        {"below the second screen", {1500, 3000}, {left, right}, {1500, 1024 - 180}},
        {"no screens", {-5000, -5000}, {}, {-5000, -5000}},
    };
    for (const Case& c : cases) {
        const window::Frame frame{{c.corner.x, c.corner.y, 300, 180}, 24};
        EXPECT_EQ(window::reachablePosition(frame, c.screens), c.expected) << c.name;
    }
}

TEST_F(MainModelTest, MismatchWarnsAndSelectsTheConfirmation) {
    open();
    view.passwords[Control::kTxtPassword1] = "Secret";
    view.passwords[Control::kTxtPassword2] = "secret";
    model->encryptClicked();
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0],
              (texts::Message{"The two passwords are not the same.\r\nPlease adjust...",
                              texts::Icon::kWarning, "Kerfo"}));
    EXPECT_EQ(view.focus, Control::kTxtPassword2);
    EXPECT_TRUE(view.selected);
    EXPECT_EQ(model->state(), State::kEncrypt);
    EXPECT_TRUE(jobs.passwords.empty());
}

TEST_F(MainModelTest, TheWindowShowsItIsWorkingBeforeTheJobRuns) {
    open("/home/ann/notes.txt");
    view.passwords[Control::kTxtPassword1] = view.passwords[Control::kTxtPassword2] = "pw";
    jobs.during = [&] {
        EXPECT_TRUE(view.busy);
        EXPECT_EQ(view.log.back(), "repaint busy");
        EXPECT_FALSE(view.isEnabled(Control::kCmdEncrypt));
        EXPECT_FALSE(view.isEnabled(Control::kCmdCancel));
    };
    model->encryptClicked();
    EXPECT_EQ(jobs.passwords, std::vector<std::string>{"pw"});
    EXPECT_EQ(jobs.files, std::vector<std::string>{"/home/ann/notes.txt"});
    EXPECT_EQ(jobs.kinds, std::vector<window::JobKind>{window::JobKind::kEncrypt});
    // The finished window lets go of the password.
    EXPECT_EQ(view.password(Control::kTxtPassword1), "");
}

// A job runs away from the window's thread: the window stays busy until it ends, shows how
// far it has come once it has run for half a second, and takes that away at the end.
TEST_F(MainModelTest, ALongJobShowsItsProgressAfterHalfASecond) {
    settings.checkToLoad = 0;
    // A bare name, so that the name is the same by either platform's separator.
    open("my notes.txt");
    jobs.endAtOnce = false;
    model->encryptClicked();
    ASSERT_TRUE(jobs.running());
    EXPECT_EQ(model->state(), State::kWorking);
    EXPECT_TRUE(view.busy);

    clock.advance(400ms);
    jobs.progress(100, 1000);
    EXPECT_FALSE(view.progress);
    clock.advance(100ms);
    jobs.progress(450, 1000);
    EXPECT_EQ(view.progress, (window::ProgressView{45, "my notes.txt: 45%"}));
    jobs.progress(1000, 1000);
    EXPECT_EQ(view.progress, (window::ProgressView{100, "my notes.txt: 100%"}));

    jobs.end();
    EXPECT_FALSE(view.progress);
    EXPECT_FALSE(view.busy);
    EXPECT_EQ(model->state(), State::kFinished);
}

// While a job runs the window may not go: a close waits for the job's end, the user sees
// how it ended, then the window closes (and saves) as the close box would have.
TEST_F(MainModelTest, ClosingDuringAJobWaitsForItsEnd) {
    struct Case {
        const char* name;
        JobStatus status;
        std::int16_t check;
        std::size_t boxes;
        std::vector<int> exits;
    };
    const Case cases[] = {
        {"done", JobStatus::kDone, 0, 0, {}},
        {"done, auto quit", JobStatus::kDone, 1, 0, {0}},
        {"wrong password", JobStatus::kWrongPassword, 0, 1, {}},
        {"failed", JobStatus::kFailed, 0, 1, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fresh();
        gate.decryptMode();
        settings.saves = 0;
        settings.checkToLoad = c.check;
        exit.codes.clear();
        messages.messages.clear();
        open();
        jobs.endAtOnce = false;
        jobs.result.status = c.status;
        model->decryptClicked();
        view.closeWindow();
        EXPECT_FALSE(closed);
        EXPECT_EQ(settings.saves, 0);
        jobs.end();
        EXPECT_TRUE(closed);
        EXPECT_EQ(messages.messages.size(), c.boxes);
        EXPECT_EQ(exit.codes, c.exits);
        model->unload();
        EXPECT_EQ(settings.saves, 2);
    }
}

// What a job says at its end waits while the about box is open; a window that goes while a
// job runs lets the job come to its end first.
TEST_F(MainModelTest, TheJobsEndWaitsForTheAboutBoxAndAGoingWindowForTheJob) {
    gate.decryptMode();
    open();
    jobs.endAtOnce = false;
    jobs.result.status = JobStatus::kWrongPassword;
    model->decryptClicked();
    view.duringAbout = [&] {
        jobs.end();
        EXPECT_TRUE(messages.messages.empty());
        EXPECT_EQ(model->state(), State::kWorking);
    };
    model->aboutClicked();
    EXPECT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(model->state(), State::kRetry);

    view.duringAbout = nullptr;
    model->decryptClicked();
    EXPECT_EQ(jobs.waits, 0);
    model.reset();
    EXPECT_EQ(jobs.waits, 1);
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
        fresh();
        exit.codes.clear();
        settings.checkToLoad = c.check;
        gate.decryptMode();
        open();
        jobs.result.status = c.status;
        model->decryptClicked();
        EXPECT_EQ(exit.codes, c.ends ? std::vector<int>{0} : std::vector<int>{}) << c.check;
    }
}

// A click leaves the greyed state a stored preference may hold for a plain tick; from
// then on it only ticks and clears.
TEST_F(MainModelTest, AClickOnTheAutoQuitBoxTicksOrClearsIt) {
    const std::pair<std::int16_t, std::int16_t> cases[] = {{2, 1}, {1, 0}, {0, 1}};
    for (const auto& [before, after] : cases) {
        fresh();
        settings.checkToLoad = before;
        open();
        model->check1Clicked();
        EXPECT_EQ(view.check.state, after) << before;
    }
}

TEST_F(MainModelTest, FailedEncryptionReportsAndEndsWithoutSaving) {
    open();
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
    EXPECT_EQ(window::versionLine(12, 0, 0), "Version 12.0.0");
    EXPECT_EQ(window::copyrightLine(2031), "Copyright \u00a9 2024 - 2031");
    EXPECT_EQ(window::copyrightLine(987), "Copyright \u00a9 2024 - 0987");
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

// --- Several files under one password. The scripted gate answers by name here: ".kfo" is
// encrypted, a name beginning with "bad" is refused.

filejobs::JobResult ended(JobStatus status, std::string newPath = {},
                          platform::ErrorNumber error = platform::ErrorNumber::kPermissionDenied) {
    return {status, std::move(newPath), platform::RuntimeError(error)};
}

// What start-up makes of a selection: the mode, the caption and the list, or the box that
// names what is refused (a selection of both kinds: nothing happens at all).
TEST_F(MainModelTest, ASelectionOpensInOneModeAndNamesWhatItRefuses) {
    struct Case {
        const char* name;
        std::vector<std::string> files;
        bool opens;
        State state;
        std::string caption;
        std::vector<std::string> list;
        std::string box;
    };
    const Case cases[] = {
        {"all plain",
         {"a.txt", "b c.txt", "d.txt"},
         true,
         State::kEncrypt,
         "Kerfo / 3 files",
         {"a.txt", "b c.txt", "d.txt"},
         ""},
        {"all encrypted",
         {"a.kfo", "b.kfo"},
         true,
         State::kDecrypt,
         "Kerfo / 2 files",
         {"a.kfo", "b.kfo"},
         ""},
        {"one encrypted among plain",
         {"a.txt", "b.kfo", "c.txt"},
         false,
         State::kDesign,
         "Kerfo ",
         {},
         "These files are encrypted, the others are plain text:\r\nb.kfo\r\n\r\n"
         "Kerfo will NOT work on both kinds at once: select only plain files or only encrypted "
         "files."},
        {"as many of each: those unlike the first",
         {"a.kfo", "b.txt"},
         false,
         State::kDesign,
         "Kerfo ",
         {},
         "These files are plain text, the others are encrypted:\r\nb.txt\r\n\r\n"
         "Kerfo will NOT work on both kinds at once: select only plain files or only encrypted "
         "files."},
        {"a refused file among good ones",
         {"a.txt", "bad.txt", "c.txt"},
         true,
         State::kEncrypt,
         "Kerfo / 2 files",
         {"a.txt", "c.txt"},
         "bad.txt refused\r\n\r\nKerfo goes on with the other files."},
        {"one good file left",
         {"bad1", "a.txt"},
         true,
         State::kEncrypt,
         "Kerfo / a.txt",
         {},
         "bad1 refused\r\n\r\nKerfo goes on with the other files."},
        {"all refused",
         {"bad1", "bad2"},
         false,
         State::kDesign,
         "Kerfo ",
         {},
         "bad1 refused\r\n\r\nbad2 refused"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fresh();
        messages.messages.clear();
        gate.byFile = true;
        make();
        EXPECT_EQ(model->load(c.files), c.opens);
        EXPECT_EQ(gate.asked, c.files);
        EXPECT_EQ(model->state(), c.state);
        EXPECT_EQ(view.caption, c.caption);
        EXPECT_EQ(view.fileList, c.list);
        if (c.box.empty()) {
            EXPECT_TRUE(messages.messages.empty());
        } else {
            ASSERT_EQ(messages.messages.size(), 1u);
            EXPECT_EQ(messages.messages[0].text, c.box);
            EXPECT_EQ(messages.messages[0].icon, texts::Icon::kWarning);
        }
    }
}

// One job per file, in turn, with the one password; a failure stops nothing; the end box
// lists what was done and what was not, unless auto quit ends a batch that left nothing.
TEST_F(MainModelTest, TheJobsRunInTurnAndOneBoxSaysHowEachEnded) {
    struct Case {
        const char* name;
        std::vector<std::string> files;
        std::vector<filejobs::JobResult> results;
        std::int16_t check;
        std::string box;  // empty: none
        std::vector<int> exits;
    };
    const Case cases[] = {
        {"all done, auto quit",
         {"a.txt", "b.txt"},
         {ended(JobStatus::kDone, "a.kfo"), ended(JobStatus::kDone, "b.kfo")},
         1,
         "",
         {0}},
        {"all done",
         {"a.txt", "b.txt"},
         {ended(JobStatus::kDone, "a.kfo"), ended(JobStatus::kDone, "b.kfo")},
         0,
         "Done:\r\na.kfo\r\nb.kfo",
         {}},
        {"a failure in the middle",
         {"a.txt", "b.txt", "c.txt"},
         {ended(JobStatus::kDone, "a.kfo"), ended(JobStatus::kFailed),
          ended(JobStatus::kDone, "c.kfo")},
         1,
         "Done:\r\na.kfo\r\nc.kfo\r\n\r\nNot done:\r\nb.txt: Run-time error '70':\r\nPermission "
         "denied",
         {}},
        {"a later file encrypted with another password",
         {"a.kfo", "b.kfo", "c.kfo"},
         {ended(JobStatus::kDone, "a.txt"), ended(JobStatus::kWrongPassword),
          ended(JobStatus::kDone, "c.txt")},
         1,
         "Done:\r\na.txt\r\nc.txt\r\n\r\nNot done:\r\nb.kfo: Access denied: password is incorrect!",
         {}},
        {"nothing done",
         {"a.kfo", "b.kfo"},
         {ended(JobStatus::kFailed, "", platform::ErrorNumber::kInputPastEnd),
          ended(JobStatus::kWrongPassword)},
         0,
         "Not done:\r\na.kfo: An error # 62 was generated:\r\nInput past end of file\r\n"
         "Probable cause: a tampered or corrupt file.\r\nThe file is unchanged.\r\n"
         "b.kfo: Access denied: password is incorrect!",
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fresh();
        messages.messages.clear();
        exit.codes.clear();
        jobs = ScriptedJobs{};
        jobs.results.assign(c.results.begin(), c.results.end());
        gate.byFile = true;
        settings.checkToLoad = c.check;
        make();
        ASSERT_TRUE(model->load(c.files));
        view.passwords[Control::kTxtPassword1] = view.passwords[Control::kTxtPassword2] = "pw";
        if (model->state() == State::kEncrypt) {
            model->encryptClicked();
        } else {
            model->decryptClicked();
        }
        EXPECT_EQ(jobs.files, c.files);
        EXPECT_EQ(jobs.passwords, std::vector<std::string>(c.files.size(), "pw"));
        ASSERT_EQ(messages.messages.size(), c.box.empty() ? 0u : 1u);
        if (!c.box.empty()) {
            EXPECT_EQ(messages.messages[0].text, c.box);
            EXPECT_EQ(messages.messages[0].title, "Kerfo");
        }
        EXPECT_EQ(exit.codes, c.exits);
        EXPECT_EQ(model->state(), c.exits.empty() ? State::kFinished : State::kClosed);
        EXPECT_EQ(view.password(Control::kTxtPassword1), "");
        EXPECT_FALSE(view.busy);
    }
}

// The first file tells whether the password is right: a wrong one there gets the retry,
// and the jobs go on from that file with the password typed again.
TEST_F(MainModelTest, AWrongPasswordOnTheFirstFileIsTypedAgain) {
    gate.byFile = true;
    settings.checkToLoad = 0;
    make();
    ASSERT_TRUE(model->load(std::vector<std::string>{"a.kfo", "b.kfo"}));
    jobs.results = {ended(JobStatus::kWrongPassword)};
    view.passwords[Control::kTxtPassword1] = "wrong";
    model->decryptClicked();
    EXPECT_EQ(model->state(), State::kRetry);
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0], filejobs::wrongPasswordMessage());
    EXPECT_TRUE(view.selected);

    view.passwords[Control::kTxtPassword1] = "right";
    model->decryptClicked();
    EXPECT_EQ(jobs.files, (std::vector<std::string>{"a.kfo", "a.kfo", "b.kfo"}));
    EXPECT_EQ(jobs.passwords, (std::vector<std::string>{"wrong", "right", "right"}));
    EXPECT_EQ(model->state(), State::kFinished);
    ASSERT_EQ(messages.messages.size(), 2u);
    EXPECT_EQ(messages.messages[1].icon, texts::Icon::kInformation);
}

// Progress names the file and its place among the others; a close asked for meanwhile
// lets the running job end, starts no other, lists those as not started, then closes.
TEST_F(MainModelTest, ProgressNamesTheFileAndACloseStopsBetweenTwoJobs) {
    gate.byFile = true;
    settings.checkToLoad = 1;
    make();
    ASSERT_TRUE(model->load(std::vector<std::string>{"a.txt", "b c.txt", "d.txt"}));
    jobs.endAtOnce = false;
    model->encryptClicked();
    clock.advance(600ms);
    jobs.progress(50, 100);
    EXPECT_EQ(view.progress, (window::ProgressView{50, "a.txt: 50% (file 1 of 3)"}));
    jobs.result = ended(JobStatus::kDone, "a.kfo");
    jobs.end();
    // The next file shows at once which it is.
    EXPECT_EQ(jobs.files.size(), 2u);
    EXPECT_EQ(view.progress, (window::ProgressView{0, "b c.txt: 0% (file 2 of 3)"}));
    EXPECT_TRUE(view.busy);

    view.closeWindow();
    EXPECT_FALSE(closed);
    jobs.result = ended(JobStatus::kDone, "b c.kfo");
    jobs.end();
    EXPECT_EQ(jobs.files.size(), 2u);
    EXPECT_FALSE(view.progress);
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].text,
              "Done:\r\na.kfo\r\nb c.kfo\r\n\r\nNot done:\r\nd.txt: not started: the window was "
              "closed first.");
    EXPECT_TRUE(closed);
}

// A file another start hands over goes to a window still waiting for its password, if it
// is of the window's kind (a refused one to be named later); every other answer sends
// that start its box.
TEST_F(MainModelTest, AWaitingWindowTakesAHandedOverFileAndABusyOneDoesNot) {
    struct Case {
        const char* name;
        std::function<void()> before;
        std::string file;
        window::HandOver answer;
        std::vector<std::string> files;
    };
    const Case cases[] = {
        {"waiting, same kind", nullptr, "b.txt", window::HandOver::kTaken, {"a.txt", "b.txt"}},
        {"waiting, the same file again", nullptr, "a.txt", window::HandOver::kTaken, {"a.txt"}},
        {"waiting, the other kind", nullptr, "b.kfo", window::HandOver::kBusy, {"a.txt"}},
        {"waiting, refused by the gate", nullptr, "bad.txt", window::HandOver::kTaken, {"a.txt"}},
        {"a job has started",
         [this] { jobs.endAtOnce = false, model->encryptClicked(); },
         "b.txt",
         window::HandOver::kBusy,
         {"a.txt"}},
        {"finished",
         [this] { model->encryptClicked(); },
         "b.txt",
         window::HandOver::kBusy,
         {"a.txt"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fresh();
        jobs = ScriptedJobs{};
        gate.byFile = true;
        settings.checkToLoad = 0;
        make();
        ASSERT_TRUE(model->load("a.txt"));
        if (c.before) c.before();
        const std::string caption = view.caption;
        EXPECT_EQ(model->handOver(c.file), c.answer);
        EXPECT_EQ(model->files(), c.files);
        if (c.files.size() > 1) {
            EXPECT_EQ(view.caption, "Kerfo / 2 files");
            EXPECT_EQ(view.fileList, c.files);
        } else {
            EXPECT_EQ(view.caption, caption);
            EXPECT_TRUE(view.fileList.empty());
        }
    }
}

// Explorer starts one Kerfo per selected file: the refused ones, handed over one by one,
// are named in one box once the starts have come in, or before the job or the close if
// that comes first; one that comes while the box shows follows in the next.
TEST_F(MainModelTest, RefusedHandedOverFilesAreNamedInOneBox) {
    const std::string goOn = "\r\n\r\nKerfo goes on with the other files.";
    struct Case {
        const char* name;
        std::function<void()> then;
        std::vector<std::string> boxes;
    };
    const Case cases[] = {
        {"the reminder",
         [this] { model->remind(); },
         {"bad1.txt refused\r\n\r\nbad2.txt refused" + goOn}},
        {"the click first",
         [this] {
             view.passwords[Control::kTxtPassword1] = view.passwords[Control::kTxtPassword2] = "pw";
             jobs.endAtOnce = false;
             jobs.during = [this] {
                 EXPECT_EQ(messages.messages.size(), 1u) << "box after the job's start";
             };
             model->encryptClicked();
             EXPECT_EQ(jobs.files, std::vector<std::string>{"a.txt"});
         },
         {"bad1.txt refused\r\n\r\nbad2.txt refused" + goOn}},
        {"the close first",
         [this] { EXPECT_TRUE(model->queryUnload()); },
         {"bad1.txt refused\r\n\r\nbad2.txt refused" + goOn}},
        {"another while the box shows",
         [this] {
             messages.duringShow = [this] {
                 messages.duringShow = nullptr;
                 EXPECT_EQ(model->handOver("bad3.txt"), window::HandOver::kTaken);
                 model->remind();  // its reminder, from the box's own message loop
                 EXPECT_EQ(messages.messages.size(), 1u) << "a box over the box";
             };
             model->remind();
         },
         {"bad1.txt refused\r\n\r\nbad2.txt refused" + goOn, "bad3.txt refused" + goOn}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fresh();
        messages.messages.clear();
        jobs = ScriptedJobs{};
        gate.byFile = true;
        settings.checkToLoad = 0;
        make();
        ASSERT_TRUE(model->load("a.txt"));
        for (const char* file : {"bad1.txt", "b.txt", "bad2.txt"}) {
            EXPECT_EQ(model->handOver(file), window::HandOver::kTaken) << file;
        }
        EXPECT_TRUE(messages.messages.empty());
        EXPECT_EQ(view.reminder, window::kRefusalsSettle);
        EXPECT_EQ(model->files(), (std::vector<std::string>{"a.txt", "b.txt"}));
        c.then();
        model->remind();  // a late reminder shows nothing twice
        std::vector<std::string> boxes;
        for (const texts::Message& box : messages.messages) {
            EXPECT_EQ(box.icon, texts::Icon::kWarning);
            boxes.push_back(box.text);
        }
        EXPECT_EQ(boxes, c.boxes);
    }
}

// Another Kerfo, as a start sees it: a place that is taken or free, a window that answers
// an offer or does not answer yet.
class FakeInstances : public window::Instances {
public:
    bool claim() override { return next(claims, false); }
    std::optional<window::HandOver> offer(const std::string& file) override {
        offered.push_back(file);
        return next(answers, std::optional<window::HandOver>());
    }
    void pause() override { ++pauses; }

    std::deque<bool> claims;
    std::deque<std::optional<window::HandOver>> answers;
    std::vector<std::string> offered;
    int pauses = 0;

private:
    template <typename T>
    static T next(std::deque<T>& queue, T otherwise) {
        if (queue.empty()) return otherwise;
        T value = queue.front();
        queue.pop_front();
        return value;
    }
};

// Starts at the same moment end up in one window: the one that holds the place opens it,
// the others wait while it loads, then hand their files over or get their box.
TEST(StartUpTest, OneWindowForStartsAtTheSameMoment) {
    using window::HandOver;
    const texts::Message running = window::alreadyRunningMessage();
    struct Case {
        const char* name;
        std::string file;
        std::deque<bool> claims;
        std::deque<std::optional<HandOver>> answers;
        bool opens;
        std::optional<texts::Message> box;
        int pauses;
    };
    const Case cases[] = {
        {"no other Kerfo", "a.txt", {true}, {}, true, std::nullopt, 0},
        {"a waiting window takes it", "a.txt", {false}, {HandOver::kTaken}, false, std::nullopt, 0},
        {"a busy window", "a.txt", {false}, {HandOver::kBusy}, false, running, 0},
        {"still loading, then it takes it",
         "a.txt",
         {},
         {std::nullopt, std::nullopt, HandOver::kTaken},
         false,
         std::nullopt,
         2},
        {"still loading, then refused at its start and gone",
         "a.txt",
         {false, false, true},
         {std::nullopt, std::nullopt},
         true,
         std::nullopt,
         2},
        {"never answers", "a.txt", {}, {}, false, running, 9},
        {"no file to hand over", "", {false}, {}, false, running, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeInstances instances;
        instances.claims = c.claims;
        instances.answers = c.answers;
        const window::Start start = window::startUp(instances, c.file, 10);
        EXPECT_EQ(start.openWindow, c.opens);
        EXPECT_EQ(start.box, c.box);
        EXPECT_EQ(instances.pauses, c.pauses);
        if (c.file.empty()) {
            EXPECT_TRUE(instances.offered.empty());
        }
    }
}

// Several arguments are several files only where each names something; otherwise the
// whole command line is one path, as it always was.
TEST(TargetFilesTest, EachArgumentIsAFileOnlyWhereEachExists) {
    const auto exists = [](const std::string& path) { return path != "missing" && path != "my"; };
    const std::pair<std::vector<std::string>, std::vector<std::string>> cases[] = {
        {{}, {""}},
        {{"/home/ann/my notes.txt"}, {"/home/ann/my notes.txt"}},
        {{"/a.txt", "/b c.txt", "/d.txt"}, {"/a.txt", "/b c.txt", "/d.txt"}},
        {{"my", "notes.txt"}, {"my notes.txt"}},
        {{"a.txt", "missing"}, {"a.txt missing"}},
    };
    for (const auto& [arguments, files] : cases) {
        EXPECT_EQ(window::targetFiles(arguments, exists), files);
    }
}

}  // namespace
}  // namespace kerfo::test
