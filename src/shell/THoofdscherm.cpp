#include "shell/THoofdscherm.h"

#include "planning/ConnectionTest.h"
#include "platform/Errors.h"
#include "shell/AppIcon.h"
#include "shell/DesignStyle.h"
#include "shell/ExchangeFolders.h"
#include "shell/LinkApplication.h"
#include "shell/Liveness.h"
#include "ui_Hoofdscherm.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QStyle>
#include <QTabBar>
#include <QWindow>

#include <cstdio>

namespace vk {

namespace {

std::unique_ptr<Ui::Hoofdscherm> buildForm(QWidget* window) {
    auto ui = std::make_unique<Ui::Hoofdscherm>();
    ui->setupUi(window);
    return ui;
}

constexpr Setting kLoginFields[] = {Setting::xLoginServer, Setting::xLoginDatabase, Setting::xLoginSQL,
                                    Setting::xPaswoordSQL};

}  // namespace

THoofdscherm::THoofdscherm(WindowEnvironment environment)
    : createdAt_(QDateTime::currentDateTime()),
      env_(std::move(environment)),
      ui_(buildForm(this)),
      settings_(std::make_unique<WindowSettings>(*this)),
      storage_(env_.programFolder + SettingsStorage::kFileName.toString(), env_.clock),
      log_(std::make_unique<PlainTextLog>(*ui_->Logboek)),
      keptLog_(std::make_unique<KeptLog>(*log_, env_.programFolder, env_.clock)),
      packet_(std::make_unique<PlainTextPacket>(*ui_->LP)),
      link_({*settings_, *packet_, *keptLog_, errors_, pump_, env_.clock}, env_.programFolder),
      timer_(std::make_unique<PollingTimer>(*settings_, *keptLog_, [this] { runCycle(); })),
      updateEnv_{env_.programFolder,
                 env_.programFile,
                 env_.boxes,
                 errors_,
                 [this](const QString& url) { openWebPage(url); },
                 env_.startProgram,
                 [this] { Q_EMIT endRequested(); },
                 &LinkApplication::quitRequested,
                 QCoreApplication::arguments().mid(1)},
      update_(std::make_unique<TQormAppUpdate>(updateEnv_)) {
    update_->UpdateFileURL = defaultUpdateFileURL();
    update_->UpdatePageURL = defaultUpdatePageURL();
    updateAction = [this] { runUpdateAction(); };
    LinkApplication::setExceptionHandler(
        [this](const std::exception& error) { ApplicationEvents1Exception(error); });
    // A dialog frame with a title bar and a close box; neither minimise nor maximise, fixed size.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(801, 459);
    setWindowIcon(applicationIcon());
    caption_ = kTitle.toString();
    setWindowTitle(caption_);
    designFonts();
    designTexts();
    settings_->resetToDefaults();
    designFolderField(Setting::w2wInkomende);
    designFolderField(Setting::w2wUitgaande);
    designPageControl();
    designViews();
    designTrayMenu();
    designTrayIcon();
    wireHandlers();

    loadProblem_ = storage_.LoadSettingsFile();
    runGuarded([this] { FormCreate(); });
    if (loadProblem_) {
        keptLog_->appendLine(logTimestamp(env_.clock.now()) + QStringLiteral(" - ") + *loadProblem_);
    }
    showLiveness();
}

THoofdscherm::~THoofdscherm() {
    endProgram();
}

void THoofdscherm::designPageControl() {
    // the style belongs to the page control and goes with it
    auto* tabStyle = new DesignTabStyle;
    tabStyle->setParent(ui_->RzPageControl1);
    ui_->RzPageControl1->setStyle(tabStyle);
    ui_->RzPageControl1->tabBar()->setStyle(tabStyle);
    ui_->RzPageControl1->setCurrentIndex(0);
    // the page control is not reached with the Tab key
    ui_->RzPageControl1->tabBar()->setFocusPolicy(Qt::NoFocus);
    ui_->RzPageControl1->setFocusPolicy(Qt::NoFocus);
}

void THoofdscherm::designViews() {
    // Logboek wraps and shows no scroll bars; it keeps every line. It has no undo history, which
    // would otherwise keep a second copy of its text for the life of the program.
    ui_->Logboek->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    ui_->Logboek->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ui_->Logboek->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ui_->Logboek->setUndoRedoEnabled(false);
    // LP: both scroll bars, long lines do not wrap, Enter alone inserts nothing.
    ui_->LP->setLineWrapMode(QPlainTextEdit::NoWrap);
    ui_->LP->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    ui_->LP->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    ui_->LP->installEventFilter(&enterFilter_);
    // in both views the Tab key moves on to the next control, as in the platform's text fields
    ui_->Logboek->setTabChangesFocus(true);
    ui_->LP->setTabChangesFocus(true);
}

// The icon goes into the notification area as soon as it is made; where the platform has none,
// the program goes on without it.
void THoofdscherm::designTrayIcon() {
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        return;
    }
    tray_ = std::make_unique<QSystemTrayIcon>(applicationIcon());
    tray_->setContextMenu(&menu_);
    connect(tray_.get(), &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        runGuarded([this, reason] { trayActivated(reason); });
    });
    tray_->show();
}

