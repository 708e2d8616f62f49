#include "dialogs/config_main_sheet.h"

#include "dialogs/config_directory.h"
#include "dialogs/config_general.h"
#include "dialogs/config_language.h"
#include "dialogs/config_metadata.h"
#include "dialogs/config_network.h"
#include "dialogs/config_plan.h"
#include "dialogs/config_private.h"
#include "dialogs/config_server.h"
#include "dialogs/config_server_type.h"
#include "dialogs/config_station.h"
#include "res/string_table.h"
#include "ui/resources.h"
#include "ui/text.h"

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include <memory>
#include <utility>

namespace orvanta {

namespace {

constexpr int kIconCount = 10;

// The strips are 160 x 16: ten 16 x 16 icons, magenta where the tree shows through.
std::vector<QPixmap> Icons(const QString& resource) {
    InitResources();
    QPixmap strip(resource);
    if (!strip.isNull()) {
        strip.setMask(strip.createMaskFromColor(QColor(255, 0, 255), Qt::MaskInColor));
    }
    std::vector<QPixmap> icons;
    for (int k = 0; k < kIconCount; ++k) {
        icons.push_back(strip.isNull() ? QPixmap() : strip.copy(16 * k, 0, 16, 16));
    }
    return icons;
}

}  // namespace

std::vector<QIcon> TreeImageList(int depth) {
    const bool shallow = depth < 16;
    const std::vector<QPixmap> grey =
        Icons(shallow ? ":/tree/tree_grey_16.png" : ":/tree/tree_grey.png");
    const std::vector<QPixmap> coloured =
        Icons(shallow ? ":/tree/tree_coloured_16.png" : ":/tree/tree_coloured.png");
    std::vector<QIcon> images;
    for (int k = 0; k < kIconCount; ++k) {
        images.emplace_back(grey[static_cast<size_t>(k)]);
        images.emplace_back(coloured[static_cast<size_t>(k)]);
    }
    return images;
}

int TreeIconNumber(const QString& nodeName) {
    // The pages' titles in display order; their icons stand in kTreeIconNumbers in the same
    // order. A node is named by the last level of its page's title, in whatever language the
    // string table speaks.
    static constexpr std::array<uint32_t, 10> kTitleIds = {
        res::kStrGeneralTitle,   res::kStrLanguageTitle, res::kStrFormatTitle,
        res::kStrStationTitle,   res::kStrPrivateTitle,  res::kStrMetadataTitle,
        res::kStrDirectoryTitle, res::kStrPlanTitle,     res::kStrServerTitle,
        res::kStrNetworkTitle};
    for (size_t i = 0; i < kTitleIds.size(); ++i) {
        if (nodeName == Text(kTitleIds[i]).section("::", -1)) {
            return CConfigMainSheet::kTreeIconNumbers[i];
        }
    }
    return -1;
}

CConfigMainSheet::CConfigMainSheet(CServerContext& context, const std::string& caption,
                                   QWidget* parent, int firstPage, QWidget* pluginOwner)
    : CXTreePropertySheet2(QString::fromStdString(caption), parent, firstPage), m_context(context) {
    setObjectName("CConfigMainSheet");
    SetTreeMode(true, true, true, true);
    SetTreeWidth(kTreeWidth);
    // In this order the titles build the tree General (Language, Format), Station (Private,
    // Metadata, Directory Server, Schedule), Server (Network).
    AddPage(std::make_unique<CConfigGeneral>(context));
    AddPage(std::make_unique<CConfigLanguage>(context.ProgramFolder()));
    AddPage(std::make_unique<CConfigStation>(context.config));
    AddPage(std::make_unique<CConfigPrivate>(context.config));
    AddPage(std::make_unique<CConfigMetadata>(context.config));
    AddPage(std::make_unique<CConfigDirectory>(context.config));
    AddPage(std::make_unique<CConfigPlan>(context.config));
    AddPage(std::make_unique<CConfigServer>(context));
    AddPage(std::make_unique<CConfigServerType>(context, pluginOwner));
    AddPage(std::make_unique<CConfigNetwork>(context));
}

void CConfigMainSheet::OnInitDialog() {
    CXTreePropertySheet2::OnInitDialog();
    QTreeWidget* tree = GetPageTree();
    if (tree == nullptr) {
        return;
    }
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    SetTreeImageList(orvanta::TreeImageList(screen ? screen->depth() : 32));
    // Each node by its name, so that the icons stay right whichever pages a build has.
    for (QTreeWidgetItemIterator it(tree); *it; ++it) {
        const int icon = TreeIconNumber((*it)->text(0));
        if (icon >= 0) {
            SetItemImages(*it, 2 * icon, 2 * icon + 1);
        }
    }
}

}  // namespace orvanta
