#include "ui/tree_property_sheet.h"

#include "res/string_table.h"
#include "ui/text.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QPainter>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QStackedWidget>
#include <QStyle>
#include <QStyleOptionTabWidgetFrame>
#include <QTabBar>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>

#include <algorithm>
#include <functional>
#include <new>

namespace orvanta {

namespace {

// The icon and the text of a caption stand this far from the bar's left and from each other;
// the text moves this much further right in any case.
constexpr int kCaptionIconMargin = 3;
constexpr int kCaptionTextIndent = 2;

// An integer role of a node; -1 where the node has none.
int RoleInt(const QTreeWidgetItem& item, int role) {
    const QVariant value = item.data(0, role);
    return value.isValid() ? value.toInt() : -1;
}

// The height of one tab of the current style: the caption bar is as high as a tab would be.
int TabItemHeight(QWidget& parent) {
    QTabBar probe(&parent);
    probe.addTab(QString());
    return probe.tabRect(0).height();
}

// In a level, "\::" stands for "::" and "\\" for "\"; any other backslash is kept.
QString UnescapeSegment(const QString& text) {
    QString plain;
    plain.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\\' && i + 1 < text.size()) {
            if (text[i + 1] == u'\\') {
                plain += u'\\';
                ++i;
                continue;
            }
            if (QStringView(text).mid(i + 1, 2) == u"::") {
                plain += QStringLiteral("::");
                i += 2;
                continue;
            }
        }
        plain += text[i];
    }
    return plain;
}

QColor Interpolate(const QColor& from, const QColor& to, int step, int steps) {
    const auto channel = [step, steps](int a, int b) { return a + (b - a) * step / steps; };
    return QColor(channel(from.red(), to.red()), channel(from.green(), to.green()),
                  channel(from.blue(), to.blue()));
}

// The page tree's selection asks before it moves, so that a page that will not be left keeps
// the selection where it was, without a flicker. Every move of the current node (mouse, keys,
// the sheet itself) passes through setCurrentIndex. A click moves the current node first and
// selects afterwards, so a selection that differs from the current node is refused unless a
// permitted move is under way: after a refused click nothing changes at all.
class PageTreeSelectionModel final : public QItemSelectionModel {
public:
    using Changing = std::function<bool(const QModelIndex&)>;

    PageTreeSelectionModel(QAbstractItemModel* model, QObject* parent, Changing changing)
        : QItemSelectionModel(model, parent), m_changing(std::move(changing)) {}

    using QItemSelectionModel::select;

    // The sheet is going away before the tree: from now on every move is let through.
    void Detach() { m_changing = nullptr; }

    void setCurrentIndex(const QModelIndex& index, SelectionFlags command) override {
        if (index != currentIndex() && m_changing && !m_changing(index)) {
            return;
        }
        QScopedValueRollback admitting(m_admitting, true);
        QItemSelectionModel::setCurrentIndex(index, command);
    }

    void select(const QItemSelection& selection, SelectionFlags command) override {
        if (!m_admitting && (command & (Select | Toggle)) && !OnlyCurrentRow(selection)) {
            return;
        }
        QItemSelectionModel::select(selection, command);
    }

private:
    bool OnlyCurrentRow(const QItemSelection& selection) const {
        const QModelIndex current = currentIndex();
        return std::all_of(selection.begin(), selection.end(), [&](const QItemSelectionRange& r) {
            return r.parent() == current.parent() && r.top() == current.row() &&
                   r.bottom() == current.row();
        });
    }

    Changing m_changing;
    bool m_admitting = false;
};

}  // namespace

// CPropertyPage

CPropertyPage::CPropertyPage(QString title, QWidget* parent)
    : QWidget(parent), m_title(std::move(title)) {}

CPropertyPage::~CPropertyPage() = default;

// PageFrame

PageFrame::PageFrame(QWidget* parent) : QWidget(parent) {}

PageFrame::~PageFrame() = default;

void PageFrame::ShowCaption(bool show) {
    m_showCaption = show;
    UpdatePageMargins();
    update();
}

