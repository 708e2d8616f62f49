#include "engine/fallback.h"

#include "engine/log.h"
#include "engine/relay.h"
#include "stream/format_table.h"
#include "stream/ogg.h"

#include <asio/post.hpp>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orvanta::engine {

namespace {
// How far ahead of real time the fallback file is fed: listeners' players keep a buffer, and the
// engine's write ticks must always find the next audio there.
constexpr uint64_t kLeadMicros = 500'000;
constexpr auto kFeedInterval = std::chrono::milliseconds(100);
// Units fed at once at most, so a file of tiny pages never holds the loop for long.
constexpr size_t kMaxUnitsPerFeed = 512;
// Each playing of an Ogg file gets serial numbers of its own: a chained stream whose links
// share one confuses decoders.
constexpr uint32_t kSerialStep = 0x9E3779B9u;

// Reads at most kMaxAudioFileBytes + 1 bytes of `path`; false with the reason.
bool ReadWhole(const std::string& path, std::string& bytes, std::string* why) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        *why = std::strerror(errno);
        return false;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        *why = "it is not a regular file";
        return false;
    }
    bytes.clear();
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            *why = std::strerror(errno);
            ::close(fd);
            return false;
        }
        if (got == 0) {
            break;
        }
        bytes.append(buffer, static_cast<size_t>(got));
        if (bytes.size() > kMaxAudioFileBytes) {
            ::close(fd);
            *why = "it is larger than " + std::to_string(kMaxAudioFileBytes >> 20) + " MiB";
            return false;
        }
    }
    ::close(fd);
    return true;
}
}  // namespace

std::shared_ptr<const AudioFile> CutAudio(std::string_view bytes,
                                          const std::function<bool(StreamFormat)>& accepts,
                                          std::string* why) {
    std::shared_ptr<AudioFile> best;
    std::string names;
    for (const FormatInfo& info : KnownFormats()) {
        if (info.makeReader == nullptr || !accepts(info.format)) {
            continue;
        }
        names += std::string(names.empty() ? "" : " or ") + info.contentType;
        auto file = std::make_shared<AudioFile>();
        std::unique_ptr<FormatReader> reader = info.makeReader();
        reader->Feed(bytes, file->units);
        for (const MediaUnit& unit : file->units) {
            file->micros += unit.micros;
        }
        if (!reader->SawAudio() || file->micros == 0) {
            continue;
        }
        file->format = info.format;
        file->facts = {reader->SampleRate(), reader->Channels()};
        file->ogg = info.format == StreamFormat::Ogg;
        if (!best || file->micros > best->micros) {
            best = std::move(file);
        }
    }
    if (!best) {
        *why = names.empty() ? "this station takes no audio from files"
                             : "it holds no audio this station takes (" + names + ")";
        return nullptr;
    }
    // A header page of another stream, or the pages of an Ogg stream without its headers,
    // would not decode on their own; nor would a file whose audio is all in one stray page.
    if (best->ogg && std::none_of(best->units.begin(), best->units.end(),
                                  [](const MediaUnit& unit) { return unit.syncPoint; })) {
        *why = "its Ogg pages hold no complete stream";
        return nullptr;
    }
    return best;
}

std::shared_ptr<const AudioFile> LoadAudioFile(const std::string& path,
                                               const EngineSettings& settings, std::string* why) {
    std::string bytes;
    if (!ReadWhole(path, bytes, why)) {
        return nullptr;
    }
    return CutAudio(
        bytes, [&settings](StreamFormat format) { return settings.AcceptsSource(format); }, why);
}

FilePlayer::FilePlayer(const EngineContext& engine, std::shared_ptr<const AudioFile> file,
                       std::string path)
    : m_engine(engine), m_file(std::move(file)), m_path(std::move(path)), m_timer(engine.io) {}

void FilePlayer::Begin() {
    if (m_wanted) {
        return;
    }
    m_wanted = true;
    // Begun from inside a feed's going (a source session closing): the station is taken once
    // that is over.
    asio::post(m_engine.io, [self = shared_from_this()] { self->TakeStation(); });
}

