// CXTreePropertySheet2: a property sheet that lists its pages in a tree on the left instead of
// a row of tabs. The tree is made from the page titles, "::" separating the levels: the page
// "General::Language" sits under the node General, which is a page of its own when one is
// titled "General" and a bare node otherwise. Above the page a frame (PageFrame) shows the
// selected node's name and icon on a caption bar. OK and Cancel only; OK hands every page that
// was shown its OnOK, pages never shown write nothing.
//
// The sheet is a tree, a caption frame and a stack of page widgets on a QDialog. The stack is
// the sheet's model of the pages; the tree mirrors it. With tree mode off the same stack sits
// under a plain tab bar.
#pragma once

#include <QDialog>
#include <QIcon>
#include <QRect>
#include <QString>
#include <QWidget>

#include <memory>
#include <type_traits>
#include <utility>
#include <vector>

class QDialogButtonBox;
class QModelIndex;
class QPainter;
class QStackedWidget;
class QTabBar;
class QTreeWidget;
class QTreeWidgetItem;
class QVBoxLayout;

namespace orvanta {

// One page of a sheet. Its widget is built by the derived class; the sheet calls the hooks
// below as the user moves between pages and closes the sheet.
class CPropertyPage : public QWidget {
    Q_OBJECT

public:
    // `title` is the page's place in the tree ("Station::Private").
    explicit CPropertyPage(QString title, QWidget* parent = nullptr);
    ~CPropertyPage() override;

    const QString& Title() const { return m_title; }
    // Read when the tree is built: set it before the page is added.
    void SetTitle(QString title) { m_title = std::move(title); }
    // Index of the page's icon in the sheet's page image list; -1 for none.
    int IconIndex() const { return m_iconIndex; }
    void SetIconIndex(int index) { m_iconIndex = index; }
    // True once the page has been the active page: only such pages take part in OK and Cancel.
    bool WasShown() const { return m_wasShown; }

    // The first time the page becomes active, before its first OnSetActive: fill the controls.
    virtual void OnInitDialog() {}
    // Each time the page becomes the active page.
    virtual void OnSetActive() {}
    // The user is leaving the page (another page, a node without a page, or OK). Returning
    // false keeps the user on it; the page tells the user why.
    virtual bool OnKillActive() { return true; }
    // OK: take the controls' values. Called for every page that was shown.
    virtual void OnOK() {}
    // Cancel: called for every page that was shown. Nothing is to be written.
    virtual void OnCancel() {}

private:
    friend class CXTreePropertySheet2;

    QString m_title;
    int m_iconIndex = -1;
    bool m_wasShown = false;
};

// The area where a tabbed sheet shows its tabs: a caption bar with the page's name and icon,
// the page below it, and a message in the page area when the selected node has no page.
// Derived frames decide the geometry and the drawing; the page widgets are laid out in
// PageRect() through the frame's contents margins.
class PageFrame : public QWidget {
    Q_OBJECT

public:
    explicit PageFrame(QWidget* parent = nullptr);
    ~PageFrame() override;

    void ShowCaption(bool show);
    bool IsCaptionShown() const { return m_showCaption; }
    void SetCaptionHeight(int height);
    int CaptionHeight() const { return m_captionHeight; }
    void SetCaption(const QString& text, const QIcon& icon);
    const QString& CaptionText() const { return m_captionText; }
    const QIcon& CaptionIcon() const { return m_captionIcon; }
    void SetMessageText(const QString& text);
    const QString& MessageText() const { return m_messageText; }

    // Where the page goes, and where the caption is drawn, in the frame's coordinates.
    virtual QRect PageRect() const = 0;
    virtual QRect CaptionRect() const = 0;

protected:
    virtual void DrawCaption(QPainter& painter) = 0;
    virtual void DrawMessage(QPainter& painter) = 0;

    void resizeEvent(QResizeEvent* event) override;
    // Keeps the page area and the contents rectangle one and the same.
    void UpdatePageMargins();

private:
    bool m_showCaption = false;
    int m_captionHeight = 0;
    QString m_captionText;
    QIcon m_captionIcon;
    QString m_messageText;
};

// The frame drawn in the current style's tab pane, with a caption bar that fades from the
// highlight colour into the pane.
class ThemedPageFrame final : public PageFrame {
    Q_OBJECT

public:
    explicit ThemedPageFrame(QWidget* parent = nullptr);

