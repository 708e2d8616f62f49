// What keeps the station on air without a live source: a file played in a loop at real time,
// another station's stream relayed, and an intro each new listener hears first. The fallbacks
// are the station's standby feeds: it starts them when its live source leaves and stops them
// when one comes.
#pragma once

#include "engine/engine_context.h"
#include "engine/station.h"
#include "stream/format_reader.h"

#include <asio/steady_timer.hpp>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace orvanta::engine {

class RelaySession;

// An audio file held whole, cut into the units its format's reader makes (whole frames, single
// Ogg pages), each with its duration.
struct AudioFile {
    StreamFormat format = StreamFormat::Unknown;
    std::vector<MediaUnit> units;
    uint64_t micros = 0;  // the whole file's
    AudioFacts facts;
    // Ogg: the logical stream's serial numbers, to give each playing of the file new ones.
    bool ogg = false;
};

// Files bigger than this are refused: the fallback and the intro are held in memory.
inline constexpr uint64_t kMaxAudioFileBytes = 64u << 20;

// `bytes` cut into units of whichever format `accepts` takes and the bytes hold most audio of;
// null, with the reason in `why`, when they hold no audio `accepts` takes.
std::shared_ptr<const AudioFile> CutAudio(std::string_view bytes,
                                          const std::function<bool(StreamFormat)>& accepts,
                                          std::string* why);
// The file at `path`, read and cut for a station that takes what `settings` accept; null with
// the reason in `why`.
std::shared_ptr<const AudioFile> LoadAudioFile(const std::string& path,
                                               const EngineSettings& settings, std::string* why);

// What each new listener hears first: the intro file's audio whole, an Ogg intro with serial
// numbers of its own and an end page; null for none.
std::shared_ptr<const IntroAudio> MakeIntro(const AudioFile* audio);

// The fallback file, played from its start each time it takes the station and looped until a
// higher feed takes it; paced by the units' durations, a little ahead of real time.
class FilePlayer final : public StandbyFeed, public std::enable_shared_from_this<FilePlayer> {
public:
    FilePlayer(const EngineContext& engine, std::shared_ptr<const AudioFile> file,
               std::string path);
    void Begin() override;
    void End() override;

private:
    void TakeStation();
    void Feed();

    const EngineContext& m_engine;
    std::shared_ptr<const AudioFile> m_file;
    std::string m_path;
    asio::steady_timer m_timer;
    bool m_wanted = false;  // begun and not ended
    bool m_onAir = false;
    size_t m_next = 0;
    uint32_t m_playing = 0;  // how many times the file has started, for Ogg serial numbers
    std::chrono::steady_clock::time_point m_start;
    uint64_t m_fedMicros = 0;
};

// The fallback stream: a relay that connects when the station may need it and goes when a live
// source takes the station.
class StreamStandby final : public StandbyFeed {
public:
    StreamStandby(const EngineContext& engine, std::string url);
    void Begin() override;
    void End() override;
    const std::string& Url() const { return m_url; }

private:
    const EngineContext& m_engine;
    std::string m_url;
    std::weak_ptr<RelaySession> m_relay;
};

// The [Fallback] settings put to work, and again after each change: a file or address that
// changed is loaded or connected anew, one that did not stays as it is, so nobody hears a
// break for a setting they did not change.
class Fallbacks {
public:
    explicit Fallbacks(const EngineContext& engine) : m_engine(engine) {}
    // Reads the settings as they are now.
    void Apply();
    // The engine stops: the station lets go of the fallbacks.
    void Shutdown();

private:
    // What a file setting named when it was last loaded: its path and what it was on disk.
    struct Loaded {
        std::string path;
        int64_t size = -1;
        int64_t modified = 0;
        bool operator==(const Loaded&) const = default;
    };
    static Loaded Look(const std::string& path);
    // The intro, or the reason it is not used.
    void ApplyIntro();

    const EngineContext& m_engine;
    Loaded m_fileLoaded;
    std::shared_ptr<FilePlayer> m_file;
    AudioFacts m_fileFacts;
    std::unique_ptr<StreamStandby> m_stream;
    Loaded m_introLoaded;
};

}  // namespace orvanta::engine
