// Window tests: checks on a modal box, which blocks the test in its own event loop.
#pragma once

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>

namespace kerfo::test {

// Runs `inspect` on the next modal box from inside its event loop, once the loop has
// started; call it before the code that opens the box. Closes the box afterwards if
// `inspect` left it open, so that a failing check cannot hang the test.
inline void whenModal(std::function<void(QWidget* box)> inspect) {
    QTimer::singleShot(0, [inspect = std::move(inspect)] {
        QWidget* box = QApplication::activeModalWidget();
        ASSERT_NE(box, nullptr) << "no modal box is open";
        inspect(box);
        if (box->isVisible()) box->close();
    });
}

}  // namespace kerfo::test