    QRect PageRect() const override;
    QRect CaptionRect() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void DrawCaption(QPainter& painter) override;
    void DrawMessage(QPainter& painter) override;

private:
    // The pane's inside: the frame less the style's frame width.
    QRect ContentRect() const;
};

class CXTreePropertySheet2 : public QDialog {
    Q_OBJECT

public:
    static constexpr int kPageTreeId = 32494;
    static constexpr int kPageFrameId = 0xFFFF;
    // The class library's id of a sheet's tab strip (shown with tree mode off).
    static constexpr int kTabControlId = 0x3020;
    static constexpr int kOkButtonId = 1;
    static constexpr int kCancelButtonId = 2;
    static constexpr int kDefaultTreeWidth = 150;
    // The tree ends this far before the frame.
    static constexpr int kTreeGap = 5;
    // Tree and caption icons are 16 x 16.
    static constexpr int kImageSize = 16;

    // A node's data: the page index (-1 for a node that only holds other nodes), and the
    // indexes of its normal and selected images in the tree image list (-1 for none).
    static constexpr int kPageIndexRole = Qt::UserRole;
    static constexpr int kImageRole = Qt::UserRole + 1;
    static constexpr int kSelectedImageRole = Qt::UserRole + 2;

    // `startPage` is the page shown first.
    explicit CXTreePropertySheet2(const QString& caption, QWidget* parent = nullptr,
                                  int startPage = 0);
    ~CXTreePropertySheet2() override;

    // Options. They can be changed only until the sheet is first shown (false afterwards).
    // With treeMode false the sheet is a tabbed sheet and the other three stay as they were.
    bool SetTreeMode(bool treeMode, bool pageCaption = false, bool treeImages = false,
                     bool expandAll = false);
    bool SetTreeWidth(int width);
    bool SetPageCaption(bool pageCaption);
    bool SetTreeImages(bool treeImages);
    bool SetExpandAll(bool expandAll);
    bool IsTreeMode() const { return m_treeMode; }
    int TreeWidth() const { return m_treeWidth; }

    // The text shown in the page area while a node without a page is selected; "%s" there
    // stands for the node's name. Empty by default.
    void SetEmptyPageMessage(QString format) { m_emptyPageMessage = std::move(format); }

    // Pages, in the order they are added; the sheet owns them.
    template <class Page>
    Page& AddPage(std::unique_ptr<Page> page) {
        static_assert(std::is_base_of_v<CPropertyPage, Page>);
        Page& added = *page;
        AdoptPage(std::move(page));
        return added;
    }
    int GetPageCount() const { return static_cast<int>(m_pages.size()); }
    CPropertyPage* GetPage(int index) const;
    // -1 for a page that is not in this sheet.
    int GetPageIndex(const CPropertyPage* page) const;

    // The active page: the one shown, or the one last shown while a node without a page is
    // selected. Before the sheet is first shown, the start page.
    int GetActiveIndex() const;
    CPropertyPage* GetActivePage() const;
    // Makes page `index` active. False when the index is out of range or the active page does
    // not let go.
    bool SetActivePage(int index);

    // The pages' images, which IconIndex() of a page points into; shown on tabs and, with tree
    // images on, copied into the tree image list when the tree is built.
    void SetPageImageList(std::vector<QIcon> images) { m_pageImages = std::move(images); }
    // The tree's own image list; replacing it redraws the nodes with the new images.
    void SetTreeImageList(std::vector<QIcon> images);
    const std::vector<QIcon>& TreeImageList() const { return m_treeImages; }
    // A node's images from the tree image list: `image` normally, `selectedImage` while the
    // node is selected.
    void SetItemImages(QTreeWidgetItem* item, int image, int selectedImage);

    // The tree and the frame exist from the sheet's initialisation in tree mode on; null
    // before it and in tab mode.
    QTreeWidget* GetPageTree() const { return m_tree; }
    PageFrame* GetPageFrame() const { return m_frame; }

