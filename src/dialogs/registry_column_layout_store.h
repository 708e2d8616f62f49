// CRegistryColumnLayoutStore: the column layouts of the dialogs' lists, in the user's hive
// below the application key, one subkey per list named as the list, the widths and the order
// as integer lists.
#pragma once

#include "ui/column_layout_store.h"

namespace orvanta {

class CRegistryColumnLayoutStore : public IColumnLayoutStore {
public:
    static constexpr const char* kValueColumnWidth = "ColumnWidth";
    static constexpr const char* kValueColumnOrder = "ColumnOrder";

    Layout Load(const std::string& listName, int count) const override;
    void Save(const std::string& listName, std::span<const int32_t> widths,
              std::span<const int32_t> order) override;
};

}  // namespace orvanta
