// The about box `frmabout`: title, version and copyright lines filled in when it opens,
// the free-use notice and the home-page link. The fixed layout in twips of
// window/about_model.h, converted at 15 twips to a logical pixel; with a larger font than
// the design's, the box and its controls grow so that every text shows whole.
#pragma once

#include <QDialog>
#include <QFont>
#include <QRect>

#include <vector>

#include "ui/services.h"

class QLabel;
class QPushButton;

namespace kerfo::ui {

// The heading's font over the body font `body`: 13.5 pt, or one and a half times the body
// text when that is larger, so the heading never ends up smaller than the text below it.
QFont headingFont(const QFont& body);

// The version line's font: bold, 9.75 pt or the body's size when that is larger.
QFont versionFont(const QFont& body);

class FrmAbout : public QDialog {
    Q_OBJECT
public:
    // `mainWindow` is minimised when the link is clicked; the box itself has no owner
    // window and blocks the whole application while it is open.
    FrmAbout(QWidget* mainWindow, const Services& services);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The load steps: title, version line, copyright line with today's year.
    void fillTexts();
    void linkClicked();
    // Places every control at its design place, grown to its text, and sizes the box.
    void layOut();

    struct Item {
        QWidget* widget;
        // Design place in twips: left, top, width, height.
        QRect design;
        // Takes the width of its text rather than its design width.
        bool sizedToText;
    };
    std::vector<Item> m_items;

    QWidget* m_mainWindow;
    Services m_services;
    QLabel* m_lblprogtitle = nullptr;
    QLabel* m_lblversion = nullptr;
    QLabel* m_lblcopyright = nullptr;
    QLabel* m_lblurl = nullptr;
    QPushButton* m_cmdok = nullptr;
};

}  // namespace kerfo::ui
