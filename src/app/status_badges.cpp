#include "app/status_badges.h"

#include "ui/resources.h"

#include <QBitmap>
#include <QColor>
#include <QImage>
#include <QString>

namespace orvanta {

namespace {

// The images are drawn with this colour where the panel's black shows through.
constexpr QRgb kTransparentColour = qRgb(255, 0, 255);

struct BadgeFile {
    const char* stem;  // :/badges/<stem>_lit.png and :/badges/<stem>_unlit.png
    int width;
    int height;
};

constexpr std::array<BadgeFile, CStatusBadges::kBadgeCount> kBadgeFiles = {{
    {"on_air", 40, 11},
    {"cluster", 53, 11},
    {"mp3_ogg", 51, 11},
    {"wma", 32, 11},
    {"padlock", 11, 14},
    {"listener", 15, 13},
}};

QPixmap LoadBadge(const BadgeFile& file, bool lit) {
    const QString path =
        QStringLiteral(":/badges/%1_%2.png")
            .arg(QLatin1String(file.stem), lit ? QStringLiteral("lit") : QStringLiteral("unlit"));
    const QImage image(path);
    if (image.isNull() || image.size() != QSize(file.width, file.height)) {
        return {};
    }
    QPixmap pixmap = QPixmap::fromImage(image);
    pixmap.setMask(pixmap.createMaskFromColor(QColor(kTransparentColour), Qt::MaskInColor));
    return pixmap;
}

}  // namespace

QSize CStatusBadges::Size(Badge badge) {
    const BadgeFile& file = kBadgeFiles[static_cast<size_t>(badge)];
    return {file.width, file.height};
}

bool CStatusBadges::Load() {
    InitResources();
    bool all = true;
    for (size_t badge = 0; badge < kBadgeFiles.size(); ++badge) {
        for (size_t lit = 0; lit < 2; ++lit) {
            m_images[badge][lit] = LoadBadge(kBadgeFiles[badge], lit != 0);
            all = all && !m_images[badge][lit].isNull();
        }
    }
    m_loaded = all;
    return all;
}

void CStatusBadges::Release() {
    for (auto& pair : m_images) {
        for (QPixmap& image : pair) {
            image = QPixmap();
        }
    }
    m_loaded = false;
}

const QPixmap& CStatusBadges::Image(Badge badge, bool lit) const {
    return m_images[static_cast<size_t>(badge)][lit ? 1 : 0];
}

}  // namespace orvanta
