// The message boxes as the toolkit shows them: the classic styles become the right icon and
// buttons, texts come from the string table, and the pressed button comes back as its number.
#include "ui/message_box.h"

#include "app_ui/ui_test_support.h"
#include "res/string_table.h"

#include <QAbstractButton>
#include <QMessageBox>

#include <gtest/gtest.h>

#include <memory>

namespace orvanta {
namespace {

TEST(MessageBoxTest, StylesBecomeIconsAndButtons) {
    std::unique_ptr<QMessageBox> info(
        CreateMessageBox({nullptr, "a\r\nb", "Orvanta Server", kMbIconInformation | kMbOk}));
    EXPECT_EQ(info->icon(), QMessageBox::Information);
    EXPECT_EQ(info->standardButtons(), QMessageBox::Ok);
    EXPECT_EQ(info->text(), "a\nb");
    EXPECT_EQ(info->windowTitle(), "Orvanta Server");

    std::unique_ptr<QMessageBox> question(
        CreateMessageBox({nullptr, "q", "c", kMbIconQuestion | kMbYesNoCancel}));
    EXPECT_EQ(question->icon(), QMessageBox::Question);
    EXPECT_EQ(question->standardButtons(),
              QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    EXPECT_EQ(question->button(QMessageBox::Yes)->text(), "Yes");
    EXPECT_EQ(question->button(QMessageBox::No)->text(), "No");
    EXPECT_EQ(question->button(QMessageBox::Cancel)->text(), "Cancel");

    // The service host's own boxes: OK only and no icon.
    std::unique_ptr<QMessageBox> host(CreateMessageBox({nullptr, "h", "Orvanta server", kMbOk}));
    EXPECT_EQ(host->icon(), QMessageBox::NoIcon);
    EXPECT_EQ(host->standardButtons(), QMessageBox::Ok);
}

TEST(MessageBoxTest, ThePressedButtonComesBack) {
    struct Case {
        unsigned style;
        QMessageBox::StandardButton press;
        int expected;
    };
    for (const Case& c : {Case{kMbIconQuestion | kMbYesNo, QMessageBox::No, kIdNo},
                          Case{kMbIconQuestion | kMbYesNo, QMessageBox::Yes, kIdYes},
                          Case{kMbIconQuestion | kMbYesNoCancel, QMessageBox::Cancel, kIdCancel},
                          Case{kMbIconInformation | kMbOk, QMessageBox::Ok, kIdOk}}) {
        test::OnNextModal([&c](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            ASSERT_NE(box, nullptr);
            box->button(c.press)->click();
        });
        EXPECT_EQ(MessageBoxText(nullptr, "text", 0, c.style), c.expected) << c.style;
    }
}

TEST(MessageBoxTest, FormattedTextsAreFilledSafelyAndCut) {
    test::RecordedBoxes boxes;
    MessageBoxFormat(nullptr, res::kStrStartFailedPortOccupied, {"8000"});
    ASSERT_EQ(boxes.requests.size(), 1u);
    EXPECT_EQ(boxes.requests[0].caption, "Orvanta Server");
    EXPECT_EQ(boxes.requests[0].text.rfind("Critical error occurred - TCP 8000 port", 0), 0u);

    // A long argument is cut with the formatted text, never overruns.
    MessageBoxFormat(nullptr, res::kStrCommandLineParseFailed, {std::string(20000, 'x')});
    EXPECT_EQ(boxes.requests[1].text.size(), kMessageFormatLimit);

    MessageBoxFormatYesNoCancel(nullptr, res::kStrRuntimeDownloadQuestion, {"Windows Media"});
    EXPECT_EQ(boxes.requests[2].style, kMbIconQuestion | kMbYesNoCancel);
    // A conversion without an argument gives nothing rather than reading past the arguments.
    EXPECT_EQ(boxes.requests[2].text.rfind("To broadcast in  Windows Media format,  runtime", 0),
              0u);
}

}  // namespace
}  // namespace orvanta
