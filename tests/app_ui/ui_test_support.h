// What the window tests share: a program folder with the recording service module, hives of
// their own, message boxes answered and recorded, a way to close a modal window that a command
// opens, a configuration page shown in a tree sheet, the console's main window over a program
// folder, and screenshots taken on a real X display.
#pragma once

#include "app/main_dialog.h"
#include "app/status_badges.h"
#include "config/station_config.h"
#include "startup/server_context.h"
#include "test_util.h"
#include "ui/message_box.h"
#include "ui/tree_property_sheet.h"

// The whole of Qt's widgets and its test library, for every window test.
#include <QtTest>
#include <QtWidgets>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

// Failures show the texts, not their bytes.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

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
        if (modal == nullptr && ++*tries <= 200) {
            return;
        }
        timer->stop();
        timer->deleteLater();
        EXPECT_NE(modal, nullptr) << "no modal window appeared";
        if (modal != nullptr) {
            action(modal);
            modal->close();
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

// The named child of `parent`; a failure, and a crash, when there is none.
template <class Widget>
Widget& Find(const QObject& parent, const char* name) {
    auto* widget = parent.findChild<Widget*>(name);
    EXPECT_NE(widget, nullptr) << name;
    return *widget;
}

// Answers the file dialog `modal` with `path` typed into its name field, as a user would.
inline void ChooseFile(QWidget* modal, const std::string& path) {
    Find<QLineEdit>(*modal, "fileNameEdit").setText(QString::fromStdString(path));
    static_cast<QDialog*>(modal)->accept();
}

// The console as the program makes it over `program`: the context initialised, the badges
// loaded and the main window initialised (not shown).
class Console {
public:
    explicit Console(const ProgramFolder& program)
        : context(program.Folder()),
          badgesLoaded((context.InitInstance(), badges.Load())),
          window(context, badges, program.CommandLine(""), program.ProgramPath()) {
        EXPECT_TRUE(badgesLoaded);
        window.InitDialog();
    }

    CServerContext context;
    CStatusBadges badges;
    bool badgesLoaded;
    CMainDialog window;
};

// Where screenshots go: ORV_SCREENSHOT_DIR, made if need be, when on a real X display (CTest
// runs the screenshot tests under Xvfb); otherwise empty, and those tests skip.
inline QString ScreenshotFolder() {
    const char* folder = std::getenv("ORV_SCREENSHOT_DIR");
    if (folder == nullptr || QGuiApplication::platformName() != "xcb") {
        return {};
    }
    std::filesystem::create_directories(folder);
    return QString::fromUtf8(folder);
}

// Serves events for `ms` milliseconds (to paint, and for the panel's ticks), then writes what
// the X server shows of the window, frame excluded, to `folder`/`name`.png; the picture.
inline QImage SaveScreenshot(QWidget& window, const QString& folder, const QString& name,
                             int ms = 300) {
    QTest::qWait(ms);
    QImage shot = window.screen()->grabWindow(window.winId()).toImage();
    EXPECT_FALSE(shot.isNull()) << name.toStdString();
    EXPECT_TRUE(shot.save(folder + "/" + name + ".png")) << name.toStdString();
    return shot.convertToFormat(QImage::Format_RGB32);
}

// A tree sheet holding a bare first page and the `Page` under test over a record of its own,
// with the page shown.
template <class Page>
class SheetPageTest : public ::testing::Test {
protected:
    void SetUp() override { m_config.SetDefaults(); }

    // The page made from the record, or from `argument`.
    void Open() { Open(m_config); }
    template <class Argument>
    void Open(Argument&& argument) {
        m_sheet = std::make_unique<CXTreePropertySheet2>("Config");
        m_sheet->AddPage(std::make_unique<CPropertyPage>(QStringLiteral("General")));
        m_page = &m_sheet->AddPage(std::make_unique<Page>(argument));
        m_sheet->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_sheet.get()));
        ASSERT_TRUE(m_sheet->SetActivePage(1));
    }
    // To the other page and back.
    void Revisit() {
        ASSERT_TRUE(m_sheet->SetActivePage(0));
        ASSERT_TRUE(m_sheet->SetActivePage(1));
    }
    void Ok() { m_sheet->accept(); }
    void Cancel() { m_sheet->reject(); }

    template <class Widget>
    Widget& Child(const char* name) {
        return Find<Widget>(*m_page, name);
    }
    QComboBox& List(const char* name) { return Child<QComboBox>(name); }

    StationConfig m_config;
    std::unique_ptr<CXTreePropertySheet2> m_sheet;
    Page* m_page = nullptr;
};

}  // namespace orvanta::test
