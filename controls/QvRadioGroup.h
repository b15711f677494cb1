#pragma once
// TQvRadioGroup: a framed group of radio buttons made from Items, arranged in Columns
// columns; ItemIndex is the chosen one. Its buttons are TQvGroupButtons, so that every
// caption is drawn the same way as a TQvRadioButton's.

#include "controls/QvControl.h"
#include "controls/QvRadioButton.h"

#include <QGroupBox>
#include <QList>

class TQvGroupButton : public TQvRadioButton {
    Q_OBJECT
public:
    explicit TQvGroupButton(QWidget* parent = nullptr) : TQvRadioButton(parent) {}
};

class TQvRadioGroup : public TQvControl<QGroupBox> {
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(QStringList Items READ Items WRITE SetItems)
    Q_PROPERTY(int ItemIndex READ ItemIndex WRITE SetItemIndex)
    Q_PROPERTY(int Columns READ Columns WRITE SetColumns)
    Q_PROPERTY(QString Hint READ Hint WRITE SetHint)
    Q_PROPERTY(QColor Color READ Color WRITE SetColor)
    Q_PROPERTY(QFont Font READ Font WRITE SetFont)
    Q_PROPERTY(bool Enabled READ Enabled WRITE SetEnabled)
    Q_PROPERTY(bool Visible READ Visible WRITE SetVisible)
    Q_PROPERTY(bool TabStop READ TabStop WRITE SetTabStop)

public:
    explicit TQvRadioGroup(QWidget* parent = nullptr);

    QString Caption() const { return title(); }
    void SetCaption(const QString& caption) { setTitle(caption); }
    QStringList Items() const { return items_; }
    // New buttons; the chosen index stays when it is still in range.
    void SetItems(const QStringList& items);
    int ItemIndex() const { return itemIndex_; }
    // Chooses a button (-1: none) and raises the click event when the choice changed.
    void SetItemIndex(int index);
    int Columns() const { return columns_; }
    void SetColumns(int columns);

    int ButtonCount() const { return int(buttons_.size()); }
    TQvGroupButton* Buttons(int index) const;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void arrange();
    void buttonChecked(TQvGroupButton* button);

    QStringList items_;
    QList<TQvGroupButton*> buttons_;
    int itemIndex_ = -1;
    int columns_ = 1;
    bool updating_ = false;
};
