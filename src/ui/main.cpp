// The desktop program: `kerfo <file>`, started by the file manager's "Kerfo-Encrypt" entry.
#include <QApplication>
#include <QTimer>

#include "ui/main_window.h"
#include "ui/services.h"
#include "ui/start_up.h"
#include "window/job_runner.h"
#include "window/services.h"

int main(int argc, char** argv) {
    using namespace kerfo;
    using namespace kerfo::ui;

    // The whole command line is the file's path, so Qt must not read options from it.
    const std::string userFile = commandTail(argc, argv);
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QApplication app(qtArgc, qtArgv);
    QApplication::setApplicationName(QStringLiteral("kerfo"));
    QApplication::setDesktopFileName(QStringLiteral("kerfo"));

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
    if (!mainWindow.load(userFile)) {
        return 1;
    }
    mainWindow.show();
    // Set only by the start-up benchmark: end as soon as the window is on screen.
    if (qEnvironmentVariableIsSet("KERFO_EXIT_AFTER_SHOW")) {
        QTimer::singleShot(0, &app, &QCoreApplication::quit);
    }
    return app.exec();
}
