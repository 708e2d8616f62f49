// Countries of listeners' addresses, from a MaxMind-format database (.mmdb) the operator keeps
// beside the station: the free country and city databases are updated monthly and read as they
// come. The file is mapped into memory, never read into it, and a lookup is a walk of a few
// dozen tree nodes: microseconds, so it may run wherever a session is recorded.
#pragma once

#include <memory>
#include <string>

namespace orvanta::engine {

class GeoLookup {
public:
    // The database at `path`, or null with the reason in `error` (a missing file, one that is
    // not a MaxMind-format database).
    static std::unique_ptr<GeoLookup> Open(const std::string& path, std::string* error);
    // The open file, which only Open makes.
    struct Database;
    explicit GeoLookup(std::unique_ptr<Database> db);
    ~GeoLookup();
    GeoLookup(const GeoLookup&) = delete;
    GeoLookup& operator=(const GeoLookup&) = delete;

    // The ISO 3166 code (two capital letters) of the country `address` (IPv4 or IPv6, as text)
    // is in: where the database places the address, or else where its network is registered.
    // "" for an address it does not know, or text that is no address. Safe from any thread.
    std::string Country(const std::string& address) const;

private:
    std::unique_ptr<Database> m_db;
};

}  // namespace orvanta::engine
