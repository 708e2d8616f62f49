// Loading shared libraries: modules, plug-ins and the crash-report module.
#pragma once

#include <string>

namespace orvanta::platform {

// The file-name suffix of loadable libraries on this platform.
inline constexpr const char kLibrarySuffix[] = ".so";

// One loaded library; unloaded when the object is destroyed or Close is called.
class DynamicLibrary {
public:
    DynamicLibrary() = default;
    ~DynamicLibrary();
    DynamicLibrary(DynamicLibrary&& other) noexcept;
    DynamicLibrary& operator=(DynamicLibrary&& other) noexcept;
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;

    // Closes what was open, then loads the library with every symbol resolved now and none
    // made visible to other libraries. A bare file name (no folder) is looked for in the
    // program's folder first, then where the system looks. False on failure; Error() says why.
    bool Open(const std::string& path);
    void Close();
    bool IsOpen() const { return m_handle != nullptr; }

    // The address of an exported symbol, or null.
    void* Symbol(const char* name) const;

    // The system's explanation of the last failed Open, for the debugger output.
    const std::string& Error() const { return m_error; }

private:
    void* m_handle = nullptr;
    std::string m_error;
};

// Where a library name resolves: a bare name becomes the program folder's file of that name
// when it exists there; anything else is returned as it is.
std::string ResolveLibraryPath(const std::string& path);

}  // namespace orvanta::platform
