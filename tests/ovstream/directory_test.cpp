// Directory registration against fake YP directories on 127.0.0.1 (the settings' directory and
// the SHOUTcast-style one), with the protocol's pauses shortened to milliseconds.
#include "engine/directory.h"

#include "ovstream/engine_ports.h"
#include "ovstream/fake_directory.h"
#include "stream/adts.h"
#include "stream/format_table.h"
#include "test_util.h"

#include <asio.hpp>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

namespace orvanta::engine {
namespace {

using namespace std::chrono_literals;
using test::AdtsFrames;
using Clock = std::chrono::steady_clock;

// Answers an add with `added` and everything else with `rest`.
FakeDirectory::Responder Accepting(std::string added = kAdded, std::string rest = kOk) {
    return [added = std::move(added), rest = std::move(rest)](const YpRequest& r) {
        const auto action = r.form.find("action");
        return action != r.form.end() && action->second == "add" ? added : rest;
    };
}

// How the engine's log names a directory.
std::string Where(const FakeDirectory& directory) {
    return "Directory 127.0.0.1:" + std::to_string(directory.Port());
}

class DirectoryTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_settings.publicServer = 1;
        m_settings.directoryServer = "127.0.0.1";
        m_settings.directoryPort = m_directory.Port();
        m_settings.maxClients = 25;
        m_settings.languageCode = 9;
        m_settings.generation = 3;
        m_settings.ment = 1;
        m_settings.schedule = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
        m_settings.addressOverride = 1;
        m_settings.overrideAddress = "radio.example.net";
        m_settings.overridePort = 9000;
        m_settings.logDirectory = m_logs.Path();
        m_settings.logFileName = "engine.log";
        // Used only by the stations with shoutcastRegister.
        ::setenv(kShoutcastDirectoryVariable,
                 ("127.0.0.1:" + std::to_string(m_shoutcast.Port())).c_str(), 1);
    }
    void TearDown() override {
        Stop();
        ::unsetenv(kShoutcastDirectoryVariable);
    }

    // The station and its directory registrations on the engine's context alone (no core, no
    // listening sockets), a source of this format on air, the event loop on its own thread. As
    // from a source, its first `audio` reaches the station right after the directories hear of
    // it, in the same turn of the loop.
    void Start(StreamFormat format = StreamFormat::Mp3, std::string_view audio = {}) {
        m_engine = std::make_unique<Engine>(m_io, m_settings);
        Station& station = m_engine->station;
        SourceInfo info;
        info.name = "Night Owl & Friends";
        info.genre = "R&B / Soul+=ü";  // every character the form must encode
        info.description = "Late jazz";
        info.url = "http://owl.example.org/";
        info.bitrate = 128;
        station.SourceConnected(format, info, "/");
        station.SetTitle("Miles Davis - So What", "");
        std::string problem;
        const auto targets =
            DirectoryTargets(m_settings, std::getenv(kShoutcastDirectoryVariable), &problem);
        if (!problem.empty()) {
            m_engine->log.Write(problem);
        }
        m_engine->directory =
            std::make_unique<DirectoryAnnouncer>(m_engine->context, 8000, targets, m_timings);
        station.Watch(m_engine->directory.get());
        m_engine->directory->Start();
        station.SourceData(audio);
        m_thread = std::thread([this] { m_io.run(); });
    }
    void Stop() {
        if (m_thread.joinable()) {
            // As the engine stops: the station first, then every session.
            asio::post(m_io, [this] {
                m_engine->sessions.BeginStopping();
                m_engine->station.Shutdown();
                m_engine->sessions.CloseAll();
            });
            m_guard.reset();
            m_thread.join();
        }
    }

    // Waits for the engine's log to hold `text`.
    bool LogHas(const std::string& text) {
        return test::WaitUntil([&] { return LogText().find(text) != std::string::npos; }, 2000);
    }
    std::string LogText() { return test::ReadFile(m_logs.File("engine.log")); }

