/* Orvanta SDK: settings beyond the controller's operations (optional for a module).
 *
 * Some station settings have no operation in IServiceController (secure connections, HLS).
 * They reach a module through one more export, which a module may leave out:
 *
 *     ORVANTA_EXPORT int32_t OrvantaServiceOption(IServiceController* controller,
 *                                                 const char* name, const char* value);
 *
 * The console looks the export up in the library it runs the service from, after the factory
 * returned `controller`. When the export is there, the console calls it once per option below,
 * on its user-interface thread: after the settings it hands over before Start and before Start
 * itself, and again, while the service runs, when the configuration is re-read (a reload, see
 * <orvanta/service_module.h>): then only the options marked "live" below go over, each with
 * its new value, for the module to apply at once; the others wait for the next Start.
 *
 * `name` is "<section>.<key>" as in the configuration file; `value` is the stored text:
 * numbers in decimal, flags "0" or "1", paths absolute (the console resolves relative ones
 * first). Both are valid only during the call. The result is 1 when the module knows the
 * option and took its value, 0 when it does not know it or refuses the value; the console does
 * not act on it. New options may appear in later versions: a module answers 0 for names it
 * does not know and carries on.
 *
 * A module without the export (one written to the controller's operations alone) never sees
 * these settings and keeps working: its station runs without the features they configure. */
#ifndef ORVANTA_SERVICE_OPTIONS_H
#define ORVANTA_SERVICE_OPTIONS_H

#include <orvanta/service_module.h>
#include <stdint.h>

#ifdef __cplusplus

/* The export's name and type. */
#define ORVANTA_SERVICE_OPTION_NAME "OrvantaServiceOption"
typedef int32_t (*OrvantaServiceOptionFunction)(IServiceController* controller, const char* name,
                                                const char* value);

/* Why the last Start returned 0, in the operator's terms (English, one or two lines), or ""
 * when it did not fail or the module cannot say. A second optional export, looked up like the
 * first; the console shows the text with its own message after a failed Start. The text stays
 * valid until the next call into the controller. */
#define ORVANTA_SERVICE_START_ERROR_NAME "OrvantaServiceStartError"
typedef const char* (*OrvantaServiceStartErrorFunction)(IServiceController* controller);

/* What plays while no source is connected, a third optional export, looked up like the first and
 * polled with the status queries: 0 nothing (or a live source), 1 the fallback file, 2 the
 * fallback stream. IsSourceConnected stays 0 while a fallback plays. */
#define ORVANTA_SERVICE_FALLBACK_NAME "OrvantaServiceFallback"
typedef int32_t (*OrvantaServiceFallbackFunction)(IServiceController* controller);

/* Whether the module's engine still works, a fourth optional export, looked up like the first and
 * polled with the status queries: a number that grows (about once a second) while the engine
 * turns and stands still when it hangs. A service manager's watchdog is fed only while it grows.
 * A module without the export is taken to be alive while its status queries answer. */
#define ORVANTA_SERVICE_HEARTBEAT_NAME "OrvantaServiceHeartbeat"
typedef uint64_t (*OrvantaServiceHeartbeatFunction)(IServiceController* controller);

/* Private broadcast ([PrivateBr]), live: the whole list of listeners' user names and
 * passwords, each name and each password followed by a line feed ("ann\npw\nbob\npw2\n"; the
 * configuration file cannot hold a line feed in either). It replaces the module's list, so a
 * user taken out of the file loses access at a reload; AddPrivateUser, which only ever adds,
 * keeps handing the same users over for modules without this option. */
#define ORVANTA_OPTION_PRIVATE_USERS "PrivateBr.Users"

/* Files the module must never serve to anyone, whatever their names and wherever they lie (the
 * configuration the console read and the one it writes at exit: they hold the passwords), each
 * path followed by a line feed; live. */
#define ORVANTA_OPTION_PRIVATE_FILES "Paths.PrivateFiles"

/* The file the module keeps the bans of its web console in (addresses and networks refused
 * everything), a whole path; the console names `bans.txt` beside the configuration it writes.
 * Live: the module reads the file again when it gets this option at a reload, so bans edited
 * by hand take effect then. "" keeps bans only while the module runs. */
#define ORVANTA_OPTION_BANS_FILE "Paths.BansFile"

/* Secure connections ([TLS]). A certificate chain and its private key, PEM files; with both
 * set, listeners and Icecast-style sources may connect with TLS on the listen port. Both live:
 * new connections get the new certificate, connections under way keep theirs. */
#define ORVANTA_OPTION_TLS_CERTIFICATE "TLS.Certificate"
#define ORVANTA_OPTION_TLS_PRIVATE_KEY "TLS.PrivateKey"
/* A port that speaks only TLS, in addition to the listen port; "0" for none. */
#define ORVANTA_OPTION_TLS_PORT "TLS.Port"
/* PEM file of certificates a relay trusts for its https:// upstream besides the system's;
 * live (the relay's next connection). */
#define ORVANTA_OPTION_TLS_TRUSTED_CERTIFICATES "TLS.TrustedCertificates"