void PageFrame::SetCaptionHeight(int height) {
    m_captionHeight = height;
    UpdatePageMargins();
    update();
}

void PageFrame::SetCaption(const QString& text, const QIcon& icon) {
    m_captionText = text;
    m_captionIcon = icon;
    update(CaptionRect());
}

void PageFrame::SetMessageText(const QString& text) {
    m_messageText = text;
    update(PageRect());
}

void PageFrame::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    UpdatePageMargins();
}

void PageFrame::UpdatePageMargins() {
    const QRect all = rect();
    const QRect page = PageRect();
    setContentsMargins(page.left() - all.left(), page.top() - all.top(), all.right() - page.right(),
                       all.bottom() - page.bottom());
}

// ThemedPageFrame

ThemedPageFrame::ThemedPageFrame(QWidget* parent) : PageFrame(parent) {}

QRect ThemedPageFrame::ContentRect() const {
    QStyleOptionTabWidgetFrame option;
    option.initFrom(this);
    const int frameWidth = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, this);
    return rect().adjusted(frameWidth, frameWidth, -frameWidth, -frameWidth);
}

QRect ThemedPageFrame::PageRect() const {
    QRect page = ContentRect();
    if (IsCaptionShown()) {
        page.setTop(page.top() + CaptionHeight() + 1);
    }
    return page;
}

QRect ThemedPageFrame::CaptionRect() const {
    const QRect content = ContentRect();
    return QRect(content.left(), content.top(), content.width(), CaptionHeight());
}

void ThemedPageFrame::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    QStyleOptionTabWidgetFrame option;
    option.initFrom(this);
    option.rect = rect();
    option.shape = QTabBar::RoundedNorth;
    option.lineWidth = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, this);
    style()->drawPrimitive(QStyle::PE_FrameTabWidget, &option, &painter, this);
    if (IsCaptionShown() && CaptionHeight() > 0) {
        DrawCaption(painter);
    }
    if (!MessageText().isEmpty()) {
        DrawMessage(painter);
    }
}

void ThemedPageFrame::DrawCaption(QPainter& painter) {
    const QRect bar = CaptionRect();
    if (bar.width() <= 0) {
        return;
    }
    // The bar fades from the highlight into the pane, so its right end melts into the page.
    const QColor left = palette().color(QPalette::Active, QPalette::Highlight);
    const QColor right = palette().color(QPalette::Window);
    for (int x = 0; x < bar.width(); ++x) {
        painter.setPen(Interpolate(left, right, x, bar.width()));
        painter.drawLine(bar.left() + x, bar.top(), bar.left() + x, bar.bottom());
    }

    int textLeft = bar.left();
    if (!CaptionIcon().isNull()) {
        const QRect iconRect(bar.left() + kCaptionIconMargin,
                             bar.top() + (bar.height() - CXTreePropertySheet2::kImageSize) / 2,
                             CXTreePropertySheet2::kImageSize, CXTreePropertySheet2::kImageSize);
        CaptionIcon().paint(&painter, iconRect);
        textLeft = iconRect.right() + 1 + kCaptionIconMargin;
    }
    textLeft += kCaptionTextIndent;

    QFont captionFont = font();
    captionFont.setBold(true);
    painter.setFont(captionFont);
    painter.setPen(palette().color(QPalette::Active, QPalette::HighlightedText));
    const QRect textRect(textLeft, bar.top(), std::max(0, bar.right() - textLeft + 1),
                         bar.height());
    const QString text =
        QFontMetrics(captionFont).elidedText(CaptionText(), Qt::ElideRight, textRect.width());
    painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
}

void ThemedPageFrame::DrawMessage(QPainter& painter) {
    painter.setFont(font());
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(PageRect(), Qt::AlignCenter | Qt::TextSingleLine, MessageText());
}

// CXTreePropertySheet2

CXTreePropertySheet2::CXTreePropertySheet2(const QString& caption, QWidget* parent, int startPage)
    : QDialog(parent), m_activeIndex(std::max(0, startPage)) {
    setWindowTitle(caption);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    // The pages live in the stack from the moment they are added; the window around it is
    // built when the sheet is first shown.
    m_stack = new QStackedWidget(this);
}

