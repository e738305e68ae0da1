#pragma once

#include <QComboBox>

// A pop-up button: shows its selected entry and opens its menu on a click. Its menu title names it to the code
// that receives its choices ("status", "comment", "mention" for the top tabs), and its tag says which
// first-layer index it belongs to. Entries may carry a represented value (the list id of the lists chooser).
class PopUpButton : public QComboBox {
    Q_OBJECT
public:
    PopUpButton(int tag, const QString& menuTitle, QWidget* parent = nullptr);

    int tag() const { return tag_; }
    QString menuTitle() const { return menuTitle_; }

    // -1 when nothing is selected.
    int indexOfSelectedItem() const { return currentIndex(); }
    void selectItemAtIndex(int index) { setCurrentIndex(index); }
    void addItemWithTitle(const QString& title, const QVariant& representedObject = QVariant());
    QVariant representedObjectAt(int index) const { return itemData(index); }

private:
    int tag_;
    QString menuTitle_;
};
