#include "ui/message_box.h"

#include "res/string_table.h"
#include "ui/text.h"

#include <QMessageBox>
#include <QPushButton>
#include <QString>

#include <memory>
#include <utility>

namespace orvanta {

namespace {

MessageBoxPresenter& Presenter() {
    static MessageBoxPresenter presenter;
    return presenter;
}

struct ButtonSet {
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton;
};

ButtonSet ButtonsOf(unsigned style) {
    switch (style & 0x0F) {
        case kMbOkCancel:
            return {QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Ok};
        case kMbYesNoCancel:
            return {QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes};
        case kMbYesNo:
            return {QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes};
        default:
            return {QMessageBox::Ok, QMessageBox::Ok};
    }
}

QMessageBox::Icon IconOf(unsigned style) {
    switch (style & 0xF0) {
        case kMbIconError:
            return QMessageBox::Critical;
        case kMbIconQuestion:
            return QMessageBox::Question;
        case kMbIconWarning:
            return QMessageBox::Warning;
        case kMbIconInformation:
            return QMessageBox::Information;
        default:
            return QMessageBox::NoIcon;
    }
}

int AnswerOf(int button, unsigned style) {
    switch (button) {
        case QMessageBox::Yes:
            return kIdYes;
        case QMessageBox::No:
            return kIdNo;
        case QMessageBox::Ok:
            return kIdOk;
        case QMessageBox::Cancel:
            return kIdCancel;
        default:
            // Closed without a button (Escape, the window's close): the box's way out is
            // Cancel where it has one, No for a Yes/No question, else OK.
            switch (style & 0x0F) {
                case kMbYesNo:
                    return kIdNo;
                case kMbOk:
                    return kIdOk;
                default:
                    return kIdCancel;
            }
    }
}

int ShowWithQt(const MessageBoxRequest& request) {
    std::unique_ptr<QMessageBox> box(CreateMessageBox(request));
    return AnswerOf(box->exec(), request.style);
}

std::string CaptionOf(uint32_t captionId) {
    return res::LoadString(captionId != 0 ? captionId : res::kStrAppCaption);
}

std::string Formatted(uint32_t formatId, std::initializer_list<std::string_view> args) {
    std::string text = res::FormatString(res::LoadString(formatId), args);
    if (text.size() > kMessageFormatLimit) {
        text.resize(kMessageFormatLimit);
    }
    return text;
}

}  // namespace

void SetMessageBoxPresenter(MessageBoxPresenter presenter) {
    Presenter() = std::move(presenter);
}

QMessageBox* CreateMessageBox(const MessageBoxRequest& request) {
    const ButtonSet set = ButtonsOf(request.style);
    auto* box = new QMessageBox(
        IconOf(request.style), QString::fromStdString(DisplayText(request.caption)),
        QString::fromStdString(DisplayText(request.text)), set.buttons, request.owner);
    box->setDefaultButton(set.defaultButton);
    // A box without a Cancel button is closed with Escape only where it has one way out.
    if (set.buttons.testFlag(QMessageBox::Cancel)) {
        box->setEscapeButton(QMessageBox::Cancel);
    } else if ((request.style & 0x0F) == kMbOk) {
        box->setEscapeButton(QMessageBox::Ok);
    }
    // The buttons' words come from the string table too, so a language pack reaches them.
    const std::pair<QMessageBox::StandardButton, uint32_t> words[] = {
        {QMessageBox::Ok, res::kStrButtonOk},
        {QMessageBox::Cancel, res::kStrButtonCancel},
        {QMessageBox::Yes, res::kStrYes},
        {QMessageBox::No, res::kStrNo},
    };
    for (const auto& [which, id] : words) {
        if (QAbstractButton* button = box->button(which)) {
            button->setText(Text(id));
        }
    }
    return box;
}

int ShowMessageBox(const MessageBoxRequest& request) {
    if (Presenter()) {
        return Presenter()(request);
    }
    return ShowWithQt(request);
}

int MessageBoxText(QWidget* owner, const std::string& text, uint32_t captionId, unsigned style) {
    return ShowMessageBox(
        {owner, text, CaptionOf(captionId), style != 0 ? style : kMbIconInformation | kMbOk});
}

int MessageBoxById(QWidget* owner, uint32_t textId, uint32_t captionId, unsigned style) {
    return MessageBoxText(owner, res::LoadString(textId), captionId, style);
}

int InformationById(QWidget* owner, uint32_t textId) {
    return MessageBoxById(owner, textId, 0, kMbIconInformation | kMbOk);
}

int QuestionYesNoById(QWidget* owner, uint32_t textId) {
    return MessageBoxById(owner, textId, 0, kMbIconQuestion | kMbYesNo);
}

int Information(QWidget* owner, const std::string& text) {
    return MessageBoxText(owner, text, 0, kMbIconInformation | kMbOk);
}

int MessageBoxFormat(QWidget* owner, uint32_t formatId,
                     std::initializer_list<std::string_view> args) {
    return MessageBoxText(owner, Formatted(formatId, args), 0, kMbIconInformation | kMbOk);
}

int MessageBoxFormatYesNoCancel(QWidget* owner, uint32_t formatId,
                                std::initializer_list<std::string_view> args) {
    return MessageBoxYesNoCancel(owner, Formatted(formatId, args));
}

int MessageBoxYesNoCancel(QWidget* owner, const std::string& text) {
    return MessageBoxText(owner, text, 0, kMbIconQuestion | kMbYesNoCancel);
}

}  // namespace orvanta