CXTreePropertySheet2::~CXTreePropertySheet2() {
    if (m_initialised) {
        QCoreApplication::instance()->removeEventFilter(this);
    }
    // The tree and the tab bar are destroyed with the window's children, after this part of
    // the sheet: they must not call back into it.
    if (m_tree != nullptr) {
        QItemSelectionModel* selection = m_tree->selectionModel();
        if (auto* asking = dynamic_cast<PageTreeSelectionModel*>(selection)) {
            asking->Detach();
        }
        disconnect(selection, nullptr, this, nullptr);
    }
    if (m_tabBar != nullptr) {
        disconnect(m_tabBar, nullptr, this, nullptr);
    }
}

bool CXTreePropertySheet2::SetTreeMode(bool treeMode, bool pageCaption, bool treeImages,
                                       bool expandAll) {
    if (m_initialised) {
        return false;
    }
    m_treeMode = treeMode;
    if (treeMode) {
        m_pageCaption = pageCaption;
        m_treeImagesOn = treeImages;
        m_expandAll = expandAll;
    }
    return true;
}

bool CXTreePropertySheet2::SetTreeWidth(int width) {
    if (m_initialised) {
        return false;
    }
    m_treeWidth = width;
    return true;
}

bool CXTreePropertySheet2::SetPageCaption(bool pageCaption) {
    if (m_initialised) {
        return false;
    }
    m_pageCaption = pageCaption;
    return true;
}

bool CXTreePropertySheet2::SetTreeImages(bool treeImages) {
    if (m_initialised) {
        return false;
    }
    m_treeImagesOn = treeImages;
    return true;
}

bool CXTreePropertySheet2::SetExpandAll(bool expandAll) {
    if (m_initialised) {
        return false;
    }
    m_expandAll = expandAll;
    return true;
}

void CXTreePropertySheet2::AdoptPage(std::unique_ptr<CPropertyPage> page) {
    CPropertyPage& added = *page;
    m_pages.push_back(std::move(page));
    m_stack->addWidget(&added);
    if (!m_initialised) {
        return;
    }
    if (m_tabBar) {
        const QSignalBlocker quiet(m_tabBar);
        m_tabBar->addTab(PageImage(added.IconIndex()), added.Title());
    }
    if (m_tree) {
        BuildPageTree();
    }
    if (GetPageCount() == 1 || !m_pageVisible) {
        ShowPage(std::min(m_activeIndex, GetPageCount() - 1));
    } else {
        SyncTreeToTab();
    }
}

CPropertyPage* CXTreePropertySheet2::GetPage(int index) const {
    if (index < 0 || index >= GetPageCount()) {
        return nullptr;
    }
    return m_pages[static_cast<size_t>(index)].get();
}

int CXTreePropertySheet2::GetPageIndex(const CPropertyPage* page) const {
    const auto found = std::find_if(m_pages.begin(), m_pages.end(),
                                    [page](const auto& owned) { return owned.get() == page; });
    return found == m_pages.end() ? -1 : static_cast<int>(found - m_pages.begin());
}

int CXTreePropertySheet2::GetActiveIndex() const {
    return m_pages.empty() ? -1 : std::min(m_activeIndex, GetPageCount() - 1);
}

CPropertyPage* CXTreePropertySheet2::GetActivePage() const {
    return GetPage(GetActiveIndex());
}

bool CXTreePropertySheet2::SetActivePage(int index) {
    if (index < 0 || index >= GetPageCount()) {
        return false;
    }
    if (!m_initialised) {
        m_activeIndex = index;
        return true;
    }
    if (m_pageVisible && index == m_activeIndex) {
        SyncTreeToTab();
        UpdatePageCaption();
        return true;
    }
    if (m_pageVisible && !GetActivePage()->OnKillActive()) {
        return false;
    }
    ShowPage(index);
    return true;
}

