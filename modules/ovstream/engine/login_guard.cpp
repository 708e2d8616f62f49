#include "engine/login_guard.h"

#include <asio/ip/address.hpp>

#include <algorithm>

namespace orvanta::engine {

std::string LoginGuard::KeyOf(std::string_view address) {
    asio::error_code ec;
    asio::ip::address parsed = asio::ip::make_address(std::string(address), ec);
    if (ec) {
        return std::string(address);
    }
    if (parsed.is_v6() && parsed.to_v6().is_v4_mapped()) {
        parsed = asio::ip::make_address_v4(asio::ip::v4_mapped, parsed.to_v6());
    }
    if (parsed.is_v4()) {
        return parsed.to_string();
    }
    auto bytes = parsed.to_v6().to_bytes();
    std::fill(bytes.begin() + 8, bytes.end(), 0);
    return asio::ip::address_v6(bytes).to_string() + "/64";
}

std::chrono::seconds LoginGuard::HeldFor(std::string_view address, Clock::time_point now) const {
    const auto it = m_entries.find(KeyOf(address));
    if (it == m_entries.end() || !it->second.held || now >= it->second.heldUntil) {
        return std::chrono::seconds(0);
    }
    // Rounded up: "try again in 0 s" would invite an attempt that is still refused.
    return std::chrono::ceil<std::chrono::seconds>(it->second.heldUntil - now);
}

void LoginGuard::Forget(Clock::time_point now) {
    while (!m_order.empty()) {
        const auto it = m_entries.find(m_order.front());
        if (it != m_entries.end() && now - it->second.last < kForgetAfter &&
            m_entries.size() < m_maxAddresses) {
            break;
        }
        if (it != m_entries.end()) {
            m_entries.erase(it);
        }
        m_order.pop_front();
    }
}

LoginGuard::Verdict LoginGuard::Failed(std::string_view address, Clock::time_point now) {
    Forget(now);
    std::string key = KeyOf(address);
    auto it = m_entries.find(key);
    if (it == m_entries.end()) {
        if (m_maxAddresses == 0) {
            return {};
        }
        it = m_entries.emplace(key, Entry{}).first;
        it->second.order = m_order.insert(m_order.end(), std::move(key));
    } else {
        m_order.splice(m_order.end(), m_order, it->second.order);
    }
    Entry& entry = it->second;
    entry.last = now;
    entry.failures = std::min(entry.failures + 1, 1 << 20);

    Verdict verdict;
    verdict.failures = entry.failures;
    if (entry.failures < kFreeFailures) {
        return verdict;
    }
    // Doubling from the first hold at the kFreeFailures-th failure, capped.
    const int doublings = std::min(entry.failures - kFreeFailures, 16);
    const auto hold =
        std::min<std::chrono::seconds>(kFirstHold * (int64_t{1} << doublings), kLongestHold);
    verdict.newlyHeld = !entry.held || now >= entry.heldUntil;
    entry.held = true;
    entry.heldUntil = now + hold;
    verdict.held = true;
    verdict.hold = hold;
    return verdict;
}

void LoginGuard::Succeeded(std::string_view address) {
    const auto it = m_entries.find(KeyOf(address));
    if (it != m_entries.end()) {
        m_order.erase(it->second.order);
        m_entries.erase(it);
    }
}

}  // namespace orvanta::engine
