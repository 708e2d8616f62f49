// CServerApp: the console's start-up and shutdown with windows. Start-up prepares the badges,
// the program's registry root, the language resources, the station configuration's defaults
// and the two catalogues; then the main window runs until Exit or Close; the exit step writes
// Config.ini.
#pragma once

#include "app/status_badges.h"
#include "config/language_pack.h"
#include "startup/server_context.h"

#include <string>

class QLocalServer;

namespace orvanta {

class CMainDialog;

class CServerApp {
public:
    // A QApplication must exist.
    explicit CServerApp(CServerContext& context);
    CServerApp(const CServerApp&) = delete;
    CServerApp& operator=(const CServerApp&) = delete;

    // Start-up, the main window until it ends, then the exit step. A stop signal (SIGINT,
    // SIGTERM, SIGHUP, blocked by main) ends the window as Exit would, without asking.
    // Returns the process exit code.
    int Run(const std::string& commandLine, const std::string& programPath);
    // Later starts of the console connect here; each brings the window forward.
    void SetActivationServer(QLocalServer* server) { m_activation = server; }

    // The steps of start-up that come before the main window.
    void InitInstance();
    // Writes the configuration; the exit code.
    int ExitInstance();

    const CStatusBadges& Badges() const { return m_badges; }
    // The program settings' root in the registry.
    const std::string& RegistryKey() const { return m_registryKey; }
    const CLanguagePack& LanguagePack() const { return m_languagePack; }

private:
    void InitLanguageResources();

    CServerContext& m_context;
    QLocalServer* m_activation = nullptr;
    CStatusBadges m_badges;
    std::string m_registryKey;
    // Loaded at start-up for the whole run; its texts go when the application object does.
    CLanguagePack m_languagePack;
};

}  // namespace orvanta