void CXTreePropertySheet2::ShowPage(int index) {
    m_activeIndex = index;
    CPropertyPage& page = *m_pages[static_cast<size_t>(index)];
    if (!page.m_wasShown) {
        page.m_wasShown = true;
        page.OnInitDialog();
    }
    m_stack->setCurrentWidget(&page);
    m_stack->show();
    m_pageVisible = true;
    if (m_frame) {
        m_frame->SetMessageText(QString());
    }
    page.OnSetActive();
    if (m_tabBar) {
        const QSignalBlocker quiet(m_tabBar);
        m_tabBar->setCurrentIndex(index);
    }
    SyncTreeToTab();
    UpdatePageCaption();
}

void CXTreePropertySheet2::HidePage() {
    m_stack->hide();
    m_pageVisible = false;
}

void CXTreePropertySheet2::SetTreeImageList(std::vector<QIcon> images) {
    m_treeImages = std::move(images);
    if (!m_tree) {
        return;
    }
    for (QTreeWidgetItemIterator it(m_tree); *it != nullptr; ++it) {
        ApplyItemIcon(**it);
    }
    UpdatePageCaption();
}

void CXTreePropertySheet2::SetItemImages(QTreeWidgetItem* item, int image, int selectedImage) {
    if (item == nullptr) {
        return;
    }
    item->setData(0, kImageRole, image);
    item->setData(0, kSelectedImageRole, selectedImage);
    ApplyItemIcon(*item);
    if (m_tree && item == m_tree->currentItem()) {
        UpdatePageCaption();
    }
}

void CXTreePropertySheet2::ApplyItemIcon(QTreeWidgetItem& item) const {
    // The view draws an icon's Selected pixmaps for the selected node, so one icon carries
    // both images.
    const QSize size(kImageSize, kImageSize);
    QIcon icon;
    const QIcon normal = TreeImage(RoleInt(item, kImageRole));
    const QIcon selected = TreeImage(RoleInt(item, kSelectedImageRole));
    if (!normal.isNull()) {
        icon.addPixmap(normal.pixmap(size), QIcon::Normal);
    }
    if (!selected.isNull()) {
        icon.addPixmap(selected.pixmap(size), QIcon::Selected);
    }
    item.setIcon(0, icon);
}

QIcon CXTreePropertySheet2::TreeImage(int index) const {
    if (index < 0 || index >= static_cast<int>(m_treeImages.size())) {
        return QIcon();
    }
    return m_treeImages[static_cast<size_t>(index)];
}

QIcon CXTreePropertySheet2::PageImage(int index) const {
    if (index < 0 || index >= static_cast<int>(m_pageImages.size())) {
        return QIcon();
    }
    return m_pageImages[static_cast<size_t>(index)];
}

void CXTreePropertySheet2::InitDialog() {
    if (m_initialised) {
        return;
    }
    m_initialised = true;
    OnInitDialog();
}

void CXTreePropertySheet2::OnInitDialog() {
    auto* layout = new QVBoxLayout(this);
    if (m_treeMode) {
        InitTreeMode(*layout);
    } else {
        InitTabMode(*layout);
    }

    m_buttons = new QDialogButtonBox(this);
    QPushButton* ok = m_buttons->addButton(Text(res::kStrButtonOk), QDialogButtonBox::AcceptRole);
    ok->setObjectName("kOkButtonId");
    ok->setDefault(true);
    QPushButton* cancel =
        m_buttons->addButton(Text(res::kStrButtonCancel), QDialogButtonBox::RejectRole);
    cancel->setObjectName("kCancelButtonId");
    connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(m_buttons);

    if (!m_pages.empty()) {
        ShowPage(GetActiveIndex());
    }
    if (m_tree && m_expandAll) {
        ExpandAllItems();
    }
    // Ctrl+Tab must reach the sheet whichever of its controls has the focus, before that
    // control sees the key.
    QCoreApplication::instance()->installEventFilter(this);
}

