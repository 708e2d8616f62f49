#include "support/module_holder.h"

#include <cstring>

namespace orvanta {

namespace {

// dlsym gives an object pointer; the factory is a function. The two have the same size on
// every platform we load modules on.
template <typename Function>
Function AsFunction(void* symbol) {
    static_assert(sizeof(Function) == sizeof(void*));
    Function function;
    std::memcpy(&function, &symbol, sizeof(function));
    return function;
}

}  // namespace

CModuleHolder::~CModuleHolder() {
    Release();
}

void CModuleHolder::Release() {
    void* object = m_object;
    const Kind kind = m_kind;
    m_object = nullptr;
    m_kind = Kind::None;
    if (object != nullptr) {
        switch (kind) {
            case Kind::Plugin:
                static_cast<IPlugin*>(object)->Destroy(ORVANTA_DESTROY_FREE);
                break;
            case Kind::ServiceModule:
                static_cast<IServiceController*>(object)->Destroy(ORVANTA_DESTROY_FREE);
                break;
            case Kind::CrashReporter:
                static_cast<ICrashReporter*>(object)->Destroy(ORVANTA_DESTROY_FREE);
                break;
            case Kind::None:
                break;
        }
    }
    m_library.Close();
}

void* CModuleHolder::OpenFactory(const std::string& path, const char* factoryName) {
    Release();
    m_error.clear();
    if (!m_library.Open(path)) {
        m_error = m_library.Error();
        return nullptr;
    }
    void* factory = m_library.Symbol(factoryName);
    if (factory == nullptr) {
        m_error = path + ": no export " + factoryName;
        Release();
    }
    return factory;
}

void* CModuleHolder::Hold(void* object, Kind kind) {
    if (object == nullptr) {
        if (m_error.empty()) {
            m_error = "the module's factory returned no object";
        }
        Release();
        return nullptr;
    }
    m_object = object;
    m_kind = kind;
    return object;
}

IPlugin* CModuleHolder::LoadPlugin(const std::string& path, const char* registryRoot) {
    void* factory = OpenFactory(path, ORVANTA_PLUGIN_FACTORY_NAME);
    if (factory == nullptr) {
        return nullptr;
    }
    IPlugin* object = nullptr;
    try {
        object =
            AsFunction<OrvantaPluginFactory>(factory)(registryRoot != nullptr ? registryRoot : "");
    } catch (...) {
        m_error = path + ": the factory threw";
    }
    return static_cast<IPlugin*>(Hold(object, Kind::Plugin));
}

IServiceController* CModuleHolder::LoadServiceModule(const std::string& path,
                                                     const char* registryRoot) {
    void* factory = OpenFactory(path, ORVANTA_SERVICE_FACTORY_NAME);
    if (factory == nullptr) {
        return nullptr;
    }
    IServiceController* object = nullptr;
    try {
        object = AsFunction<OrvantaServiceControllerFactory>(factory)(
            registryRoot != nullptr ? registryRoot : "");
    } catch (...) {
        m_error = path + ": the factory threw";
    }
    return static_cast<IServiceController*>(Hold(object, Kind::ServiceModule));
}

ICrashReporter* CModuleHolder::LoadCrashReporter(const std::string& path) {
    void* factory = OpenFactory(path, ORVANTA_CRASH_REPORTER_FACTORY_NAME);
    if (factory == nullptr) {
        return nullptr;
    }
    ICrashReporter* object = nullptr;
    try {
        object = AsFunction<OrvantaCrashReporterFactory>(factory)();
    } catch (...) {
        m_error = path + ": the factory threw";
    }
    return static_cast<ICrashReporter*>(Hold(object, Kind::CrashReporter));
}

IPlugin* CModuleHolder::Plugin() const {
    return m_kind == Kind::Plugin ? static_cast<IPlugin*>(m_object) : nullptr;
}

IServiceController* CModuleHolder::Controller() const {
    return m_kind == Kind::ServiceModule ? static_cast<IServiceController*>(m_object) : nullptr;
}

ICrashReporter* CModuleHolder::CrashReporter() const {
    return m_kind == Kind::CrashReporter ? static_cast<ICrashReporter*>(m_object) : nullptr;
}

void* CModuleHolder::Symbol(const char* name) const {
    return m_object != nullptr ? m_library.Symbol(name) : nullptr;
}

}  // namespace orvanta
