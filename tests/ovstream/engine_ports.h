// Ports for engines under test: the engine takes a pair (listeners on P, v1 sources on P+1), so
// a random even port is tried until one pair is free; a loopback port nobody listens on; and the
// fixture most engine tests start from.
#pragma once

#include "engine/engine.h"
#include "ovstream/test_client.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <unistd.h>

namespace orvanta::test {

// The listener port the engine started on, or 0 when no pair was free in 50 tries.
inline uint16_t StartOnFreePorts(engine::Engine& engine, const engine::EngineSettings& settings) {
    return StartOnFreePortPair([&](int port) { return engine.Start(port, settings); });
}

// A loopback port nobody listens on now (the kernel's choice, released at once).
inline uint16_t UnusedLoopbackPort() {
    uint16_t port = 0;
    ::close(LoopbackSocket(port, 0));
    return port;
}

// An engine on a free port pair with the source password "hackme" and room for three
// listeners, and the clients most tests need.
class EngineFixture : public ::testing::Test {
protected:
    EngineFixture() {
        m_settings.sourcePassword = "hackme";
        m_settings.maxClients = 3;
    }
    void TearDown() override { m_engine.Stop(); }

    void Start() {
        m_port = StartOnFreePorts(m_engine, m_settings);
        ASSERT_NE(m_port, 0) << "no free port pair";
    }

    // A v1 source on port + 1, logged in and sending `headers` (ICY lines, blank line included).
    std::unique_ptr<TestClient> V1Source(const std::string& headers) {
        auto source = std::make_unique<TestClient>(m_port + 1);
        source->Send("hackme\r\n");
        EXPECT_EQ(source->Read(20), "OK2\r\nicy-caps:11\r\n\r\n");
        source->Send(headers);
        return source;
    }

    // One request and everything the engine answers to it.
    std::string Get(const std::string& request, const char* from = nullptr) {
        TestClient client(m_port, 0, from);
        client.Send(request);
        return client.ReadAll(3000);
    }

    // Until the engine reports a source on air (or, with false, none).
    bool WaitForSource(bool connected = true) {
        return WaitUntil([this, connected] { return m_engine.SourceConnected() == connected; });
    }

    engine::EngineSettings m_settings;
    engine::Engine m_engine;
    uint16_t m_port = 0;
};

}  // namespace orvanta::test
