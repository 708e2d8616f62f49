// The route table on its own: which handler a request reaches. The engine tests reach most
// rows through real answers; the methods the engine refuses, and "/" for players against
// browsers against a mount of its own, are told apart here.
#include "engine/route_table.h"

#include <gtest/gtest.h>

#include <string>

namespace orvanta::engine {
namespace {

Request Make(std::string method, std::string path, std::vector<Header> headers = {}) {
    Request request;
    request.method = std::move(method);
    request.path = path;
    request.target = std::move(path);
    request.headers = std::move(headers);
    return request;
}

TEST(RouteTableTest, MethodsFirstThenPathsThenTheStreamAndPagesLast) {
    const EngineSettings settings;
    const SourceInfo info;
    const HlsStream hls;
    const std::vector<std::string> privateFiles;
    const std::string address = "127.0.0.1";
    std::string mount = "/";
    const RequestContext context{.settings = settings,
                                 .address = address,
                                 .info = info,
                                 .mount = mount,
                                 .hls = hls,
                                 .privateFiles = privateFiles};
    const auto route = [&](const Request& request) { return FindHandler(request, context); };

    // Other methods are refused before any path is looked at, even a title update's.
    EXPECT_EQ(route(Make("DELETE", "/")), &MethodNotAllowed);
    EXPECT_EQ(route(Make("POST", "/admin.cgi")), &MethodNotAllowed);
    EXPECT_EQ(route(Make("OPTIONS", "/stream")), &OptionsRequest);
    EXPECT_EQ(route(Make("PUT", "/live.m3u8")), &SourceRequest);
    EXPECT_EQ(route(Make("SOURCE", "/admin.cgi")), &SourceRequest);

    EXPECT_EQ(route(Make("GET", "/admin.cgi")), &AdminCgiRequest);
    EXPECT_EQ(route(Make("HEAD", "/admin/metadata")), &AdminMetadataRequest);
    EXPECT_EQ(route(Make("GET", "/live.m3u8")), &HlsRequest);
    EXPECT_EQ(route(Make("GET", "/live/123.mp3")), &HlsRequest);
    EXPECT_EQ(route(Make("GET", "/live")), &PageRequest);
    EXPECT_EQ(route(Make("GET", "/metrics")), &MetricsRequest);
    EXPECT_EQ(route(Make("GET", "/metrics", {{"User-Agent", "VLC/3.0"}})), &MetricsRequest);

    // "/" is the stream for players, the page for browsers unless they ask for titles.
    const Header mozilla{"User-Agent", "Mozilla/5.0"};
    const Header html{"Accept", "text/html"};
    EXPECT_EQ(route(Make("GET", "/", {{"User-Agent", "VLC/3.0"}})), &ListenerRequest);
    EXPECT_EQ(route(Make("GET", "/", {mozilla, html})), &PageRequest);
    EXPECT_EQ(route(Make("GET", "/", {mozilla, html, {"Icy-MetaData", "1"}})), &ListenerRequest);
    EXPECT_EQ(route(Make("GET", "/;stream.nsv")), &ListenerRequest);
    EXPECT_EQ(route(Make("HEAD", "/stream.ogg")), &ListenerRequest);
    EXPECT_EQ(route(Make("GET", "/status.json")), &PageRequest);

    // A source's own mount is the stream too, once it is on air.
    EXPECT_EQ(route(Make("GET", "/radio")), &PageRequest);
    mount = "/radio";
    EXPECT_EQ(route(Make("GET", "/radio")), &ListenerRequest);
    // The metrics stay where scrapers look for them whatever a source calls its mount.
    mount = "/metrics";
    EXPECT_EQ(route(Make("GET", "/metrics")), &MetricsRequest);
    // So do the station page's files, which it names by their plain names too.
    mount = "/assets/player.js";
    EXPECT_EQ(route(Make("GET", "/assets/player.js")), &StationPageRequest);
    EXPECT_EQ(route(Make("GET", "/assets/other.js")), &PageRequest);
}

}  // namespace
}  // namespace orvanta::engine
