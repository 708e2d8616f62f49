// The station configuration file is edited by hand and copied between machines: any bytes
// must load without a crash, a hang or unbounded memory, and whatever loaded must survive a
// save and a second load unchanged.
#include "config/station_config_file.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <stdlib.h>
#include <string>
#include <unistd.h>

namespace {

struct Scratch {
    std::string folder;
    std::string input;
    std::string saved;
    Scratch() {
        char pattern[] = "/tmp/orvanta-fuzz-XXXXXX";
        if (::mkdtemp(pattern) == nullptr) {
            std::abort();
        }
        folder = pattern;
        // Damaged files make the INI reader report on standard output: not news here.
        if (std::freopen("/dev/null", "w", stdout) == nullptr) {
            std::abort();
        }
        input = folder + "/input.ini";
        saved = folder + "/saved.ini";
    }
    ~Scratch() {
        ::unlink(input.c_str());
        ::unlink(saved.c_str());
        ::rmdir(folder.c_str());
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const Scratch scratch;
    const int fd = ::open(scratch.input.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0 || ::write(fd, data, size) != static_cast<ssize_t>(size)) {
        std::abort();
    }
    ::close(fd);

    // Folders named by the input must not be created anywhere.
    const orvanta::ConfigFolders folders{scratch.folder + "/", false};
    orvanta::StationConfig first;
    orvanta::LoadStationConfig(scratch.input, first, folders);

    // Saving cuts ContentDir in the record: compare against the record as it stands after it.
    if (!orvanta::SaveStationConfig(scratch.saved, first)) {
        std::abort();
    }
    // A text ending in CR cannot come back from a line-based file, and a merged template
    // depends on files outside the input: neither is a round trip to check.
    bool comparable = first.MassInclude.empty();
    auto check = [&comparable](const std::string& s) {
        if (s.find('\r') != std::string::npos) {
            comparable = false;
        }
    };
    for (const std::string* s :
         {&first.Password, &first.DJName, &first.DJEmail, &first.TitleFormat, &first.URLFormat,
          &first.OverrideIP, &first.MassUniqueKey, &first.LogDir, &first.LogFile, &first.ConfigFile,
          &first.ContentDir, &first.IndexPage, &first.BindAddress, &first.RelayHostname,
          &first.RelayStreamUrl}) {
        check(*s);
    }
    for (const auto& [user, password] : first.PrivateUsers) {
        check(user);
        check(password);
    }
    if (!comparable) {
        return 0;
    }
    orvanta::StationConfig second;
    orvanta::LoadStationConfig(scratch.saved, second, folders);
    if (!(second == first)) {
        std::abort();
    }
    return 0;
}
