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

// Each classic style becomes its icon and buttons, the string table's line ends become the
// toolkit's, and the pressed button comes back as its number. The service host's own boxes
// (style OK alone, which MessageBoxText takes as its default) have no icon.
TEST(MessageBoxTest, StylesBecomeIconsAndButtonsAndThePressedButtonComesBack) {
    using B = QMessageBox;
    const struct {
        unsigned style;
        B::Icon icon;
        B::StandardButtons buttons;
        B::StandardButton press;
        int expected;
    } cases[] = {
        {kMbIconQuestion | kMbYesNo, B::Question, B::Yes | B::No, B::No, kIdNo},
        {kMbIconQuestion | kMbYesNo, B::Question, B::Yes | B::No, B::Yes, kIdYes},
        {kMbIconQuestion | kMbYesNoCancel, B::Question, B::Yes | B::No | B::Cancel, B::Cancel,
         kIdCancel},
        {kMbIconInformation | kMbOk, B::Information, B::Ok, B::Ok, kIdOk},
    };
    for (const auto& c : cases) {
        test::OnNextModal([&c](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            ASSERT_NE(box, nullptr);
            EXPECT_EQ(box->icon(), c.icon);
            EXPECT_EQ(box->standardButtons(), c.buttons);
            EXPECT_EQ(box->text(), "a\nb");
            EXPECT_EQ(box->windowTitle(), "Orvanta Server");
            box->button(c.press)->click();
        });
        EXPECT_EQ(MessageBoxText(nullptr, "a\r\nb", 0, c.style), c.expected) << c.style;
    }
    std::unique_ptr<QMessageBox> host(CreateMessageBox({nullptr, "h", "Orvanta server", kMbOk}));
    EXPECT_EQ(host->icon(), QMessageBox::NoIcon);
    EXPECT_EQ(host->standardButtons(), QMessageBox::Ok);
    std::unique_ptr<QMessageBox> question(
        CreateMessageBox({nullptr, "q", "c", kMbIconQuestion | kMbYesNoCancel}));
    EXPECT_EQ(question->button(QMessageBox::Yes)->text(), "Yes");
    EXPECT_EQ(question->button(QMessageBox::No)->text(), "No");
    EXPECT_EQ(question->button(QMessageBox::Cancel)->text(), "Cancel");
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
