// /metrics on a real engine on 127.0.0.1: what it counts against what the clients did, checked
// by promtool as Prometheus would read it, and who may read it.
#include "engine/address_list.h"
#include "engine/engine.h"
#include "ovstream/engine_ports.h"
#include "ovstream/test_client.h"
#include "ovstream/tls_test_support.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <netinet/in.h>
#include <sstream>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace orvanta::engine {
namespace {

using namespace std::chrono_literals;
using test::ExpectHas;
using test::Mp3Frames;
using test::StartsWith;
using test::TestClient;
using test::WaitUntil;

// The samples of an exposition, by name and labels as written ("orvanta_listeners{kind=\"icy\"}").
using Samples = std::map<std::string, double>;

Samples ParseSamples(const std::string& body) {
    Samples samples;
    std::istringstream lines(body);
    for (std::string line; std::getline(lines, line);) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        const size_t space = line.rfind(' ');
        samples[line.substr(0, space)] = std::stod(line.substr(space + 1));
    }
    return samples;
}

// promtool from scripts/deps.sh (build/tools), or where ORV_PROMTOOL points; "" when absent.
std::string Promtool() {
    const char* named = std::getenv("ORV_PROMTOOL");
    const std::string path = named != nullptr ? named : ORV_PROMTOOL;
    return ::access(path.c_str(), X_OK) == 0 ? path : "";
}

// What `promtool check metrics` says of `exposition`, and its exit status.
std::pair<std::string, int> PromtoolCheck(const std::string& promtool,
                                          const std::string& exposition) {
    test::TempDir dir;
    test::WriteFile(dir.File("metrics.txt"), exposition);
    const int status =
        std::system(("'" + promtool + "' check metrics < '" + dir.File("metrics.txt") + "' > '" +
                     dir.File("out.txt") + "' 2>&1")
                        .c_str());
    return {test::ReadFile(dir.File("out.txt")), WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

// Whether this machine has IPv6 loopback (::1) to connect from.
bool HaveIpv6Loopback() {
    const int fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_addr = in6addr_loopback;
    const bool bound =
        fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    if (fd >= 0) {
        ::close(fd);
    }
    return bound;
}

// One request over IPv6 loopback, and everything answered ("" when nothing was).
std::string GetOverIpv6(uint16_t port, const std::string& request) {
    const int fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_port = htons(port);
    address.sin6_addr = in6addr_loopback;
    std::string answer;
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) ==
            static_cast<ssize_t>(request.size())) {
        timeval timeout{3, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        char buffer[4096];
        for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;) {
            answer.append(buffer, static_cast<size_t>(n));
        }
    }
    if (fd >= 0) {
        ::close(fd);
    }
    return answer;
}

class MetricsTest : public test::EngineFixture {
protected:
    void SetUp() override {
        m_settings.maxClients = 10;
        m_settings.timeout = 5;
        m_settings.hlsSegmentSeconds = 1;
        m_settings.logDirectory = m_dir.File("log");
        m_settings.logFileName = "station.log";
    }

    // The whole answer to GET /metrics from `from` (null: 127.0.0.1).
    std::string Scrape(const char* from = nullptr) {
        return Get("GET /metrics HTTP/1.0\r\nUser-Agent: Prometheus/2.42.0\r\n\r\n", from);
    }
    Samples Metrics() {
        const std::string answer = Scrape();
        EXPECT_PRED2(StartsWith, answer, "HTTP/1.0 200 OK\r\n");
        return ParseSamples(Body(answer));
    }
    static std::string Body(const std::string& answer) {
        const size_t end = answer.find("\r\n\r\n");
        return end == std::string::npos ? "" : answer.substr(end + 4);
    }
    // Until `name` reads `value` (the engine counts on its own thread).
    bool WaitForSample(const std::string& name, double value) {
        return WaitUntil([&] { return Metrics()[name] == value; });
    }
    std::string Log() {
        return test::ReadFile(m_settings.logDirectory + "/" + m_settings.logFileName);
    }

    test::TempDir m_dir;
};