void CXTreePropertySheet2::InitTreeMode(QVBoxLayout& layout) {
    std::unique_ptr<PageFrame> frame = CreatePageFrame();
    if (!frame) {
        throw std::bad_alloc();
    }
    m_frame = frame.release();
    m_frame->setParent(this);
    m_frame->setObjectName("kPageFrameId");
    m_frame->ShowCaption(m_pageCaption);
    m_frame->SetCaptionHeight(TabItemHeight(*this));
    auto* pageLayout = new QVBoxLayout(m_frame);
    pageLayout->setContentsMargins(0, 0, 0, 0);
    pageLayout->addWidget(m_stack);

    std::unique_ptr<QTreeWidget> tree = CreatePageTreeControl();
    if (!tree) {
        throw std::bad_alloc();
    }
    m_tree = tree.release();
    m_tree->setParent(this);
    m_tree->setObjectName("kPageTreeId");
    m_tree->setAccessibleName(QStringLiteral("PageTree"));
    m_tree->setColumnCount(1);
    m_tree->setHeaderHidden(true);
    m_tree->setRootIsDecorated(true);
    m_tree->setSelectionMode(QAbstractItemView::SingleSelection);
    m_tree->setIconSize(QSize(kImageSize, kImageSize));
    m_tree->setFixedWidth(std::max(0, m_treeWidth - kTreeGap));
    QItemSelectionModel* plain = m_tree->selectionModel();
    auto* selection = new PageTreeSelectionModel(
        m_tree->model(), m_tree,
        [this](const QModelIndex& index) { return OnTreeSelectionChanging(index); });
    m_tree->setSelectionModel(selection);
    plain->deleteLater();
    // The tree widget's own current-item signal stays with the model it was built with.
    connect(selection, &QItemSelectionModel::currentChanged, this, [this] { UpdatePageCaption(); });

    auto* row = new QHBoxLayout;
    row->setSpacing(kTreeGap);
    row->addWidget(m_tree);
    row->addWidget(m_frame, 1);
    layout.addLayout(row, 1);

    BuildPageTree();
}

void CXTreePropertySheet2::InitTabMode(QVBoxLayout& layout) {
    m_tabBar = new QTabBar(this);
    m_tabBar->setObjectName("kTabControlId");
    for (const auto& page : m_pages) {
        m_tabBar->addTab(PageImage(page->IconIndex()), page->Title());
    }
    connect(m_tabBar, &QTabBar::currentChanged, this, [this](int index) { OnTabChanged(index); });

    auto* column = new QVBoxLayout;
    column->setSpacing(0);
    column->addWidget(m_tabBar);
    column->addWidget(m_stack, 1);
    layout.addLayout(column, 1);
}

void CXTreePropertySheet2::OnTabChanged(int index) {
    if (index == m_activeIndex || SetActivePage(index)) {
        return;
    }
    const QSignalBlocker quiet(m_tabBar);
    m_tabBar->setCurrentIndex(m_activeIndex);
}

CXTreePropertySheet2::TitleSegment CXTreePropertySheet2::SplitTitleSegment(const QString& title) {
    qsizetype from = 0;
    while (true) {
        const qsizetype at = title.indexOf(QStringLiteral("::"), from);
        if (at < 0) {
            return {UnescapeSegment(title), QString()};
        }
        qsizetype backslashes = 0;
        while (at - backslashes > 0 && title[at - backslashes - 1] == u'\\') {
            ++backslashes;
        }
        if (backslashes % 2 == 0) {
            return {UnescapeSegment(title.left(at)), title.mid(at + 2)};
        }
        // An escaped "::" is one unit, as the unescaping reads it: the search goes on behind
        // both colons.
        from = at + 2;
    }
}

