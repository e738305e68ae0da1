#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QStackedWidget>
#include <QString>

class TabView;

// One item of a tab view: an identifier, a label and the view it shows.
class TabViewItem : public QObject {
    Q_OBJECT
public:
    TabViewItem(const QString& identifier, const QString& label, QObject* parent = nullptr);

    QString identifier() const { return identifier_; }
    QString label() const { return label_; }
    void setLabel(const QString& label) { label_ = label; }
    QWidget* view() const { return view_; }
    // Replaces the shown view (the tab view takes the new one over; the old one is deleted).
    void setView(QWidget* view);
    TabView* tabView() const { return tabView_; }

private:
    friend class TabView;
    QString identifier_;
    QString label_;
    QPointer<QWidget> view_;
    TabView* tabView_ = nullptr;
};

// A stack of items showing one at a time, without tabs or border: the window's own controls choose the item.
// Selecting another item emits didSelectTabViewItem; selecting the selected one again emits nothing.
class TabView : public QStackedWidget {
    Q_OBJECT
public:
    explicit TabView(QWidget* parent = nullptr);

    // Appends the item (the tab view owns it); the first item added becomes the selected one, silently.
    void addTabViewItem(TabViewItem* item);
    int numberOfTabViewItems() const { return int(items_.size()); }
    TabViewItem* tabViewItemAtIndex(int index) const;
    int indexOfTabViewItem(const TabViewItem* item) const;
    TabViewItem* selectedTabViewItem() const;
    int indexOfSelectedTabViewItem() const { return selected_; }
    void selectTabViewItem(TabViewItem* item);
    void selectTabViewItemAtIndex(int index);
    const QList<TabViewItem*>& tabViewItems() const { return items_; }

signals:
    void didSelectTabViewItem(TabView* tabView, TabViewItem* item);

private:
    friend class TabViewItem;
    void replaceView(TabViewItem* item, QWidget* oldView);

    QList<TabViewItem*> items_;
    int selected_ = -1;
};
