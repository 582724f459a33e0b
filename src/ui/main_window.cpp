#include "ui/main_window.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QProxyStyle>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

#include "platform/secret.h"
#include "texts/texts.h"
#include "ui/about_box.h"
#include "ui/padlock_icon.h"
#include "ui/palette_colours.h"
#include "ui/settings_adapter.h"
#include "ui/window_placement.h"

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

// What the window model asks of the Qt window.
class FrmMain::View final : public window::MainView {
public:
    explicit View(FrmMain& w) : m_w(w), m_position(w), m_check(*w.m_check1), m_reminder(&w) {
        m_reminder.setSingleShot(true);
        QObject::connect(&m_reminder, &QTimer::timeout, &w, [&w] { w.m_model->remind(); });
    }

    void setCaption(std::string_view caption) override { m_w.setWindowTitle(toDisplay(caption)); }
    void setEnabled(window::Control control, bool enabled) override { widget(control)->setEnabled(enabled); }
    void setDefaultButton(window::Control button) override {
        static_cast<QPushButton*>(widget(button))->setDefault(true);
    }
    void setFocus(window::Control control) override { widget(control)->setFocus(); }
    void selectFocusedText() override { m_w.SetSelected(); }
    std::string password(window::Control box) const override {
        QByteArray utf8 = static_cast<QLineEdit*>(widget(box))->text().toUtf8();
        std::string copy(utf8.constData(), static_cast<std::size_t>(utf8.size()));
        utf8.fill('\0');
        return copy;
    }
    void clearPassword(window::Control box) override { static_cast<QLineEdit*>(widget(box))->clear(); }
    void setPasswordLimit(int characters) override {
        m_w.m_txtPassword1->setMaxLength(characters);
        m_w.m_txtPassword2->setMaxLength(characters);
    }
    void setCancelText(std::string_view text) override { m_w.m_cmdCancel->setText(qs(text)); }
    void setLabelFocused(window::Control label, bool focused) override {
        m_w.setLabelFocusColour(static_cast<QLabel*>(widget(label)), focused);
    }
    void setCheckTip(std::string_view tip) override { m_w.m_check1->setToolTip(qs(tip)); }
    int checkState() const override { return m_check.value(); }
    void setBusy(bool busy) override {
        if (busy) {
            m_w.setCursor(Qt::WaitCursor);
        } else {
            m_w.unsetCursor();
        }
    }
    void repaintNow() override { m_w.repaint(); }
    void showProgress(const std::optional<window::ProgressView>& progress) override {
        if (progress) {
            m_w.m_progress->setText(toDisplay(progress->text));
            m_w.m_progress->setValue(progress->percent);
        }
        m_w.m_progress->setVisible(progress.has_value());
    }
    void showFiles(const std::vector<std::string>& names) override {
        QListWidget* list = m_w.m_files;
        list->clear();
        for (const std::string& name : names) {
            list->addItem(toDisplay(name));
        }
        // Up to five names at a time; more scroll.
        const int rows = std::min(static_cast<int>(names.size()), 5);
        list->setFixedHeight(rows * list->sizeHintForRow(0) + 2 * list->frameWidth());
        list->setVisible(!names.empty());
    }
    void showAbout() override {
        FrmAbout about(&m_w, m_w.m_services);
        about.exec();
    }
    void closeWindow() override { m_w.close(); }
    settings::PositionTarget& position() override { return m_position; }
    settings::CheckTarget& autoQuitBox() override { return m_check; }
    window::Frame frame() const override { return frameOf(m_w); }
    std::vector<window::Rect> screens() const override { return screenAreas(); }
    void moveFrame(window::Point corner) override { moveFrameTo(m_w, QPoint(corner.x, corner.y)); }
    void remindAfter(std::chrono::milliseconds delay) override { m_reminder.start(delay); }

private:
    QWidget* widget(window::Control control) const {
        switch (control) {
            case window::Control::kTxtPassword1: return m_w.m_txtPassword1;
            case window::Control::kTxtPassword2: return m_w.m_txtPassword2;
            case window::Control::kCmdEncrypt: return m_w.m_cmdEncrypt;
            case window::Control::kCmdDecrypt: return m_w.m_cmdDecrypt;
            case window::Control::kCmdCancel: return m_w.m_cmdCancel;
            case window::Control::kCmdAbout: return m_w.m_cmdAbout;
            case window::Control::kCheck1: return m_w.m_check1;
            case window::Control::kLblPassword1: return m_w.m_lblPassword1;
            case window::Control::kLblPassword2: return m_w.m_lblPassword2;
        }
        return m_w.m_txtPassword1;
    }

    FrmMain& m_w;
    WindowPosition m_position;
    CheckBoxState m_check;
    QTimer m_reminder;
};

