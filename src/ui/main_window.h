// The main window `frmmain` in Qt: the password boxes, the Encrypt and Decrypt picture
// buttons, Cancel/Done, About and the "Auto quit window" box. Its behaviour (the states
// from start-up to the finished job) is the window model's; this class creates the
// controls, forwards their events to the model and shows what the model says.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QProgressBar>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/services.h"
#include "window/main_model.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace kerfo::ui {

// The "Auto quit window" box. What a click (or Space) makes of its state is the window
// model's rule: the box hands every click to `onClick` instead of moving on by itself.
class AutoQuitBox : public QCheckBox {
    Q_OBJECT
public:
    using QCheckBox::QCheckBox;
    std::function<void()> onClick;

protected:
    void nextCheckState() override;
};

// A long job's progress, with the model's text as it stands (a file's name may hold what
// QProgressBar's format would take for a placeholder).
class ProgressBar : public QProgressBar {
    Q_OBJECT
public:
    using QProgressBar::QProgressBar;
    void setText(const QString& text);
    QString text() const override;

private:
    QString m_text;
};

// A dialog-style window so that the mode's action button is a real default button that
// Enter presses. Esc and the close box are handled here rather than by QDialog's reject.
class FrmMain : public QDialog {
    Q_OBJECT
public:
    explicit FrmMain(const Services& services, QWidget* parent = nullptr);
    ~FrmMain() override;

    // Loading: restores the settings, takes `userFile` (the whole command-line tail, as
    // bytes) and runs the target-file gate. Returns false when the gate refused the file:
    // its box has been shown and the program must end without showing the window.
    bool load(const std::string& userFile);
    // The same for the files of one start (window::targetFiles).
    bool load(const std::vector<std::string>& files);

    // Where the window is in its life: a job running, finished, retry, ...
    window::State state() const { return m_model->state(); }

    // Selects the whole text of the box that has the focus; does nothing for any other
    // control or an empty box.
    void SetSelected();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class View;

    void buildControls();
    // Each password label in the focus blue while its box is the window's focus widget, else
    // in the button-text colour. Only moves of the focus between the window's own controls
    // change it; losing the activation to a box or another program does not.
    void showFocusOnLabels();
    // The focus blue is the one that reads on the label's background (see palette_colours.h).
    void setLabelFocusColour(QLabel* label, bool focused);

    Services m_services;

    QLabel* m_lblPassword1 = nullptr;
    QLabel* m_lblPassword2 = nullptr;
    QLineEdit* m_txtPassword1 = nullptr;
    QLineEdit* m_txtPassword2 = nullptr;
    QPushButton* m_cmdEncrypt = nullptr;
    QPushButton* m_cmdDecrypt = nullptr;
    QPushButton* m_cmdCancel = nullptr;
    QPushButton* m_cmdAbout = nullptr;
    AutoQuitBox* m_check1 = nullptr;
    // The names of several files; hidden for one.
    QListWidget* m_files = nullptr;
    // Hidden until a job has run long enough to show how far it has come.
    ProgressBar* m_progress = nullptr;

    std::unique_ptr<View> m_view;
    // Declared last: built once the controls exist, gone before them.
    std::unique_ptr<window::MainModel> m_model;
};

}  // namespace kerfo::ui
