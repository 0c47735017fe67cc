#pragma once

#include "platform/Clock.h"
#include "platform/KeptLog.h"
#include "platform/WindowPorts.h"
#include "settings/SettingsStorage.h"
#include "shell/ConsolePorts.h"
#include "shell/PollingTimer.h"
#include "shell/WidgetPorts.h"
#include "shell/WindowSettings.h"
#include "update/QormAppUpdate.h"
#include "w2w/OrderImport.h"

#include <QDateTime>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

namespace Ui {
class Hoofdscherm;
}

namespace vk {

// What the main window is given: where it runs, and the clock and dialogs that tests replace.
struct WindowEnvironment {
    QString programFolder;  // with a trailing separator
    QString programFile;    // the running program file, whose version the caption shows
    const Clock& clock;
    MessageBoxes& boxes;
    FolderPicker& folders;
    std::function<QString(const QString& programFile)> readVersion;
    // The platform's shell: a page in the default browser (whether a browser took it), a program
    // started without waiting.
    std::function<bool(const QString& url)> openUrl;
    std::function<void(const QString& program, const QString& parameters)> startProgram;
};

// Hoofdscherm: the one window of the link. It owns every component for the whole run (the
// settings storage, the connection and the planning row, the import engine, the polling timer
// and the tray icon); its fields are the settings. Destroying it is the end of the program.
class THoofdscherm final : public QWidget {
    Q_OBJECT
public:
    static constexpr QStringView kTitle = u"Vindo Velora Karvex koppeling";

    // Creates the window from its design, reads the settings file and runs FormCreate.
    explicit THoofdscherm(WindowEnvironment environment);
    // The end of the program: SaveSettings when it has not run in this run, the timer stops, the
    // settings file is written, an open connection is closed, the tray icon goes.
    ~THoofdscherm() override;

    // The start-up's last steps: centred on the screen, made visible, FormShow.
    void start();

    // The window's handlers, as the buttons, menu items and timer call them.
    void FormCreate();
    void FormShow();
    void Button1Click();       // "UPDATE MANUEEL": nothing
    void Button3Click();       // "TEST"
    void Button4Click();       // "VERBERGEN NAAR TAAKBALK"
    void Button5Click();       // "SLUITEN"
    void SpeedButton4Click();  // "UPDATE CONTROLE"
    void Details1Click();
    void Sluirten1Click();
    void Update1Click();
    // The tray icon's gestures, as the platform reports them (double click, the menu's button).
    void trayActivated(QSystemTrayIcon::ActivationReason reason);
    // The tray icon's double click: back on the screen, without the show steps.
    void restoreFromTray();
    // A line of the program's own at the end of Logboek.
    void appendToLog(const QString& line) { keptLog_->appendLine(line); }
    // Logboek as the working code sees it.
    LogView& logView() { return *keptLog_; }
    // The general error handler: the whole text of Logboek becomes the message.
    void ApplicationEvents1Exception(const std::exception& error);
    // The update's web page ("&Ja" to the web site, "Open webpagina") in the default browser; a page
    // that no browser takes is said in a line of Logboek.
    void openWebPage(const QString& url);

    // The update action behind "UPDATE CONTROLE" and the tray's "Update": the folders Backups and
    // TempDownloads, a copy of the program file in Backups, and the update check. While a check
    // runs it begins no second one: the running check's window comes to the front.
    std::function<void()> updateAction;
    void runUpdateAction();
    TQormAppUpdate& QormAppUpdate1() { return *update_; }

    Ui::Hoofdscherm& form() { return *ui_; }
    Settings& settings() { return *settings_; }
    SettingsStorage& storage() { return storage_; }
    PlanningDatabase& ADO() { return link_.ado; }
    PollingTimer& W2WTimer() { return *timer_; }
    w2w::ImportEngine& engine() { return link_.engine; }
    QMenu& PopupMenu1() { return menu_; }
    // Null where the platform has no notification area.
    QSystemTrayIcon* RzTrayIcon1() { return tray_.get(); }
    const QString& trayHint() const { return trayHint_; }
    const QString& updateVersion() const { return update_->Version; }
    int formShowCount() const { return formShowCount_; }

Q_SIGNALS:
    // The window was closed: the program should end once the running handler has returned.
    void endRequested();
    // A polling tick is about to run an import cycle.
    void cycleStarting();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    void centreOnScreen();
    void designFonts();
    void designTexts();
    void designFolderField(Setting id);
    void designPageControl();
    void designViews();
    void designTrayMenu();
    void designTrayIcon();
    void wireHandlers();
    void runCycle();
    void showLiveness();
    void setTrayHint(const QString& hint);
    void endProgram();

    QDateTime createdAt_;  // what writes of earlier runs left is older
    WindowEnvironment env_;
    std::unique_ptr<Ui::Hoofdscherm> ui_;
    std::unique_ptr<WindowSettings> settings_;
    SettingsStorage storage_;
    std::optional<QString> loadProblem_;

    std::unique_ptr<PlainTextLog> log_;
    std::unique_ptr<KeptLog> keptLog_;  // the view's lines, also in the day's file
    std::unique_ptr<PlainTextPacket> packet_;
    EnterNeedsControl enterFilter_;
    EventLoopPump pump_;

    class ErrorPort final : public GeneralErrorHandler {
    public:
        explicit ErrorPort(THoofdscherm& window) : window_(window) {}
        void handleException(const std::exception& error) override {
            window_.ApplicationEvents1Exception(error);
        }

    private:
        THoofdscherm& window_;
    } errors_{*this};

    w2w::OrderImport link_;
    std::unique_ptr<PollingTimer> timer_;

    QMenu menu_;
    std::unique_ptr<QSystemTrayIcon> tray_;
    QString caption_;
    QString trayHint_;
    UpdateEnvironment updateEnv_;
    std::unique_ptr<TQormAppUpdate> update_;
    std::optional<QDateTime> lastCycle_;
    int formShowCount_ = 0;
    bool awaitingFrame_ = false;  // centred before the window manager's frame was known
    bool ended_ = false;
};

}  // namespace vk