    FakeDirectory m_directory;
    FakeDirectory m_shoutcast;
    test::TempDir m_logs;
    EngineSettings m_settings;
    // TouchFreq 60 is 120 ms.
    DirectoryTimings m_timings{.exchangeTimeout = 250ms,
                               .closeTimeout = 250ms,
                               .firstTouch = 40ms,
                               .minTouch = 20ms,
                               .touchFreqUnit = 2ms,
                               .addRetry = 150ms,
                               .touchRetry = 100ms,
                               .networkRetry = 150ms};
    EngineStatus m_status;
    asio::io_context m_io;
    asio::executor_work_guard<asio::io_context::executor_type> m_guard =
        asio::make_work_guard(m_io);
    // What the engine's core would hold for these sessions.
    struct Engine {
        Engine(asio::io_context& loop, const EngineSettings& initial)
            : io(loop), settings(initial) {
            log.Open(settings.logDirectory, settings.logFileName);
        }
        asio::io_context& io;
        EngineSettings settings;
        EngineStatus status;
        EventLog log;
        SessionRegister sessions;
        EngineContext context{io, settings, status, log, sessions, station};
        std::unique_ptr<DirectoryAnnouncer> directory;
        Station station{context};
    };
    std::unique_ptr<Engine> m_engine;
    std::thread m_thread;
};

// With shoutcastRegister an MP3 station is listed in both directories, each on its own.
TEST_F(DirectoryTest, AddsWithTheOverrideAddressTouchesAndRemovesWhenTheSourceLeaves) {
    m_settings.shoutcastRegister = 1;
    m_directory.Answer(Accepting());
    m_shoutcast.Answer(Accepting(kAddedElsewhere));
    Start();
    const auto requests = m_directory.WaitFor(3);
    ASSERT_GE(requests.size(), 3u);
    const YpRequest& add = requests[0];
    EXPECT_EQ(add.head.rfind("POST /cgi-bin/yp-cgi HTTP/1.0\r\n", 0), 0u) << add.head;
    EXPECT_NE(add.head.find("\r\nContent-Type: application/x-www-form-urlencoded\r\n"),
              std::string::npos);
    // clang-format off
    const std::map<std::string, std::string> expected = {
        {"action", "add"}, {"sn", "Night Owl & Friends"}, {"genre", "R&B / Soul+=ü"},
        {"desc", "Late jazz"}, {"url", "http://owl.example.org/"},
        {"listenurl", "http://radio.example.net:9000/stream"}, {"type", "audio/mpeg"},
        {"stype", "MP3"}, {"b", "128"}, {"language", "9"}, {"genrecode", "0"},
        {"generation", "3"}, {"ment", "1"}, {"schedule", "1,2,3,4,5,6,7,8,9,10"}};
    // clang-format on
    EXPECT_EQ(add.form, expected);
    const std::map<std::string, std::string> touch = {
        {"action", "touch"}, {"sid", "123.45"},       {"st", "Miles Davis - So What"},
        {"listeners", "0"},  {"max_listeners", "25"}, {"stype", "MP3"}};
    EXPECT_EQ(requests[1].form, touch);
    EXPECT_EQ(requests[2].form, touch);
    // First touch after firstTouch, the next after TouchFreq (60 units of 2 ms).
    EXPECT_GE(requests[1].at - requests[0].at, 30ms);
    EXPECT_GE(requests[2].at - requests[1].at, 100ms);
    EXPECT_LT(requests[2].at - requests[1].at, 1s);
    EXPECT_TRUE(LogHas(Where(m_directory) + ": added, SID 123.45, touching every 60 s"));

    // The same listing in the other directory, touched with the SID it gave.
    const auto second = m_shoutcast.WaitFor(2);
    ASSERT_GE(second.size(), 2u);
    EXPECT_EQ(second[0].form, add.form);
    EXPECT_EQ(second[1].form.at("action"), "touch");
    EXPECT_EQ(second[1].form.at("sid"), "999");
    EXPECT_TRUE(LogHas(Where(m_shoutcast) + ": added, SID 999"));

    // The encoder leaves: each directory drops its own listing, once, and hears no more.
    asio::post(m_io, [this] { m_engine->station.SourceGone(); });
    size_t heard = 0;
    for (const auto& [directory, sid] :
         {std::pair<FakeDirectory*, std::string>{&m_directory, "123.45"}, {&m_shoutcast, "999"}}) {
        ASSERT_TRUE(LogHas(Where(*directory) + ": removed"));
        const std::map<std::string, std::string> remove = {{"action", "remove"}, {"sid", sid}};
        const auto all = directory->WaitFor(0, 0ms);
        EXPECT_EQ(all.back().form, remove);
        EXPECT_EQ(std::count_if(all.begin(), all.end(),
                                [&](const YpRequest& r) { return r.form == remove; }),
                  1)
            << sid;
        heard += all.size();
    }
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(m_directory.WaitFor(0, 0ms).size() + m_shoutcast.WaitFor(0, 0ms).size(), heard);
}

