// The WMA encoder plug-in the console named, loaded from the module's own folder (the program
// folder) and opened with the values the console handed over.
#pragma once

#include "engine/module_folder.h"

#include <memory>
#include <orvanta/plugin.h>
#include <string>

namespace orvanta::wma {

class EncoderPlugin {
public:
    // Loads `fileName` (a file name, never a path; the bundled encoder when empty) from
    // `folder` and opens its encoder with the two values (the plug-in's stored choice when
    // both are zero); null, with a reason an operator can act on, when the file is missing, is
    // not an encoder plug-in or refuses the values.
    static std::unique_ptr<EncoderPlugin> Open(const std::string& folder,
                                               const std::string& fileName,
                                               OrvantaEncoderSettings settings, std::string* why);
    ~EncoderPlugin();
    EncoderPlugin(const EncoderPlugin&) = delete;
    EncoderPlugin& operator=(const EncoderPlugin&) = delete;

    const OrvantaEncoderFormat& Format() const { return m_format; }
    // Interleaved 16-bit PCM at Format()'s rate and channels in; `sink` gets each block.
    int32_t Encode(const int16_t* pcm, int32_t frames, OrvantaPacketSink sink, void* context) {
        return m_plugin->EncodePcm(pcm, frames, sink, context);
    }

private:
    EncoderPlugin(void* library, IPlugin* plugin) : m_library(library), m_plugin(plugin) {}

    void* m_library;
    IPlugin* m_plugin;
    OrvantaEncoderFormat m_format{};
};

// The folder this module was loaded from.
using engine::ModuleFolder;

}  // namespace orvanta::wma
