/* Orvanta SDK: the service-module contract.
 *
 * A service module is a shared library in the console's program folder that holds a streaming
 * engine. It exports
 *
 *     ORVANTA_EXPORT IServiceController* OrvantaServiceController2(const char* registryRoot);
 *
 * which returns a new controller or null. The console calls it with "" while it discovers the
 * modules of its folder (it then calls only Describe and Destroy) and with
 * "Software\KELVO\OVServer\Plugins" when it loads the module to run the service.
 *
 * Threads. Every operation is called on the console's user-interface thread, except the four
 * status queries IsSourceConnected, GetListenerCount, GetTotalReceivedBytes and
 * GetTotalSentBytes: between a successful Start and the following Stop the console's monitor
 * thread calls them every 50 ms while the user-interface thread may call IsRunning or Stop.
 * A module MUST answer those four safely at any time, and Stop MUST NOT wait on them.
 *
 * Settings. The console hands over the station configuration with the setters: before Start,
 * Initialize(1) first and then the other setters in its own fixed order; after a successful
 * Start, nine more calls in this order: SetMaster, SetSourcePassword, SetPublicServer,
 * SetGenre, SetGeneration, SetMent, SetSchedule, SetLanguageCode, SetAddressOverride (whose
 * flag goes over inverted, see slot 19). When the operator has the configuration re-read while
 * the service runs (a reload), the console hands the settings a running station can take over
 * again, in this order: SetMaxClients, SetTimeout, SetSongHistoryMax, SetSourcePassword,
 * SetGenre, SetLanguageCode, SetGeneration, SetMent, SetSchedule, SetAddressOverride (inverted,
 * as while running), SetPrivateBroadcast, AddPrivateUser for each user, SetLogDirectory and
 * SetLogFileName ("" for both when the station stopped logging), SetContentDirectory,
 * SetIndexPage, SetTitleFormat, SetUrlFormat ("" for no format), then the live options; a
 * module applies them at once, to what starts afterwards (a login, a listener, a title).
 * Everything else (port, binding address, format, relay, directory registration) waits for
 * the next Start. A module MUST accept every setter at any time; one
 * that rejects a value gives no sign (results of setters are never read). Texts are
 * NUL-terminated narrow strings, never null (an empty text is ""), and are valid only during
 * the call: the module copies what it keeps. Settings without an operation here reach a
 * module through the optional export of <orvanta/service_options.h>.
 *
 * Layout. The table of virtual operations is fixed: the numbered operations below stand in
 * this order, slot 1 first. A later revision may only append after Initialize. */
#ifndef ORVANTA_SERVICE_MODULE_H
#define ORVANTA_SERVICE_MODULE_H

#include <orvanta/abi.h>
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Stream format bits, the same numbers as the station's Format setting. */
#define ORVANTA_FORMAT_MP3 2u
#define ORVANTA_FORMAT_WMA 4u
#define ORVANTA_FORMAT_OGG_VORBIS 16u

#define ORVANTA_SERVICE_MODULE_INFO_SIZE 600
#define ORVANTA_MODULE_FILE_NAME_SIZE 260

/* What a module tells about itself (Describe). The console stores the whole record in its
 * module cache and reads only formatMask and fileName; it writes the module's file name into
 * fileName itself. Everything else belongs to the module. Little-endian, fixed layout. */
typedef struct ServiceModuleInfo {
    uint8_t moduleHeader[8];                      /* module's own */
    uint32_t formatMask;                          /* ORVANTA_FORMAT_* bits the module serves */
    uint8_t moduleData[68];                       /* module's own */
    char fileName[ORVANTA_MODULE_FILE_NAME_SIZE]; /* module file name, no folder, NUL-terminated */
    uint8_t moduleText[260];                      /* module's own */
} ServiceModuleInfo;

#ifdef __cplusplus
}  // extern "C"

static_assert(sizeof(ServiceModuleInfo) == ORVANTA_SERVICE_MODULE_INFO_SIZE);
static_assert(offsetof(ServiceModuleInfo, moduleHeader) == 0);
static_assert(offsetof(ServiceModuleInfo, formatMask) == 8);
static_assert(offsetof(ServiceModuleInfo, moduleData) == 12);
static_assert(offsetof(ServiceModuleInfo, fileName) == 80);
static_assert(offsetof(ServiceModuleInfo, moduleText) == 340);