// A directory that hangs, answers a web page, garbage or endless headers, refuses the add and
// then a touch: each is logged and the listing tried again after its pause, until one is
// accepted. Meanwhile the other directory hangs on everything.
TEST_F(DirectoryTest, HostileOrRefusingDirectoriesAreLoggedAndRetriedAfterTheirPauses) {
    m_directory.Script({kHang, "HTTP/1.0 200 OK\r\nServer: web\r\n\r\nhello", "garbage\r\n",
                        "HTTP/1.0 200 OK\r\n" + std::string(20000, 'a'),
                        Yp("YPResponse: 0\r\nYPMessage: Banned name\r\n"), kAdded,
                        Yp("YPResponse: 0\r\nYPMessage: SID not found\r\n"),
                        Yp("YPResponse: 1\r\nSID: 777\r\nTouchFreq: 10\r\n")});
    // The other directory hangs on everything, which holds up nothing here.
    m_settings.shoutcastRegister = 1;
    m_shoutcast.Answer([](const YpRequest&) { return kHang; });
    Start();
    const auto requests = m_directory.WaitFor(9, 5s);
    ASSERT_GE(requests.size(), 9u);
    const std::vector<std::string> actions = {"add", "add",   "add", "add",  "add",
                                              "add", "touch", "add", "touch"};
    for (size_t i = 0; i < actions.size(); ++i) {
        EXPECT_EQ(requests[i].form.at("action"), actions[i]) << i;
    }
    // The silent one costs the exchange timeout, then the network pause.
    EXPECT_GE(requests[1].at - requests[0].at, 350ms);
    EXPECT_GE(requests[5].at - requests[4].at, 130ms) << "addRetry";
    // max(touchRetry 100 ms, TouchFreq 60 x 2 ms)
    EXPECT_GE(requests[7].at - requests[6].at, 110ms) << "touchRetry";
    EXPECT_EQ(requests[8].form.at("sid"), "777");
    for (const char* logged :
         {"unreachable: no answer within 250 ms; trying again in 150 ms",
          "unreachable: answered without a YPResponse header", "unreachable: answered \"garbage\"",
          "unreachable: sent headers that cannot be read",
          "refused: Banned name; trying again in 150 ms", "added, SID 123.45",
          "refused the touch: SID not found", "SID 777, touching every 10 s"}) {
        EXPECT_TRUE(LogHas(logged)) << logged;
    }
    EXPECT_TRUE(LogHas(Where(m_shoutcast) + " unreachable: no answer within 250 ms"));
    EXPECT_GE(m_shoutcast.WaitFor(2).size(), 2u) << "tried again";
}

