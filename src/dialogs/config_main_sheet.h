// CConfigMainSheet: the station's configuration pages in one tree sheet. The sheet keeps no
// copy of the configuration: pages read the live record when they fill and write it back on
// OK; a few controls change it at once (see the pages).
#pragma once

#include "startup/server_context.h"
#include "ui/tree_property_sheet.h"

#include <QIcon>

#include <array>
#include <string>
#include <vector>

namespace orvanta {

class CConfigMainSheet : public CXTreePropertySheet2 {
    Q_OBJECT

public:
    static constexpr int kTreeWidth = 180;
    // The tree's icons by node in display order (General, Language, Format, Station, Private,
    // Metadata, Directory Server, Schedule, Server, Network): numbers into the icon strips.
    static constexpr std::array<int, 10> kTreeIconNumbers = {0, 1, 8, 2, 3, 4, 5, 6, 7, 9};

    // `pluginOwner` is handed to the Format page: the window a plug-in's settings dialog
    // belongs to (the console's main window), null for none.
    CConfigMainSheet(CServerContext& context, const std::string& caption, QWidget* parent,
                     int firstPage, QWidget* pluginOwner = nullptr);

protected:
    void OnInitDialog() override;

private:
    CServerContext& m_context;
};

// The tree's image list for a screen of `depth` bits per pixel: icon k grey at 2k and
// coloured at 2k + 1, from the 16-colour strips below 16 bits, else from the true-colour ones.
std::vector<QIcon> TreeImageList(int depth);

// The node's icon number: the name of a tree node → its number in the strips, -1 for none.
int TreeIconNumber(const QString& nodeName);

}  // namespace orvanta