TEST_F(MetricsTest, CountWhatClientsDidAndPassPromtool) {
    test::TestCertificates certificates;
    ASSERT_TRUE(certificates.Ok() && certificates.Issue("station", 0x51))
        << "the openssl command is installed by scripts/deps.sh";
    m_settings.tlsCertificate = certificates.Certificate("station");
    m_settings.tlsPrivateKey = certificates.Key("station");
    const auto beforeStart = std::chrono::system_clock::now();
    Start();

    // A station that has done nothing yet.
    const std::string first = Scrape();
    EXPECT_PRED2(StartsWith, first, "HTTP/1.0 200 OK\r\n");
    ExpectHas(first, {"Content-Type: text/plain; version=0.0.4; charset=utf-8\r\n",
                      "Cache-Control: no-store\r\n"});
    Samples m = ParseSamples(Body(first));
    EXPECT_EQ(m["orvanta_build_info{version=\"" + std::to_string(ORV_VERSION_MAJOR) + "." +
                std::to_string(ORV_VERSION_MINOR) + "." + std::to_string(ORV_VERSION_PATCH) + "." +
                std::to_string(ORV_VERSION_TWEAK) + "\"}"],
              1);
    const double started = m["orvanta_start_time_seconds"];
    EXPECT_GE(started + 1, std::chrono::duration<double>(beforeStart.time_since_epoch()).count());
    EXPECT_LE(
        started,
        std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count());
    for (const char* zero :
         {"orvanta_listeners{kind=\"stream\"}", "orvanta_listeners{kind=\"icy\"}",
          "orvanta_listeners{kind=\"hls\"}", "orvanta_listeners_peak",
          "orvanta_listener_connections_total", "orvanta_listener_seconds_total",
          "orvanta_received_bytes_total", "orvanta_source_connected",
          "orvanta_source_connections_total", "orvanta_login_refusals_total",
          "orvanta_tls_handshakes_total", "orvanta_tls_handshake_failures_total",
          "orvanta_hls_requests_total{kind=\"playlist\"}",
          "orvanta_hls_requests_total{kind=\"segment\"}"}) {
        EXPECT_TRUE(m.contains(zero)) << zero << " missing in:\n" << first;
        EXPECT_EQ(m[zero], 0) << zero;
    }
    EXPECT_EQ(m.size(), 17u) << first;
    EXPECT_EQ(m["orvanta_sent_bytes_total"], 0) << "counted once written";
    EXPECT_GT(Metrics()["orvanta_sent_bytes_total"], static_cast<double>(first.size()) - 1)
        << "the first answer is counted now";

    // Wrong passwords: a v1 login, an Icecast-style login and a title update. A login without
    // credentials is the challenge every encoder meets first, not a refusal.
    TestClient wrongV1(m_port + 1);
    wrongV1.Send("nothackme\r\n");
    EXPECT_EQ(wrongV1.ReadAll(), "invalid password\r\n");
    EXPECT_PRED2(StartsWith,
                 Get("PUT /stream HTTP/1.1\r\nAuthorization: Basic c291cmNlOm5vcGU=\r\n"
                     "Content-Type: audio/mpeg\r\n\r\n"),
                 "HTTP/1.0 401");
    EXPECT_PRED2(StartsWith, Get("PUT /stream HTTP/1.1\r\nContent-Type: audio/mpeg\r\n\r\n"),
                 "HTTP/1.0 401");
    EXPECT_PRED2(StartsWith, Get("GET /admin.cgi?pass=nope&mode=updinfo&song=x HTTP/1.0\r\n\r\n"),
                 "HTTP/1.0 401");
    EXPECT_EQ(Metrics()["orvanta_login_refusals_total"], 3);

    // A source on air; what it sends once on air is counted to the byte.
    auto source = V1Source("icy-name:Metrics FM\r\n\r\n");
    source->Send(Mp3Frames(40));
    ASSERT_TRUE(WaitForSource());
    m = Metrics();
    EXPECT_EQ(m["orvanta_source_connected"], 1);
    EXPECT_EQ(m["orvanta_source_connections_total"], 1);
    const uint64_t audio = 417 * 200;
    std::this_thread::sleep_for(200ms);  // the login's audio is in
    const double receivedBefore = Metrics()["orvanta_received_bytes_total"];
    source->Send(Mp3Frames(200));
    EXPECT_TRUE(
        WaitForSample("orvanta_received_bytes_total", receivedBefore + static_cast<double>(audio)));

    // A listener without titles, one with them, and an HLS player.
    const double sentBefore = Metrics()["orvanta_sent_bytes_total"];
    const auto beforeListeners = std::chrono::steady_clock::now();
    auto plain = std::make_unique<TestClient>(m_port);
    plain->Send("GET /stream HTTP/1.0\r\nUser-Agent: mpg123/1.31\r\n\r\n");
    TestClient icy(m_port);
    icy.Send("GET /stream HTTP/1.0\r\nIcy-MetaData: 1\r\n\r\n");
    size_t read = plain->ReadUntil("\r\n\r\n").size() + icy.ReadUntil("\r\n\r\n").size();
    read += plain->Read(4000).size() + icy.Read(4000).size();
    const auto listenersIn = std::chrono::steady_clock::now();
    std::string playlist;
    ASSERT_TRUE(WaitUntil(
        [&] {
            playlist = Get("GET /live.m3u8 HTTP/1.0\r\nUser-Agent: hls.js\r\n\r\n");
            return playlist.find("200 OK") != std::string::npos;
        },
        5000))
        << playlist;
    m = Metrics();
    EXPECT_EQ(m["orvanta_listeners{kind=\"stream\"}"], 1);
    EXPECT_EQ(m["orvanta_listeners{kind=\"icy\"}"], 1);
    EXPECT_EQ(m["orvanta_listeners{kind=\"hls\"}"], 1);
    EXPECT_EQ(m["orvanta_listeners_peak"], 2);
    EXPECT_EQ(m["orvanta_listener_connections_total"], 2);
    EXPECT_GE(m["orvanta_sent_bytes_total"] - sentBefore, static_cast<double>(read));

    // HLS requests, whatever their answers: the playlists, a segment by GET and HEAD, a segment
    // that is not in the window.
    const double playlistsBefore = m["orvanta_hls_requests_total{kind=\"playlist\"}"];
    const double segmentsBefore = m["orvanta_hls_requests_total{kind=\"segment\"}"];
    const size_t uri = playlist.find("live/");
    ASSERT_NE(uri, std::string::npos) << playlist;
    const std::string segment = "/" + playlist.substr(uri, playlist.find('\n', uri) - uri);
    EXPECT_PRED2(StartsWith, Get("GET " + segment + " HTTP/1.0\r\n\r\n"), "HTTP/1.0 200");
    EXPECT_PRED2(StartsWith, Get("HEAD " + segment + " HTTP/1.0\r\n\r\n"), "HTTP/1.0 200");
    EXPECT_PRED2(StartsWith, Get("GET /live/999999.mp3 HTTP/1.0\r\n\r\n"), "HTTP/1.0 404");
    EXPECT_PRED2(StartsWith, Get("GET /live.m3u8 HTTP/1.0\r\n\r\n"), "HTTP/1.0 200");
    EXPECT_PRED2(StartsWith, Get("GET /live/master.m3u8 HTTP/1.0\r\n\r\n"), "HTTP/1.0 200");
    m = Metrics();
    EXPECT_EQ(m["orvanta_hls_requests_total{kind=\"playlist\"}"], playlistsBefore + 2);
    EXPECT_EQ(m["orvanta_hls_requests_total{kind=\"segment\"}"], segmentsBefore + 3);

    // Time listened: at least the two listeners' time since both were in, at most their time
    // since before the first; and it keeps what a listener that left had listened.
    std::this_thread::sleep_for(500ms);
    const auto beforeScrape = std::chrono::steady_clock::now();
    const double listened = Metrics()["orvanta_listener_seconds_total"];
    const auto afterScrape = std::chrono::steady_clock::now();
    EXPECT_GE(listened, 2 * std::chrono::duration<double>(beforeScrape - listenersIn).count());
    EXPECT_LE(listened, 2 * std::chrono::duration<double>(afterScrape - beforeListeners).count());
    plain.reset();
    EXPECT_TRUE(WaitForSample("orvanta_listeners{kind=\"stream\"}", 0));
    m = Metrics();
    EXPECT_GE(m["orvanta_listener_seconds_total"], listened);
    EXPECT_EQ(m["orvanta_listeners{kind=\"icy\"}"], 1);
    EXPECT_EQ(m["orvanta_listeners_peak"], 2);
    EXPECT_EQ(m["orvanta_listener_connections_total"], 2);

    // TLS: a handshake that ends in a session (and a scrape over it), one whose ClientHello is
    // no ClientHello, and one on the plain source port.
    test::TlsTestClient secure(m_port, certificates.Ca());
    ASSERT_TRUE(secure.Connected());
    secure.Send("GET /metrics HTTP/1.0\r\n\r\n");
    EXPECT_PRED2(StartsWith, secure.ReadUntil("\r\n\r\n"), "HTTP/1.0 200 OK");
    for (const uint16_t port : {m_port, static_cast<uint16_t>(m_port + 1)}) {
        TestClient broken(port);
        broken.Send(std::string("\x16\x03\x01\x00\x05hello", 10));
        EXPECT_TRUE(broken.WaitClosed());
    }
    m = Metrics();
    EXPECT_EQ(m["orvanta_tls_handshakes_total"], 3);
    EXPECT_EQ(m["orvanta_tls_handshake_failures_total"], 2);

    // The source leaves, and another takes its place.
    source.reset();
    EXPECT_TRUE(WaitForSample("orvanta_source_connected", 0));
    auto next = V1Source("icy-name:Metrics FM\r\n\r\n");
    next->Send(Mp3Frames(40));
    ASSERT_TRUE(WaitForSource());
    m = Metrics();
    EXPECT_EQ(m["orvanta_source_connected"], 1);
    EXPECT_EQ(m["orvanta_source_connections_total"], 2);
    EXPECT_EQ(m["orvanta_login_refusals_total"], 3) << "right passwords are no refusals";

    // What Prometheus reads of it: promtool's checks find nothing, on a station that has done
    // all of the above.
    const std::string promtool = Promtool();
    if (promtool.empty()) {
        GTEST_SKIP() << "promtool is missing: scripts/deps.sh --tests fetches it into "
                        "build/tools (or set ORV_PROMTOOL)";
    }
    const std::string exposition = Body(Scrape());
    const auto [said, status] = PromtoolCheck(promtool, exposition);
    EXPECT_EQ(status, 0) << said << "\n" << exposition;
    EXPECT_EQ(said, "") << exposition;
    // The check is no formality: a counter named against the rules fails it.
    EXPECT_NE(PromtoolCheck(promtool, "# HELP x bytes\n# TYPE x counter\nx 1\n").second, 0);
}

