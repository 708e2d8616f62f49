// CStatusBadges: the status panel's badge images, each as an unlit and a lit image. Loaded from
// the program's resources once at start-up and released at exit; the panel only draws them.
#pragma once

#include <QPixmap>
#include <QSize>

#include <array>

namespace orvanta {

class CStatusBadges {
public:
    enum Badge { kOnAir, kCluster, kFormatMp3Ogg, kFormatWma, kPadlock, kListener };
    static constexpr int kBadgeCount = kListener + 1;

    // The size every image of the badge has, loaded or not.
    static QSize Size(Badge badge);

    // Loads all twelve images, with magenta made transparent. False when one is missing or has
    // the wrong size; the others are loaded all the same.
    bool Load();
    void Release();
    bool IsLoaded() const { return m_loaded; }

    // The image; a null pixmap before Load.
    const QPixmap& Image(Badge badge, bool lit) const;

private:
    // [badge][0] unlit, [badge][1] lit.
    std::array<std::array<QPixmap, 2>, kBadgeCount> m_images;
    bool m_loaded = false;
};

}  // namespace orvanta
