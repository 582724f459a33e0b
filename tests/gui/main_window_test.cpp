// The main window from the gate's mode to the finished job: states, boxes, keys, auto quit.
#include <QCursor>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>

#include <algorithm>
#include <functional>

#include "filejobs/gate.h"
#include "filejobs/jobs.h"
#include "gui/window_fixture.h"
#include "ui/padlock_icon.h"

namespace kerfo::test {
namespace {

using texts::Icon;
using texts::Message;

const std::string kPlain = "Dear diary,\r\ntoday nothing happened.\r\n";

class MainWindowTest : public WindowTest {
protected:
    // An encrypted notes.kfo made by the real job, holding kPlain under `password`.
    std::string encryptedFile(const std::string& password) {
        const std::string plain = write("notes.txt", kPlain);
        const filejobs::JobResult made = filejobs::Encrypt(plain, password);
        EXPECT_EQ(made.status, filejobs::JobStatus::kDone);
        return made.newPath;
    }

    void expectEncryptMode() {
        EXPECT_TRUE(cmdEncrypt()->isEnabled());
        EXPECT_TRUE(cmdEncrypt()->isDefault());
        EXPECT_FALSE(cmdDecrypt()->isEnabled());
        EXPECT_TRUE(txtPassword1()->isEnabled());
        EXPECT_TRUE(txtPassword2()->isEnabled());
        EXPECT_TRUE(lblPassword2()->isEnabled());
        EXPECT_EQ(window->focusWidget(), txtPassword1());
        EXPECT_TRUE(cmdCancel()->isEnabled());
        EXPECT_EQ(cmdCancel()->text(), "&Cancel");
    }

    void expectDecryptMode() {
        EXPECT_FALSE(cmdEncrypt()->isEnabled());
        EXPECT_TRUE(cmdDecrypt()->isEnabled());
        EXPECT_TRUE(cmdDecrypt()->isDefault());
        EXPECT_TRUE(txtPassword1()->isEnabled());
        EXPECT_FALSE(txtPassword2()->isEnabled());
        EXPECT_FALSE(lblPassword2()->isEnabled());
        EXPECT_TRUE(txtPassword2()->text().isEmpty());
        EXPECT_EQ(window->focusWidget(), txtPassword1());
        EXPECT_TRUE(cmdCancel()->isEnabled());
        EXPECT_EQ(cmdCancel()->text(), "&Cancel");
    }

    void expectFinished() {
        EXPECT_FALSE(cmdEncrypt()->isEnabled());
        EXPECT_FALSE(cmdDecrypt()->isEnabled());
        EXPECT_FALSE(txtPassword1()->isEnabled());
        EXPECT_FALSE(txtPassword2()->isEnabled());
        EXPECT_FALSE(lblPassword1()->isEnabled());
        EXPECT_FALSE(lblPassword2()->isEnabled());
        EXPECT_TRUE(cmdCancel()->isEnabled());
        EXPECT_EQ(cmdCancel()->text(), "&Done");
        EXPECT_EQ(window->focusWidget(), cmdCancel());
        EXPECT_EQ(window->cursor().shape(), Qt::ArrowCursor);
        EXPECT_TRUE(window->isVisible());
    }

    void expectRetry(const QString& typed) {
        EXPECT_FALSE(cmdEncrypt()->isEnabled());
        EXPECT_TRUE(cmdDecrypt()->isEnabled());
        EXPECT_TRUE(txtPassword1()->isEnabled());
        EXPECT_TRUE(lblPassword1()->isEnabled());
        EXPECT_EQ(window->focusWidget(), txtPassword1());
        EXPECT_EQ(txtPassword1()->selectedText(), typed);
        EXPECT_FALSE(txtPassword2()->isEnabled());
        EXPECT_FALSE(cmdCancel()->isEnabled());
        EXPECT_EQ(window->cursor().shape(), Qt::ArrowCursor);
    }

