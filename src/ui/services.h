// The window's ways out to the rest of the machine: message boxes, the date, the link
// opener, ending the process, the persisted settings, the gate, the file jobs and the
// clock they are timed by. The window gets them passed in so the window tests can record
// what it does instead of showing boxes, opening a browser or ending the test process.
// Everything but the date, the link and the boxes is the window model's (window/services.h).
#pragma once

#include <QDate>
#include <QUrl>

#include <functional>
#include <string_view>

#include "texts/message.h"
#include "window/job_runner.h"
#include "window/services.h"

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

// Everything the windows need from outside; none of the pointers may be null and each
// must outlive the windows that use it.
struct Services {
    texts::MessageSink* messages;
    Clock* clock;
    LinkOpener* links;
    window::ProcessExit* exit;
    window::SettingsService* settings;
    window::Gate* gate;
    window::JobRunner* jobs;
    // How long a job has run, for when its progress shows.
    window::Clock* jobClock;
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
class EventLoopExit : public window::ProcessExit {
public:
    void exit(int code) override;
};

// Hands tasks to the application's thread through its event queue (a queued call on the
// application object), so they run in every event loop, a modal box's too.
class QtWindowThread : public window::WindowThread {
public:
    void post(std::function<void()> task) override;
};

// Core texts (bytes; paths as the file system spells them) as the window shows them.
QString toDisplay(std::string_view text);

}  // namespace kerfo::ui
