#pragma once
// What assistive technology (a screen reader, through AT-SPI) sees of a PXListView: a list whose children are its
// rows, every row of the list whether it is in view or not, in the order shown. A row reads as the text its
// delegate gives (listViewAccessibleTextOfRow), is selected and focused as the list's current row is, and offers
// the delegate's commands as its actions. Row views themselves are not exposed: they come and go with scrolling.
#include <QAccessibleInterface>
#include <QAccessibleWidget>
#include <QPointer>

#include <vector>

class PXListView;

// Makes every PXListView answer with the interface below (once per program; later calls do nothing).
void installListViewAccessibility();

class PXListViewAccessible : public QAccessibleWidget {
public:
    explicit PXListViewAccessible(PXListView* view);
    ~PXListViewAccessible() override;

    PXListView* listView() const;

    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* childAt(int x, int y) const override;
    QAccessibleInterface* focusChild() const override;

    // The rows were reloaded: a row now may show another item (its interface reads it afresh), and rows past the
    // new end are gone.
    void rowsReloaded();

private:
    // The interface of each row asked for so far, by row (0: none yet).
    mutable std::vector<QAccessible::Id> rows_;
};

class PXListRowAccessible : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    PXListRowAccessible(PXListView* view, int row);

    int row() const { return row_; }

    bool isValid() const override;
    QObject* object() const override { return nullptr; }
    QWindow* window() const override;
    QAccessibleInterface* parent() const override;
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QString text(QAccessible::Text t) const override;
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override;
    QAccessible::Role role() const override { return QAccessible::ListItem; }
    QAccessible::State state() const override;
    void* interface_cast(QAccessible::InterfaceType type) override;

    QStringList actionNames() const override;
    QString localizedActionName(const QString& name) const override { return name; }
    QString localizedActionDescription(const QString& name) const override { return name; }
    void doAction(const QString& name) override;
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    QPointer<PXListView> view_;
    int row_;
};