void THoofdscherm::designFonts() {
    setFont(designFont(QStringLiteral("Tahoma"), 11));
    ui_->RzPageControl1->setFont(designFont(QStringLiteral("Arial"), 13));
    for (const Setting id : kLoginFields) {
        const QString name = settingInfo(id).name.toString() + QStringLiteral("Label");
        findChild<QLabel*>(name)->setFont(designFont(QStringLiteral("Tahoma"), 13, true));
    }
    QPalette quiet = ui_->Levensteken->palette();
    quiet.setColor(QPalette::WindowText, quiet.color(QPalette::Disabled, QPalette::WindowText));
    ui_->Levensteken->setPalette(quiet);
}

// The captions and hints of the setting fields come from the settings table.
void THoofdscherm::designTexts() {
    for (const SettingInfo& s : settingTable()) {
        if (s.isTickBox()) {
            settings_->tickBox(s.id)->setText(s.label.toString());
            continue;
        }
        QLineEdit* field = settings_->field(s.id);
        if (auto* label = findChild<QLabel*>(s.name.toString() + QStringLiteral("Label"))) {
            label->setText(s.label.toString());
            label->setBuddy(field);
        }
        // The design keeps hints on some fields but does not display them.
        field->setStatusTip(s.hint.toString());
        if (s.kind == SettingKind::Password) {
            field->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
        }
    }
}

// A folder field: the text field with a small button at its right end for the folder picker.
void THoofdscherm::designFolderField(Setting id) {
    QLineEdit* field = settings_->field(id);
    QAction* pick =
        field->addAction(style()->standardIcon(QStyle::SP_DirOpenIcon), QLineEdit::TrailingPosition);
    pick->setObjectName(settingInfo(id).name.toString() + QStringLiteral("Kiezen"));
    pick->setToolTip(QStringLiteral("Map kiezen"));
    connect(pick, &QAction::triggered, this, [this, field] {
        runGuarded([&] {
            if (const std::optional<QString> chosen = env_.folders.pickFolder(this, field->text())) {
                field->setText(*chosen);
            }
        });
    });
}

void THoofdscherm::designTrayMenu() {
    menu_.setObjectName(QStringLiteral("PopupMenu1"));
    const auto item = [this](const char* name, const QString& caption, void (THoofdscherm::*handler)()) {
        QAction* action = menu_.addAction(caption);
        action->setObjectName(QString::fromLatin1(name));
        connect(action, &QAction::triggered, this,
                [this, handler] { runGuarded([&] { (this->*handler)(); }); });
    };
    item("Update1", QStringLiteral("Update"), &THoofdscherm::Update1Click);
    item("Details1", QStringLiteral("Details"), &THoofdscherm::Details1Click);
    menu_.addSeparator()->setObjectName(QStringLiteral("N1"));
    item("Sluirten1", QStringLiteral("Sluiten"), &THoofdscherm::Sluirten1Click);
}

void THoofdscherm::wireHandlers() {
    const auto onClick = [this](QAbstractButton* button, void (THoofdscherm::*handler)()) {
        connect(button, &QAbstractButton::clicked, this,
                [this, handler] { runGuarded([&] { (this->*handler)(); }); });
    };
    onClick(ui_->Button1, &THoofdscherm::Button1Click);
    onClick(ui_->Button3, &THoofdscherm::Button3Click);
    onClick(ui_->Button4, &THoofdscherm::Button4Click);
    onClick(ui_->Button5, &THoofdscherm::Button5Click);
    onClick(ui_->SpeedButton4, &THoofdscherm::SpeedButton4Click);
}

void THoofdscherm::start() {
    centreOnScreen();
    show();
    centreOnScreen();
    runGuarded([this] { FormShow(); });
    runGuarded([this] {
        removeLeftoversOfEarlierRuns(env_.programFolder, *settings_, createdAt_,
                                     link_.journal.notedAnswerFiles());
    });
}

void THoofdscherm::FormCreate() {
    storage_.RestoreSettings(*settings_);
    const QString version = env_.readVersion(env_.programFile);
    caption_ = kTitle.toString() + QStringLiteral(" - v") + version;
    setWindowTitle(caption_);
    update_->Version = env_.readVersion(env_.programFile);
    setTrayHint(caption_);
}

void THoofdscherm::FormShow() {
    ++formShowCount_;
    prepareExchangeFolders(env_.programFolder, *settings_);
    timer_->arm();
}

void THoofdscherm::Button1Click() {}

void THoofdscherm::Button3Click() {
    vk::Button3Click(link_.ado, env_.boxes, *keptLog_, errors_);
}

void THoofdscherm::Button4Click() {
    storage_.SaveSettings(*settings_);
    hide();
}