/* The streaming engine's controller. Numbers are the slots of the table. */
class IServiceController {
public:
    /* 1. Frees the object in the module's own heap; flags is ORVANTA_DESTROY_FREE. */
    virtual void Destroy(int32_t flags) = 0;
    /* 2. Binds the listen port and starts serving. `reserved` is always 0. Non-zero when the
     * service started; 0 leaves nothing open. */
    virtual int32_t Start(int32_t port, int32_t reserved) = 0;
    /* 3. Closes every connection and stops; the module stays usable for another Start. */
    virtual void Stop() = 0;
    /* 4. */ virtual void SetMaxClients(int32_t maxClients) = 0;
    /* 5. */ virtual void SetDirectoryServer(const char* host, int32_t port) = 0;
    /* 6. */ virtual void SetSourcePassword(const char* password) = 0;
    /* 7. [any thread] Listeners connected now. */
    virtual int32_t GetListenerCount() = 0;
    /* 8. Fills the 600-byte record. */
    virtual void Describe(ServiceModuleInfo* info) = 0;
    /* 9. */ virtual void SetGenre(uint16_t genre) = 0;
    /* 10. Windows primary language id of the station. */
    virtual void SetLanguageCode(int32_t languageCode) = 0;
    /* 11. [any thread] Bytes sent to listeners since Start. */
    virtual double GetTotalSentBytes() = 0;
    /* 12. [any thread] Bytes received from sources since Start. */
    virtual double GetTotalReceivedBytes() = 0;
    /* 13. */ virtual void SetPublicServer(int32_t flag) = 0;
    /* 14. Non-zero while the service runs. */
    virtual int32_t IsRunning() = 0;
    /* 15. */ virtual void SetMaster(int32_t flag) = 0;
    /* 16. Listener age group, a signed 16-bit value widened. */
    virtual void SetGeneration(int32_t generation) = 0;
    /* 17. Spoken-comment setting, a signed 16-bit value widened. */
    virtual void SetMent(int32_t ment) = 0;
    /* 18. The broadcast schedule: ten little-endian 32-bit integers (type, three days, three
     * start hours, three end hours), valid during the call. */
    virtual void SetSchedule(const int32_t* schedule) = 0;
    /* 19. The address and port directories list instead of the station's own. Before Start,
     * `flag` is non-zero when the operator turned the override on. The console calls it again
     * after a successful Start (and while the service runs) with the flag INVERTED: there a
     * non-zero flag means the override is OFF. A module keeps the operator's choice by reading
     * the flag of a call made while it runs the other way round. */
    virtual void SetAddressOverride(int32_t flag, const char* address, int32_t port) = 0;
    /* 20. */ virtual void SetShoutcastRegister(int32_t flag) = 0;
    /* 21. */ virtual void SetRelay(const char* host, int32_t port, const char* streamUrl) = 0;
    /* 22. "" means every address. */
    virtual void SetBindAddress(const char* address) = 0;
    /* 23. */ virtual void SetPrivateBroadcast(int32_t flag) = 0;
    /* 24. */ virtual void AddPrivateUser(const char* user, const char* password) = 0;
    /* 25. Always 1. */
    virtual void EnableLogFile(int32_t enable) = 0;
    /* 26. */ virtual void SetLogDirectory(const char* folder) = 0;
    /* 27. */ virtual void SetLogFileName(const char* fileName) = 0;
    /* 28. */ virtual void SetContentDirectory(const char* folder) = 0;
    /* 29. */ virtual void SetIndexPage(const char* fileName) = 0;
    /* 30. */ virtual void SetSongHistoryMax(int32_t count) = 0;
    /* 31. */ virtual void SetTimeout(int32_t timeout) = 0;
    /* 32. "%t" stands for the current title. */
    virtual void SetTitleFormat(const char* format) = 0;
    /* 33. "%s" stands for the station's home page. */
    virtual void SetUrlFormat(const char* format) = 0;
    /* 34. [any thread] Non-zero while a source is connected. */
    virtual int32_t IsSourceConnected() = 0;
    /* 35. WMA stations only: the values the chosen encoder plug-in reported through GetValue
     * with ids 56 and 55 (<orvanta/plugin.h>), value 56 FIRST; `reserved` is always 0. */
    virtual void SetEncoderValues(int32_t value56, int32_t value55, int32_t reserved) = 0;
    /* 36. File name of the chosen encoder plug-in. */
    virtual void SetEncoderPlugin(const char* fileName) = 0;
    /* 37. Always 1. */
    virtual void Initialize(int32_t flag) = 0;

protected:
    ~IServiceController() = default;
};

/* The factory's name and type. */
#define ORVANTA_SERVICE_FACTORY_NAME "OrvantaServiceController2"
typedef IServiceController* (*OrvantaServiceControllerFactory)(const char* registryRoot);

#endif /* __cplusplus */

#endif /* ORVANTA_SERVICE_MODULE_H */
