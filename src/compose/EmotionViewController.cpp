#include "compose/EmotionViewController.h"

#include "cells/CellContext.h"
#include "cells/WBUtility.h"

#include <QButtonGroup>
#include <QDir>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QPushButton>
#include <QScrollArea>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

EmotionViewController::EmotionViewController(CatalogueProvider catalogue, PathProvider pathForEmotionName,
                                             QWidget* parent)
    : QWidget(parent)
    , catalogue_(std::move(catalogue))
    , pathForEmotionName_(std::move(pathForEmotionName))
{
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(4, 4, 4, 4);
    auto* pages = new QTabWidget(this);
    outer->addWidget(pages);

    // The catalogue: tabs of categories above the grid.
    auto* emotionPage = new QWidget(pages);
    auto* emotionLayout = new QVBoxLayout(emotionPage);
    emotionLayout->setContentsMargins(0, 4, 0, 0);
    auto* tabs = new QHBoxLayout;
    tabs->setSpacing(0);
    left_ = new QPushButton(QStringLiteral("◀"), emotionPage);
    right_ = new QPushButton(QStringLiteral("▶"), emotionPage);
    for (QPushButton* b : {left_, right_})
        b->setFixedWidth(24);
    tabs->addWidget(left_);
    segmentGroup_ = new QButtonGroup(this);
    segmentGroup_->setExclusive(true);
    for (int i = 0; i < kSegmentsPerPage; ++i) {
        auto* s = new QToolButton(emotionPage);
        s->setCheckable(true);
        s->setAutoRaise(true);
        segmentGroup_->addButton(s, i);
        segments_.append(s);
        tabs->addWidget(s);
    }
    tabs->addStretch(1);
    tabs->addWidget(right_);
    emotionLayout->addLayout(tabs);
    grid_ = new MyCollectionView;
    auto* scroll = new QScrollArea(emotionPage);
    scroll->setWidget(grid_);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setFixedSize(MyCollectionView::kColumns * MyCollectionView::kItemSize + 16,
                         MyCollectionView::kMinRows * MyCollectionView::kItemSize + 2);
    emotionLayout->addWidget(scroll);
    pages->addTab(emotionPage, QStringLiteral("表情"));

    // The emoji: one grid per group.
    emojiTabs_ = new QTabWidget(pages);
    for (std::size_t g = 0; g < emojiGroups().size(); ++g) {
        auto* matrix = new MyCollectionView;
        auto* area = new QScrollArea(emojiTabs_);
        area->setWidget(matrix);
        area->setFrameShape(QFrame::NoFrame);
        area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        emojiTabs_->addTab(area, QString::number(g + 1));
        emojiMatrixes_.append(matrix);
        connect(matrix, &MyCollectionView::itemClicked, this, [this, g](int index) { emojiCellClicked(int(g), index); });
    }
    emojiFilled_.assign(emojiGroups().size(), false);
    pages->addTab(emojiTabs_, QStringLiteral("Emoji"));

    connect(left_, &QPushButton::clicked, this, &EmotionViewController::left);
    connect(right_, &QPushButton::clicked, this, &EmotionViewController::right);
    connect(segmentGroup_, &QButtonGroup::idClicked, this, &EmotionViewController::emotionSegmentChanged);
    connect(grid_, &MyCollectionView::itemClicked, this, &EmotionViewController::selectEmotion);
    connect(emojiTabs_, &QTabWidget::currentChanged, this, &EmotionViewController::tabViewDidSelectTabViewItem);
    awakeFromNib();
}

EmotionViewController::~EmotionViewController() = default;

void EmotionViewController::awakeFromNib()
{
    if (catalogue_)
        categories_ = catalogue_();
    page_ = 1;
    checkPage();
    setEmotionSegments();
    initEmojiGroup(0);
}

void EmotionViewController::setDelegate(EmotionDelegate* delegate, QObject* lifetime)
{
    delegate_ = delegate;
    delegateLifetime_ = lifetime;
}

EmotionDelegate* EmotionViewController::delegate() const
{
    // An editor that has gone receives nothing.
    return delegateLifetime_ ? delegate_ : nullptr;
}

void EmotionViewController::refreshCatalogue()
{
    if (!catalogue_)
        return;
    QList<EmotionCategory> fresh = catalogue_();
    bool same = fresh.size() == categories_.size();
    for (int i = 0; same && i < fresh.size(); ++i)
        same = fresh[i].name == categories_[i].name && fresh[i].phrases.size() == categories_[i].phrases.size();
    if (same)
        return;
    categories_ = std::move(fresh);
    if (page_ > std::uint64_t(std::max(1, numberOfPages())))
        page_ = 1;
    checkPage();
    setEmotionSegments();
}

