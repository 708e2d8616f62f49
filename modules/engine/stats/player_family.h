// Which kind of player a listener used, told from its User-Agent: the few families an operator
// tells apart in a report (desktop players, command-line tools, browsers by engine, phone
// players). A pure function over the header's text, so a report never holds the text itself.
#pragma once

#include <string_view>

namespace orvanta::engine {

enum class PlayerFamily {
    Other,
    Vlc,
    Mpv,
    Mpg123,
    Ffmpeg,  // ffmpeg, ffplay and everything on its libraries (Lavf)
    Chromium,
    Firefox,
    Safari,
    Ios,      // iOS and iPadOS players (AppleCoreMedia, iTunes, apps on CFNetwork)
    Android,  // Android's players (ExoPlayer, stagefright, apps on Dalvik)
};

PlayerFamily PlayerFamilyOf(std::string_view userAgent);
// The name a report shows and the store keeps: "vlc", "mpv", ..., "other".
const char* PlayerFamilyName(PlayerFamily family);
// Another streaming server relaying the station (Icecast, SHOUTcast, our own relay) rather than
// a player: its listeners are counted as relays, not as people.
bool IsRelayAgent(std::string_view userAgent);

}  // namespace orvanta::engine