void THoofdscherm::Button5Click() {
    if (link_.ado.isOpen()) {
        link_.ado.Close();
    }
    close();
}

void THoofdscherm::SpeedButton4Click() {
    if (updateAction) {
        updateAction();
    }
}

void THoofdscherm::runUpdateAction() {
    // while a check runs (its requests, its window, its download) the click only brings its window
    // to the front: the folders and the copy stay as that check found them
    if (update_->isChecking()) {
        update_->showRunningCheck();
        return;
    }
    for (const char* folder : {"Backups", "TempDownloads"}) {
        const QString path = env_.programFolder + QString::fromLatin1(folder);
        if (!QFileInfo(path).isDir()) {
            QDir().mkdir(path);  // a failure is not reported
        }
    }
    const QString copy =
        env_.programFolder + QStringLiteral("Backups/") + QFileInfo(env_.programFile).fileName();
    QFile::remove(copy);
    QFile::copy(env_.programFile, copy);
    update_->CheckForUpdate(false);
}

void THoofdscherm::Details1Click() {
    if (!isVisible()) {
        setWindowState(windowState() & ~Qt::WindowMinimized);
        show();
        FormShow();
    }
    raise();
    activateWindow();
}

void THoofdscherm::Sluirten1Click() {
    ui_->Button5->click();
}

void THoofdscherm::Update1Click() {
    ui_->SpeedButton4->click();
}

// The frame is the window manager's: its size is known once the window is on the screen, and
// on X11 only when the manager has framed it, a moment after show(). Until then the window is
// centred as if it had no frame, and centred again when the frame is first known.
void THoofdscherm::centreOnScreen() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        return;
    }
    const QMargins frame = windowHandle() != nullptr ? windowHandle()->frameMargins() : QMargins();
    awaitingFrame_ = frame.isNull();
    move(centredFramePosition(screen->availableGeometry(), size(), frame));
}

void THoofdscherm::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    if (awaitingFrame_ && windowHandle() != nullptr && !windowHandle()->frameMargins().isNull()) {
        centreOnScreen();
    }
}

// What the tray icon's gestures do. The platform's tray opens the menu itself; on the menu's
// gesture the window is brought to the front when it is on the screen, and a hidden window stays
// hidden. Single clicks and the other buttons do nothing.
void THoofdscherm::trayActivated(QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::DoubleClick) {
        restoreFromTray();
    } else if (reason == QSystemTrayIcon::Context && isVisible()) {
        raise();
        activateWindow();
    }
}

void THoofdscherm::restoreFromTray() {
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void THoofdscherm::ApplicationEvents1Exception(const std::exception& error) {
    if (dynamic_cast<const SilentAbort*>(&error) != nullptr) {
        return;
    }
    keptLog_->replaceText(errorMessage(error));
}

void THoofdscherm::openWebPage(const QString& url) {
    if (env_.openUrl && !env_.openUrl(url)) {
        keptLog_->appendLine(logTimestamp(env_.clock.now()) +
                             QStringLiteral(" - De webpagina \"%1\" kan niet geopend worden").arg(url));
    }
}

void THoofdscherm::closeEvent(QCloseEvent* event) {
    runGuarded([this] { storage_.SaveSettings(*settings_); });
    event->accept();
    Q_EMIT endRequested();
}

// Minimising (the window has no button for it, the platform may still do it) hides the window;
// the tray icon's double click brings it back.
void THoofdscherm::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMinimized()) {
        QMetaObject::invokeMethod(this, &QWidget::hide, Qt::QueuedConnection);
    }
}

void THoofdscherm::runCycle() {
    // A tick handled while a cycle pumps messages does nothing: cycles never nest.
    if (link_.engine.cycleRunning()) {
        return;
    }
    Q_EMIT cycleStarting();
    link_.engine.CheckXMLfiles();
    lastCycle_ = env_.clock.now();
    log_->flush();
    packet_->flush();
    showLiveness();
}

void THoofdscherm::showLiveness() {
    const QString line = livenessText(lastCycle_, link_.engine.counts());
    ui_->Levensteken->setText(line);
    setTrayHint(trayHintText(caption_, lastCycle_ ? line : QString()));
}

void THoofdscherm::setTrayHint(const QString& hint) {
    trayHint_ = hint.left(kTrayHintLength);
    if (tray_) {
        tray_->setToolTip(trayHint_);
    }
}

void THoofdscherm::endProgram() {
    if (ended_) {
        return;
    }
    ended_ = true;
    LinkApplication::setExceptionHandler({});
    if (!storage_.savedSinceRestore()) {
        runGuarded([this] { storage_.SaveSettings(*settings_); });
    }
    timer_->stop();
    if (const std::optional<QString> problem = storage_.WriteSettingsFile()) {
        std::fprintf(stderr, "Instellingen niet bewaard: %s\n", qPrintable(*problem));
    }
    link_.ado.Close();
    if (tray_) {
        tray_->hide();
        tray_.reset();
    }
}

}  // namespace vk