int EmotionViewController::numberOfPages() const
{
    return (numberOfCategories() + kSegmentsPerPage - 1) / kSegmentsPerPage;
}

void EmotionViewController::left()
{
    if (page_ <= 1)
        return;
    --page_;
    checkPage();
    setEmotionSegments();
}

void EmotionViewController::right()
{
    if (page_ >= std::uint64_t(numberOfPages()))
        return;
    ++page_;
    checkPage();
    setEmotionSegments();
}

void EmotionViewController::checkPage()
{
    right_->setEnabled(page_ < std::uint64_t(numberOfPages()));
    left_->setEnabled(page_ != 1);
}

void EmotionViewController::setEmotionSegments()
{
    const QFontMetrics metrics(font());
    for (int i = 0; i < kSegmentsPerPage; ++i) {
        const int k = int(page_ - 1) * kSegmentsPerPage + i;
        QToolButton* s = segments_[i];
        // Segments past the end of the catalogue are emptied and disabled, so none keeps an earlier page's label.
        if (k < numberOfCategories() && !categories_[k].phrases.isEmpty()) {
            s->setText(categories_[k].name);
            s->setFixedWidth(metrics.horizontalAdvance(categories_[k].name) + 16);
            s->setEnabled(true);
            s->setVisible(true);
        } else {
            s->setText(QString());
            s->setEnabled(false);
            s->setVisible(k < numberOfCategories());
        }
    }
    if (!segments_.isEmpty())
        segments_[0]->setChecked(true);
    setEmotionCategory(int(page_ - 1) * kSegmentsPerPage);
}

void EmotionViewController::emotionSegmentChanged(int segment)
{
    if (segment < 0 || segment >= kSegmentsPerPage)
        return;
    setEmotionCategory(int(page_ - 1) * kSegmentsPerPage + segment);
}

void EmotionViewController::setEmotionCategory(int k)
{
    shownCategory_ = k;
    if (k < 0 || k >= numberOfCategories() || categories_[k].phrases.isEmpty()) {
        grid_->setItems({});
        return;
    }
    const EmotionCategory& category = categories_[k];
    auto cached = categoriedEmotions_.constFind(category.name);
    if (cached != categoriedEmotions_.constEnd()) {
        grid_->setItems(*cached);
        return;
    }
    QVector<MyCollectionView::Item> items;
    items.reserve(category.phrases.size());
    for (const QString& phrase : category.phrases) {
        const QString path = pathForEmotionName_ ? pathForEmotionName_(phrase) : QString();
        if (path.isEmpty())
            continue;
        QImage icon(path);
        if (icon.isNull())
            continue;
        items.append({icon, phrase});
    }
    categoriedEmotions_.insert(category.name, items);
    grid_->setItems(items);
}

const QVector<MyCollectionView::Item>& EmotionViewController::emotionModels() const
{
    return grid_->items();
}

void EmotionViewController::selectEmotion(int index)
{
    const auto& items = grid_->items();
    if (index < 0 || index >= items.size())
        return;
    AttributedString emotion = WBUtility::makeAttachmentWithEmotionName(items[index].name, 0);
    if (emotion.isEmpty())
        emotion = AttributedString(u'[' + items[index].name + u']');
    deliver(emotion);
}

void EmotionViewController::tabViewDidSelectTabViewItem(int index)
{
    if (index >= 0 && !isEmojiGroupFilled(index))
        initEmojiGroup(index);
}

bool EmotionViewController::isEmojiGroupFilled(int group) const
{
    return group >= 0 && std::size_t(group) < emojiFilled_.size() && emojiFilled_[group];
}

void EmotionViewController::initEmojiGroup(int group)
{
    if (group < 0 || std::size_t(group) >= emojiGroups().size())
        return;
    const QDir folder(CellContext::current().hotTextResources().emojiFolder());
    QVector<MyCollectionView::Item> items;
    for (char16_t c : emojiGroups()[group])
        items.append({QImage(folder.filePath(emojiFileName(c))), QString(QChar(c))});
    emojiMatrixes_[group]->setItems(items);
    emojiFilled_[group] = true;
}

void EmotionViewController::emojiCellClicked(int group, int index)
{
    if (group < 0 || group >= emojiMatrixes_.size())
        return;
    const auto& items = emojiMatrixes_[group]->items();
    if (index < 0 || index >= items.size() || items[index].name.isEmpty())
        return;
    const AttributedString emoji = WBUtility::makeAttachmentWithEmoji(items[index].name, 0);
    if (!emoji.isEmpty())
        deliver(emoji);
}

void EmotionViewController::deliver(const AttributedString& emotion)
{
    if (EmotionDelegate* d = delegate())
        d->didSelectEmotion(emotion);
    emit emotionChosen();
}
