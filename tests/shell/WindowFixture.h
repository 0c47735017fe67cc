#pragma once

#include "platform/Clock.h"
#include "settings/SettingsStorage.h"
#include "shell/THoofdscherm.h"
#include "shell/WidgetPorts.h"
#include "support/Ports.h"
#include "support/TempFolder.h"
#include "ui_Hoofdscherm.h"

#include <QDir>

#include <gtest/gtest.h>

#include <memory>

namespace vk::test {

// The folder picker answers with what the test put in.
class ScriptedFolderPicker final : public FolderPicker {
public:
    std::optional<QString> pickFolder(QWidget*, const QString& current) override {
        asked.append(current);
        return answer;
    }
    std::optional<QString> answer;
    QStringList asked;
};

// One run of the window in a program folder of its own.
class WindowTest : public ::testing::Test {
protected:
    ~WindowTest() override { window.reset(); }

    QString programFolder() const { return QDir::toNativeSeparators(dir.path() + u'/'); }

    // The stored settings of the program folder, as the settings file has them.
    void writeSettings(const QByteArray& elements) {
        dir.write(QStringLiteral("VeloraKarvex.xml"),
                  "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\n<Configuration><Hoofdscherm>" + elements +
                      "</Hoofdscherm></Configuration>");
    }

    // Creates the window (settings file read, FormCreate) and starts it (shown, FormShow).
    THoofdscherm& open() {
        window = std::make_unique<THoofdscherm>(
            WindowEnvironment{programFolder(), programFile, clock, boxes, folders,
                              [this](const QString& file) { return readVersion(file); },
                              [this](const QString& url) {
                                  openedUrls << url;
                                  return openUrl ? openUrl(url) : true;
                              },
                              [this](const QString& program, const QString& parameters) {
                                  startedPrograms << program + u' ' + parameters;
                              }});
        window->start();
        return *window;
    }

    // The end of the program: the window is destroyed.
    void endProgram() { window.reset(); }

    // What the settings file holds after the run.
    MemorySettings storedSettings() const {
        SettingsStorage storage(dir.file(QStringLiteral("VeloraKarvex.xml")), clock);
        EXPECT_FALSE(storage.LoadSettingsFile().has_value());
        MemorySettings stored;
        storage.RestoreSettings(stored);
        return stored;
    }

    Ui::Hoofdscherm& form() { return window->form(); }
    QString logText() { return form().Logboek->toPlainText(); }

    TempFolder dir;
    SystemClock clock;
    ScriptedMessageBoxes boxes;
    ScriptedFolderPicker folders;
    std::function<QString(const QString&)> readVersion = [](const QString&) {
        return QStringLiteral("1.2.3.4");
    };
    std::unique_ptr<THoofdscherm> window;
    QString programFile = QStringLiteral("/opt/link/VeloraKarvexClient");
    QStringList openedUrls;
    // The platform shell behind the web page; without one every page is taken.
    std::function<bool(const QString& url)> openUrl;
    QStringList startedPrograms;
};

}  // namespace vk::test