    // Builds the window: tree, frame and buttons, then shows the start page. Showing the
    // sheet (exec(), show()) does it; tests may call it alone.
    void InitDialog();
    bool IsInitialised() const { return m_initialised; }

    // The first "::" that no backslash escapes splits a title into its first level and the
    // rest. In the level "\::" stands for "::" and "\\" for "\"; the rest keeps its escapes
    // for the next split. Without a separator the rest is empty.
    struct TitleSegment {
        QString segment;
        QString rest;
    };
    static TitleSegment SplitTitleSegment(const QString& title);
    // The node of `title` below `parent`, made where missing (made nodes carry no page).
    static QTreeWidgetItem* FindOrInsertPath(const QString& title, QTreeWidgetItem& parent);

    // The tree from the page titles, in page order.
    void BuildPageTree();
    // The node of a page; null for an index out of range.
    QTreeWidgetItem* FindPageItem(int index) const;
    // Selects the node of a page without asking any page.
    void SelectPageItem(int index);
    // Selects the node of the active page.
    void SyncTreeToTab();
    // The caption (and the message of a node without a page) for the selected node.
    void UpdatePageCaption();
    // Ctrl+Tab and Ctrl+Shift+Tab: the next and previous node in the order the expanded tree
    // shows them, wrapping around at both ends; with tree mode off, the next and previous tab.
    void NextPage();
    void PreviousPage();
    void ExpandAllItems();

    // OK: the active page is asked to let go first; if it does, every page that was shown
    // takes its values and the sheet closes with Accepted.
    void accept() override;
    // Cancel, Escape, closing the window: the shown pages are told and nothing is written.
    void reject() override;
    void setVisible(bool visible) override;

protected:
    // Builds the window; a derived sheet may extend it (icons for the tree, say) after
    // calling this one.
    virtual void OnInitDialog();
    // The message of a node without a page: `format` filled with the node's name.
    virtual QString FormatEmptyPageMessage(const QString& format, const QString& caption) const;
    virtual std::unique_ptr<QTreeWidget> CreatePageTreeControl();
    virtual std::unique_ptr<PageFrame> CreatePageFrame();

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void AdoptPage(std::unique_ptr<CPropertyPage> page);
    void InitTreeMode(QVBoxLayout& layout);
    void InitTabMode(QVBoxLayout& layout);
    // Makes page `index` the visible, active page; the previous one has already let go.
    void ShowPage(int index);
    // Hides the active page (a node without a page is selected).
    void HidePage();
    // The tree's selection is about to move to the node at `index`: may it?
    bool OnTreeSelectionChanging(const QModelIndex& index);
    void OnTabChanged(int index);
    void ApplyItemIcon(QTreeWidgetItem& item) const;
    QIcon TreeImage(int index) const;
    QIcon PageImage(int index) const;
    QTreeWidgetItem* NextNode(QTreeWidgetItem* item) const;
    QTreeWidgetItem* PreviousNode(QTreeWidgetItem* item) const;
    QTreeWidgetItem* LastNode() const;
    // Selects a node as the user would: the pages are asked.
    void SelectNode(QTreeWidgetItem* item);

    // Options.
    bool m_treeMode = true;
    bool m_pageCaption = false;
    bool m_treeImagesOn = false;
    bool m_expandAll = false;
    int m_treeWidth = kDefaultTreeWidth;
    QString m_emptyPageMessage;

    std::vector<std::unique_ptr<CPropertyPage>> m_pages;
    std::vector<QIcon> m_pageImages;
    std::vector<QIcon> m_treeImages;
    int m_activeIndex = 0;
    bool m_pageVisible = false;
    bool m_initialised = false;
    // Set while the sheet itself moves the tree's selection, so that the move asks no page.
    bool m_inSelectionChange = false;

    // Child widgets.
    QStackedWidget* m_stack = nullptr;
    QTreeWidget* m_tree = nullptr;
    PageFrame* m_frame = nullptr;
    QTabBar* m_tabBar = nullptr;
    QDialogButtonBox* m_buttons = nullptr;
};

}  // namespace orvanta
