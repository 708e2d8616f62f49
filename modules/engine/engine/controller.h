// The module's face to the console: the controller with its 37 operations over the engine.
// Every operation is noexcept: nothing may unwind into the console. Each module (MP3 and Ogg
// Vorbis, WMA) names itself with a ModuleIdentity and exports its own factory.
#pragma once

#include "engine/engine.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <orvanta/service_module.h>
#include <orvanta/service_options.h>
#include <string>
#include <string_view>
#include <vector>

namespace orvanta::engine {

struct ModuleIdentity {
    char header[8];
    const char* fileName;
    const char* description;
    uint32_t formatMask;
    uint32_t version[2];  // as the version stamp has it
};

// A whole text as a decimal number.
template <typename Number>
bool ParsedWhole(std::string_view text, Number& out) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && end == text.data() + text.size();
}

inline std::string Text(const char* text) {
    return text != nullptr ? text : "";
}

// The list of ORVANTA_OPTION_PRIVATE_USERS: name, line feed, password, line feed, and so on.
// A name without its password line is no user.
inline std::map<std::string, std::string> PrivateUsers(std::string_view text) {
    std::map<std::string, std::string> users;
    for (;;) {
        const size_t nameEnd = text.find('\n');
        const size_t passwordEnd =
            nameEnd == std::string_view::npos ? nameEnd : text.find('\n', nameEnd + 1);
        if (passwordEnd == std::string_view::npos) {
            return users;
        }
        if (nameEnd > 0) {
            users[std::string(text.substr(0, nameEnd))] =
                std::string(text.substr(nameEnd + 1, passwordEnd - nameEnd - 1));
        }
        text.remove_prefix(passwordEnd + 1);
    }
}

// The lines of a list each of whose entries ends in a line feed; empty ones are left out.
inline std::vector<std::string> Lines(std::string_view text) {
    std::vector<std::string> lines;
    for (size_t end = text.find('\n'); end != std::string_view::npos; end = text.find('\n')) {
        if (end > 0) {
            lines.emplace_back(text.substr(0, end));
        }
        text.remove_prefix(end + 1);
    }
    return lines;
}

class Controller : public IServiceController {
public:
    explicit Controller(const ModuleIdentity& identity) : m_identity(identity) {}
    virtual ~Controller() = default;

    void Destroy(int32_t) override { delete this; }

    int32_t Start(int32_t port, int32_t) override {
        try {
            EngineSettings settings = Snapshot();
            std::string error;
            m_startError.clear();
            if (!PrepareStart(settings, &error) || !m_engine.Start(port, settings, &error)) {
                std::fprintf(stderr, "%s: %s\n", m_identity.fileName, error.c_str());
                m_startError = error;
                StartFailed();
                return 0;
            }
            return 1;
        } catch (...) {
            return 0;
        }
    }

    void Stop() override {
        try {
            m_engine.Stop();
            Stopped();
        } catch (...) {
        }
    }

    int32_t GetListenerCount() override { return m_engine.ListenerCount(); }
    double GetTotalSentBytes() override { return static_cast<double>(m_engine.SentBytes()); }
    double GetTotalReceivedBytes() override {
        return static_cast<double>(m_engine.ReceivedBytes());
    }
    int32_t IsSourceConnected() override { return m_engine.SourceConnected() ? 1 : 0; }
    int32_t IsRunning() override { return m_engine.IsRunning() ? 1 : 0; }

    void Describe(ServiceModuleInfo* info) override {
        if (info == nullptr) {
            return;
        }
        std::memset(info, 0, sizeof *info);
        std::memcpy(info->moduleHeader, m_identity.header, sizeof m_identity.header);
        info->formatMask = m_identity.formatMask;
        // Our own part of the record: the version as the stamp has it, then a description.
        std::memcpy(info->moduleData, m_identity.version, sizeof m_identity.version);
        std::snprintf(info->fileName, sizeof info->fileName, "%s", m_identity.fileName);
        std::snprintf(reinterpret_cast<char*>(info->moduleText), sizeof info->moduleText, "%s",
                      m_identity.description);
    }

