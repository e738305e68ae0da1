#pragma once
// The one emotion picker of the program: the catalogue's categories as tabs, eight to a page, the chosen
// category's emotions in a grid, and the five groups of emoji. A choice goes to whichever editor opened the
// picker last (its delegate), as a one-character text holding the picture.
#include "cells/AttributedString.h"
#include "compose/MyCollectionView.h"

#include <QHash>
#include <QList>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <vector>

class QButtonGroup;
class QPushButton;
class QTabWidget;
class QToolButton;

// The editor side: receives the chosen emotion or emoji.
class EmotionDelegate {
public:
    virtual ~EmotionDelegate() = default;
    virtual void didSelectEmotion(const AttributedString& emotion) = 0;
};

// One category of the catalogue: its name and its phrases in the catalogue's order.
struct EmotionCategory {
    QString name;
    QStringList phrases;
};

class EmotionViewController : public QWidget {
    Q_OBJECT
public:
    static constexpr int kSegmentsPerPage = 8;
    using CatalogueProvider = std::function<QList<EmotionCategory>()>;
    // The picture file of a phrase (empty when there is none).
    using PathProvider = std::function<QString(const QString& phrase)>;

    EmotionViewController(CatalogueProvider catalogue, PathProvider pathForEmotionName, QWidget* parent = nullptr);
    ~EmotionViewController() override;

    // The editor that receives the next choices; `lifetime` (the editor as an object) lets the picker notice
    // that it has gone.
    void setDelegate(EmotionDelegate* delegate, QObject* lifetime);
    EmotionDelegate* delegate() const;

    // Reads the catalogue again (it arrives after start-up); the tabs are relabelled when it changed.
    void refreshCatalogue();
    int numberOfCategories() const { return int(categories_.size()); }

    std::uint64_t page() const { return page_; }
    int numberOfPages() const;
    void left();
    void right();
    void checkPage();
    void setEmotionSegments();
    void emotionSegmentChanged(int segment);
    // Shows category k (an index past the catalogue shows an empty grid).
    void setEmotionCategory(int k);
    int shownCategory() const { return shownCategory_; }

    // The grid content of the shown category.
    const QVector<MyCollectionView::Item>& emotionModels() const;
    bool isCategoryCached(const QString& name) const { return categoriedEmotions_.contains(name); }
    // An item of the grid was chosen.
    void selectEmotion(int index);

    // The emoji: the five groups, each filled on first show.
    static const std::vector<std::vector<char16_t>>& emojiGroups();
    // "%x%x%x.png" of the character's three UTF-8 bytes.
    static QString emojiFileName(char16_t c);
    void initEmojiGroup(int group);
    bool isEmojiGroupFilled(int group) const;
    void emojiCellClicked(int group, int index);

    // The widgets.
    QToolButton* segment(int i) const { return segments_.at(i); }
    QPushButton* leftButton() const { return left_; }
    QPushButton* rightButton() const { return right_; }
    MyCollectionView* collectionView() const { return grid_; }
    QTabWidget* emojiTabs() const { return emojiTabs_; }
    MyCollectionView* emojiMatrix(int group) const { return emojiMatrixes_.at(group); }

signals:
    // Sent after the delegate received a choice (the pop-up closes on it).
    void emotionChosen();

private:
    void awakeFromNib();
    void tabViewDidSelectTabViewItem(int index);
    void deliver(const AttributedString& emotion);

    CatalogueProvider catalogue_;
    PathProvider pathForEmotionName_;
    QList<EmotionCategory> categories_;
    std::uint64_t page_ = 1;
    int shownCategory_ = -1;
    QHash<QString, QVector<MyCollectionView::Item>> categoriedEmotions_;

    EmotionDelegate* delegate_ = nullptr;
    QPointer<QObject> delegateLifetime_;

    QList<QToolButton*> segments_;
    QButtonGroup* segmentGroup_ = nullptr;
    QPushButton* left_ = nullptr;
    QPushButton* right_ = nullptr;
    MyCollectionView* grid_ = nullptr;
    QTabWidget* emojiTabs_ = nullptr;
    QList<MyCollectionView*> emojiMatrixes_;
    std::vector<bool> emojiFilled_;
};
