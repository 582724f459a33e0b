#include "ui/services.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFile>
#include <QMessageBox>

#include "texts/texts.h"

namespace kerfo::ui {

namespace {

QMessageBox::Icon toQtIcon(texts::Icon icon) {
    switch (icon) {
        case texts::Icon::kError:
            return QMessageBox::Critical;
        case texts::Icon::kWarning:
            return QMessageBox::Warning;
        case texts::Icon::kInformation:
            return QMessageBox::Information;
        case texts::Icon::kNone:
            break;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

QString toDisplay(std::string_view text) {
    QString shown = QFile::decodeName(QByteArray(text.data(), static_cast<qsizetype>(text.size())));
    // The core ends its lines the way the classic boxes wanted them; Qt breaks on LF.
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return shown;
}

void QtMessageSink::show(const texts::Message& message) {
    // Over the window the user is looking at, if any; modal for the whole program either way.
    QMessageBox box(toQtIcon(message.icon), toDisplay(message.title.value_or(std::string(texts::kAppTitle))),
                    toDisplay(message.text), QMessageBox::Ok, QApplication::activeWindow());
    box.setWindowModality(Qt::ApplicationModal);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

QDate SystemClock::today() const {
    return QDate::currentDate();
}

void DesktopLinkOpener::open(const QUrl& address) {
    QDesktopServices::openUrl(address);
}

void EventLoopExit::exit(int code) {
    QCoreApplication::exit(code);
}

void QtWindowThread::post(std::function<void()> task) {
    // Without an application object no event loop will ever run the task.
    if (QCoreApplication* app = QCoreApplication::instance()) {
        QMetaObject::invokeMethod(app, std::move(task), Qt::QueuedConnection);
    }
}

}  // namespace kerfo::ui
