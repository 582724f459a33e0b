#include "ui/main_window.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QVBoxLayout>

#include "filejobs/gate.h"
#include "platform/texts.h"
#include "ui/about_box.h"
#include "ui/padlock_icon.h"
#include "ui/palette_colours.h"

namespace kerfo::ui {

namespace {

// Password boxes show every typed character as "*", whatever the platform's style
// would draw (often a bullet).
class StarPasswordStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_LineEdit_PasswordCharacter) {
            return '*';
        }
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

QString qs(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QLineEdit* passwordBox(const char* name, QStyle* style, QWidget* parent) {
    auto* box = new QLineEdit(parent);
    box->setObjectName(QLatin1String(name));
    box->setEchoMode(QLineEdit::Password);
    box->setStyle(style);
    // No length limit on passwords.
    box->setMaxLength(32767);
    box->setMinimumWidth(190);
    return box;
}

QPushButton* pictureButton(const char* name, Padlock picture, std::string_view tip, std::string_view spoken,
                           QWidget* parent) {
    auto* button = new QPushButton(parent);
    button->setObjectName(QLatin1String(name));
    button->setIcon(padlockIcon(picture));
    button->setIconSize(QSize(32, 32));
    button->setFixedSize(48, 48);
    button->setToolTip(qs(tip));
    // Without a caption, screen readers need a name to announce.
    button->setAccessibleName(qs(spoken));
    return button;
}

}  // namespace

void AutoQuitBox::nextCheckState() {
    setCheckState(checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
}

FrmMain::FrmMain(const Services& services, QWidget* parent)
    : QDialog(parent,
              Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                  Qt::WindowCloseButtonHint),
      m_services(services) {
    setObjectName(QStringLiteral("frmmain"));
    setWindowTitle(qs(texts::kDesignCaption));
    setWindowIcon(padlockIcon(Padlock::kClosed));
    buildControls();
}

FrmMain::~FrmMain() {
    // The unload: the window is gone for good; the query-unload has saved once already.
    if (m_closed) {
        m_services.settings->save(*this, *m_check1);
    }
}

void FrmMain::buildControls() {
    auto* starStyle = new StarPasswordStyle;
    starStyle->setParent(this);

    m_lblPassword1 = new QLabel(qs(texts::kEnterPassword), this);
    m_lblPassword1->setObjectName(QStringLiteral("lblPassword1"));
    m_lblPassword2 = new QLabel(qs(texts::kEnterPasswordAgain), this);
    m_lblPassword2->setObjectName(QStringLiteral("lblPassword2"));
    m_txtPassword1 = passwordBox("txtPassword1", starStyle, this);
    m_txtPassword2 = passwordBox("txtPassword2", starStyle, this);
    m_lblPassword1->setBuddy(m_txtPassword1);
    m_lblPassword2->setBuddy(m_txtPassword2);

    m_cmdEncrypt = pictureButton("cmdEncrypt", Padlock::kClosed, texts::kEncryptTip, texts::kEncryptName, this);
    m_cmdDecrypt = pictureButton("cmdDecrypt", Padlock::kOpen, texts::kDecryptTip, texts::kDecryptName, this);
    m_cmdCancel = new QPushButton(qs(texts::kCancel), this);
    m_cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    m_cmdAbout = new QPushButton(qs(texts::kAbout), this);
    m_cmdAbout->setObjectName(QStringLiteral("cmdAbout"));
    m_check1 = new AutoQuitBox(qs(texts::kAutoQuit), this);
    m_check1->setObjectName(QStringLiteral("Check1"));
    m_check1->setCheckState(Qt::Checked);
    m_check1->setMouseTracking(true);

    // No button is the default until the gate has chosen the mode.
    for (QPushButton* button : {m_cmdEncrypt, m_cmdDecrypt, m_cmdCancel, m_cmdAbout}) {
        button->setDefault(false);
    }

    auto* passwords = new QVBoxLayout;
    passwords->setSpacing(2);
    passwords->addWidget(m_lblPassword1);
    passwords->addWidget(m_txtPassword1);
    passwords->addSpacing(6);
    passwords->addWidget(m_lblPassword2);
    passwords->addWidget(m_txtPassword2);

    auto* pictures = new QHBoxLayout;
    pictures->addWidget(m_cmdEncrypt, 0, Qt::AlignVCenter);
    pictures->addWidget(m_cmdDecrypt, 0, Qt::AlignVCenter);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_check1);
    bottom->addStretch(1);
    bottom->addWidget(m_cmdCancel);
    bottom->addWidget(m_cmdAbout);

    auto* grid = new QGridLayout(this);
    grid->setHorizontalSpacing(14);
    grid->setVerticalSpacing(12);
    grid->addLayout(passwords, 0, 0);
    grid->addLayout(pictures, 0, 1);
    grid->addLayout(bottom, 1, 0, 1, 2);
    grid->setSizeConstraint(QLayout::SetFixedSize);

    setTabOrder(m_txtPassword1, m_txtPassword2);
    setTabOrder(m_txtPassword2, m_cmdEncrypt);
    setTabOrder(m_cmdEncrypt, m_cmdDecrypt);
    setTabOrder(m_cmdDecrypt, m_cmdCancel);
    setTabOrder(m_cmdCancel, m_cmdAbout);
    setTabOrder(m_cmdAbout, m_check1);

    m_txtPassword1->installEventFilter(this);
    m_txtPassword2->installEventFilter(this);
    m_check1->installEventFilter(this);
    showFocusOnLabels();

    connect(m_cmdEncrypt, &QPushButton::clicked, this, &FrmMain::encryptClicked);
    connect(m_cmdDecrypt, &QPushButton::clicked, this, &FrmMain::decryptClicked);
    connect(m_cmdCancel, &QPushButton::clicked, this, &FrmMain::closeAction);
    connect(m_cmdAbout, &QPushButton::clicked, this, &FrmMain::aboutClicked);
}

bool FrmMain::load(const std::string& userFile) {
    m_services.settings->load(*this, *m_check1);
    m_userFile = userFile;
    filejobs::GateResult gate = filejobs::checkAll(m_userFile);
    if (gate.refusal) {
        showMessage(*gate.refusal);
        return false;
    }
    applyMode(gate.mode == filejobs::Mode::kDecrypt, gate.caption);
    return true;
}

void FrmMain::applyMode(bool decrypt, const std::string& caption) {
    if (decrypt) {
        m_cmdEncrypt->setEnabled(false);
        m_cmdDecrypt->setEnabled(true);
        m_cmdDecrypt->setDefault(true);
        m_lblPassword2->setEnabled(false);
        m_txtPassword2->setEnabled(false);
        m_txtPassword2->clear();
    } else {
        m_cmdEncrypt->setEnabled(true);
        m_cmdEncrypt->setDefault(true);
        m_cmdDecrypt->setEnabled(false);
        m_lblPassword2->setEnabled(true);
        m_txtPassword2->setEnabled(true);
    }
    m_lblPassword1->setEnabled(true);
    m_txtPassword1->setEnabled(true);
    m_txtPassword1->setFocus();
    if (!caption.empty()) {
        setWindowTitle(toDisplay(caption));
    }
}

void FrmMain::SetSelected() {
    if (auto* box = qobject_cast<QLineEdit*>(focusWidget())) {
        box->selectAll();
    }
}

void FrmMain::encryptClicked() {
    if (m_txtPassword2->text() != m_txtPassword1->text()) {
        showMessage(platform::Message{std::string(texts::kPasswordsDiffer), platform::Icon::kWarning,
                                      std::string(texts::kAppTitle)});
        m_txtPassword2->setFocus();
        SetSelected();
        return;
    }
    enterWorking();
    filejobs::JobResult result = m_services.jobs->encrypt(m_userFile, passwordForJob()->str());
    if (result.status == filejobs::JobStatus::kDone) {
        finish();
    } else {
        // A failed encryption is fatal: the box, then the end of the program. The plain
        // file is still there, untouched.
        showMessage(filejobs::encryptFailureMessage(
            result.error.value_or(platform::RuntimeError(platform::ErrorNumber::kDeviceIo))));
        m_services.exit->exit(1);
    }
    unsetCursor();
}

void FrmMain::decryptClicked() {
    enterWorking();
    filejobs::JobResult result = m_services.jobs->decrypt(m_userFile, passwordForJob()->str());
    switch (result.status) {
        case filejobs::JobStatus::kDone:
            finish();
            break;
        case filejobs::JobStatus::kWrongPassword:
            // Retry: the same box again, its text selected; Cancel stays off.
            showMessage(filejobs::wrongPasswordMessage());
            m_txtPassword1->setFocus();
            SetSelected();
            m_lblPassword1->setEnabled(true);
            m_cmdDecrypt->setEnabled(true);
            break;
        case filejobs::JobStatus::kFailed:
            // Stuck: the report, and the controls stay as they are; only About, the
            // auto-quit box and the close box are left.
            showMessage(filejobs::decryptErrorReport(
                result.error.value_or(platform::RuntimeError(platform::ErrorNumber::kDeviceIo))));
            break;
    }
    unsetCursor();
}

void FrmMain::aboutClicked() {
    FrmAbout about(this, m_services);
    about.exec();
}

std::unique_ptr<platform::SecretString> FrmMain::passwordForJob() const {
    QByteArray utf8 = m_txtPassword1->text().toUtf8();
    auto secret = std::make_unique<platform::SecretString>(std::string_view(utf8.constData(), utf8.size()));
    utf8.fill('\0');
    return secret;
}

void FrmMain::enterWorking() {
    setCursor(Qt::WaitCursor);
    m_cmdEncrypt->setEnabled(false);
    m_cmdDecrypt->setEnabled(false);
    m_cmdCancel->setEnabled(false);
    repaint();
}

void FrmMain::finish() {
    m_cmdCancel->setEnabled(true);
    m_cmdCancel->setText(qs(texts::kDone));
    m_cmdCancel->setFocus();
    m_lblPassword1->setEnabled(false);
    m_lblPassword2->setEnabled(false);
    m_txtPassword1->setEnabled(false);
    m_txtPassword2->setEnabled(false);
    // The job is done: the password has no further use, so the boxes let go of it.
    m_txtPassword1->clear();
    m_txtPassword2->clear();
    // Only a plain tick ends the program; the greyed state does not.
    if (m_check1->checkState() == Qt::Checked) {
        closeAction();
    }
}

void FrmMain::closeAction() {
    close();
    m_services.exit->exit(0);
}

void FrmMain::showMessage(const platform::Message& message) {
    m_services.messages->show(message);
}

void FrmMain::showFocusOnLabels() {
    // The window's own focus, which stays on its box while a message box or another program
    // is active: the label shows where typing will go when the user comes back.
    QWidget* focus = focusWidget();
    setLabelFocusColour(m_lblPassword1, focus == m_txtPassword1);
    setLabelFocusColour(m_lblPassword2, focus == m_txtPassword2);
}

void FrmMain::setLabelFocusColour(QLabel* label, bool focused) {
    // From the window's palette: while a new palette spreads, the label's may still be the old one.
    const QPalette& window = this->palette();
    const QColor colour = focused ? readableBlue(window.color(QPalette::Active, QPalette::Window))
                                  : window.color(QPalette::Active, QPalette::ButtonText);
    QPalette palette = label->palette();
    // A disabled label keeps the platform's greyed look.
    palette.setColor(QPalette::Active, QPalette::WindowText, colour);
    palette.setColor(QPalette::Inactive, QPalette::WindowText, colour);
    label->setPalette(palette);
}

void FrmMain::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        // Esc is the Cancel/Done button's key: it works only while that button does.
        if (m_cmdCancel->isEnabled()) {
            closeAction();
        }
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void FrmMain::changeEvent(QEvent* event) {
    // A new desktop palette (a switch to a dark theme): the focus blue is chosen anew.
    if (event->type() == QEvent::PaletteChange) {
        showFocusOnLabels();
    }
    QDialog::changeEvent(event);
}

void FrmMain::closeEvent(QCloseEvent* event) {
    // The query-unload: the first of the two saves of every close.
    m_services.settings->save(*this, *m_check1);
    m_closed = true;
    event->accept();
}

bool FrmMain::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if ((type == QEvent::FocusIn || type == QEvent::FocusOut) &&
        (watched == m_txtPassword1 || watched == m_txtPassword2)) {
        showFocusOnLabels();
    } else if (type == QEvent::MouseMove && watched == m_check1) {
        // With neither action button enabled the tip keeps its last text.
        if (m_cmdEncrypt->isEnabled()) {
            m_check1->setToolTip(qs(texts::kQuickExitEncrypt));
        }
        if (m_cmdDecrypt->isEnabled()) {
            m_check1->setToolTip(qs(texts::kQuickExitDecrypt));
        }
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace kerfo::ui
