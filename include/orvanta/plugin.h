/* Orvanta SDK: the encoder and format plug-in contract.
 *
 * A plug-in is a shared library in the console's program folder that exports
 *
 *     ORVANTA_EXPORT IPlugin* OPluginCreate(const char* registryKey);
 *
 * returning a new plug-in object or null. registryKey is a key path below the user's registry
 * root that the plug-in may keep its own settings under ("Software\KELVO" while the console
 * discovers plug-ins, "Software\KELVO\OVServer\Plugins" when it opens a plug-in's settings).
 *
 * While discovering, the console calls only Describe and Destroy, and it does so for every
 * library of its folder twice: a factory MUST be cheap and MUST NOT show anything.
 * All calls come from the console's user-interface thread.
 *
 * Layout. The table of virtual operations is fixed: the seven slots below stand in this order;
 * slots 3 to 5 are never called by the console. A later revision may only append after slot 7.
 * PluginDescriptor is a file format too (the console's plug-in cache holds the records as they
 * are), so its size and offsets never change. */
#ifndef ORVANTA_PLUGIN_H
#define ORVANTA_PLUGIN_H

#include <orvanta/abi.h>
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define ORVANTA_PLUGIN_DESCRIPTOR_SIZE 1732

/* Plug-in kinds the console asks for. */
#define ORVANTA_PLUGIN_KIND_4 4
#define ORVANTA_PLUGIN_KIND_100 100
#define ORVANTA_PLUGIN_KIND_WMA_ENCODER 110

/* Values a WMA encoder reports through GetValue; the console hands both to the service. */
#define ORVANTA_PLUGIN_VALUE_55 55
#define ORVANTA_PLUGIN_VALUE_56 56

/* What a plug-in tells about itself (Describe). Texts are NUL-terminated narrow strings.
 * fileName and active belong to the console, which writes them after Describe; the plug-in
 * fills the rest. Little-endian, fixed layout. */
typedef struct PluginDescriptor {
    char fileName[256];      /* library file name without folder; written by the console */
    int32_t active;          /* written by the console */
    char displayName[416];   /* name shown to the user */
    char extensionList[256]; /* file extensions, meant to be joined with ";" */
    char filterList[260];    /* file-dialog filter text, meant to be joined with "|" */
    int32_t kind;            /* ORVANTA_PLUGIN_KIND_* or the plug-in's own */
    uint32_t capsA;          /* capability bit masks */
    uint32_t capsB;
    uint32_t capsC;
    uint32_t capsD;
    uint8_t pluginData[520]; /* the plug-in's own; stored and cached unchanged */
} PluginDescriptor;

#ifdef __cplusplus
}  // extern "C"

static_assert(sizeof(PluginDescriptor) == ORVANTA_PLUGIN_DESCRIPTOR_SIZE);
static_assert(offsetof(PluginDescriptor, fileName) == 0);
static_assert(offsetof(PluginDescriptor, active) == 256);
static_assert(offsetof(PluginDescriptor, displayName) == 260);
static_assert(offsetof(PluginDescriptor, extensionList) == 676);
static_assert(offsetof(PluginDescriptor, filterList) == 932);
static_assert(offsetof(PluginDescriptor, kind) == 1192);
static_assert(offsetof(PluginDescriptor, capsA) == 1196);
static_assert(offsetof(PluginDescriptor, capsB) == 1200);
static_assert(offsetof(PluginDescriptor, capsC) == 1204);
static_assert(offsetof(PluginDescriptor, capsD) == 1208);
static_assert(offsetof(PluginDescriptor, pluginData) == 1212);

class IPlugin {
public:
    /* 1. Frees the object in the plug-in's own heap; flags is ORVANTA_DESTROY_FREE. */
    virtual void Destroy(int32_t flags) = 0;
    /* 2. Fills the 1732-byte record; the result is not read. */
    virtual int32_t Describe(PluginDescriptor* descriptor) = 0;
    /* 3.-5. Not called by the console. */
    virtual int32_t Reserved3() = 0;
    virtual int32_t Reserved4() = 0;
    virtual int32_t Reserved5() = 0;
    /* 6. Stores the value with the given id through `value`; the result is not read. */
    virtual int32_t GetValue(int32_t id, int32_t* value) = 0;
    /* 7. Shows the plug-in's own settings, modal, owned by the console's window
     * (a native window handle, or null where there is none); the result is not read. */
    virtual int32_t Configure(void* parentWindow) = 0;

protected:
    ~IPlugin() = default;
};

#define ORVANTA_PLUGIN_FACTORY_NAME "OPluginCreate"
typedef IPlugin* (*OrvantaPluginFactory)(const char* registryKey);

#endif /* __cplusplus */

#endif /* ORVANTA_PLUGIN_H */
