// What the service host and the runtime check need from the user interface: the window, the
// headless runner and tests each answer these. It lives below both, so neither the plug-in
// layer nor the service layer reaches up to the other for it.
#pragma once

#include <string>

namespace orvanta {

class IServiceHostUi {
public:
    enum Answer { kAnswerYes, kAnswerNo, kAnswerCancel };

    virtual ~IServiceHostUi() = default;

    // A message box of the service host itself: no owner, caption "Orvanta server", OK only,
    // no icon. The text is already formatted and cut to 256 characters.
    virtual void ShowHostMessage(const std::string& text) = 0;
    // Whether a main window is there to own the runtime check's question.
    virtual bool HasMainWindow() = 0;
    // A Yes/No/Cancel question with the program's caption.
    virtual Answer AskYesNoCancel(const std::string& text) = 0;
    // Greys the program's windows out while the updater runs, and back.
    virtual void EnableWindows(bool enable) = 0;
    // Serves the user interface's pending events while the updater is waited for.
    virtual void PumpMessages() = 0;
};

}  // namespace orvanta
