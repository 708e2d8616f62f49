#include "stats/geo_lookup.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <maxminddb.h>
#include <netinet/in.h>
#include <sys/stat.h>

namespace orvanta::engine {

namespace {

// Country codes are two letters; anything else in a database's field is not one, and is
// neither stored nor shown.
std::string CountryCode(const MMDB_entry_data_s& data) {
    if (!data.has_data || data.type != MMDB_DATA_TYPE_UTF8_STRING || data.data_size != 2) {
        return {};
    }
    std::string code(data.utf8_string, 2);
    for (char& c : code) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        } else if (c < 'A' || c > 'Z') {
            return {};
        }
    }
    return code;
}

std::string CountryAt(MMDB_entry_s entry, const char* map) {
    const char* const path[] = {map, "iso_code", nullptr};
    MMDB_entry_data_s data{};
    if (MMDB_aget_value(&entry, &data, path) != MMDB_SUCCESS) {
        return {};
    }
    return CountryCode(data);
}

}  // namespace

struct GeoLookup::Database {
    Database() = default;
    ~Database() {
        if (open) {
            MMDB_close(&mmdb);
        }
    }
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    MMDB_s mmdb{};
    bool open = false;
};

GeoLookup::GeoLookup(std::unique_ptr<Database> db) : m_db(std::move(db)) {}

GeoLookup::~GeoLookup() = default;

std::unique_ptr<GeoLookup> GeoLookup::Open(const std::string& path, std::string* error) {
    const auto fail = [error](const char* why) {
        if (error != nullptr) {
            *error = why;
        }
        return nullptr;
    };
    // The library's words for a file it could not open or map do not say why, and an empty
    // file or a folder fails there with mmap's reason, which means nothing to an operator.
    struct stat file {};
    if (::stat(path.c_str(), &file) != 0) {
        return fail(std::strerror(errno));
    }
    if (!S_ISREG(file.st_mode)) {
        return fail("not a file");
    }
    if (file.st_size == 0) {
        return fail("an empty file");
    }
    auto db = std::make_unique<Database>();
    errno = 0;
    const int rc = MMDB_open(path.c_str(), MMDB_MODE_MMAP, &db->mmdb);
    if (rc != MMDB_SUCCESS) {
        const int why = errno;
        return fail((rc == MMDB_FILE_OPEN_ERROR || rc == MMDB_IO_ERROR) && why != 0
                        ? std::strerror(why)
                        : MMDB_strerror(rc));
    }
    db->open = true;
    return std::make_unique<GeoLookup>(std::move(db));
}

std::string GeoLookup::Country(const std::string& address) const {
    // Parsed here rather than by the library's own lookup by text, which goes through the
    // resolver's getaddrinfo; an IPv4 address seen on an IPv6 socket is looked up as IPv4, so
    // databases with IPv4 networks alone know it too.
    sockaddr_in v4{};
    sockaddr_in6 v6{};
    const sockaddr* where = nullptr;
    if (inet_pton(AF_INET, address.c_str(), &v4.sin_addr) == 1) {
        v4.sin_family = AF_INET;
        where = reinterpret_cast<const sockaddr*>(&v4);
    } else if (inet_pton(AF_INET6, address.c_str(), &v6.sin6_addr) == 1) {
        if (IN6_IS_ADDR_V4MAPPED(&v6.sin6_addr)) {
            v4.sin_family = AF_INET;
            std::memcpy(&v4.sin_addr, &v6.sin6_addr.s6_addr[12], 4);
            where = reinterpret_cast<const sockaddr*>(&v4);
        } else {
            v6.sin6_family = AF_INET6;
            where = reinterpret_cast<const sockaddr*>(&v6);
        }
    } else {
        return {};
    }
    int rc = MMDB_SUCCESS;
    const MMDB_lookup_result_s found = MMDB_lookup_sockaddr(&m_db->mmdb, where, &rc);
    if (rc != MMDB_SUCCESS || !found.found_entry) {
        return {};
    }
    std::string code = CountryAt(found.entry, "country");
    return code.empty() ? CountryAt(found.entry, "registered_country") : code;
}

}  // namespace orvanta::engine