    void SetMaxClients(int32_t n) override {
        Change([n](EngineSettings& s) { s.maxClients = n; });
    }
    void SetDirectoryServer(const char* host, int32_t port) override {
        Change([h = Text(host), port](EngineSettings& s) {
            s.directoryServer = h;
            s.directoryPort = port;
        });
    }
    void SetSourcePassword(const char* password) override {
        Change([p = Text(password)](EngineSettings& s) { s.sourcePassword = p; });
    }
    void SetGenre(uint16_t genre) override {
        Change([genre](EngineSettings& s) { s.genre = genre; });
    }
    void SetLanguageCode(int32_t code) override {
        Change([code](EngineSettings& s) { s.languageCode = code; });
    }
    void SetPublicServer(int32_t flag) override {
        Change([flag](EngineSettings& s) { s.publicServer = flag; });
    }
    void SetMaster(int32_t flag) override {
        Change([flag](EngineSettings& s) { s.master = flag; });
    }
    void SetGeneration(int32_t value) override {
        Change([value](EngineSettings& s) { s.generation = value; });
    }
    void SetMent(int32_t value) override {
        Change([value](EngineSettings& s) { s.ment = value; });
    }
    void SetSchedule(const int32_t* schedule) override {
        if (schedule == nullptr) {
            return;
        }
        std::array<int32_t, 10> copy{};
        std::memcpy(copy.data(), schedule, sizeof(int32_t) * copy.size());
        Change([copy](EngineSettings& s) { s.schedule = copy; });
    }
    void SetAddressOverride(int32_t flag, const char* address, int32_t port) override {
        // The console hands the switch over twice: as the operator set it before Start, and
        // inverted once the service runs. Read the running call back the right way round, so
        // the operator's choice is what directories see.
        const bool running = m_engine.IsRunning();
        Change([flag, running, a = Text(address), port](EngineSettings& s) {
            s.addressOverride = running ? (flag == 0 ? 1 : 0) : (flag != 0 ? 1 : 0);
            s.overrideAddress = a;
            s.overridePort = port;
        });
    }
    void SetShoutcastRegister(int32_t flag) override {
        Change([flag](EngineSettings& s) { s.shoutcastRegister = flag; });
    }
    void SetRelay(const char* host, int32_t port, const char* url) override {
        Change([h = Text(host), port, u = Text(url)](EngineSettings& s) {
            s.relayHost = h;
            s.relayPort = port;
            s.relayStreamUrl = u;
        });
    }
    void SetBindAddress(const char* address) override {
        Change([a = Text(address)](EngineSettings& s) { s.bindAddress = a; });
    }
    void SetPrivateBroadcast(int32_t flag) override {
        Change([flag](EngineSettings& s) { s.privateBroadcast = flag; });
    }
    void AddPrivateUser(const char* user, const char* password) override {
        Change([u = Text(user), p = Text(password)](EngineSettings& s) { s.privateUsers[u] = p; });
    }
    void EnableLogFile(int32_t enable) override {
        Change([enable](EngineSettings& s) { s.logEnabled = enable; });
    }
    void SetLogDirectory(const char* folder) override {
        Change([f = Text(folder)](EngineSettings& s) { s.logDirectory = f; });
    }
    void SetLogFileName(const char* name) override {
        Change([n = Text(name)](EngineSettings& s) { s.logFileName = n; });
    }
    void SetContentDirectory(const char* folder) override {
        Change([f = Text(folder)](EngineSettings& s) { s.contentDirectory = f; });
    }
    void SetIndexPage(const char* name) override {
        Change([n = Text(name)](EngineSettings& s) { s.indexPage = n; });
    }
    void SetSongHistoryMax(int32_t count) override {
        Change([count](EngineSettings& s) { s.songHistoryMax = count; });
    }
    void SetTimeout(int32_t timeout) override {
        Change([timeout](EngineSettings& s) { s.timeout = timeout; });
    }
    void SetTitleFormat(const char* format) override {
        Change([f = Text(format)](EngineSettings& s) { s.titleFormat = f; });
    }
    void SetUrlFormat(const char* format) override {
        Change([f = Text(format)](EngineSettings& s) { s.urlFormat = f; });
    }
    void SetEncoderValues(int32_t value56, int32_t value55, int32_t) override {
        Change([value55, value56](EngineSettings& s) {
            s.encoderValue55 = value55;
            s.encoderValue56 = value56;
        });
    }
    void SetEncoderPlugin(const char* name) override {
        Change([n = Text(name)](EngineSettings& s) { s.encoderPlugin = n; });
    }
    void Initialize(int32_t) override {}