TEST_F(MetricsTest, OnlyThisMachineAndTheListedAddressesMayRead) {
    Start();
    EXPECT_PRED2(StartsWith, Scrape(), "HTTP/1.0 200 OK");
    if (HaveIpv6Loopback()) {
        EXPECT_PRED2(StartsWith, GetOverIpv6(m_port, "GET /metrics HTTP/1.0\r\n\r\n"),
                     "HTTP/1.0 200 OK");
    }
    // Another machine: refused, as refusals are logged (one line, then a count).
    for (int i = 0; i < 3; ++i) {
        const std::string refused = Scrape("127.0.0.2");
        EXPECT_PRED2(StartsWith, refused, "HTTP/1.0 403 Forbidden");
        EXPECT_EQ(refused.find("orvanta_"), std::string::npos) << refused;
    }
    EXPECT_PRED2(StartsWith, Get("HEAD /metrics HTTP/1.0\r\n\r\n", "127.0.0.2"), "HTTP/1.0 403");

    // Listed, alone or by its network; a neighbouring network is not enough. The list is live.
    const auto allow = [this](const std::string& list) {
        m_settings.metricsAllowFrom = list;
        m_engine.UpdateSettings(m_settings);
    };
    allow("192.0.2.1, 127.0.0.2");
    EXPECT_TRUE(WaitUntil([&] { return StartsWith(Scrape("127.0.0.2"), "HTTP/1.0 200 OK"); }));
    allow("127.0.0.4/30 10.0.0.0/8");
    EXPECT_TRUE(WaitUntil([&] { return StartsWith(Scrape("127.0.0.2"), "HTTP/1.0 403"); }));
    allow("127.0.0.0/30");
    EXPECT_TRUE(WaitUntil([&] { return StartsWith(Scrape("127.0.0.2"), "HTTP/1.0 200 OK"); }));
    const std::string head = Get("HEAD /metrics HTTP/1.0\r\n\r\n", "127.0.0.2");
    EXPECT_PRED2(StartsWith, head, "HTTP/1.0 200 OK");
    EXPECT_EQ(Body(head), "") << "HEAD has no body";

    // Entries that are no address are logged once and left out; the good ones still count.
    allow("bogus,127.0.0.2/33   ::1/129 127.0.0.2");
    EXPECT_TRUE(WaitUntil([&] { return StartsWith(Scrape("127.0.0.2"), "HTTP/1.0 200 OK"); }));
    m_settings.maxClients = 7;  // another change: the list is not looked at again
    m_engine.UpdateSettings(m_settings);
    Scrape("127.0.0.2");
    allow("");
    EXPECT_TRUE(WaitUntil([&] { return StartsWith(Scrape("127.0.0.2"), "HTTP/1.0 403"); }));

    m_engine.Stop();
    const std::string log = Log();
    ExpectHas(log,
              {"Refused 127.0.0.2 GET /metrics: HTTP/1.0 403 Forbidden (metrics go to this machine "
               "and to [Admin] MetricsAllowFrom only)",
               "[Admin] MetricsAllowFrom: ignored \"bogus\", \"127.0.0.2/33\", \"::1/129\": "});
    size_t ignored = 0;
    for (size_t at = log.find("MetricsAllowFrom: ignored"); at != std::string::npos;
         at = log.find("MetricsAllowFrom: ignored", at + 1)) {
        ++ignored;
    }
    EXPECT_EQ(ignored, 1u) << log;
    ExpectHas(log, {"Refused 127.0.0.1"}, false);
}

