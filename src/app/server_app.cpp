#include "app/server_app.h"

#include "app/main_dialog.h"
#include "config/program_settings.h"
#include "platform/debug_output.h"
#include "res/string_table.h"
#include "startup/headless_runner.h"
#include "ui/message_box.h"

#include <QApplication>
#include <QLocalServer>
#include <QLocalSocket>
#include <QSocketNotifier>

#include <unistd.h>

namespace orvanta {

CServerApp::CServerApp(CServerContext& context) : m_context(context) {}

void CServerApp::InitInstance() {
    m_badges.Load();
    m_registryKey = kRegistryRoot;
    InitLanguageResources();
    // The status zeroed, the configuration's defaults, then the catalogues of the program's
    // folder. Empty catalogues are found out when Start is pressed.
    m_context.InitInstance();
}

void CServerApp::InitLanguageResources() {
    // Before the first window: every window, menu and message built from now on takes its
    // texts from the pack, if one is chosen and fits this executable.
    m_languagePack.Load(m_registryKey);
}

int CServerApp::Run(const std::string& commandLine, const std::string& programPath) {
    // The window decides when the program ends, hidden in the tray or not.
    QApplication::setQuitOnLastWindowClosed(false);
    InitInstance();
    {
        CMainDialog window(m_context, m_badges, commandLine, programPath);
        const int descriptor = OpenStopSignalDescriptor();
        std::unique_ptr<QSocketNotifier> stopSignals;
        if (descriptor >= 0) {
            stopSignals = std::make_unique<QSocketNotifier>(descriptor, QSocketNotifier::Read);
            QObject::connect(stopSignals.get(), &QSocketNotifier::activated, &window,
                             [&window, descriptor] {
                                 if (ReadStopSignal(descriptor) != 0) {
                                     window.EndModal(0);
                                 }
                             });
        }
        if (m_activation != nullptr) {
            QObject::connect(m_activation, &QLocalServer::newConnection, &window, [this, &window] {
                while (QLocalSocket* caller = m_activation->nextPendingConnection()) {
                    caller->deleteLater();
                }
                window.RestoreFromTray();
            });
        }
        window.RunModal();
        stopSignals.reset();
        if (descriptor >= 0) {
            close(descriptor);
        }
        // Leaving the block destroys the window: a running service stops, the module is
        // released and the tray icon goes.
    }
    return ExitInstance();
}

int CServerApp::ExitInstance() {
    std::string problem;
    if (!m_context.ExitInstance(&problem)) {
        const std::string path = m_context.ExitConfigPath();
        platform::DebugOutput("Orvanta Server: cannot save the configuration to " + path + ": " +
                              problem + "\n");
        MessageBoxFormat(nullptr, res::kStrConfigSaveFailed, {path, problem});
    }
    m_badges.Release();
    return 0;
}

}  // namespace orvanta
