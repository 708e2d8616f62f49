// What the window tests share: a program folder with the recording service module, hives of
// their own, message boxes answered and recorded, and a way to close a modal window that a
// command opens.
#pragma once

#include "app/message_box.h"
#include "app/server_context.h"
#include "test_util.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <stdlib.h>
#include <string>
#include <vector>

namespace orvanta::test {

// Answers every message box with `answer` and keeps what was asked.
class RecordedBoxes {
public:
    RecordedBoxes() {
        SetMessageBoxPresenter([this](const MessageBoxRequest& request) {
            requests.push_back(request);
            return answer;
        });
    }
    ~RecordedBoxes() { SetMessageBoxPresenter(nullptr); }
    RecordedBoxes(const RecordedBoxes&) = delete;
    RecordedBoxes& operator=(const RecordedBoxes&) = delete;

    std::vector<MessageBoxRequest> requests;
    int answer = kIdOk;
};

// Runs `action` on the first modal window that shows up within two seconds (from inside its
// own event loop), then closes it.
inline void OnNextModal(std::function<void(QWidget*)> action) {
    auto* timer = new QTimer;
    auto tries = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [timer, tries, action] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal != nullptr) {
            timer->stop();
            timer->deleteLater();
            action(modal);
            modal->close();
        } else if (++*tries > 200) {
            timer->stop();
            timer->deleteLater();
            ADD_FAILURE() << "no modal window appeared";
        }
    });
    timer->start(10);
}

// A program folder holding the recording service module and a configuration file, with the
// registry hives and the module's log kept in it.
class ProgramFolder {
public:
    ProgramFolder() {
        setenv("ORV_FIXTURE_LOG", m_dir.File("module.log").c_str(), 1);
        setenv("ORVANTA_USER_HIVE", m_dir.File("user.reg").c_str(), 1);
        setenv("ORVANTA_MACHINE_HIVE", m_dir.File("machine.reg").c_str(), 1);
        setenv("ORVANTA_SYSTEM_DIR", m_dir.File("system").c_str(), 1);
        // The host loads the module by its bare name, which finds it beside the test program.
        std::filesystem::copy_file(std::string(ORV_FIXTURE_DIR) + "/fixture_service.so",
                                   m_dir.File("fixture_service.so"));
        WriteConfig("[Network]\nPort=8500\n[Limits]\nMaxClient=32\n");
    }
    ~ProgramFolder() {
        for (const char* name :
             {"ORV_FIXTURE_LOG", "ORVANTA_USER_HIVE", "ORVANTA_MACHINE_HIVE", "ORVANTA_SYSTEM_DIR",
              "ORV_FIXTURE_START_FAIL", "ORV_FIXTURE_LISTENERS", "ORV_FIXTURE_SOURCE"}) {
            unsetenv(name);
        }
    }

    void WriteConfig(const std::string& text) { WriteFile(ConfigPath(), text); }
    std::string ConfigPath() const { return m_dir.File("station.ini"); }
    std::string Folder() const { return m_dir.Folder(); }
    std::string ProgramPath() const { return m_dir.File("ovserver"); }
    // The process command line as the console sees it, with the given options.
    std::string CommandLine(const std::string& options) const {
        return "\"" + ProgramPath() + "\" /config:\"" + ConfigPath() + "\" " + options;
    }
    std::string File(const std::string& name) const { return m_dir.File(name); }

private:
    TempDir m_dir;
};

}  // namespace orvanta::test