    void expectStuck() {
        EXPECT_FALSE(cmdEncrypt()->isEnabled());
        EXPECT_FALSE(cmdDecrypt()->isEnabled());
        EXPECT_FALSE(cmdCancel()->isEnabled());
        EXPECT_TRUE(txtPassword1()->isEnabled());
        EXPECT_TRUE(cmdAbout()->isEnabled());
        EXPECT_TRUE(check1()->isEnabled());
        EXPECT_EQ(window->cursor().shape(), Qt::ArrowCursor);
    }
};

// --- Start-up and the gate ---

TEST_F(MainWindowTest, PlainFileOpensInEncryptModeTitledAfterTheFile) {
    open(write("notes.txt", kPlain));
    expectEncryptMode();
    EXPECT_EQ(window->windowTitle(), "Kerfo / notes.txt");
    EXPECT_EQ(check1()->checkState(), Qt::Checked);
    EXPECT_TRUE(messages.messages.empty());
}

TEST_F(MainWindowTest, MarkedFileOpensInDecryptModeWhateverItsName) {
    open(write("letter.txt", "[Kerfod]rest of it"));
    expectDecryptMode();
    EXPECT_EQ(window->windowTitle(), "Kerfo / letter.txt");
}

TEST_F(MainWindowTest, RefusedStartShowsTheGatesBoxAndSavesNothing) {
    window = std::make_unique<ui::FrmMain>(services());
    EXPECT_FALSE(window->load(""));
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0],
              (Message{"Usage:\r\nRight click a text file and select Kerfo-Encrypt.\r\n"
                       "Consult the readme.txt in the program folder for more info.     ",
                       Icon::kWarning, "Kerfo"}));

    // A quoted path is taken as it stands: no such file, so the empty-file box.
    const std::string quoted = "\"" + path("notes.txt") + "\"";
    write("notes.txt", kPlain);
    window = std::make_unique<ui::FrmMain>(services());
    EXPECT_FALSE(window->load(quoted));
    ASSERT_EQ(messages.messages.size(), 2u);
    EXPECT_EQ(messages.messages[1], *filejobs::checkAll(quoted).refusal);
    EXPECT_EQ(messages.messages[1].text.rfind(quoted + " is empty:", 0), 0u);

    window.reset();
    EXPECT_EQ(settings.loads, 2);
    EXPECT_EQ(settings.saves, 0);
    EXPECT_TRUE(exit.codes.empty());
}

TEST_F(MainWindowTest, SettingsLoadBeforeTheGateAndSaveTwicePerClose) {
    settings.checkToLoad = 0;
    open(write("notes.txt", kPlain));
    EXPECT_EQ(settings.loads, 1);
    EXPECT_EQ(settings.captionAtLoad, "Kerfo ");
    EXPECT_EQ(check1()->checkState(), Qt::Unchecked);

    // The window's own close box: query-unload, then the unload; the program goes on to
    // end through the last window closing, not through the close action.
    window->close();
    EXPECT_EQ(settings.saves, 1);
    window.reset();
    EXPECT_EQ(settings.saves, 2);
    EXPECT_TRUE(exit.codes.empty());
}

// --- Passwords ---

TEST_F(MainWindowTest, PasswordsShowAsStarsAndLabelsTakeTheFocusColour) {
    open(write("notes.txt", kPlain));
    type("Geheim");
    EXPECT_EQ(txtPassword1()->displayText(), "******");
    EXPECT_EQ(txtPassword1()->text(), "Geheim");

    const QColor blue(0x00, 0x00, 0xC0);
    const QColor buttonText = QApplication::palette().color(QPalette::ButtonText);
    EXPECT_EQ(lblPassword1()->palette().color(QPalette::Active, QPalette::WindowText), blue);
    EXPECT_EQ(lblPassword2()->palette().color(QPalette::Active, QPalette::WindowText), buttonText);
    press(Qt::Key_Tab);
    EXPECT_EQ(window->focusWidget(), txtPassword2());
    EXPECT_EQ(lblPassword1()->palette().color(QPalette::Active, QPalette::WindowText), buttonText);
    EXPECT_EQ(lblPassword2()->palette().color(QPalette::Active, QPalette::WindowText), blue);
}

// The label shows where typing will go in this window: losing the activation to a box or to
// another program, and getting it back, changes nothing.
TEST_F(MainWindowTest, LabelColourStaysWhileAnotherWindowIsActive) {
    struct Case {
        const char* name;
        std::function<std::unique_ptr<QWidget>()> make;
    };
    const Case cases[] = {
        {"another program's window", [] { return std::make_unique<QWidget>(); }},
        {"a message box", [] {
             auto box = std::make_unique<QMessageBox>(QMessageBox::Warning, "Kerfo", "Careful");
             box->setWindowModality(Qt::ApplicationModal);
             return box;
         }},
    };
    open(write("notes.txt", kPlain));
    const QColor focusBlue = lblPassword1()->palette().color(QPalette::Active, QPalette::WindowText);
    ASSERT_EQ(focusBlue, QColor(0x00, 0x00, 0xC0));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<QWidget> other = c.make();
        other->show();
        other->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(other.get()));
        EXPECT_EQ(lblPassword1()->palette().color(QPalette::Active, QPalette::WindowText), focusBlue);
        other->close();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        EXPECT_EQ(lblPassword1()->palette().color(QPalette::Active, QPalette::WindowText), focusBlue);
    }
}

