#include "encoder_plugin.h"

#include <dlfcn.h>

namespace orvanta::wma {

namespace {
// Where the console keeps plug-in settings, under which the plug-in finds the operator's choice.
constexpr char kPluginRegistryKey[] = "Software\\KELVO\\OVServer\\Plugins";
// The encoder that comes with the program, for a start that named none (the console names one
// only once its Config button was used in that session).
constexpr char kBundledEncoder[] = "ovwmaenc.so";
}  // namespace

std::unique_ptr<EncoderPlugin> EncoderPlugin::Open(const std::string& folder,
                                                   const std::string& fileName,
                                                   OrvantaEncoderSettings settings,
                                                   std::string* why) {
    const auto fail = [why](std::string reason) {
        if (why != nullptr) {
            *why = std::move(reason);
        }
        return nullptr;
    };
    const std::string name = fileName.empty() ? kBundledEncoder : fileName;
    if (name.find('/') != std::string::npos || name == "." || name == "..") {
        return fail("the WMA encoder plug-in \"" + name +
                    "\" is not a file name of the program folder");
    }
    const std::string path = folder + "/" + name;
    void* library = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* error = ::dlerror();
        return fail("the WMA encoder plug-in " + path +
                    " cannot be loaded: " + (error != nullptr ? error : "unknown reason"));
    }
    auto factory =
        reinterpret_cast<OrvantaPluginFactory>(::dlsym(library, ORVANTA_PLUGIN_FACTORY_NAME));
    IPlugin* plugin = factory != nullptr ? factory(kPluginRegistryKey) : nullptr;
    PluginDescriptor descriptor{};
    if (plugin != nullptr) {
        plugin->Describe(&descriptor);
    }
    if (plugin == nullptr || descriptor.kind != ORVANTA_PLUGIN_KIND_WMA_ENCODER) {
        if (plugin != nullptr) {
            plugin->Destroy(ORVANTA_DESTROY_FREE);
        }
        ::dlclose(library);
        return fail(path + " is not a WMA encoder plug-in");
    }
    std::unique_ptr<EncoderPlugin> encoder(new EncoderPlugin(library, plugin));
    if (settings.value55 == 0 && settings.value56 == 0) {
        // None handed over: the settings the operator last chose with the plug-in's dialog.
        plugin->GetValue(ORVANTA_PLUGIN_VALUE_55, &settings.value55);
        plugin->GetValue(ORVANTA_PLUGIN_VALUE_56, &settings.value56);
    }
    if (plugin->OpenEncoder(&settings, &encoder->m_format) == 0 ||
        encoder->m_format.channels == 0 || encoder->m_format.sampleRate <= 0 ||
        encoder->m_format.blockAlign <= 0 || encoder->m_format.blockAlign > 32768) {
        return fail("the WMA encoder refuses " + std::to_string(settings.value55 / 1000) +
                    " kbit/s, " + std::to_string(settings.value56 / 10) + " Hz, " +
                    std::to_string(settings.value56 % 10) +
                    " channel(s); choose others with the encoder's Config button");
    }
    return encoder;
}

EncoderPlugin::~EncoderPlugin() {
    m_plugin->CloseEncoder();
    m_plugin->Destroy(ORVANTA_DESTROY_FREE);
    ::dlclose(m_library);
}

}  // namespace orvanta::wma