QTreeWidgetItem* CXTreePropertySheet2::FindOrInsertPath(const QString& title,
                                                        QTreeWidgetItem& parent) {
    QTreeWidgetItem* node = &parent;
    QString remaining = title;
    while (true) {
        TitleSegment split = SplitTitleSegment(remaining);
        // An empty level before a separator (a title that starts with "::", or "A::::B") is
        // skipped: a nameless node could not be told apart from its neighbours. Each turn
        // drops at least the separator, so the walk always ends.
        if (split.segment.isEmpty() && !split.rest.isEmpty()) {
            remaining = std::move(split.rest);
            continue;
        }
        QTreeWidgetItem* child = nullptr;
        for (int i = 0; i < node->childCount() && child == nullptr; ++i) {
            if (node->child(i)->text(0) == split.segment) {
                child = node->child(i);
            }
        }
        if (child == nullptr) {
            child = new QTreeWidgetItem(node, QStringList{split.segment});
            child->setData(0, kPageIndexRole, -1);
            child->setData(0, kImageRole, -1);
            child->setData(0, kSelectedImageRole, -1);
        }
        if (split.rest.isEmpty()) {
            return child;
        }
        node = child;
        remaining = std::move(split.rest);
    }
}

void CXTreePropertySheet2::BuildPageTree() {
    if (!m_tree) {
        return;
    }
    QScopedValueRollback guard(m_inSelectionChange, true);
    m_tree->clear();
    if (m_treeImagesOn) {
        m_treeImages = m_pageImages;
    }
    for (int i = 0; i < GetPageCount(); ++i) {
        const CPropertyPage& page = *m_pages[static_cast<size_t>(i)];
        QTreeWidgetItem* node = FindOrInsertPath(page.Title(), *m_tree->invisibleRootItem());
        node->setData(0, kPageIndexRole, i);
        if (m_treeImagesOn && page.IconIndex() >= 0 &&
            page.IconIndex() < static_cast<int>(m_treeImages.size())) {
            SetItemImages(node, page.IconIndex(), page.IconIndex());
        }
    }
}

QTreeWidgetItem* CXTreePropertySheet2::FindPageItem(int index) const {
    if (!m_tree || index < 0 || index >= GetPageCount()) {
        return nullptr;
    }
    for (QTreeWidgetItemIterator it(m_tree); *it != nullptr; ++it) {
        if (RoleInt(**it, kPageIndexRole) == index) {
            return *it;
        }
    }
    return nullptr;
}

void CXTreePropertySheet2::SelectPageItem(int index) {
    QTreeWidgetItem* item = FindPageItem(index);
    if (item == nullptr) {
        return;
    }
    QScopedValueRollback guard(m_inSelectionChange, true);
    m_tree->setCurrentItem(item);
}

void CXTreePropertySheet2::SyncTreeToTab() {
    SelectPageItem(GetActiveIndex());
}

void CXTreePropertySheet2::UpdatePageCaption() {
    if (!m_tree || !m_frame) {
        return;
    }
    const QTreeWidgetItem* node = m_tree->currentItem();
    if (node == nullptr) {
        return;
    }
    const QString name = node->text(0);
    if (!m_pageVisible) {
        m_frame->SetMessageText(FormatEmptyPageMessage(m_emptyPageMessage, name));
    }
    if (m_frame->IsCaptionShown()) {
        const CPropertyPage* page = GetActivePage();
        const QIcon icon = m_treeImagesOn    ? TreeImage(RoleInt(*node, kImageRole))
                           : page != nullptr ? PageImage(page->IconIndex())
                                             : QIcon();
        m_frame->SetCaption(name, icon);
    }
}

bool CXTreePropertySheet2::OnTreeSelectionChanging(const QModelIndex& index) {
    if (m_inSelectionChange) {
        return true;
    }
    QScopedValueRollback guard(m_inSelectionChange, true);
    const QVariant pageData = index.data(kPageIndexRole);
    const int page = pageData.isValid() ? pageData.toInt() : -1;
    bool allow = true;
    if (page >= 0) {
        allow = SetActivePage(page);
    } else if (m_pageVisible) {
        allow = GetActivePage()->OnKillActive();
        if (allow) {
            HidePage();
        }
    }
    m_tree->setFocus();
    return allow;
}

QTreeWidgetItem* CXTreePropertySheet2::NextNode(QTreeWidgetItem* item) const {
    QTreeWidgetItem* root = m_tree->invisibleRootItem();
    if (item == nullptr) {
        return root->child(0);
    }
    if (item->childCount() > 0) {
        return item->child(0);
    }
    for (QTreeWidgetItem* node = item; node != root;) {
        QTreeWidgetItem* parent = node->parent() != nullptr ? node->parent() : root;
        const int next = parent->indexOfChild(node) + 1;
        if (next < parent->childCount()) {
            return parent->child(next);
        }
        node = parent;
    }
    return root->child(0);
}

