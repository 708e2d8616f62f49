// CModuleHolder: one loaded module library and the object its factory returned.
#pragma once

#include "platform/dynamic_library.h"

#include <orvanta/crash_reporter.h>
#include <orvanta/plugin.h>
#include <orvanta/service_module.h>
#include <string>

namespace orvanta {

// Each load releases what was held, loads the library, looks up the factory and calls it;
// when any step fails the holder is released and the result is null. The object lives in the
// module's heap, so Release destroys it through its own Destroy(1) and only then frees the
// library; destroying the holder releases it.
class CModuleHolder {
public:
    CModuleHolder() = default;
    ~CModuleHolder();
    CModuleHolder(const CModuleHolder&) = delete;
    CModuleHolder& operator=(const CModuleHolder&) = delete;

    IPlugin* LoadPlugin(const std::string& path, const char* registryRoot);
    IServiceController* LoadServiceModule(const std::string& path, const char* registryRoot);
    ICrashReporter* LoadCrashReporter(const std::string& path);

    void Release();
    bool IsLoaded() const { return m_object != nullptr; }

    // The held object, or null when the holder holds none of that kind.
    IPlugin* Plugin() const;
    IServiceController* Controller() const;
    ICrashReporter* CrashReporter() const;

    // An export of the held library besides its factory (an optional entry of its contract),
    // or null when it has none or nothing is held.
    void* Symbol(const char* name) const;

    // Why the last load failed, for the debugger output; "" after a load that worked.
    const std::string& Error() const { return m_error; }

private:
    enum class Kind { None, Plugin, ServiceModule, CrashReporter };

    // Loads the library and returns the factory's address, or null (holder released).
    void* OpenFactory(const std::string& path, const char* factoryName);
    void* Hold(void* object, Kind kind);

    // Declared first so that it is destroyed last: the library outlives its object.
    platform::DynamicLibrary m_library;
    void* m_object = nullptr;
    Kind m_kind = Kind::None;
    std::string m_error;
};

}  // namespace orvanta
