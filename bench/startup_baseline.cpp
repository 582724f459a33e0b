// The yardstick for Kerfo's start-up: the least Qt Widgets program of the same shape
// (two line edits and four buttons), shown and, with KERFO_EXIT_AFTER_SHOW set, ended
// exactly the way the start-up benchmark ends Kerfo.
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    for (int i = 0; i < 2; ++i) {
        layout->addWidget(new QLineEdit(&window));
    }
    for (const char* caption : {"Encrypt", "Decrypt", "Cancel", "About"}) {
        layout->addWidget(new QPushButton(QString::fromLatin1(caption), &window));
    }
    window.show();
    if (qEnvironmentVariableIsSet("KERFO_EXIT_AFTER_SHOW")) {
        QTimer::singleShot(0, &app, &QCoreApplication::quit);
    }
    return app.exec();
}
