// The desktop program: `kerfo <file>`, started by the file manager's "Kerfo-Encrypt" entry.
#include <QApplication>
#include <QTimer>

#include "ui/main_window.h"
#include "ui/services.h"
#include "ui/settings_adapter.h"
#include "ui/start_up.h"

int main(int argc, char** argv) {
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
        messages.show(alreadyRunningMessage());
        return 1;
    }

    SystemClock clock;
    DesktopLinkOpener links;
    EventLoopExit exit;
    // Opened only past the single-instance check, so a refused second copy never reads it.
    StoredSettings settings(messages);
    FileJobRunner jobs;
    FrmMain window(Services{&messages, &clock, &links, &exit, &settings, &jobs});
    if (!window.load(userFile)) {
        return 1;
    }
    window.show();
    // Set only by the start-up benchmark: end as soon as the window is on screen.
    if (qEnvironmentVariableIsSet("KERFO_EXIT_AFTER_SHOW")) {
        QTimer::singleShot(0, &app, &QCoreApplication::quit);
    }
    return app.exec();
}