QTreeWidgetItem* CXTreePropertySheet2::PreviousNode(QTreeWidgetItem* item) const {
    if (item == nullptr) {
        return LastNode();
    }
    QTreeWidgetItem* parent =
        item->parent() != nullptr ? item->parent() : m_tree->invisibleRootItem();
    const int index = parent->indexOfChild(item);
    if (index > 0) {
        QTreeWidgetItem* node = parent->child(index - 1);
        while (node->childCount() > 0) {
            node = node->child(node->childCount() - 1);
        }
        return node;
    }
    if (item->parent() != nullptr) {
        return item->parent();
    }
    return LastNode();
}

QTreeWidgetItem* CXTreePropertySheet2::LastNode() const {
    QTreeWidgetItem* node = m_tree->invisibleRootItem();
    while (node->childCount() > 0) {
        node = node->child(node->childCount() - 1);
    }
    return node == m_tree->invisibleRootItem() ? nullptr : node;
}

void CXTreePropertySheet2::SelectNode(QTreeWidgetItem* item) {
    if (item != nullptr) {
        m_tree->setCurrentItem(item);
    }
}

void CXTreePropertySheet2::NextPage() {
    if (m_pages.empty()) {
        return;
    }
    if (!m_tree) {
        SetActivePage((GetActiveIndex() + 1) % GetPageCount());
        return;
    }
    SelectNode(NextNode(m_tree->currentItem()));
}

void CXTreePropertySheet2::PreviousPage() {
    if (m_pages.empty()) {
        return;
    }
    if (!m_tree) {
        SetActivePage((GetActiveIndex() + GetPageCount() - 1) % GetPageCount());
        return;
    }
    SelectNode(PreviousNode(m_tree->currentItem()));
}

void CXTreePropertySheet2::ExpandAllItems() {
    if (!m_tree) {
        return;
    }
    for (QTreeWidgetItemIterator it(m_tree); *it != nullptr; ++it) {
        (*it)->setExpanded(true);
    }
}

void CXTreePropertySheet2::accept() {
    if (m_pageVisible && !GetActivePage()->OnKillActive()) {
        return;
    }
    for (const auto& page : m_pages) {
        if (page->WasShown()) {
            page->OnOK();
        }
    }
    QDialog::accept();
}

void CXTreePropertySheet2::reject() {
    for (const auto& page : m_pages) {
        if (page->WasShown()) {
            page->OnCancel();
        }
    }
    QDialog::reject();
}

void CXTreePropertySheet2::setVisible(bool visible) {
    if (visible) {
        InitDialog();
    }
    QDialog::setVisible(visible);
}

QString CXTreePropertySheet2::FormatEmptyPageMessage(const QString& format,
                                                     const QString& caption) const {
    return QString::fromStdString(res::FormatString(format.toStdString(), {caption.toStdString()}));
}

std::unique_ptr<QTreeWidget> CXTreePropertySheet2::CreatePageTreeControl() {
    return std::make_unique<QTreeWidget>();
}

std::unique_ptr<PageFrame> CXTreePropertySheet2::CreatePageFrame() {
    return std::make_unique<ThemedPageFrame>();
}

bool CXTreePropertySheet2::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && isVisible()) {
        const auto* widget = qobject_cast<QWidget*>(watched);
        const auto* key = static_cast<QKeyEvent*>(event);
        if (widget != nullptr && widget->window() == this &&
            key->modifiers().testFlag(Qt::ControlModifier)) {
            const bool shift = key->modifiers().testFlag(Qt::ShiftModifier);
            if (key->key() == Qt::Key_Backtab || (key->key() == Qt::Key_Tab && shift)) {
                PreviousPage();
                return true;
            }
            if (key->key() == Qt::Key_Tab) {
                NextPage();
                return true;
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace orvanta
