// The web console's logged-in sessions: each a random 256-bit id the browser keeps in a cookie,
// with a token of its own that every form that changes something must carry back (a page of
// another site can make the browser send the cookie, never read the token). A session ends 30
// minutes after its last use, 12 hours after its login whatever happens, or at its logout. Kept
// in memory on the engine's thread: a reload keeps them, a restart logs everyone out.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>

namespace orvanta::engine {

// 32 random bytes from the system's generator, as 64 hex digits.
std::string RandomToken();
// Whether two tokens are equal, in a time that does not depend on where they differ.
bool SameToken(std::string_view a, std::string_view b);

class AdminSessions {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr auto kIdle = std::chrono::minutes(30);
    static constexpr auto kAbsolute = std::chrono::hours(12);
    // Logins beyond this many open sessions end the one used longest ago.
    static constexpr size_t kMaxSessions = 64;

    struct Session {
        std::string id;
        std::string csrf;
        std::string user;
        Clock::time_point created;
        Clock::time_point lastUsed;
    };

    // A new session for `user`, who has just proved who they are.
    const Session& Open(std::string user, Clock::time_point now);
    // The session of a cookie's `id`, its idle time started again; null when there is none or it
    // has ended.
    const Session* Use(std::string_view id, Clock::time_point now);
    // Ends the session of `id` (a logout); nothing when there is none.
    void Close(std::string_view id);
    // Ends every session (the console was turned off, or its password changed).
    void CloseAll() { m_sessions.clear(); }
    size_t Count() const { return m_sessions.size(); }

private:
    bool Ended(const Session& session, Clock::time_point now) const;
    void Expire(Clock::time_point now);

    std::unordered_map<std::string, Session> m_sessions;
};

}  // namespace orvanta::engine
