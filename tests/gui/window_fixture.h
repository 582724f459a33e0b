// A main window on a file in a fresh temporary folder, with recording services; its jobs
// either scripted or the real ones, on their own thread.
#pragma once

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <ostream>
#include <string>

#include "fakes/ui_services.h"
#include "support/files.h"
#include "ui/main_window.h"

namespace kerfo::texts {

inline void PrintTo(const Message& message, std::ostream* out) {
    *out << "{\"" << message.text << "\", icon " << static_cast<int>(message.icon) << ", title "
         << (message.title ? "\"" + *message.title + "\"" : std::string("none")) << "}";
}

}  // namespace kerfo::texts

namespace kerfo::test {

// A mouse move over `widget` with no button held, straight to the widget.
inline void hover(QWidget* widget, QPoint at) {
    QMouseEvent move(QEvent::MouseMove, QPointF(at), QPointF(widget->mapToGlobal(at)), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
}

// The application's font and palette for one test, put back as they were afterwards.
class AppLook {
public:
    AppLook() : m_font(QApplication::font()), m_palette(QApplication::palette()) {}
    ~AppLook() {
        QApplication::setFont(m_font);
        QApplication::setPalette(m_palette);
    }
    AppLook(const AppLook&) = delete;
    AppLook& operator=(const AppLook&) = delete;

    void pointSize(double points) {
        QFont font = m_font;
        font.setPointSizeF(points);
        QApplication::setFont(font);
    }

    // A dark desktop theme's colours: light text on a near-black window.
    void dark() {
        QPalette palette;
        palette.setColor(QPalette::Window, QColor(0x2d, 0x2d, 0x2d));
        palette.setColor(QPalette::WindowText, QColor(0xe0, 0xe0, 0xe0));
        palette.setColor(QPalette::Button, QColor(0x3a, 0x3a, 0x3a));
        palette.setColor(QPalette::ButtonText, QColor(0xe0, 0xe0, 0xe0));
        palette.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x1e));
        palette.setColor(QPalette::Text, QColor(0xe0, 0xe0, 0xe0));
        palette.setColor(QPalette::Light, QColor(0x5a, 0x5a, 0x5a));
        palette.setColor(QPalette::Shadow, QColor(0x00, 0x00, 0x00));
        QApplication::setPalette(palette);
    }

private:
    QFont m_font;
    QPalette m_palette;
};

inline bool exists(const std::string& path) {
    return std::ifstream(path).good();
}

class WindowTest : public ::testing::Test {
protected:
    std::string path(const std::string& name) const { return (m_dir.path() + QLatin1Char('/')).toStdString() + name; }

    std::string write(const std::string& name, const std::string& bytes) const {
        std::ofstream(path(name), std::ios::binary) << bytes;
        return path(name);
    }

    ui::Services services(bool scripted = false) {
        return ui::Services{&messages,
                            &clock,
                            &links,
                            &exit,
                            &settings,
                            &gate,
                            scripted ? static_cast<window::JobRunner*>(&jobs) : &realJobs,
                            &jobClock};
    }

    // Lets the event loop run until the window's job has ended and what followed it (a box,
    // auto quit) has been done.
    void untilJobEnds() {
        EXPECT_TRUE(
            QTest::qWaitFor([this] { return window->state() != window::State::kWorking; }, 60000));
    }

    // Loads the window on `userFile` (or on several files) and shows it, active, as start-up
    // does.
    ui::FrmMain& open(const std::string& userFile, bool scripted = false) {
        return open(std::vector<std::string>{userFile}, scripted);
    }
    ui::FrmMain& open(const std::vector<std::string>& files, bool scripted = false) {
        window = std::make_unique<ui::FrmMain>(services(scripted));
        EXPECT_TRUE(window->load(files));
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
        return *window;
    }

    template <typename T>
    T* child(const char* name) const {
        T* found = window->findChild<T*>(QLatin1String(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    QLineEdit* txtPassword1() const { return child<QLineEdit>("txtPassword1"); }
    QLineEdit* txtPassword2() const { return child<QLineEdit>("txtPassword2"); }
    QPushButton* cmdEncrypt() const { return child<QPushButton>("cmdEncrypt"); }
    QPushButton* cmdDecrypt() const { return child<QPushButton>("cmdDecrypt"); }
    QPushButton* cmdCancel() const { return child<QPushButton>("cmdCancel"); }
    QPushButton* cmdAbout() const { return child<QPushButton>("cmdAbout"); }
    QCheckBox* check1() const { return child<QCheckBox>("Check1"); }
    QLabel* lblPassword1() const { return child<QLabel>("lblPassword1"); }
    QLabel* lblPassword2() const { return child<QLabel>("lblPassword2"); }

    // Types into whatever has the focus, as a user would.
    void type(const QString& text) { QTest::keyClicks(window->focusWidget(), text); }
    void press(Qt::Key key) { QTest::keyClick(window->focusWidget(), key); }
    // Types the password in both boxes, as a user does, and runs the job to its end.
    void encryptWith(const QString& password) {
        type(password);
        press(Qt::Key_Tab);
        type(password);
        press(Qt::Key_Return);
        untilJobEnds();
    }

    QTemporaryDir m_dir;
    RecordingMessages messages;
    FixedClock clock{QDate(2031, 5, 17)};
    RecordingLinks links;
    RecordingExit exit;
    RecordingModelSettings settings{
        [this] { return window ? window->windowTitle().toStdString() : std::string(); }};
    window::FileGate gate;
    ui::QtWindowThread windowThread;
    window::ThreadedJobRunner realJobs{windowThread};
    ScriptedJobs jobs;
    FakeClock jobClock;
    // Declared last: destroyed before the services it uses.
    std::unique_ptr<ui::FrmMain> window;
};

}  // namespace kerfo::test
