// One console per user: a second start asks the running console to come forward and ends.
// Headless runs are not limited.
#pragma once

#include <QLocalServer>
#include <QString>

namespace orvanta {

// The per-user socket: in $XDG_RUNTIME_DIR, else in the temporary folder with the user's id.
QString SingleInstanceSocketPath();

class CSingleInstance {
public:
    explicit CSingleInstance(QString socketPath);
    // True when this process is the user's console from now on. False when another console
    // answered on the socket; it was asked to come forward. A socket nobody answers on is
    // left over by a console that crashed: it is replaced.
    bool Claim();
    // Emits newConnection for every later start of the console.
    QLocalServer& Server() { return m_server; }

private:
    QString m_socketPath;
    QLocalServer m_server;
};

}  // namespace orvanta
