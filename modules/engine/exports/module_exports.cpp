// The entries every engine module of ours exports besides its factory: the options entry, the
// start-error entry and the fallback entry. Built into each module (a static library would leave
// them out, since nothing inside the module calls them).
#include "engine/controller.h"

ORVANTA_EXPORT int32_t OrvantaServiceOption(IServiceController* controller, const char* name,
                                            const char* value) {
    auto* ours = dynamic_cast<orvanta::engine::Controller*>(controller);
    if (ours == nullptr || name == nullptr || value == nullptr) {
        return 0;
    }
    return ours->SetOption(name, value) ? 1 : 0;
}

ORVANTA_EXPORT int32_t OrvantaServiceFallback(IServiceController* controller) {
    auto* ours = dynamic_cast<orvanta::engine::Controller*>(controller);
    return ours != nullptr ? ours->FallbackPlaying() : 0;
}

ORVANTA_EXPORT uint64_t OrvantaServiceHeartbeat(IServiceController* controller) {
    auto* ours = dynamic_cast<orvanta::engine::Controller*>(controller);
    return ours != nullptr ? ours->LoopBeats() : 0;
}

ORVANTA_EXPORT const char* OrvantaServiceStartError(IServiceController* controller) {
    auto* ours = dynamic_cast<orvanta::engine::Controller*>(controller);
    return ours != nullptr ? ours->StartError() : "";
}
