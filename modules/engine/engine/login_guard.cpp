#include "engine/login_guard.h"

#include <asio/ip/address.hpp>

#include <algorithm>
#include <cmath>

namespace orvanta::engine {

namespace {

// The address as IPv4 when it is IPv4 or IPv4 mapped into IPv6; false when it is no address.
bool Parse(std::string_view text, asio::ip::address& parsed) {
    asio::error_code ec;
    parsed = asio::ip::make_address(std::string(text), ec);
    if (ec) {
        return false;
    }
    if (parsed.is_v6() && parsed.to_v6().is_v4_mapped()) {
        parsed = asio::ip::make_address_v4(asio::ip::v4_mapped, parsed.to_v6());
    }
    return true;
}

std::string V6Prefix(const asio::ip::address_v6& address, int bits) {
    auto bytes = address.to_bytes();
    std::fill(bytes.begin() + bits / 8, bytes.end(), 0);
    return asio::ip::address_v6(bytes).to_string() + "/" + std::to_string(bits);
}

}  // namespace

std::string LoginGuard::KeyOf(std::string_view address) {
    asio::ip::address parsed;
    if (!Parse(address, parsed)) {
        return std::string(address);
    }
    return parsed.is_v4() ? parsed.to_string() : V6Prefix(parsed.to_v6(), 64);
}

std::vector<LoginGuard::Network> LoginGuard::NetworksOf(std::string_view address) {
    asio::ip::address parsed;
    if (!Parse(address, parsed)) {
        return {};
    }
    if (parsed.is_v4()) {
        auto bytes = parsed.to_v4().to_bytes();
        bytes[3] = 0;
        return {{asio::ip::address_v4(bytes).to_string() + "/24", kNetworkFailuresV4}};
    }
    return {{V6Prefix(parsed.to_v6(), 48), kNetworkFailuresV6},
            {V6Prefix(parsed.to_v6(), 32), kNetworkFailuresWide}};
}

const LoginGuard::Table::Entry* LoginGuard::Table::Find(const std::string& key,
                                                        Clock::time_point now) const {
    const auto it = m_entries.find(key);
    if (it == m_entries.end() || now - it->second.last >= m_forgetAfter) {
        return nullptr;
    }
    return &it->second;
}

void LoginGuard::Table::Forget(std::list<std::string>& order, Clock::time_point now) {
    while (!order.empty()) {
        const auto it = m_entries.find(order.front());
        if (now - it->second.last < m_forgetAfter) {
            break;
        }
        m_entries.erase(it);
        order.pop_front();
    }
}

LoginGuard::Table::Entry* LoginGuard::Table::Fail(std::string key, Clock::time_point now) {
    Forget(m_free, now);
    Forget(m_held, now);
    auto it = m_entries.find(key);
    if (it != m_entries.end()) {
        auto& order = it->second.held ? m_held : m_free;
        order.splice(order.end(), order, it->second.order);
        it->second.last = now;
        return &it->second;
    }
    if (m_entries.size() >= m_max) {
        // A held entry is what keeps a guesser slow: forgetting it for a newcomer would hand
        // out fresh tries to anyone with enough addresses. Newcomers go unrecorded instead.
        if (m_free.empty()) {
            return nullptr;
        }
        m_entries.erase(m_free.front());
        m_free.pop_front();
    }
    it = m_entries.emplace(key, Entry{}).first;
    it->second.last = now;
    it->second.order = m_free.insert(m_free.end(), std::move(key));
    return &it->second;
}

void LoginGuard::Table::Hold(Entry& entry) {
    if (!entry.held) {
        m_held.splice(m_held.end(), m_free, entry.order);
        entry.held = true;
    }
}

void LoginGuard::Table::Erase(const std::string& key) {
    const auto it = m_entries.find(key);
    if (it != m_entries.end()) {
        (it->second.held ? m_held : m_free).erase(it->second.order);
        m_entries.erase(it);
    }
}

double LoginGuard::Budget(Clock::time_point now) const {
    if (now <= m_budgetAt) {
        return m_budget;
    }
    const double elapsed = std::chrono::duration<double>(now - m_budgetAt).count();
    return std::min(kBudgetBurst, m_budget + elapsed * kBudgetPerSecond);
}

bool LoginGuard::Clean(const std::string& key, std::string_view address,
                       Clock::time_point now) const {
    const Table::Entry* entry = m_addresses.Find(key, now);
    if (entry != nullptr && entry->failures > 0) {
        return false;
    }
    for (const Network& network : NetworksOf(address)) {
        const Table::Entry* held = m_networks.Find(network.key, now);
        if (held != nullptr && held->held) {
            return false;
        }
    }
    return true;
}

LoginGuard::Hold LoginGuard::HeldFor(std::string_view address, Clock::time_point now) const {
    const std::string key = KeyOf(address);
    const Table::Entry* entry = m_addresses.Find(key, now);
    Hold hold;
    hold.failures = entry != nullptr ? entry->failures : 0;
    if (entry != nullptr && entry->held && now < entry->heldUntil) {
        // Rounded up: "try again in 0 s" would invite an attempt that is still refused.
        hold.wait = std::chrono::ceil<std::chrono::seconds>(entry->heldUntil - now);
        hold.own = true;
        return hold;
    }
    if (hold.failures == 0) {
        // Only the password gets an address in here, and its first failure takes it out.
        const auto trusted = std::find_if(m_trusted.begin(), m_trusted.end(), [&](const auto& t) {
            return t.first == key && now - t.second < kForgetAfter;
        });
        if (trusted != m_trusted.end()) {
            return hold;
        }
    }
    // A check is paid for by its failure, so it needs one unit left above the floor: the
    // reserve's for a clean record, the empty budget's for the rest.
    const double floor = Clean(key, address, now) ? -kReserve : 0.0;
    const double missing = floor + 1.0 - Budget(now);
    if (missing > 0) {
        const auto wait = std::chrono::ceil<std::chrono::seconds>(
            std::chrono::duration<double>(missing / kBudgetPerSecond));
        hold.wait =
            std::clamp<std::chrono::seconds>(wait, std::chrono::seconds(1), kLongestBudgetWait);
    }
    return hold;
}

LoginGuard::Verdict LoginGuard::Failed(std::string_view address, Clock::time_point now) {
    ++m_wrongPasswords;
    m_budget = std::max(-kReserve, Budget(now) - 1.0);
    m_budgetAt = now;

    Verdict verdict;
    for (const Network& network : NetworksOf(address)) {
        Table::Entry* entry = m_networks.Fail(network.key, now);
        if (entry == nullptr) {
            continue;
        }
        entry->failures = std::min(entry->failures + 1, 1 << 20);
        if (!entry->held && entry->failures >= network.threshold) {
            m_networks.Hold(*entry);
            if (verdict.networkHeld.empty()) {
                verdict.networkHeld = network.key;
            }
        }
    }

    std::string key = KeyOf(address);
    m_trusted.remove_if([&](const auto& trusted) { return trusted.first == key; });
    Table::Entry* entry = m_addresses.Fail(std::move(key), now);
    if (entry == nullptr) {
        // The table is full of held addresses: this one is held back by its network and the
        // budget only.
        return verdict;
    }
    entry->failures = std::min(entry->failures + 1, 1 << 20);
    verdict.failures = entry->failures;
    if (entry->failures < kFreeFailures) {
        return verdict;
    }
    // Doubling from the first hold at the kFreeFailures-th failure, capped.
    const int doublings = std::min(entry->failures - kFreeFailures, 16);
    const auto hold =
        std::min<std::chrono::seconds>(kFirstHold * (int64_t{1} << doublings), kLongestHold);
    verdict.newlyHeld = !entry->held || now >= entry->heldUntil;
    m_addresses.Hold(*entry);
    entry->heldUntil = now + hold;
    verdict.held = true;
    verdict.hold = hold;
    return verdict;
}

void LoginGuard::Succeeded(std::string_view address, Clock::time_point now) {
    std::string key = KeyOf(address);
    m_addresses.Erase(key);
    m_trusted.remove_if([&](const auto& trusted) { return trusted.first == key; });
    m_trusted.emplace_back(std::move(key), now);
    if (m_trusted.size() > kMaxTrusted) {
        m_trusted.pop_front();
    }
}

}  // namespace orvanta::engine