void FilePlayer::End() {
    m_wanted = false;
    m_timer.cancel();
    if (m_onAir) {
        m_onAir = false;
        m_engine.station.SourceGone(Feed::FallbackFile);
    }
}

void FilePlayer::TakeStation() {
    Station& station = m_engine.station;
    if (!m_wanted || m_onAir || m_engine.sessions.Stopping()) {
        return;
    }
    if (!station.MayTake(Feed::FallbackFile)) {
        // A higher feed came first; the station begins the file again when that one goes.
        m_wanted = false;
        return;
    }
    station.SourceConnected(m_file->format, SourceInfo{}, "/", Feed::FallbackFile);
    m_onAir = true;
    m_engine.log.Write("Fallback file on air: " + LogSafe(m_path));
    // From its beginning each time: a message for the gap starts where it starts, and an Ogg
    // stream cannot start anywhere else.
    m_next = 0;
    ++m_playing;
    m_start = std::chrono::steady_clock::now();
    m_fedMicros = 0;
    Feed();
}

void FilePlayer::Feed() {
    if (!m_onAir) {
        return;
    }
    const auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - m_start);
    const uint64_t due = static_cast<uint64_t>(elapsed.count()) + kLeadMicros;
    std::string batch;
    for (size_t count = 0; m_fedMicros < due && count < kMaxUnitsPerFeed; ++count) {
        const MediaUnit& unit = m_file->units[m_next];
        if (m_file->ogg) {
            std::string page = unit.bytes;
            OggPage parsed;
            if (ParseOggPage(page, parsed) == OggParse::kPage) {
                RestampOggPage(page, parsed.serial + kSerialStep * m_playing);
            }
            batch += page;
        } else {
            batch += unit.bytes;
        }
        m_fedMicros += unit.micros;
        if (++m_next == m_file->units.size()) {
            m_next = 0;
            ++m_playing;
        }
    }
    if (!batch.empty() && !m_engine.station.SourceData(batch)) {
        // Cannot happen with a file its reader cut; were it to, silence beats a loop of junk.
        m_engine.log.Write("Fallback file " + LogSafe(m_path) + " stopped: it reads as no audio");
        End();
        return;
    }
    m_timer.expires_after(kFeedInterval);
    m_timer.async_wait([self = shared_from_this()](const asio::error_code& ec) {
        if (!ec) {
            self->Feed();
        }
    });
}

StreamStandby::StreamStandby(const EngineContext& engine, std::string url)
    : m_engine(engine), m_url(std::move(url)) {}

void StreamStandby::Begin() {
    if (!m_relay.expired() || m_engine.sessions.Stopping()) {
        return;
    }
    std::string why;
    std::optional<RelayTarget> target = ParseStreamUrl(m_url, &why);
    if (!target) {
        return;  // said when the setting was applied
    }
    auto relay = std::make_shared<RelaySession>(m_engine, std::move(*target), Feed::FallbackStream);
    m_relay = relay;
    relay->Start();
}

void StreamStandby::End() {
    if (auto relay = m_relay.lock()) {
        relay->Close();
    }
    m_relay.reset();
}

Fallbacks::Loaded Fallbacks::Look(const std::string& path) {
    Loaded loaded;
    loaded.path = path;
    struct stat info {};
    if (!path.empty() && ::stat(path.c_str(), &info) == 0) {
        loaded.size = static_cast<int64_t>(info.st_size);
        loaded.modified = static_cast<int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 +
                          static_cast<int64_t>(info.st_mtim.tv_nsec);
    }
    return loaded;
}