/* HLS ([HLS]): the live MP3 stream cut into segments for HLS players and HTTP caches. */
#define ORVANTA_OPTION_HLS_ENABLED "HLS.Enabled"
/* Target length of one segment, in seconds. */
#define ORVANTA_OPTION_HLS_SEGMENT_SECONDS "HLS.SegmentSeconds"
/* Segments the playlist offers (the rewind window). */
#define ORVANTA_OPTION_HLS_WINDOW "HLS.Window"
/* A folder the segments and the playlist are also written to, for any web server; "" for none. */
#define ORVANTA_OPTION_HLS_ORIGIN_FOLDER "HLS.OriginFolder"

/* Keeping the station on air ([Fallback]), all live: a reload takes them without dropping
 * anyone. An audio file of the station's format played in a loop, at real time, whenever no
 * source is connected; "" for none. */
#define ORVANTA_OPTION_FALLBACK_FILE "Fallback.File"
/* The title listeners see while the fallback file plays; "" for the station's name. */
#define ORVANTA_OPTION_FALLBACK_TITLE "Fallback.Title"
/* Another station's stream (http:// or https://) relayed whenever no source is connected; the
 * file covers the gaps when this stream is down too. "" for none. */
#define ORVANTA_OPTION_FALLBACK_URL "Fallback.Url"
/* An audio file of the station's format each new listener gets before the live audio. */
#define ORVANTA_OPTION_FALLBACK_INTRO_FILE "Fallback.IntroFile"

/* The operator's web console under /admin/ and its JSON API ([Admin]), all live: the next login
 * or request uses the new values. The console's user name. */
#define ORVANTA_OPTION_ADMIN_USER "Admin.User"
/* The stored hash of the console's password, "pbkdf2-sha256$<iterations>$<salt>$<hash>" (the
 * salt and hash in base64), never the password; "" turns the console off. A module must not
 * log it. */
#define ORVANTA_OPTION_ADMIN_PASSWORD_HASH "Admin.PasswordHash"
/* "1": the console answers over plain HTTP from any address; "0": over plain HTTP only clients
 * on this machine, everyone else over TLS. */
#define ORVANTA_OPTION_ADMIN_ALLOW_PLAIN_HTTP "Admin.AllowPlainHttp"
/* The addresses and CIDR ranges that may reach the console and the API, as the operator wrote
 * them (separated by commas or spaces); "" for everyone. The module reads the text itself. */
#define ORVANTA_OPTION_ADMIN_ALLOW_FROM "Admin.AllowFrom"
/* The stored hash of the API's bearer token, "sha256$<64 hex digits>", never the token; ""
 * for no API access. A module must not log it. */
#define ORVANTA_OPTION_ADMIN_API_TOKEN "Admin.ApiToken"
/* Administration ([Admin]). The addresses and networks, besides the machine itself, that may
 * read the engine's metrics (/metrics on the listen port): IPv4 or IPv6 addresses, each alone or
 * with a prefix length ("192.0.2.7, 10.0.0.0/8 2001:db8::/32"), separated by commas or spaces;
 * "" for the machine itself alone. Live: the next request is checked against the new list. */
#define ORVANTA_OPTION_ADMIN_METRICS_ALLOW_FROM "Admin.MetricsAllowFrom"

/* The configuration as the console read it, for the web console to show (read-only), live:
 * one line per stored key, "<section>.<key>=<value>" followed by a line feed, in the order the
 * file is written, each value as the file stores it. Every password, password hash and token
 * (the source password, private listeners' passwords, the console's password hash, the API
 * token) is already replaced by "set" or "not set": the secrets themselves never travel by
 * this option. */
#define ORVANTA_OPTION_ADMIN_SETTINGS "Admin.Settings"
/* "1": the console re-reads the configuration when its process gets SIGHUP (the headless
 * console and the system service do), so the module may raise that signal in its own process
 * (kill, to the process, not one thread) when the operator asks for a reload; "0" (the
 * default): it must not, the signal would end a console that does not expect it. */
#define ORVANTA_OPTION_ADMIN_RELOAD_BY_SIGNAL "Admin.ReloadBySignal"
/* The outcome of the console's last reload, live, handed over after each one: when it
 * happened, in milliseconds since 1970-01-01 UTC, a line feed, then what the console said of it
 * (one or more lines, each followed by a line feed: what applied at once, what waits for a
 * restart, or why the file was not taken). "" before the first reload. */
#define ORVANTA_OPTION_ADMIN_LAST_RELOAD "Admin.LastReload"
/* The listening statistics ([Stats]), all taken at Start (a reload waits for the next one): "1"
 * keeps them in `stats.sqlite` in the folder of the bans file (the module's state folder), "0"
 * keeps none. */
#define ORVANTA_OPTION_STATS_ENABLED "Stats.Enabled"
/* Days the statistics are kept; older rows are deleted daily, never the current day's. */
#define ORVANTA_OPTION_STATS_KEEP_DAYS "Stats.KeepDays"
/* "1": listeners' addresses are kept whole; "0": IPv4 cut to /24, IPv6 to /48. */
#define ORVANTA_OPTION_STATS_FULL_ADDRESSES "Stats.FullAddresses"
/* The whole path of a MaxMind-format database (.mmdb, country or city) the listeners' countries
 * are looked up in; "" records no countries. */
#define ORVANTA_OPTION_STATS_GEOIP_DATABASE "Stats.GeoIPDatabase"

#endif /* __cplusplus */

#endif /* ORVANTA_SERVICE_OPTIONS_H */
