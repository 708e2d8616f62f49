// The console's message boxes. Texts and captions come from the string table by id; the style
// and the result are the classic message-box numbers, so that every caller states the box it
// shows the way the rest of the program speaks of it (0x40 information, 0x24 Yes/No question,
// 0x23 Yes/No/Cancel question), and the answer is the button's number (1 OK, 6 Yes, 7 No,
// 2 Cancel).
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>

class QMessageBox;
class QWidget;

namespace orvanta {

// Buttons (low four bits of a style).
inline constexpr unsigned kMbOk = 0x00;
inline constexpr unsigned kMbOkCancel = 0x01;
inline constexpr unsigned kMbYesNoCancel = 0x03;
inline constexpr unsigned kMbYesNo = 0x04;
// Icons.
inline constexpr unsigned kMbIconError = 0x10;
inline constexpr unsigned kMbIconQuestion = 0x20;
inline constexpr unsigned kMbIconWarning = 0x30;
inline constexpr unsigned kMbIconInformation = 0x40;

// Answers.
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

// A formatted text is cut to this many characters, as the fixed buffer it was built in did.
inline constexpr size_t kMessageFormatLimit = 8191;

struct MessageBoxRequest {
    QWidget* owner = nullptr;
    std::string text;
    std::string caption;
    unsigned style = 0;
};

// Shows the box and returns the button pressed. The default puts up a QMessageBox; tests and
// other front ends may put their own in place (an empty function restores the default).
using MessageBoxPresenter = std::function<int(const MessageBoxRequest&)>;
void SetMessageBoxPresenter(MessageBoxPresenter presenter);

// Shows a box as it is asked for, through the presenter.
int ShowMessageBox(const MessageBoxRequest& request);

// The caption is string `captionId`, or string 1 (the program's name) for 0; style 0 is an
// information box with an OK button.
int MessageBoxText(QWidget* owner, const std::string& text, uint32_t captionId = 0,
                   unsigned style = 0);
int MessageBoxById(QWidget* owner, uint32_t textId, uint32_t captionId = 0, unsigned style = 0);

// Shorthands.
int InformationById(QWidget* owner, uint32_t textId);
int QuestionYesNoById(QWidget* owner, uint32_t textId);
int Information(QWidget* owner, const std::string& text);

// Fills string `formatId` with the arguments (see res::FormatString), cuts the result to
// kMessageFormatLimit characters and shows it as an information box, or as a Yes/No/Cancel
// question, with the program's caption.
int MessageBoxFormat(QWidget* owner, uint32_t formatId,
                     std::initializer_list<std::string_view> args);
int MessageBoxFormatYesNoCancel(QWidget* owner, uint32_t formatId,
                                std::initializer_list<std::string_view> args);

// The same, for a text that is already complete.
int MessageBoxYesNoCancel(QWidget* owner, const std::string& text);

// The box itself: what the default presenter shows, made but not run, so that tests can look
// at it. The caller owns it.
QMessageBox* CreateMessageBox(const MessageBoxRequest& request);

}  // namespace orvanta