void Fallbacks::Apply() {
    const EngineSettings& settings = m_engine.settings;
    Station& station = m_engine.station;
    station.SetFallbackTitle(settings.fallbackTitle);

    const Loaded file = Look(settings.fallbackFile);
    std::shared_ptr<FilePlayer> player = m_file;
    if (file != m_fileLoaded) {
        m_fileLoaded = file;
        player.reset();
        m_fileFacts = {};
        if (!file.path.empty()) {
            std::string why;
            if (auto audio = LoadAudioFile(file.path, settings, &why)) {
                m_fileFacts = audio->facts;
                m_engine.log.Write("Fallback file " + LogSafe(file.path) + ": " +
                                   ContentTypeOf(audio->format) + ", " +
                                   std::to_string(audio->micros / 1000) + " ms in a loop");
                player = std::make_shared<FilePlayer>(m_engine, std::move(audio), file.path);
            } else {
                m_engine.log.Write("Fallback file " + LogSafe(file.path) +
                                   " not used: " + LogSafe(why));
            }
        }
    }

    std::unique_ptr<StreamStandby> stream;
    const bool sameStream =
        m_stream ? m_stream->Url() == settings.fallbackUrl : settings.fallbackUrl.empty();
    if (!sameStream && !settings.fallbackUrl.empty()) {
        std::string why;
        if (ParseStreamUrl(settings.fallbackUrl, &why)) {
            stream = std::make_unique<StreamStandby>(m_engine, settings.fallbackUrl);
        } else {
            m_engine.log.Write("Fallback stream " + LogSafe(settings.fallbackUrl) +
                               " not used: " + why);
        }
    }

    // The station lets go of the old ones (ending one on air) before they are dropped here.
    std::unique_ptr<StreamStandby> oldStream;
    if (!sameStream) {
        oldStream = std::exchange(m_stream, std::move(stream));
    }
    const std::shared_ptr<FilePlayer> oldFile = std::exchange(m_file, std::move(player));
    station.SetStandbys(m_stream.get(), m_file.get(), m_fileFacts);
    ApplyIntro();
}

void Fallbacks::ApplyIntro() {
    const EngineSettings& settings = m_engine.settings;
    const Loaded intro = Look(settings.introFile);
    if (intro == m_introLoaded) {
        return;
    }
    m_introLoaded = intro;
    std::shared_ptr<const AudioFile> audio;
    if (!intro.path.empty()) {
        std::string why;
        audio = LoadAudioFile(intro.path, settings, &why);
        if (audio && settings.transcoder) {
            audio.reset();
            why =
                "listeners of a station that re-encodes cannot take a second stream before "
                "the station's own";
        }
        if (audio) {
            m_engine.log.Write("Intro file " + LogSafe(intro.path) + ": " +
                               ContentTypeOf(audio->format) + ", " +
                               std::to_string(audio->micros / 1000) + " ms");
        } else {
            m_engine.log.Write("Intro file " + LogSafe(intro.path) + " not used: " + LogSafe(why));
        }
    }
    m_engine.station.SetIntro(MakeIntro(audio.get()));
}

void Fallbacks::Shutdown() {
    m_engine.station.SetStandbys(nullptr, nullptr, {});
    if (m_file) {
        m_file->End();
    }
    if (m_stream) {
        m_stream->End();
    }
}

std::shared_ptr<const IntroAudio> MakeIntro(const AudioFile* audio) {
    if (audio == nullptr) {
        return nullptr;
    }
    auto intro = std::make_shared<IntroAudio>();
    intro->format = audio->format;
    for (size_t i = 0; i < audio->units.size(); ++i) {
        if (!audio->ogg) {
            intro->bytes += audio->units[i].bytes;
            continue;
        }
        // Its own serial numbers, and an end on its last page: the station's stream follows
        // as the next link of the chain.
        std::string page = audio->units[i].bytes;
        OggPage parsed;
        if (ParseOggPage(page, parsed) == OggParse::kPage) {
            RestampOggPage(page, ~parsed.serial,
                           i + 1 == audio->units.size() ? kOggEos : static_cast<unsigned char>(0));
        }
        intro->bytes += page;
    }
    return intro;
}

}  // namespace orvanta::engine