// An absent directory is logged and tried again; the engine's stop sends the other its remove,
// which goes unanswered, and waits closeTimeout for it, no more.
TEST_F(DirectoryTest, AnAbsentDirectoryIsRetriedAndAnUnansweredRemoveDoesNotHoldUpTheStop) {
    m_settings.shoutcastRegister = 1;
    const std::string absent = "127.0.0.1:" + std::to_string(test::UnusedLoopbackPort());
    ::setenv(kShoutcastDirectoryVariable, absent.c_str(), 1);
    m_directory.Answer(Accepting(kAdded, kHang));
    m_timings.firstTouch = 10s;
    Start();
    ASSERT_TRUE(LogHas(Where(m_directory) + ": added, SID 123.45"));
    const std::string failure = "Directory " + absent + " unreachable: cannot connect";
    ASSERT_TRUE(LogHas(failure));
    std::this_thread::sleep_for(400ms);
    const auto stopping = Clock::now();
    Stop();
    EXPECT_GE(Clock::now() - stopping, 200ms);
    EXPECT_LT(Clock::now() - stopping, 1s);
    const auto requests = m_directory.WaitFor(2);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].form,
              (std::map<std::string, std::string>{{"action", "remove"}, {"sid", "123.45"}}));
    EXPECT_TRUE(LogHas(Where(m_directory) + ": remove not delivered: no answer within 250 ms"));
    // Tried at once, then every 150 ms.
    const std::string log = LogText();
    size_t attempts = 0;
    for (size_t at = log.find(failure); at != std::string::npos; at = log.find(failure, at + 1)) {
        ++attempts;
    }
    EXPECT_GE(attempts, 2u);
    EXPECT_LE(attempts, 6u);
}

// Which directories hear of a station with shoutcastRegister: the settings' one lists public
// stations that are no cluster member, the other MP3 stations neither private nor members.
using Listing = std::tuple<StreamFormat, int32_t, int32_t, int32_t, bool, bool>;
class DirectoryListingTest : public DirectoryTest, public ::testing::WithParamInterface<Listing> {};

TEST_P(DirectoryListingTest, OnlyTheDirectoriesTheSettingsAskForHearOfTheStation) {
    const auto [format, privateBroadcast, master, publicServer, listed, listedElsewhere] =
        GetParam();
    m_settings.shoutcastRegister = 1;
    m_settings.privateBroadcast = privateBroadcast;
    m_settings.master = master;
    m_settings.publicServer = publicServer;
    m_directory.Answer(Accepting());
    m_shoutcast.Answer(Accepting(kAddedElsewhere));
    Start(format);
    std::this_thread::sleep_for(300ms);  // past the first touch
    Stop();
    EXPECT_EQ(m_directory.WaitFor(0, 0ms).size() > 1, listed);
    EXPECT_EQ(m_shoutcast.WaitFor(0, 0ms).size() > 1, listedElsewhere);
}

// The listing names HE-AAC (an LC header at a core rate of 24 kHz or less) as AAC+, in the add
// and the touches: the directory takes it from the source's first audio. Plain AAC stays AAC.
TEST_F(DirectoryTest, AnHeAacStreamIsListedAsAacPlus) {
    m_directory.Answer(Accepting());
    Start(StreamFormat::Aac, AdtsFrames(20, 6));
    const auto requests = m_directory.WaitFor(2);
    ASSERT_GE(requests.size(), 2u);
    EXPECT_EQ(requests[0].form.at("action"), "add");
    EXPECT_EQ(requests[0].form.at("type"), "audio/aac");
    EXPECT_EQ(requests[0].form.at("stype"), "AAC+");
    EXPECT_EQ(requests[1].form.at("stype"), "AAC+");

    AdtsReader lc;
    std::vector<MediaUnit> units;
    lc.Feed(AdtsFrames(20, 4), units);
    ASSERT_TRUE(lc.SawAudio());
    EXPECT_EQ(lc.DirectoryType(), nullptr);
    EXPECT_STREQ(InfoOf(StreamFormat::Aac).directoryType, "AAC");
}

INSTANTIATE_TEST_SUITE_P(Stations, DirectoryListingTest,
                         ::testing::Values(Listing{StreamFormat::Ogg, 0, 1, 1, true, false},
                                           Listing{StreamFormat::Mp3, 1, 1, 1, true, false},
                                           Listing{StreamFormat::Mp3, 0, 0, 1, false, false},
                                           Listing{StreamFormat::Mp3, 0, 1, 0, false, true}));

}  // namespace
}  // namespace orvanta::engine
