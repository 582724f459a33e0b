// The desktop program: `kerfo <file>...`, started by the file manager's "Kerfo-Encrypt" entry.
#include <QApplication>
#include <QByteArray>
#include <QTimer>

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "texts/texts.h"

#include "ui/main_window.h"
#include "ui/services.h"
#include "ui/start_up.h"
#include "window/batch.h"
#include "window/job_runner.h"
#include "window/services.h"

namespace {

// Debian expects every program in /usr/bin to answer these. They are answered only as the
// whole command line and only while no file of that name is here: a file that happens to be
// called "--help" still opens, as it always did.
bool answeredInTerminal(const std::string& userFile) {
    const bool help = userFile == "--help";
    if (!help && userFile != "--version") {
        return false;
    }
    std::error_code error;
    if (std::filesystem::symlink_status(userFile, error).type() !=
        std::filesystem::file_type::not_found) {
        return false;
    }
    if (help) {
        std::fputs(std::string(kerfo::texts::kWindowHelp).c_str(), stdout);
    } else {
        std::printf("%s %s\n", std::string(kerfo::texts::kWindowName).c_str(), KERFO_VERSION);
    }
    return true;
}

// On native Wayland a window cannot place itself, so the remembered position would silently
// stop working. Wherever an X server answers (XWayland included) the window goes there, and Qt
// moves on to Wayland when it cannot connect. A platform the user chose always wins.
QByteArray preferredPlatform() {
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || qEnvironmentVariableIsEmpty("DISPLAY")) {
        return {};
    }
    return QByteArrayLiteral("xcb;wayland");
}

}  // namespace

int main(int argc, char** argv) {
    using namespace kerfo;
    using namespace kerfo::ui;

    // The whole command line is the file's path, so Qt must not read options from it.
    const std::string userFile = commandTail(argc, argv);
    if (answeredInTerminal(userFile)) {
        return 0;
    }
    // A file manager hands over every selected file as an argument of its own.
    const std::vector<std::string> files = window::targetFiles(
        std::vector<std::string>(argv + 1, argv + argc), [](const std::string& path) {
            std::error_code error;
            return std::filesystem::exists(std::filesystem::symlink_status(path, error));
        });
    QByteArray platform = preferredPlatform();
    char platformOption[] = "-platform";
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr, nullptr, nullptr};
    if (!platform.isEmpty()) {
        qtArgv[qtArgc++] = platformOption;
        qtArgv[qtArgc++] = platform.data();
    }
    QApplication app(qtArgc, qtArgv);
    QApplication::setApplicationName(QStringLiteral("kerfo"));
    // Docks and task switchers find the icon through the application entry of this name.
    QApplication::setDesktopFileName(QStringLiteral(KERFO_APP_ID));

    QtMessageSink messages;
    InstanceLock lock;
    if (!lock.acquire()) {
        messages.show(window::alreadyRunningMessage());
        return 1;
    }

    SystemClock clock;
    DesktopLinkOpener links;
    EventLoopExit exit;
    // Opened only past the single-instance check, so a refused second copy never reads it.
    window::StoredSettings settings(messages);
    window::FileGate gate;
    QtWindowThread windowThread;
    window::ThreadedJobRunner jobs(windowThread);
    window::SteadyClock jobClock;
    FrmMain mainWindow(
        Services{&messages, &clock, &links, &exit, &settings, &gate, &jobs, &jobClock});
    if (!mainWindow.load(files)) {
        return 1;
    }
    mainWindow.show();
    // Set only by the start-up benchmark: end as soon as the window is on screen.
    if (qEnvironmentVariableIsSet("KERFO_EXIT_AFTER_SHOW")) {
        QTimer::singleShot(0, &app, &QCoreApplication::quit);
    }
    return app.exec();
}
