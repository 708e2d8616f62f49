#include "config/station_config.h"

namespace orvanta {

void StationConfig::SetDefaults() {
    MaxClient = 10;
    Password = "mustedit";
    Port = 8080;
    BindAddress.clear();
    LogDir = "./logs";
    ContentDir = "./content";
    LogFile = "ovserver.log";
    IndexPage = "index.html";
    PublicServer = 1;
    Master = 1;
    BroadcastTime = {};
    SongHistoryMax = 10;
    ShoutcastRegister = 0;
    Genre = 800;
    Ment = 0;
    PrivateBr = 0;
    Portforward = 0;
    OverridePort = 0;
    LangCode = 9;
    CreateLog = 1;
    Timeout = 10;
    DirectoryServer = kDefaultDirectoryServer;
    DirectoryPort = 8080;
}

}  // namespace orvanta
