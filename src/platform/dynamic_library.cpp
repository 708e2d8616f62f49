#include "platform/dynamic_library.h"

#include "platform/program_path.h"

#include <dlfcn.h>
#include <unistd.h>
#include <utility>

namespace orvanta::platform {

std::string ResolveLibraryPath(const std::string& path) {
    if (path.empty() || path.find('/') != std::string::npos) {
        return path;
    }
    // dlopen never looks in the program's own folder for a bare name, and an executable's
    // $ORIGIN does not help when the call comes from a library: resolve it here.
    std::string program = ProgramPath();
    std::string::size_type slash = program.rfind('/');
    if (slash == std::string::npos) {
        return path;
    }
    std::string candidate = program.substr(0, slash + 1) + path;
    return ::access(candidate.c_str(), F_OK) == 0 ? candidate : path;
}

DynamicLibrary::~DynamicLibrary() {
    Close();
}

DynamicLibrary::DynamicLibrary(DynamicLibrary&& other) noexcept
    : m_handle(std::exchange(other.m_handle, nullptr)), m_error(std::move(other.m_error)) {}

DynamicLibrary& DynamicLibrary::operator=(DynamicLibrary&& other) noexcept {
    if (this != &other) {
        Close();
        m_handle = std::exchange(other.m_handle, nullptr);
        m_error = std::move(other.m_error);
    }
    return *this;
}

bool DynamicLibrary::Open(const std::string& path) {
    Close();
    m_error.clear();
    if (path.empty()) {
        m_error = "empty library path";
        return false;
    }
    std::string resolved = ResolveLibraryPath(path);
    m_handle = ::dlopen(resolved.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (m_handle == nullptr) {
        const char* why = ::dlerror();
        m_error = why != nullptr ? why : "cannot load " + resolved;
        return false;
    }
    return true;
}

void DynamicLibrary::Close() {
    if (m_handle != nullptr) {
        ::dlclose(m_handle);
        m_handle = nullptr;
    }
}

void* DynamicLibrary::Symbol(const char* name) const {
    if (m_handle == nullptr || name == nullptr) {
        return nullptr;
    }
    return ::dlsym(m_handle, name);
}

}  // namespace orvanta::platform