TEST_F(MainWindowTest, TabVisitsTheControlsInTheirOrder) {
    open(write("notes.txt", kPlain));
    const std::vector<QWidget*> order{txtPassword1(), txtPassword2(), cmdEncrypt(), cmdDecrypt(),
                                      cmdCancel(),    cmdAbout(),     check1()};
    // The focus chain, whether or not a control can take the focus right now.
    QWidget* at = order.front();
    for (std::size_t i = 1; i < order.size(); ++i) {
        do {
            at = at->nextInFocusChain();
        } while (at->focusPolicy() == Qt::NoFocus);
        EXPECT_EQ(at, order[i]) << i;
    }
    // And as the user meets it: the disabled Decrypt button is skipped.
    std::vector<QWidget*> visited;
    for (int i = 0; i < 6; ++i) {
        press(Qt::Key_Tab);
        visited.push_back(window->focusWidget());
    }
    EXPECT_EQ(visited, (std::vector<QWidget*>{txtPassword2(), cmdEncrypt(), cmdCancel(), cmdAbout(), check1(),
                                             txtPassword1()}));
}

TEST_F(MainWindowTest, MismatchWarnsAndSelectsTheConfirmation) {
    const std::string file = write("notes.txt", kPlain);
    open(file);
    type("Secret");
    press(Qt::Key_Tab);
    type("secret");  // letter case counts
    press(Qt::Key_Return);

    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0],
              (Message{"The two passwords are not the same.\r\nPlease adjust...", Icon::kWarning, "Kerfo"}));
    EXPECT_EQ(window->focusWidget(), txtPassword2());
    EXPECT_EQ(txtPassword2()->selectedText(), "secret");
    EXPECT_TRUE(cmdEncrypt()->isEnabled());
    EXPECT_TRUE(cmdCancel()->isEnabled());
    EXPECT_EQ(readFile(file), kPlain);
}

TEST_F(MainWindowTest, SetSelectedOnAnEmptyBoxSelectsNothing) {
    open(write("notes.txt", kPlain));
    window->SetSelected();
    EXPECT_FALSE(txtPassword1()->hasSelectedText());
    type("ab");
    window->SetSelected();
    EXPECT_EQ(txtPassword1()->selectedText(), "ab");
}

// --- Jobs ---

TEST_F(MainWindowTest, EnterEncryptsAndFinishes) {
    settings.checkToLoad = 0;
    const std::string file = write("notes.txt", kPlain);
    open(file);
    encryptWith("pw");

    expectFinished();
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_FALSE(exists(file));
    EXPECT_EQ(readFile(path("notes.kfo")).substr(0, 8), "[Kerfod]");
    EXPECT_TRUE(exit.codes.empty());

    // Done is the focused button: Enter presses it and runs the close action.
    press(Qt::Key_Return);
    EXPECT_EQ(exit.codes, std::vector<int>{0});
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(settings.saves, 1);
}

TEST_F(MainWindowTest, EmptyPasswordsAreEqual) {
    settings.checkToLoad = 0;
    open(write("notes.txt", kPlain), true);
    jobs.result.status = filejobs::JobStatus::kDone;
    press(Qt::Key_Return);
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_EQ(jobs.passwords, std::vector<std::string>{""});
    expectFinished();
}

