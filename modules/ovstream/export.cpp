// ovstream.so's factory (its other entries are those of every engine module, module_exports.cpp).
#include "engine/controller.h"
#include "stream/format_table.h"

#include <new>
#include <orvanta/version_stamp.h>

namespace orvanta::engine {
namespace {

const ModuleIdentity kIdentity = {
    {'O', 'V', 'S', 'T', 'R', 'E', 'A', 'M'},
    "ovstream.so",
    "Orvanta streaming engine (MP3, Ogg Vorbis)",
    // Every format it takes from a source as it is.
    DirectFormatMask(),
    {ORVANTA_VERSION_WORD(ORV_VERSION_MAJOR, ORV_VERSION_MINOR),
     ORVANTA_VERSION_WORD(ORV_VERSION_PATCH, ORV_VERSION_TWEAK)},
};

}  // namespace
}  // namespace orvanta::engine

ORVANTA_EXPORT IServiceController* OrvantaServiceController2(const char*) {
    return new (std::nothrow) orvanta::engine::Controller(orvanta::engine::kIdentity);
}
