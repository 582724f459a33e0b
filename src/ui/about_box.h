// The about box `frmabout`: title, version and copyright lines filled in when it opens,
// the free-use notice and the home-page link. A fixed layout laid out in twips, as the
// box has always been drawn, converted at 15 twips to a logical pixel.
#pragma once

#include <QDialog>

#include "ui/services.h"

class QLabel;
class QPushButton;

namespace kerfo::ui {

// "Version " and the three numbers, each in plain decimal digits ("Version 1.0.2").
QString versionLine(int major, int minor, int revision);

// The copyright lead-in followed by `year` in four digits.
QString copyrightLine(int year);

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

    QWidget* m_mainWindow;
    Services m_services;
    QLabel* m_lblprogtitle = nullptr;
    QLabel* m_lblversion = nullptr;
    QLabel* m_lblcopyright = nullptr;
    QLabel* m_lblurl = nullptr;
    QPushButton* m_cmdok = nullptr;
};

}  // namespace kerfo::ui