TEST_F(MainWindowTest, TheWindowShowsItIsWorkingBeforeTheJobRuns) {
    open(write("notes.txt", kPlain), true);
    type("pw");
    bool checked = false;
    jobs.result.status = filejobs::JobStatus::kDone;
    jobs.during = [&] {
        checked = true;
        EXPECT_EQ(window->cursor().shape(), Qt::WaitCursor);
        EXPECT_FALSE(cmdEncrypt()->isEnabled());
        EXPECT_FALSE(cmdDecrypt()->isEnabled());
        EXPECT_FALSE(cmdCancel()->isEnabled());
        EXPECT_TRUE(txtPassword1()->isEnabled());
        EXPECT_TRUE(txtPassword2()->isEnabled());
    };
    cmdEncrypt()->click();  // the confirmation is still empty: a mismatch, no job
    EXPECT_TRUE(jobs.passwords.empty());
    ASSERT_EQ(messages.messages.size(), 1u);

    press(Qt::Key_Tab);
    txtPassword2()->setText("pw");
    cmdEncrypt()->click();
    EXPECT_TRUE(checked);
    EXPECT_EQ(jobs.passwords, std::vector<std::string>{"pw"});
}

TEST_F(MainWindowTest, AutoQuitEndsTheProgramOnlyWhenTicked) {
    open(write("notes.txt", kPlain));
    ASSERT_EQ(check1()->checkState(), Qt::Checked);
    encryptWith("pw");
    EXPECT_EQ(exit.codes, std::vector<int>{0});
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(exists(path("notes.kfo")));
    window.reset();
    EXPECT_EQ(settings.saves, 2);
    EXPECT_EQ(settings.savedChecks, (std::vector<std::int16_t>{1, 1}));
}

TEST_F(MainWindowTest, GreyedAutoQuitDoesNotEndTheProgram) {
    settings.checkToLoad = 2;
    open(write("notes.txt", kPlain), true);
    jobs.result.status = filejobs::JobStatus::kDone;
    press(Qt::Key_Return);
    expectFinished();
    EXPECT_TRUE(exit.codes.empty());
    // A click leaves the greyed state for a plain tick and from then on only toggles.
    check1()->click();
    EXPECT_EQ(check1()->checkState(), Qt::Checked);
    check1()->click();
    EXPECT_EQ(check1()->checkState(), Qt::Unchecked);
    check1()->click();
    EXPECT_EQ(check1()->checkState(), Qt::Checked);
}

TEST_F(MainWindowTest, FailedEncryptionReportsAndEnds) {
    open(write("notes.txt", kPlain), true);
    jobs.result.status = filejobs::JobStatus::kFailed;
    jobs.result.error = platform::RuntimeError(platform::ErrorNumber::kPermissionDenied);
    press(Qt::Key_Return);
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0], (Message{"Run-time error '70':\r\n\r\nPermission denied", Icon::kError, "Kerfo"}));
    EXPECT_EQ(exit.codes, std::vector<int>{1});
    // Ending this way is no close: nothing is saved.
    window.reset();
    EXPECT_EQ(settings.saves, 0);
}

TEST_F(MainWindowTest, EnterDecryptsWithTheRightPassword) {
    settings.checkToLoad = 0;
    const std::string file = encryptedFile("Sesam");
    open(file);
    type("Sesam");
    press(Qt::Key_Return);
    untilJobEnds();
    expectFinished();
    EXPECT_FALSE(exists(file));
    EXPECT_EQ(readFile(path("notes.txt")), kPlain);
    EXPECT_TRUE(messages.messages.empty());
}

TEST_F(MainWindowTest, WrongPasswordLeavesTheFileAndAllowsARetry) {
    settings.checkToLoad = 1;
    const std::string file = encryptedFile("Sesam");
    const std::string before = readFile(file);
    open(file);
    type("sesam");
    bool busyDuringBox = false;
    messages.onShow = [&](const Message&) { busyDuringBox = window->cursor().shape() == Qt::WaitCursor; };
    press(Qt::Key_Return);
    untilJobEnds();

    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0], (Message{"Access denied: password is incorrect!", Icon::kWarning, "Kerfo"}));
    EXPECT_TRUE(busyDuringBox);
    expectRetry("sesam");
    EXPECT_EQ(readFile(file), before);

    // Esc does nothing while Cancel is off; the ticked box does not end the program.
    press(Qt::Key_Escape);
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(exit.codes.empty());

    // Typing replaces the selected attempt; Enter still means Decrypt.
    type("Sesam");
    press(Qt::Key_Return);
    untilJobEnds();
    EXPECT_EQ(exit.codes, std::vector<int>{0});
    EXPECT_EQ(readFile(path("notes.txt")), kPlain);
}

