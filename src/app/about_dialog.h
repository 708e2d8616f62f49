// CAboutDialog: the program's name and icon, its own stamped version, the home page and forum
// links, and the licence notice of the audio technologies it streams.
#pragma once

#include <QDialog>

#include <string>

class QLabel;
class QPlainTextEdit;

namespace orvanta {

inline constexpr const char kHomepageUrl[] = "https://www.orvanta.net/";
inline constexpr const char kForumUrl[] = "https://forum.orvanta.net/";

class CAboutDialog : public QDialog {
    Q_OBJECT

public:
    static constexpr int kDialogId = 100;
    static constexpr int kBannerId = 1013;
    static constexpr int kIconId = 1014;
    static constexpr int kNoticeId = 1038;
    static constexpr int kVersionId = 1093;
    static constexpr int kForumLinkId = 1159;
    static constexpr int kHomepageLinkId = 1158;

    // `programPath` is the file whose version stamp the box shows.
    explicit CAboutDialog(const std::string& programPath, QWidget* parent = nullptr);

    QString VersionText() const;
    QString NoticeText() const;

private:
    QLabel* m_version = nullptr;
    QPlainTextEdit* m_notice = nullptr;
};

}  // namespace orvanta
