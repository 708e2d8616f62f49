#include "dialogs/registry_column_layout_store.h"

#include "config/program_settings.h"
#include "config/registry_key.h"

namespace orvanta {

IColumnLayoutStore::Layout CRegistryColumnLayoutStore::Load(const std::string& listName,
                                                            int count) const {
    Layout layout;
    CRegistryKey key;
    if (!key.Open(ApplicationKey() + "\\" + listName, RegistryRoot::CurrentUser)) {
        return layout;
    }
    std::vector<int32_t> values(static_cast<size_t>(count), 0);
    if (key.ReadIntList(kValueColumnWidth, values.data(), count)) {
        layout.widths = values;
    }
    values.assign(static_cast<size_t>(count), 0);
    if (key.ReadIntList(kValueColumnOrder, values.data(), count)) {
        layout.order = values;
    }
    return layout;
}

void CRegistryColumnLayoutStore::Save(const std::string& listName, std::span<const int32_t> widths,
                                      std::span<const int32_t> order) {
    CRegistryKey key;
    if (!key.Create(ApplicationKey() + "\\" + listName, RegistryRoot::CurrentUser)) {
        return;
    }
    key.WriteIntList(kValueColumnWidth, widths.data(), static_cast<int>(widths.size()));
    key.WriteIntList(kValueColumnOrder, order.data(), static_cast<int>(order.size()));
}

}  // namespace orvanta