TEST_F(MainWindowTest, CorruptFileReportsAndLeavesTheWindowStuck) {
    // A genuine header line, so the password passes, but no body at all.
    const std::string made = encryptedFile("pw");
    const std::string header = readFile(made).substr(0, 24);
    write("notes.kfo", header + "\r\n");
    open(made);
    type("pw");
    press(Qt::Key_Return);
    untilJobEnds();

    ASSERT_EQ(messages.messages.size(), 1u);
    const Message& report = messages.messages[0];
    EXPECT_EQ(report.icon, Icon::kError);
    EXPECT_EQ(report.title, "Error :-(");
    EXPECT_EQ(report.text.rfind("An error # ", 0), 0u) << report.text;
    EXPECT_NE(report.text.find(" was generated:\r\n\r\n"), std::string::npos);
    EXPECT_TRUE(report.text.ends_with("\r\nProbable cause: a tampered or corrupt file."));
    expectStuck();
    EXPECT_EQ(readFile(made), header + "\r\n");

    // Neither key does anything now.
    press(Qt::Key_Return);
    press(Qt::Key_Escape);
    EXPECT_EQ(messages.messages.size(), 1u);
    EXPECT_TRUE(exit.codes.empty());
    EXPECT_TRUE(window->isVisible());
}

TEST_F(MainWindowTest, ErrorReportShowsTheRuntimeNumberAndDescription) {
    open(write("notes.kfo", "[Kerfod]"), true);
    jobs.result.status = filejobs::JobStatus::kFailed;
    jobs.result.error = platform::RuntimeError(platform::ErrorNumber::kInvalidCall);
    jobs.result.step = filejobs::JobStep::kReading;  // a damaged body
    press(Qt::Key_Return);
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0],
              (Message{"An error # 5 was generated:\r\n\r\nInvalid procedure call or argument\r\n"
                       "Probable cause: a tampered or corrupt file.",
                       Icon::kError, "Error :-("}));
    expectStuck();
    EXPECT_TRUE(exit.codes.empty());
}

// --- Keys and the close action ---

TEST_F(MainWindowTest, EscRunsTheCloseActionInEitherMode) {
    open(write("notes.txt", kPlain));
    press(Qt::Key_Escape);
    EXPECT_EQ(exit.codes, std::vector<int>{0});
    EXPECT_FALSE(window->isVisible());

    exit.codes.clear();
    open(write("letter.kfo", "[Kerfod]"));
    type("typed");
    press(Qt::Key_Escape);
    EXPECT_EQ(exit.codes, std::vector<int>{0});
}

TEST_F(MainWindowTest, EscDoesNothingWhileTheJobRuns) {
    open(write("notes.txt", kPlain), true);
    jobs.result.status = filejobs::JobStatus::kDone;
    jobs.during = [&] { QTest::keyClick(window.get(), Qt::Key_Escape); };
    check1()->setCheckState(Qt::Unchecked);
    press(Qt::Key_Return);
    EXPECT_TRUE(exit.codes.empty());
    expectFinished();
    press(Qt::Key_Escape);
    EXPECT_EQ(exit.codes, std::vector<int>{0});
}

// The job runs while the window answers: its progress shows in the window once the job has
// run for half a second, and a close waits for the job's end.
TEST_F(MainWindowTest, ProgressShowsInTheWindowAndACloseWaitsForTheJob) {
    settings.checkToLoad = 0;
    open(write("notes.txt", kPlain), true);
    jobs.endAtOnce = false;
    auto* progress = child<QProgressBar>("progress");
    press(Qt::Key_Return);
    ASSERT_TRUE(jobs.running());
    EXPECT_FALSE(progress->isVisible());
    jobClock.advance(std::chrono::milliseconds(600));
    jobs.progress(45, 100);
    EXPECT_TRUE(progress->isVisible());
    EXPECT_EQ(progress->value(), 45);
    EXPECT_EQ(progress->text(), "notes.txt: 45%");

    window->close();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(settings.saves, 0);
    jobs.end();
    EXPECT_FALSE(progress->isVisible());
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(settings.saves, 1);
}