void ProgressBar::setText(const QString& text) {
    m_text = text;
    update();
}

QString ProgressBar::text() const {
    return m_text;
}

void AutoQuitBox::nextCheckState() {
    if (onClick) {
        onClick();
    }
}

FrmMain::FrmMain(const Services& services, QWidget* parent)
    : QDialog(parent,
              Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                  Qt::WindowCloseButtonHint),
      m_services(services) {
    setObjectName(QStringLiteral("frmmain"));
    setWindowIcon(padlockIcon(Padlock::kClosed));
    buildControls();
    m_view = std::make_unique<View>(*this);
    m_model = std::make_unique<window::MainModel>(
        *m_view, window::MainServices{m_services.messages, m_services.exit, m_services.settings,
                                      m_services.gate, m_services.jobs, m_services.jobClock});
    m_check1->onClick = [this] { m_model->check1Clicked(); };
}

FrmMain::~FrmMain() {
    // The unload: the window is gone for good (the model saves only after a close).
    m_model->unload();
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
    m_check1->setMouseTracking(true);
    m_files = new QListWidget(this);
    m_files->setObjectName(QStringLiteral("files"));
    m_files->setAccessibleName(qs(texts::kFilesName));
    m_files->setSelectionMode(QAbstractItemView::NoSelection);
    m_files->hide();
    m_progress = new ProgressBar(this);
    m_progress->setObjectName(QStringLiteral("progress"));
    m_progress->setAccessibleName(qs(texts::kProgressName));
    m_progress->setRange(0, 100);
    m_progress->hide();

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
    grid->addWidget(m_files, 2, 0, 1, 2);
    grid->addWidget(m_progress, 3, 0, 1, 2);
    grid->setSizeConstraint(QLayout::SetFixedSize);

    setTabOrder(m_txtPassword1, m_txtPassword2);
    setTabOrder(m_txtPassword2, m_cmdEncrypt);
    setTabOrder(m_cmdEncrypt, m_cmdDecrypt);
    setTabOrder(m_cmdDecrypt, m_cmdCancel);
    setTabOrder(m_cmdCancel, m_cmdAbout);
    setTabOrder(m_cmdAbout, m_check1);
    setTabOrder(m_check1, m_files);

    m_txtPassword1->installEventFilter(this);
    m_txtPassword2->installEventFilter(this);
    m_check1->installEventFilter(this);

    connect(m_cmdEncrypt, &QPushButton::clicked, this, [this] { m_model->encryptClicked(); });
    connect(m_cmdDecrypt, &QPushButton::clicked, this, [this] { m_model->decryptClicked(); });
    connect(m_cmdCancel, &QPushButton::clicked, this, [this] { m_model->cancelClicked(); });
    connect(m_cmdAbout, &QPushButton::clicked, this, [this] { m_model->aboutClicked(); });
}

bool FrmMain::load(const std::string& userFile) {
    return m_model->load(userFile);
}

bool FrmMain::load(const std::vector<std::string>& files) {
    return m_model->load(files);
}

void FrmMain::SetSelected() {
    if (auto* box = qobject_cast<QLineEdit*>(focusWidget())) {
        box->selectAll();
    }
}

void FrmMain::showFocusOnLabels() {
    // The window's own focus, which stays on its box while a message box or another program
    // is active: the label shows where typing will go when the user comes back.
    QWidget* focus = focusWidget();
    m_model->passwordFocusChanged(window::Control::kTxtPassword1, focus == m_txtPassword1);
    m_model->passwordFocusChanged(window::Control::kTxtPassword2, focus == m_txtPassword2);
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
        m_model->escapePressed();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void FrmMain::changeEvent(QEvent* event) {
    // A new desktop palette (a switch to a dark theme): the focus blue is chosen anew.
    if (event->type() == QEvent::PaletteChange && m_model) {
        showFocusOnLabels();
    }
    QDialog::changeEvent(event);
}

void FrmMain::closeEvent(QCloseEvent* event) {
    // The query-unload: the first of the two saves of every close, or, while a job runs,
    // a close the model makes once the job has ended.
    if (!m_model->queryUnload()) {
        event->ignore();
        return;
    }
    event->accept();
}

bool FrmMain::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    // The controls outlive the model while the window is torn down.
    if (!m_model) {
        return QDialog::eventFilter(watched, event);
    }
    if ((type == QEvent::FocusIn || type == QEvent::FocusOut) &&
        (watched == m_txtPassword1 || watched == m_txtPassword2)) {
        showFocusOnLabels();
    } else if (type == QEvent::MouseMove && watched == m_check1) {
        m_model->check1MouseMove();
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace kerfo::ui