// The scrape job and the alert the README offers are what Prometheus takes, and the alert reads
// a metric the engine serves.
TEST(MetricsExamplesTest, TheScrapeJobAndTheAlertPassPromtool) {
    const std::string promtool = Promtool();
    if (promtool.empty()) {
        GTEST_SKIP() << "promtool is missing: scripts/deps.sh --tests fetches it";
    }
    const std::string folder = ORV_PROMETHEUS_EXAMPLES;
    for (const std::string& check : {"config '" + folder + "/orvanta-scrape.yml'",
                                     "rules '" + folder + "/orvanta-alerts.yml'"}) {
        EXPECT_EQ(std::system(("'" + promtool + "' check " + check + " >/dev/null 2>&1").c_str()),
                  0)
            << check;
    }
    ExpectHas(test::ReadFile(folder + "/orvanta-alerts.yml"),
              {"expr: orvanta_source_connected == 0", "for: 2m"});
}

// The list itself, where prefixes cut through the middle of a byte.
TEST(AddressListTest, AddressesAndNetworksOfBothFamilies) {
    const AddressList list = AddressList::Parse(
        " 192.0.2.7,198.51.100.128/25\t2001:db8:1::/48, 0.0.0.0/0x ::ffff:203.0.113.9 "
        "10.0.0.1/ fe80::1/129 2001:db8::/x 300.1.1.1");
    EXPECT_EQ(list.Rejected(), (std::vector<std::string>{"0.0.0.0/0x", "10.0.0.1/", "fe80::1/129",
                                                         "2001:db8::/x", "300.1.1.1"}));
    for (const char* in : {"192.0.2.7", "198.51.100.128", "198.51.100.255", "2001:db8:1::1",
                           "2001:db8:1:ffff::9", "203.0.113.9", "::ffff:192.0.2.7"}) {
        EXPECT_TRUE(list.Contains(in)) << in;
    }
    for (const char* out : {"192.0.2.8", "198.51.100.127", "2001:db8:2::1", "::ffff:c000:208",
                            "192.0.2.7/32", "", "not an address"}) {
        EXPECT_FALSE(list.Contains(out)) << out;
    }
    const AddressList everyone = AddressList::Parse("0.0.0.0/0 ::/0");
    EXPECT_TRUE(everyone.Contains("203.0.113.1") && everyone.Contains("2001:db8::1"));
    EXPECT_TRUE(AddressList::Parse("").Empty());
    EXPECT_TRUE(AddressList::Parse(" , ,").Rejected().empty());
    EXPECT_FALSE(AddressList::Parse("10.0.0.0/8").Contains("::ffff:11.0.0.1"));
    EXPECT_TRUE(AddressList::Parse("10.0.0.0/8").Contains("::ffff:10.255.0.1"));
}

}  // namespace
}  // namespace orvanta::engine
