#include "stats/player_family.h"

#include <algorithm>
#include <cctype>

namespace orvanta::engine {

namespace {

// Case-insensitive: players differ in how they spell themselves ("VLC", "vlc", "LibVLC").
bool Has(std::string_view text, std::string_view word) {
    return std::search(text.begin(), text.end(), word.begin(), word.end(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) ==
                      std::tolower(static_cast<unsigned char>(b));
           }) != text.end();
}

}  // namespace

PlayerFamily PlayerFamilyOf(std::string_view agent) {
    // Players first: an app on a phone may name the platform too, and the player is what the
    // operator asks about. VLC on Android still says VLC.
    if (Has(agent, "vlc")) {
        return PlayerFamily::Vlc;
    }
    if (Has(agent, "mpv")) {
        return PlayerFamily::Mpv;
    }
    if (Has(agent, "mpg123")) {
        return PlayerFamily::Mpg123;
    }
    if (Has(agent, "lavf") || Has(agent, "ffmpeg") || Has(agent, "ffplay")) {
        return PlayerFamily::Ffmpeg;
    }
    // Phones before browsers: their browsers name the desktop engines too ("like Gecko",
    // "Safari"), and a phone is what the report should show for them.
    if (Has(agent, "iphone") || Has(agent, "ipad") || Has(agent, "ipod") ||
        Has(agent, "applecoremedia") || Has(agent, "itunes") || Has(agent, "cfnetwork")) {
        return PlayerFamily::Ios;
    }
    if (Has(agent, "android") || Has(agent, "exoplayer") || Has(agent, "stagefright") ||
        Has(agent, "dalvik")) {
        return PlayerFamily::Android;
    }
    // Browsers by engine: Chromium's forks (Edge, Opera, Brave) say Chrome; Safari says Safari
    // but not Chrome; Firefox says Firefox (and "like Gecko" is said by all of them).
    if (Has(agent, "chrome") || Has(agent, "chromium") || Has(agent, "edg/")) {
        return PlayerFamily::Chromium;
    }
    if (Has(agent, "firefox")) {
        return PlayerFamily::Firefox;
    }
    if (Has(agent, "safari") || Has(agent, "applewebkit")) {
        return PlayerFamily::Safari;
    }
    return PlayerFamily::Other;
}

const char* PlayerFamilyName(PlayerFamily family) {
    switch (family) {
        case PlayerFamily::Vlc:
            return "vlc";
        case PlayerFamily::Mpv:
            return "mpv";
        case PlayerFamily::Mpg123:
            return "mpg123";
        case PlayerFamily::Ffmpeg:
            return "ffmpeg";
        case PlayerFamily::Chromium:
            return "chromium";
        case PlayerFamily::Firefox:
            return "firefox";
        case PlayerFamily::Safari:
            return "safari";
        case PlayerFamily::Ios:
            return "ios";
        case PlayerFamily::Android:
            return "android";
        case PlayerFamily::Other:
            break;
    }
    return "other";
}

bool IsRelayAgent(std::string_view agent) {
    return Has(agent, "icecast") || Has(agent, "shoutcast") || Has(agent, "orvanta server");
}

}  // namespace orvanta::engine
