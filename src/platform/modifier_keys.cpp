#include "platform/modifier_keys.h"

#include <utility>

namespace orvanta::platform {

namespace {
ModifierKeysQuery& Query() {
    static ModifierKeysQuery query;
    return query;
}
}  // namespace

void SetModifierKeysQuery(ModifierKeysQuery query) {
    Query() = std::move(query);
}

unsigned QueryModifierKeys() {
    const ModifierKeysQuery& query = Query();
    return query ? (query() & (kModifierAlt | kModifierCtrl | kModifierShift)) : 0u;
}

}  // namespace orvanta::platform
