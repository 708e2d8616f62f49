// Ports and audio for engines under test: the engine takes a pair (listeners on P, v1 sources on
// P+1), so a random even port is tried until one pair is free; a loopback port nobody listens
// on; and silent MP3 frames to stream.
#pragma once

#include "engine/engine.h"

#include <arpa/inet.h>
#include <chrono>
#include <cstdint>
#include <netinet/in.h>
#include <random>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace orvanta::test {

// The listener port the engine started on, or 0 when no pair was free in 50 tries.
inline uint16_t StartOnFreePorts(engine::Engine& engine, const engine::EngineSettings& settings) {
    std::mt19937 random(
        static_cast<unsigned>(::getpid()) ^
        static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count()));
    for (int attempt = 0; attempt < 50; ++attempt) {
        const int port = 20000 + static_cast<int>(random() % 20000) * 2;
        if (engine.Start(port, settings)) {
            return static_cast<uint16_t>(port);
        }
    }
    return 0;
}

// Silent MPEG-1 Layer III frames, 128 kbit/s, 44.1 kHz: 417 bytes each.
inline std::string Mp3Frames(int count) {
    std::string frame(417, '\0');
    frame.replace(0, 4, "\xFF\xFB\x90\x64");
    std::string out;
    for (int i = 0; i < count; ++i) {
        out += frame;
    }
    return out;
}

// A loopback port nobody listens on now (the kernel's choice, released at once).
inline uint16_t UnusedLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

}  // namespace orvanta::test
