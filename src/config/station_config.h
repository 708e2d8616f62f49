// StationConfig: everything about the station that the console edits, stores in the
// configuration file and hands to the streaming service. One instance per process, owned by the
// server context; touched only on the user-interface thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

namespace orvanta {

// Stream format codes, also the format bits of a service module.
inline constexpr int32_t kFormatMp3 = 2;
inline constexpr int32_t kFormatWma = 4;
inline constexpr int32_t kFormatOggVorbis = 16;

// The broadcast schedule. The service receives it as one block of ten little-endian 32-bit
// integers, so the layout is fixed.
struct BroadcastTimeBlock {
    int32_t Type = 0;  // 0 around the clock, 1 daily, 2 weekly, 3 irregular
    int32_t Day1 = 0;  // weekly: 1 Monday .. 7 Sunday; daily: 0
    int32_t Day2 = 0;  // weekly: 0 unused, else as Day1
    int32_t Day3 = 0;
    int32_t STime1 = 0;  // start hours 1..24 (24 is midnight)
    int32_t STime2 = 0;
    int32_t STime3 = 0;
    int32_t ETime1 = 0;  // end hours, as the start hours
    int32_t ETime2 = 0;
    int32_t ETime3 = 0;

    // The ten numbers in block order, as the service receives them.
    std::array<int32_t, 10> ToArray() const {
        return {Type, Day1, Day2, Day3, STime1, STime2, STime3, ETime1, ETime2, ETime3};
    }
    bool operator==(const BroadcastTimeBlock&) const = default;
};
static_assert(sizeof(BroadcastTimeBlock) == 40);
static_assert(offsetof(BroadcastTimeBlock, Type) == 0);
static_assert(offsetof(BroadcastTimeBlock, Day1) == 4);
static_assert(offsetof(BroadcastTimeBlock, Day2) == 8);
static_assert(offsetof(BroadcastTimeBlock, Day3) == 12);
static_assert(offsetof(BroadcastTimeBlock, STime1) == 16);
static_assert(offsetof(BroadcastTimeBlock, STime2) == 20);
static_assert(offsetof(BroadcastTimeBlock, STime3) == 24);
static_assert(offsetof(BroadcastTimeBlock, ETime1) == 28);
static_assert(offsetof(BroadcastTimeBlock, ETime2) == 32);
static_assert(offsetof(BroadcastTimeBlock, ETime3) == 36);

// The directory server the service registers with unless told otherwise.
inline constexpr const char kDefaultDirectoryServer[] = "directory.orvanta.net";

// Field names are the configuration file's key names. Flags are 32-bit integers, 0 or 1 as the
// program stores them, true when non-zero. Nothing is validated on assignment: numbers are
// whatever was stored or parsed.
struct StationConfig {
    std::string ConfigFile;
    std::string IndexPage;
    int32_t MaxClient = 10;
    int32_t Timeout = 30;
    int32_t ShoutcastRegister = 0;
    std::string Password;
    std::string MassInclude;
    std::string MassUniqueKey;
    int32_t Format = kFormatMp3;
    int32_t SongHistoryMax = 0;
    int32_t Port = 0;
    std::string BindAddress;
    std::string RelayHostname;
    int32_t RelayPort = 8000;
    std::string RelayStreamUrl;
    int32_t EncoderValue56 = 0;  // not stored: from the encoder plug-in, for WMA only
    int32_t EncoderValue55 = 0;  // not stored: as EncoderValue56
    std::string EncoderModule;   // not stored: the encoder plug-in's file name
    std::string DJName;
    std::string DJEmail;
    int32_t DJSex = 0;
    std::string TitleFormat;
    std::string URLFormat;
    std::string DirectoryServer;  // not stored
    int32_t DirectoryPort = 0;    // not stored
    std::string LogDir;
    std::string ContentDir;
    std::string LogFile;
    int16_t Generation = 0;
    int16_t Genre = 0;
    int16_t Ment = 0;
    int32_t Master = 0;
    int32_t PublicServer = 0;
    int32_t PrivateBr = 0;
    BroadcastTimeBlock BroadcastTime;
    int32_t Portforward = 0;
    std::string OverrideIP;
    int32_t OverridePort = 0;
    int32_t LangCode = 0;
    int32_t CreateLog = 0;
    // User name to password, ordered by name compared byte by byte (so "Bob" before "alice").
    std::map<std::string, std::string> PrivateUsers;

    // Settings that travel to the service beside its controller's operations (see
    // <orvanta/service_options.h>), each kept in a section of its own in the file.
    // [TLS]: the certificate chain and private key (PEM files) for https:// listeners and
    // sources, an optional port that speaks only TLS (0: none), and extra certificates a relay
    // trusts for its upstream. Relative paths are taken from the program's folder.
    std::string TlsCertificate;
    std::string TlsPrivateKey;
    int32_t TlsPort = 0;
    std::string TlsTrustedCertificates;
    // [HLS]: segments of the live MP3 stream for HTTP caches and HLS players.
    int32_t HlsEnabled = 1;
    int32_t HlsSegmentSeconds = 6;
    int32_t HlsWindow = 10;  // segments kept
    std::string HlsOriginFolder;
    // [Fallback]: what keeps the station on air without a live source: a file played in a loop
    // and its title, another station's stream relayed, and a file each new listener hears
    // first. Relative paths are taken from the program's folder.
    std::string FallbackFile;
    std::string FallbackTitle;
    std::string FallbackUrl;
    std::string FallbackIntroFile;
    // [Admin]: the operator's web console and API. The console's user and the stored hash of
    // its password (base/credentials.h; empty: the console is off), whether it answers over
    // plain HTTP beyond this machine, the addresses and CIDR ranges that may try at all (as
    // written, commas or spaces between them; empty: everyone), and the stored hash of the API
    // token (empty: no API). Never the password or the token itself.
    std::string AdminUser = "admin";
    std::string AdminPasswordHash;
    int32_t AdminAllowPlainHttp = 0;
    std::string AdminAllowFrom;
    std::string AdminApiToken;
    // [Admin]: the addresses and networks (address/prefix length), besides the machine itself,
    // that may read the engine's metrics; separated by commas or spaces.
    std::string AdminMetricsAllowFrom;
    // [Stats]: the listening statistics kept in the state folder, for how many days, whether
    // listeners' addresses are kept whole (else cut to their network), and the MaxMind-format
    // database their countries come from (empty: none).
    int32_t StatsEnabled = 1;
    int32_t StatsKeepDays = 400;
    int32_t StatsFullAddresses = 0;
    std::string StatsGeoIPDatabase;

    // Sets the fields that have a program default; leaves the format, the relay source, the
    // mass-configuration names, the encoder fields, the DJ fields, the title and URL formats,
    // Generation, OverrideIP and the private users as they are, so a load can decide about
    // those.
    void SetDefaults();

    bool operator==(const StationConfig&) const = default;
};

}  // namespace orvanta
