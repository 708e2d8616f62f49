// A station record with every stored setting away from its default, as the file test writes it
// and the service host hands it over. Paths are relative where the host makes them whole.
#pragma once

#include "config/station_config.h"

#include <string>

namespace orvanta::test {

inline StationConfig FullStationConfig(const std::string& massInclude) {
    StationConfig c;
    c.SetDefaults();
    c.ConfigFile = "/etc/orvanta/Station.ini";
    c.IndexPage = "start.html";
    c.MaxClient = 250;
    c.Timeout = 45;
    c.ShoutcastRegister = 0;
    c.Password = " spaced secret ";
    c.MassInclude = massInclude;
    c.MassUniqueKey = "07";
    c.Format = kFormatOggVorbis;
    c.SongHistoryMax = 25;
    c.Port = 8123;
    c.BindAddress = "127.0.0.2";
    c.RelayHostname = "up.example";
    c.RelayPort = 9000;
    c.RelayStreamUrl = "/live";
    c.DJName = "Ann";
    c.DJEmail = "ann@example.org";
    c.DJSex = 2;
    c.TitleFormat = "%t on Owl FM";
    c.URLFormat = "https://owl.example/%u";
    c.LogDir = "/var/log/station";
    c.ContentDir = "/srv/radio/web/";
    c.LogFile = "owl.log";
    c.Generation = 3;
    c.Genre = -5;
    c.Ment = 4;
    c.Master = 0;
    c.PublicServer = 0;
    c.PrivateBr = 1;
    c.BroadcastTime = {2, 1, 3, 5, 9, 10, 11, 12, 13, 14};
    c.Portforward = 0;
    c.OverrideIP = "192.0.2.7";
    c.OverridePort = 8500;
    c.LangCode = 7;
    c.CreateLog = 0;
    c.PrivateUsers = {{"Bob", "b"}, {"alice", "a=1"}};
    c.TlsCertificate = "certs/fullchain.pem";
    c.TlsPrivateKey = "/etc/orvanta/privkey.pem";
    c.TlsPort = 8443;
    c.TlsTrustedCertificates = "upstream.pem";
    c.HlsEnabled = 0;
    c.HlsSegmentSeconds = 4;
    c.HlsWindow = 12;
    c.HlsOriginFolder = "hls";
    c.FallbackFile = "gap.mp3";
    c.FallbackTitle = " Back soon ";
    c.FallbackUrl = "https://auto.example:8443/live";
    c.FallbackIntroFile = "/srv/jingle.mp3";
    c.AdminUser = "operator";
    c.AdminPasswordHash =
        "pbkdf2-sha256$1000$AAECAwQFBgcICQoLDA0ODw==$beM5rf90KpCcAQg9rqzVJDXHDURZod+A0rjTFF0Nlfo=";
    c.AdminAllowPlainHttp = 1;
    c.AdminAllowFrom = "127.0.0.1, 192.0.2.0/24 2001:db8::/32";
    c.AdminApiToken = "sha256$ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
    c.AdminMetricsAllowFrom = "192.0.2.0/24, 2001:db8::7";
    c.StatsEnabled = 0;
    c.StatsKeepDays = 30;
    c.StatsFullAddresses = 1;
    c.StatsGeoIPDatabase = "geo/countries.mmdb";
    return c;
}

}  // namespace orvanta::test
