// What the console tells the engine, kept as plain values. The controller fills a copy under
// its lock; the engine works on its own copy on its own thread.
#pragma once

#include "engine/tunables.h"
#include "hls/hls_settings.h"
#include "stream/format_reader.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace orvanta::engine {

class StreamTranscoder;

struct EngineSettings {
    int32_t maxClients = 10;
    std::string directoryServer;
    int32_t directoryPort = 0;
    std::string sourcePassword;
    uint16_t genre = 0;
    int32_t languageCode = 0;
    int32_t publicServer = 0;
    int32_t master = 1;
    int32_t generation = 0;
    int32_t ment = 0;
    std::array<int32_t, 10> schedule{};
    int32_t addressOverride = 0;
    std::string overrideAddress;
    int32_t overridePort = 0;
    int32_t shoutcastRegister = 0;
    std::string relayHost;
    int32_t relayPort = 0;
    std::string relayStreamUrl;
    std::string bindAddress;
    int32_t privateBroadcast = 0;
    std::map<std::string, std::string> privateUsers;
    int32_t logEnabled = 0;
    std::string logDirectory;
    std::string logFileName;
    std::string contentDirectory;
    std::string indexPage;
    int32_t songHistoryMax = 10;
    // Seconds a silent source is kept, and listeners wait for a source that left.
    int32_t timeout = 10;
    std::string titleFormat;
    std::string urlFormat;
    int32_t encoderValue55 = 0;
    int32_t encoderValue56 = 0;
    std::string encoderPlugin;

    // Beside the controller's operations (<orvanta/service_options.h>).
    std::string tlsCertificate;
    std::string tlsPrivateKey;
    int32_t tlsPort = 0;
    std::string tlsTrustedCertificates;
    // Files never served (the configuration files), whole paths.
    std::vector<std::string> privateFiles;
    // Where the web console's bans are kept, a whole path ("": only while the engine runs).
    std::string bansFile;
    // How often the certificate files are looked at for a renewal (not a setting of the
    // console's; tests shorten it).
    std::chrono::milliseconds tlsCheckInterval{std::chrono::seconds(15)};
    // From a connection to its whole request head, the TLS handshake included (not a setting of
    // the console's either).
    std::chrono::milliseconds headerTimeout{std::chrono::seconds(15)};
    // From a connection to the end of its TLS handshake, and how many may be under way (not
    // settings of the console's either; tests shorten and lower them).
    std::chrono::milliseconds handshakeTimeout{kHandshakeTimeout};
    HandshakeLimits handshakeLimits;
    bool hlsEnabled = true;
    int32_t hlsSegmentSeconds = 6;
    int32_t hlsWindow = 10;
    std::string hlsOriginFolder;
    // How long a client counts as an HLS listener after its last playlist fetch, and so when
    // the log says it left (not a setting of the console's; tests shorten it).
    std::chrono::milliseconds hlsListenerWindow{kHlsListenerWindow};
    // What keeps the station on air without a live source (whole paths; "" for none): a file
    // played in a loop with its title ("" for the station's name), another station's stream,
    // and a file each new listener hears first.
    std::string fallbackFile;
    std::string fallbackTitle;
    std::string fallbackUrl;
    std::string introFile;
    // The operator's web console and API ([Admin]): the user, the stored password hash ("": the
    // console is off), whether plain HTTP serves more than this machine, the allowed addresses
    // as the operator wrote them ("": everyone), the stored token hash ("": no API). The hashes
    // are never logged.
    std::string adminUser = "admin";
    std::string adminPasswordHash;
    bool adminAllowPlainHttp = false;
    std::string adminAllowFrom;
    std::string adminApiTokenHash;
    // Who besides this machine may read /metrics: addresses and networks (address/prefix
    // length), separated by commas or spaces; "" for this machine alone.
    std::string metricsAllowFrom;
    // What the console's settings page shows: "Section.Key=value" lines, secrets already given
    // as "set" or "not set" by the console ("": none handed over).
    std::string shownSettings;
    // The console re-reads its configuration on SIGHUP, so the console's Reload may raise it.
    bool reloadBySignal = false;
    // The console's last reload: when (milliseconds since 1970 UTC; 0: none yet) and what the
    // console said of it.
    int64_t lastReloadMs = 0;
    std::string lastReload;
    // The listening statistics ([Stats]), taken at Start: whether they are kept, for how many
    // days, whether listeners' addresses are kept whole, and the MaxMind-format database their
    // countries come from ("": none). They go in the folder of the bans file, the state folder
    // the console gives the engine; statsFolder names another (tests).
    bool statsEnabled = true;
    int32_t statsKeepDays = 400;
    bool statsFullAddresses = false;
    std::string statsGeoIpDatabase;
    std::string statsFolder;
    // How often statistics paused by the disk try it again (tests shorten it).
    std::chrono::milliseconds statsRetryInterval{std::chrono::seconds(30)};
    // Set by a module that serves its own encoding (WMA): not a value but the encoder it owns,
    // shared by every copy of the settings. Null: listeners get the source's stream as sent.
    std::shared_ptr<StreamTranscoder> transcoder;

    // Seconds, bounded to something sane: 0 or less means the default of 10.
    int TimeoutSeconds() const { return timeout > 0 && timeout <= 3600 ? timeout : 10; }
    // The [HLS] settings as the station's HLS output takes them.
    HlsSettings Hls() const { return {hlsEnabled, hlsSegmentSeconds, hlsWindow, hlsOriginFolder}; }
    // Whether a source may push `format`: MP3 and Ogg Vorbis, or what the transcoder takes.
    bool AcceptsSource(StreamFormat format) const;
};

}  // namespace orvanta::engine
