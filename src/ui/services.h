// The window's ways out to the rest of the machine: message boxes, the clock, the link
// opener, ending the process, the persisted settings and the file jobs. The window gets
// them passed in so the window tests can record what it does instead of showing boxes,
// opening a browser or ending the test process.
#pragma once

#include <QDate>
#include <QUrl>

#include <string>
#include <string_view>

#include "filejobs/jobs.h"
#include "texts/message.h"
#include "window/main_model.h"

class QCheckBox;
class QWidget;

namespace kerfo::ui {

// Today's local date; the about box takes the copyright line's year from it.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDate today() const = 0;
};

// Hands an address to the user's default handler. The result is not examined: a
// machine that cannot open addresses reports nothing.
class LinkOpener {
public:
    virtual ~LinkOpener() = default;
    virtual void open(const QUrl& address) = 0;
};

// Ends the program with `code` once the running event handler has returned; nothing
// the user does reaches the window after this call.
using ProcessExit = window::ProcessExit;

// The persisted preferences: the main window's position and the state of its
// "Auto quit window" box. `load` runs as the first step of loading the main window,
// before the command line is read; `save` runs on the window's query-unload and again
// on its unload, so a normal close saves twice. Failures stay silent.
class SettingsService {
public:
    virtual ~SettingsService() = default;
    virtual void load(QWidget& window, QCheckBox& autoQuit) = 0;
    virtual void save(const QWidget& window, const QCheckBox& autoQuit) = 0;
};

// The two file jobs as the window runs them. `password` is the UTF-8 text of the box.
using JobRunner = window::JobRunner;

// Everything the windows need from outside; none of the pointers may be null and each
// must outlive the windows that use it.
struct Services {
    texts::MessageSink* messages;
    Clock* clock;
    LinkOpener* links;
    ProcessExit* exit;
    SettingsService* settings;
    JobRunner* jobs;
};

// --- The real services of a normal run. ---

// A modal QMessageBox with the message's icon, its title or else "Kerfo", and an Ok button.
class QtMessageSink : public texts::MessageSink {
public:
    void show(const texts::Message& message) override;
};

class SystemClock : public Clock {
public:
    QDate today() const override;
};

// QDesktopServices::openUrl.
class DesktopLinkOpener : public LinkOpener {
public:
    void open(const QUrl& address) override;
};

// Leaves the event loop with `code`; main returns it.
class EventLoopExit : public ProcessExit {
public:
    void exit(int code) override;
};

// filejobs::Encrypt and filejobs::Decrypt on the real file system and clock.
class FileJobRunner : public JobRunner {
public:
    filejobs::JobResult encrypt(const std::string& userFile, std::string_view password) override;
    filejobs::JobResult decrypt(const std::string& userFile, std::string_view password) override;
};

// Core texts (bytes; paths as the file system spells them) as the window shows them.
QString toDisplay(std::string_view text);

}  // namespace kerfo::ui
