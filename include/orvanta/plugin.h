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
 * Layout. The table of virtual operations is fixed: the seven slots below stand in this order.
 * The console calls slots 1, 2, 6 and 7 only; slots 3 to 5 are the encoding interface that a
 * WMA service module calls on a WMA encoder (kind 110) to turn PCM into WMA packets. A later
 * revision may only append after slot 7.
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

/* Values a WMA encoder reports through GetValue; the console hands both to the service
 * (SetEncoderValues), which hands them back to the encoder's OpenEncoder.
 *   55: the bitrate in bits per second (for example 128000);
 *   56: the sample rate in hertz times ten plus the channel count (441002: 44100 Hz, stereo).
 * Zero in either means "not configured": the encoder takes its own defaults. */
#define ORVANTA_PLUGIN_VALUE_55 55
#define ORVANTA_PLUGIN_VALUE_56 56
#define ORVANTA_PLUGIN_VALUE_BITRATE ORVANTA_PLUGIN_VALUE_55
#define ORVANTA_PLUGIN_VALUE_FORMAT ORVANTA_PLUGIN_VALUE_56

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

/* What the service asks of a WMA encoder (OpenEncoder). value55 and value56 are the two numbers
 * of GetValue 55 and 56 as the console handed them over, zero when none were. */
typedef struct OrvantaEncoderSettings {
    int32_t value55;
    int32_t value56;
} OrvantaEncoderSettings;

/* What an opened encoder produces, all a container needs to describe the stream. */
typedef struct OrvantaEncoderFormat {
    uint16_t formatTag;   /* audio format tag of the codec: 0x0161 for WMA version 2 */
    uint16_t channels;    /* channels of the PCM to feed and of the packets */
    int32_t sampleRate;   /* hertz, of the PCM to feed and of the packets */
    int32_t bitrate;      /* bits per second of the packets */
    int32_t blockAlign;   /* bytes of every packet (all packets have this size) */
    int32_t frameSamples; /* samples per channel that each packet holds */
    int32_t extraSize;    /* bytes used in extra */
    uint8_t extra[64];    /* codec set-up bytes that follow the format in the stream header */
} OrvantaEncoderFormat;

/* Receives one encoded packet: `size` bytes at `data`, valid only during the call; `pts` is the
 * position of its first sample, in samples per channel since OpenEncoder. */
typedef void (*OrvantaPacketSink)(void* context, const uint8_t* data, int32_t size, int64_t pts);

#ifdef __cplusplus
}  // extern "C"

static_assert(sizeof(OrvantaEncoderSettings) == 8);
static_assert(sizeof(OrvantaEncoderFormat) == 88);
static_assert(offsetof(OrvantaEncoderFormat, extra) == 24);

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
    /* 3.-5. The encoding interface, called by a service module, never by the console; one
     * object encodes one stream at a time, and all three calls come from one thread.
     * Plug-ins that do not encode return 0 from all three. */
    /* 3. Opens the encoder with the settings handed over by the console. Returns 1 and fills
     * `format` when the encoder can work with them, 0 when it refuses them (unsupported
     * bitrate, rate or channel count, or the codec library lacks the encoder). Opening an
     * opened encoder closes it first. */
    virtual int32_t OpenEncoder(const OrvantaEncoderSettings* settings,
                                OrvantaEncoderFormat* format) = 0;
    /* 4. Encodes `frames` frames of interleaved signed 16-bit PCM at the opened rate and channel
     * count, calling `sink` for every packet that becomes complete (none, one or several; the
     * encoder keeps the rest for the next call). `pcm` null with `frames` 0 flushes what is
     * kept. Returns the number of packets delivered, or -1 when the encoder is not open or
     * failed. */
    virtual int32_t EncodePcm(const int16_t* pcm, int32_t frames, OrvantaPacketSink sink,
                              void* context) = 0;
    /* 5. Closes the encoder and drops what it kept; returns 1. Safe when not open. */
    virtual int32_t CloseEncoder() = 0;
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
