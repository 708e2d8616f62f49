// The state of the keyboard's modifier keys. The core has no window system of its own: the UI
// layer registers the query of its toolkit at start-up; without one (headless) no key is down.
#pragma once

#include <functional>

namespace orvanta::platform {

inline constexpr unsigned kModifierAlt = 1u;
inline constexpr unsigned kModifierCtrl = 2u;
inline constexpr unsigned kModifierShift = 4u;

using ModifierKeysQuery = std::function<unsigned()>;

// Installs the query (an empty one restores "no key down"). Call on the UI thread at start-up.
void SetModifierKeysQuery(ModifierKeysQuery query);

// kModifier* bits of the keys that are down now.
unsigned QueryModifierKeys();

}  // namespace orvanta::platform
