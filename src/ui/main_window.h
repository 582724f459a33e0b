// The main window `frmmain`: the password boxes, the Encrypt and Decrypt picture buttons,
// Cancel/Done, About and the "Auto quit window" box, and the window's states from start-up
// to the finished job.
#pragma once

#include <QCheckBox>
#include <QDialog>

#include <memory>
#include <string>

#include "platform/secret.h"
#include "ui/services.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace kerfo::ui {

// The "Auto quit window" box. The stored preference may hold the greyed state; a click
// still only moves between cleared and ticked.
class AutoQuitBox : public QCheckBox {
    Q_OBJECT
public:
    using QCheckBox::QCheckBox;

protected:
    void nextCheckState() override;
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

    const std::string& userFile() const { return m_userFile; }

    // The close action behind Cancel/Done and auto quit: closes the window (saving the
    // settings) and ends the program.
    void closeAction();

    // Selects the whole text of the box that has the focus; does nothing for any other
    // control or an empty box.
    void SetSelected();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void applyMode(bool decrypt, const std::string& caption);
    void encryptClicked();
    void decryptClicked();
    void aboutClicked();
    // Busy pointer, both action buttons off, Cancel off (the job's first step), then an
    // immediate repaint so the user sees it before the job holds the thread.
    // The first box's password as UTF-8, in a copy wiped when the caller is done with it.
    std::unique_ptr<platform::SecretString> passwordForJob() const;
    void enterWorking();
    void finish();
    void showMessage(const platform::Message& message);
    // Each password label in the focus blue while its box is the window's focus widget, else
    // in the button-text colour. Only moves of the focus between the window's own controls
    // change it; losing the activation to a box or another program does not.
    void showFocusOnLabels();
    // The focus blue is the one that reads on the label's background (see palette_colours.h).
    void setLabelFocusColour(QLabel* label, bool focused);

    Services m_services;
    std::string m_userFile;
    // Set once the window has been closed: its destruction is then the unload.
    bool m_closed = false;

    QLabel* m_lblPassword1 = nullptr;
    QLabel* m_lblPassword2 = nullptr;
    QLineEdit* m_txtPassword1 = nullptr;
    QLineEdit* m_txtPassword2 = nullptr;
    QPushButton* m_cmdEncrypt = nullptr;
    QPushButton* m_cmdDecrypt = nullptr;
    QPushButton* m_cmdCancel = nullptr;
    QPushButton* m_cmdAbout = nullptr;
    AutoQuitBox* m_check1 = nullptr;
};

}  // namespace kerfo::ui
