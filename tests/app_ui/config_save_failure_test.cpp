// A configuration file the console cannot write: the operator is told which file and why, the
// file is left as it was, and the running session keeps its settings.
#include "app/server_app.h"
#include "app_ui/ui_test_support.h"
#include "dialogs/config_general.h"

#include <QFileDialog>
#include <QLineEdit>

#include <gtest/gtest.h>

#include <filesystem>

namespace orvanta {
namespace {

std::string Expected(const std::string& path, const std::string& reason) {
    return "The station configuration could not be saved to " + path + ".\r\n" + reason +
           "\r\nThe file was left as it was.";
}

TEST(ConfigSaveFailureTest, ExitAndSaveAsShowWhichFileAndWhy) {
    test::ProgramFolder folder;
    CServerContext context(folder.Folder());
    context.InitInstance();
    context.config.MaxClient = 77;
    // Failures that hold for root too: a folder where the file goes, a file where its folder is.
    std::filesystem::create_directory(folder.File("Config.ini"));
    test::WriteFile(folder.File("not-a-folder"), "");
    test::RecordedBoxes boxes;

    CConfigGeneral page(context);
    page.OnInitDialog();
    const std::string target = folder.File("not-a-folder/station.ini");
    test::OnNextModal([&target](QWidget* modal) {
        modal->findChild<QLineEdit*>("fileNameEdit")->setText(QString::fromStdString(target));
        static_cast<QDialog*>(modal)->accept();
    });
    EXPECT_TRUE(page.OnSaveConfig());
    ASSERT_EQ(boxes.requests.size(), 1u);
    EXPECT_EQ(boxes.requests[0].text, Expected(target, "cannot reach the file: Not a directory"));
    EXPECT_EQ(boxes.requests[0].owner, &page);
    EXPECT_EQ(context.config.MaxClient, 77) << "the session keeps its settings";

    CServerApp app(context);
    app.ExitInstance();
    ASSERT_EQ(boxes.requests.size(), 2u);
    EXPECT_EQ(boxes.requests[1].text,
              Expected(folder.File("Config.ini"), "cannot replace the file: Is a directory"));
    for (const auto& entry : std::filesystem::directory_iterator(folder.Folder())) {
        EXPECT_EQ(entry.path().filename().string().rfind(".Config.ini.", 0), std::string::npos)
            << "a temporary file stayed: " << entry.path();
    }
}

}  // namespace
}  // namespace orvanta
