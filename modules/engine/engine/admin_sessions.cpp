#include "engine/admin_sessions.h"

#include <algorithm>
#include <array>
#include <openssl/crypto.h>
#include <openssl/rand.h>
#include <stdexcept>

namespace orvanta::engine {

std::string RandomToken() {
    std::array<unsigned char, 32> bytes{};
    if (RAND_bytes(bytes.data(), static_cast<int>(bytes.size())) != 1) {
        // Without the system's randomness no id may be made up: the login fails instead.
        throw std::runtime_error("no random bytes");
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string token;
    token.reserve(bytes.size() * 2);
    for (const unsigned char byte : bytes) {
        token += kHex[byte >> 4];
        token += kHex[byte & 0x0f];
    }
    return token;
}

bool SameToken(std::string_view a, std::string_view b) {
    return a.size() == b.size() && CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

const AdminSessions::Session& AdminSessions::Open(std::string user, Clock::time_point now) {
    Expire(now);
    if (m_sessions.size() >= kMaxSessions) {
        const auto oldest = std::min_element(
            m_sessions.begin(), m_sessions.end(),
            [](const auto& x, const auto& y) { return x.second.lastUsed < y.second.lastUsed; });
        m_sessions.erase(oldest);
    }
    Session session{RandomToken(), RandomToken(), std::move(user), now, now};
    std::string id = session.id;
    return m_sessions.insert_or_assign(std::move(id), std::move(session)).first->second;
}

const AdminSessions::Session* AdminSessions::Use(std::string_view id, Clock::time_point now) {
    const auto found = m_sessions.find(std::string(id));
    if (found == m_sessions.end()) {
        return nullptr;
    }
    if (Ended(found->second, now)) {
        m_sessions.erase(found);
        return nullptr;
    }
    found->second.lastUsed = now;
    return &found->second;
}

void AdminSessions::Close(std::string_view id) {
    m_sessions.erase(std::string(id));
}

bool AdminSessions::Ended(const Session& session, Clock::time_point now) const {
    return now - session.lastUsed >= kIdle || now - session.created >= kAbsolute;
}

void AdminSessions::Expire(Clock::time_point now) {
    std::erase_if(m_sessions, [&](const auto& entry) { return Ended(entry.second, now); });
}

}  // namespace orvanta::engine