// Several files: the caption counts them, a list that screen readers read names them, and
// one password typed twice encrypts them one after another; one box says how each ended.
TEST_F(MainWindowTest, SeveralFilesAreListedAndEncryptedUnderOnePassword) {
    settings.checkToLoad = 0;
    open({write("a.txt", kPlain), write("b c.txt", kPlain), write("d.txt", kPlain)});
    EXPECT_EQ(window->windowTitle(), "Kerfo / 3 files");
    auto* list = child<QListWidget>("files");
    EXPECT_TRUE(list->isVisible());
    EXPECT_EQ(list->accessibleName(), "Files");
    ASSERT_EQ(list->count(), 3);
    EXPECT_EQ(list->item(1)->text(), "b c.txt");
    expectEncryptMode();

    encryptWith("pw");
    expectFinished();
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].text,
              "Done:\r\n" + path("a.kfo") + "\r\n" + path("b c.kfo") + "\r\n" + path("d.kfo"));
    for (const char* name : {"a", "b c", "d"}) {
        EXPECT_FALSE(exists(path(std::string(name) + ".txt"))) << name;
        EXPECT_EQ(readFile(path(std::string(name) + ".kfo")).substr(0, 8), "[Kerfod]") << name;
    }
}

TEST_F(MainWindowTest, CancelClickIsTheCloseAction) {
    open(write("notes.txt", kPlain));
    QTest::mouseClick(cmdCancel(), Qt::LeftButton);
    EXPECT_EQ(exit.codes, std::vector<int>{0});
    window.reset();
    EXPECT_EQ(settings.saves, 2);
}

// --- The auto-quit box's tips and the picture buttons ---

TEST_F(MainWindowTest, AutoQuitTipFollowsTheMode) {
    open(write("notes.txt", kPlain), true);
    EXPECT_TRUE(check1()->toolTip().isEmpty());
    hover(check1(), QPoint(5, 5));
    EXPECT_EQ(check1()->toolTip(), " Enables quick exit after encryption ");

    // Finished: neither action button is on, so the tip keeps its last text.
    check1()->setCheckState(Qt::Unchecked);
    jobs.result.status = filejobs::JobStatus::kDone;
    press(Qt::Key_Return);
    hover(check1(), QPoint(8, 6));
    EXPECT_EQ(check1()->toolTip(), " Enables quick exit after encryption ");

    open(write("letter.kfo", "[Kerfod]"));
    hover(check1(), QPoint(5, 5));
    EXPECT_EQ(check1()->toolTip(), " Enables quick exit after decryption ");
}

TEST_F(MainWindowTest, PictureButtonsAreNamedAndSharp) {
    open(write("notes.txt", kPlain));
    for (QPushButton* button : {cmdEncrypt(), cmdDecrypt()}) {
        EXPECT_TRUE(button->text().isEmpty());
        EXPECT_EQ(button->iconSize(), QSize(32, 32));
        // Drawn for the screen's density, not scaled up from 32 pixels.
        const QPixmap hidpi = button->icon().pixmap(QSize(32, 32), 2.0);
        EXPECT_EQ(hidpi.size(), QSize(64, 64));
        EXPECT_EQ(hidpi.deviceIndependentSize(), QSizeF(32, 32));
    }
    EXPECT_EQ(cmdEncrypt()->accessibleName(), "Encrypt");
    EXPECT_EQ(cmdDecrypt()->accessibleName(), "Decrypt");
    EXPECT_EQ(cmdEncrypt()->toolTip(), " Encrypt ");
    EXPECT_EQ(cmdDecrypt()->toolTip(), " Decrypt ");
    EXPECT_EQ(cmdAbout()->text(), "&About");
    EXPECT_EQ(check1()->text(), "Auto quit window");
    EXPECT_EQ(lblPassword1()->text(), "Enter password:");
    EXPECT_EQ(lblPassword2()->text(), "Enter password again:");
    // Two different pictures, grey: no colour in any pixel.
    const QImage closed = ui::padlockIcon(ui::Padlock::kClosed).pixmap(QSize(32, 32), 1.0).toImage();
    const QImage opened = ui::padlockIcon(ui::Padlock::kOpen).pixmap(QSize(32, 32), 1.0).toImage();
    EXPECT_NE(closed, opened);
    EXPECT_EQ(closed.pixelColor(0, 0).alpha(), 0);
    EXPECT_EQ(closed.pixelColor(16, 22).alpha(), 255);
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            const QColor c = closed.pixelColor(x, y);
            // Edge pixels are blended with transparency; allow for its rounding.
            if (c.alpha() != 0) {
                EXPECT_LE(std::max({c.red(), c.green(), c.blue()}) - std::min({c.red(), c.green(), c.blue()}), 2)
                    << x << "," << y;
            }
        }
    }
}

}  // namespace
}  // namespace kerfo::test