    // Why the last Start failed; "" when it did not.
    const char* StartError() const noexcept { return m_startError.c_str(); }
    // What plays while no source is connected (<orvanta/service_options.h>).
    int32_t FallbackPlaying() const noexcept { return m_engine.Fallback(); }
    uint64_t LoopBeats() const noexcept { return m_engine.LoopBeats(); }

    // The settings as the next Start hands them to the engine: what the console set, less what
    // the module never offers.
    EngineSettings Snapshot() {
        std::lock_guard<std::mutex> lock(m_mutex);
        EngineSettings settings = m_settings;
        Restrict(settings);
        return settings;
    }

    // One setting of <orvanta/service_options.h>; false for a name we do not know or a value
    // that is not one.
    bool SetOption(std::string_view name, std::string_view value) noexcept {
        const auto number = [value](int32_t& out) { return ParsedWhole(value, out); };
        int32_t n = 0;
        const std::string text(value);
        if (name == ORVANTA_OPTION_TLS_CERTIFICATE) {
            Change([text](EngineSettings& s) { s.tlsCertificate = text; });
        } else if (name == ORVANTA_OPTION_TLS_PRIVATE_KEY) {
            Change([text](EngineSettings& s) { s.tlsPrivateKey = text; });
        } else if (name == ORVANTA_OPTION_TLS_TRUSTED_CERTIFICATES) {
            Change([text](EngineSettings& s) { s.tlsTrustedCertificates = text; });
        } else if (name == ORVANTA_OPTION_TLS_PORT && number(n)) {
            Change([n](EngineSettings& s) { s.tlsPort = n; });
        } else if (name == ORVANTA_OPTION_HLS_ENABLED && number(n)) {
            Change([n](EngineSettings& s) { s.hlsEnabled = n != 0; });
        } else if (name == ORVANTA_OPTION_HLS_SEGMENT_SECONDS && number(n)) {
            Change([n](EngineSettings& s) { s.hlsSegmentSeconds = n; });
        } else if (name == ORVANTA_OPTION_HLS_WINDOW && number(n)) {
            Change([n](EngineSettings& s) { s.hlsWindow = n; });
        } else if (name == ORVANTA_OPTION_HLS_ORIGIN_FOLDER) {
            Change([text](EngineSettings& s) { s.hlsOriginFolder = text; });
        } else if (name == ORVANTA_OPTION_FALLBACK_FILE) {
            Change([text](EngineSettings& s) { s.fallbackFile = text; });
        } else if (name == ORVANTA_OPTION_FALLBACK_TITLE) {
            Change([text](EngineSettings& s) { s.fallbackTitle = text; });
        } else if (name == ORVANTA_OPTION_FALLBACK_URL) {
            Change([text](EngineSettings& s) { s.fallbackUrl = text; });
        } else if (name == ORVANTA_OPTION_FALLBACK_INTRO_FILE) {
            Change([text](EngineSettings& s) { s.introFile = text; });
        } else if (name == ORVANTA_OPTION_ADMIN_USER) {
            Change([text](EngineSettings& s) { s.adminUser = text; });
        } else if (name == ORVANTA_OPTION_ADMIN_PASSWORD_HASH) {
            Change([text](EngineSettings& s) { s.adminPasswordHash = text; });
        } else if (name == ORVANTA_OPTION_ADMIN_ALLOW_PLAIN_HTTP && number(n)) {
            Change([n](EngineSettings& s) { s.adminAllowPlainHttp = n != 0; });
        } else if (name == ORVANTA_OPTION_ADMIN_ALLOW_FROM) {
            Change([text](EngineSettings& s) { s.adminAllowFrom = text; });
        } else if (name == ORVANTA_OPTION_ADMIN_API_TOKEN) {
            Change([text](EngineSettings& s) { s.adminApiTokenHash = text; });
        } else if (name == ORVANTA_OPTION_ADMIN_METRICS_ALLOW_FROM) {
            Change([text](EngineSettings& s) { s.metricsAllowFrom = text; });
        } else if (name == ORVANTA_OPTION_ADMIN_SETTINGS) {
            Change([text](EngineSettings& s) { s.shownSettings = text; });
        } else if (name == ORVANTA_OPTION_ADMIN_RELOAD_BY_SIGNAL && number(n)) {
            Change([n](EngineSettings& s) { s.reloadBySignal = n != 0; });
        } else if (name == ORVANTA_OPTION_ADMIN_LAST_RELOAD) {
            // "<milliseconds>\n<what was said>"; "" for none.
            const size_t end = value.empty() ? 0 : value.find('\n');
            int64_t when = 0;
            if (end == std::string_view::npos ||
                (end > 0 && !ParsedWhole(value.substr(0, end), when))) {
                return false;
            }
            Change([when, said = std::string(value.substr(std::min(end + 1, value.size())))](
                       EngineSettings& s) {
                s.lastReloadMs = when;
                s.lastReload = said;
            });
        } else if (name == ORVANTA_OPTION_STATS_ENABLED && number(n)) {
            Change([n](EngineSettings& s) { s.statsEnabled = n != 0; });
        } else if (name == ORVANTA_OPTION_STATS_KEEP_DAYS && number(n)) {
            Change([n](EngineSettings& s) { s.statsKeepDays = n; });
        } else if (name == ORVANTA_OPTION_STATS_FULL_ADDRESSES && number(n)) {
            Change([n](EngineSettings& s) { s.statsFullAddresses = n != 0; });
        } else if (name == ORVANTA_OPTION_STATS_GEOIP_DATABASE) {
            Change([text](EngineSettings& s) { s.statsGeoIpDatabase = text; });
        } else if (name == ORVANTA_OPTION_BANS_FILE) {
            Change([text](EngineSettings& s) { s.bansFile = text; });
        } else if (name == ORVANTA_OPTION_PRIVATE_FILES) {
            Change([text](EngineSettings& s) { s.privateFiles = Lines(text); });
        } else if (name == ORVANTA_OPTION_PRIVATE_USERS) {
            Change([text](EngineSettings& s) { s.privateUsers = PrivateUsers(text); });
        } else {
            return false;
        }
        return true;
    }

protected:
    // Before the engine starts, with the settings it will start with: a module that serves
    // less, or serves its own encoding, adjusts them here. False, with the reason, refuses the
    // start.
    virtual bool PrepareStart(EngineSettings& /*settings*/, std::string* /*error*/) { return true; }
    // What the module never offers taken out of every copy of the settings the engine gets,
    // and what it adds to each (its transcoder).
    virtual void Restrict(EngineSettings& /*settings*/) const {}
    virtual void StartFailed() {}
    virtual void Stopped() {}

private:
    // Settings before Start are kept for it; settings while running go to the engine at once.
    template <typename Apply>
    void Change(Apply apply) noexcept {
        try {
            std::lock_guard<std::mutex> lock(m_mutex);
            apply(m_settings);
            if (m_engine.IsRunning()) {
                EngineSettings running = m_settings;
                Restrict(running);
                m_engine.UpdateSettings(running);
            }
        } catch (...) {
        }
    }

    const ModuleIdentity& m_identity;
    std::string m_startError;
    std::mutex m_mutex;
    EngineSettings m_settings;
    Engine m_engine;
};

}  // namespace orvanta::engine
