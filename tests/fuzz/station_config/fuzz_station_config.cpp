// The station configuration file is edited by hand and copied between machines: any bytes
// must load without a crash, a hang or unbounded memory, and whatever loaded must survive a
// save and a second load unchanged.
#include "cache_fuzz_support.h"
#include "config/station_config_file.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const cache_fuzz::Scratch scratch("fuzz-station-config");
    // Damaged files make the INI reader report on standard output: not news here.
    static FILE* const quiet = std::freopen("/dev/null", "w", stdout);
    Require(quiet != nullptr, "cannot silence standard output");
    cache_fuzz::WriteAll(scratch.folder + "input.ini", data, size);

    // Folders named by the input must not be created anywhere.
    const orvanta::ConfigFolders folders{scratch.folder, false};
    orvanta::StationConfig first;
    orvanta::LoadStationConfig(scratch.folder + "input.ini", first, folders);
    // Saving cuts ContentDir in the record: compare against the record as it stands after it.
    Require(orvanta::SaveStationConfig(scratch.folder + "saved.ini", first), "Save");

    // A text ending in CR cannot come back from a line-based file, and a merged template
    // depends on files outside the input: neither is a round trip to check.
    std::string texts = first.MassInclude;
    for (const std::string* s :
         {&first.Password, &first.DJName, &first.DJEmail, &first.TitleFormat, &first.URLFormat,
          &first.OverrideIP, &first.MassUniqueKey, &first.LogDir, &first.LogFile, &first.ConfigFile,
          &first.ContentDir, &first.IndexPage, &first.BindAddress, &first.RelayHostname,
          &first.RelayStreamUrl}) {
        texts += *s;
    }
    for (const auto& [user, password] : first.PrivateUsers) {
        texts += user + password;
    }
    if (!first.MassInclude.empty() || texts.find('\r') != std::string::npos) {
        return 0;
    }
    orvanta::StationConfig second;
    orvanta::LoadStationConfig(scratch.folder + "saved.ini", second, folders);
    Require(second == first, "round trip");
    return 0;
}
