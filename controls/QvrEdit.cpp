#include "controls/QvrEdit.h"
#include "config/LookupRequest.h"
#include "config/RunTimeProps.h"
#include "controls/DataSource.h"
#include "controls/F2Button.h"
#include "config/QtVariant.h"
#include "dataset/ClientDataSet.h"

#include <QEvent>
#include <QValidator>

// --- TCompanionLink ------------------------------------------------------------------------

TCompanionLink::TCompanionLink(QWidget* control, QWidget* companion)
    : QObject(control), control_(control), companion_(companion)
{
    SetSubComponentOf(companion, control);
    companion->setEnabled(control->isEnabled());
    control->installEventFilter(this);
}

TCompanionLink::~TCompanionLink()
{
    delete companion_.data();
}

void TCompanionLink::follow()
{
    if (!companion_)
        return;
    if (companion_->parentWidget() != control_->parentWidget()) {
        const bool shown = control_->isVisible();
        companion_->setParent(control_->parentWidget());
        companion_->setVisible(shown && control_->parentWidget());
    }
    Realign();
}

bool TCompanionLink::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == control_ && companion_) {
        switch (event->type()) {
        case QEvent::Move:
        case QEvent::Resize:
            Realign();
            break;
        case QEvent::ParentChange:
            follow();
            break;
        case QEvent::EnabledChange:
            companion_->setEnabled(control_->isEnabled());
            break;
        case QEvent::Show:
            if (companion_->parentWidget())
                companion_->show();
            break;
        case QEvent::Hide:
            if (!event->spontaneous() && control_->isHidden())
                companion_->hide();
            break;
        default:
            controlEvent(event);
            break;
        }
    }
    return QObject::eventFilter(watched, event);
}

// --- TCaptionLabelLink ---------------------------------------------------------------------

namespace {
QLabel* newCaptionLabel(QWidget* control)
{
    auto* label = new QLabel(control->parentWidget());
    label->setObjectName(QStringLiteral("EditLabel"));
    label->setTextFormat(Qt::PlainText);
    return label;
}
} // namespace

TCaptionLabelLink::TCaptionLabelLink(QWidget* control) : TCaptionLabelLink(control, newCaptionLabel(control)) {}

TCaptionLabelLink::TCaptionLabelLink(QWidget* control, QLabel* label) : TCompanionLink(control, label), label_(label) {}

void TCaptionLabelLink::SetCaption(const QString& caption)
{
    if (!label_)
        return;
    label_->setText(caption);
    label_->adjustSize();
    Realign();
}

void TCaptionLabelLink::SetPosition(TLabelPosition position)
{
    position_ = position;
    Realign();
}

void TCaptionLabelLink::SetSpacing(int spacing)
{
    if (spacing < 0)
        return;
    spacing_ = spacing;
    Realign();
}

void TCaptionLabelLink::Realign()
{
    if (!label_)
        return;
    const QRect r = control_->geometry();
    const QSize l = label_->size();
    switch (position_) {
    case lpAbove:
        label_->move(r.left(), r.top() - l.height() - spacing_);
        break;
    case lpBelow:
        label_->move(r.left(), r.top() + r.height() + spacing_);
        break;
    case lpLeft:
        label_->move(r.left() - l.width() - spacing_, r.top() + (r.height() - l.height()) / 2);
        break;
    case lpRight:
        label_->move(r.left() + r.width() + spacing_, r.top() + (r.height() - l.height()) / 2);
        break;
    }
}

void TCaptionLabelLink::controlEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange && label_) {
        label_->adjustSize();
        Realign();
    }
}

// --- TEditButtonLink -----------------------------------------------------------------------

namespace {
TGSpeedButton* newLookupButton(QWidget* edit)
{
    auto* button = new TGSpeedButton(edit->parentWidget());
    button->setObjectName(QStringLiteral("F2Button"));
    button->SetFlat(true);
    button->SetGlyphIndex(8);
    return button;
}
} // namespace

TEditButtonLink::TEditButtonLink(QWidget* edit, TNotifyEvent* onDialog)
    : TEditButtonLink(edit, onDialog, newLookupButton(edit))
{
}

TEditButtonLink::TEditButtonLink(QWidget* edit, TNotifyEvent* onDialog, TGSpeedButton* button)
    : TCompanionLink(edit, button), onDialog_(onDialog), button_(button)
{
    button->OnClick = [this](QObject*) { clicked(); };
}

void TEditButtonLink::SetSpacing(int spacing)
{
    spacing_ = spacing;
    Realign();
}

void TEditButtonLink::Realign()
{
    if (!button_)
        return;
    const QRect r = control_->geometry();
    button_->setGeometry(r.left() + r.width() + spacing_, r.top(), r.height(), r.height());
}

void TEditButtonLink::clicked()
{
    if (onDialog_ && *onDialog_) {
        (*onDialog_)(control_);
        return;
    }
    QPointer<QWidget> edit = control_;
    edit->setFocus(Qt::OtherFocusReason);
    if (edit && ControlHasFocus(edit))
        SendLookupRequest(edit);
}


// --- TQvEdit -------------------------------------------------------------------------------

TQvEdit::TQvEdit(QWidget* parent) : TQvControl<QLineEdit>(parent), label_(new TCaptionLabelLink(this))
{
    resize(121, 21);
    connect(this, &QLineEdit::textChanged, this, [this] { Fire(OnChange, this); });
}

namespace {
// The line edit runs its validator on every change of its text, set or edited, and takes
// the text the validator hands back.
class TCaseValidator : public QValidator {
public:
    TCaseValidator(bool upper, QObject* parent) : QValidator(parent), upper_(upper) {}
    State validate(QString& input, int&) const override
    {
        input = upper_ ? input.toUpper() : input.toLower();
        return Acceptable;
    }

private:
    bool upper_;
};
} // namespace

void TQvEdit::SetCharCase(TEditCharCase charCase)
{
    charCase_ = charCase;
    delete validator();
    setValidator(charCase == ecNormal ? nullptr : new TCaseValidator(charCase == ecUpperCase, this));
    if (charCase != ecNormal)
        setText(charCase == ecUpperCase ? text().toUpper() : text().toLower());
}

// --- TQvDBEdit -----------------------------------------------------------------------------

TQvDBEdit::TQvDBEdit(QWidget* parent) : TQvEdit(parent)
{
    connect(this, &QLineEdit::textEdited, this, [this] { modified_ = true; });
}

// --- TQvBtnEdit ----------------------------------------------------------------------------

TQvBtnEdit::TQvBtnEdit(QWidget* parent) : TQvEdit(parent), button_(new TEditButtonLink(this, &OnDialog)) {}

TNotifyEvent* TQvBtnEdit::notifyEvent(std::string_view name)
{
    if (SameName(name, "OnDialog"))
        return &OnDialog;
    return TQvEdit::notifyEvent(name);
}

void TQvBtnEdit::SetGlyphIndex(int n)
{
    if (F2Button())
        F2Button()->SetGlyphIndex(n);
}

void TQvBtnEdit::SetButtonHint(const QString& hint)
{
    if (F2Button())
        F2Button()->SetHint(hint);
}

// --- TQvBtnDBEdit --------------------------------------------------------------------------

TQvBtnDBEdit::TQvBtnDBEdit(QWidget* parent) : TQvDBEdit(parent), button_(new TEditButtonLink(this, &OnDialog)) {}

TNotifyEvent* TQvBtnDBEdit::notifyEvent(std::string_view name)
{
    if (SameName(name, "OnDialog"))
        return &OnDialog;
    return TQvDBEdit::notifyEvent(name);
}

void TQvBtnDBEdit::SetGlyphIndex(int n)
{
    if (F2Button())
        F2Button()->SetGlyphIndex(n);
}

void TQvBtnDBEdit::SetButtonHint(const QString& hint)
{
    if (F2Button())
        F2Button()->SetHint(hint);
}

QList<TGlyphButton*> TQvBtnDBEdit::DisabledGlyphButtons()
{
    QList<TGlyphButton*> buttons;
    if (F2Button())
        buttons << F2Button();
    return buttons;
}

// --- TQvComboBox ---------------------------------------------------------------------------

TQvComboBox::TQvComboBox(QWidget* parent) : TQvControl<QComboBox>(parent), label_(new TCaptionLabelLink(this))
{
    resize(145, 21);
    setMaxVisibleItems(8);
    SetStyle(csDropDown);
    connect(this, &QComboBox::activated, this, [this] {
        Fire(OnClick, this);
        Fire(OnChange, this);
    });
}

TNotifyEvent* TQvComboBox::notifyEvent(std::string_view name)
{
    if (SameName(name, "OnDropDown"))
        return &OnDropDown;
    return TQvControl<QComboBox>::notifyEvent(name);
}

void TQvComboBox::SetStyle(TComboBoxStyle style)
{
    const QString text = currentText();
    const int index = currentIndex();
    style_ = style;
    const bool editable = style == csDropDown || style == csSimple;
    if (editable != isEditable()) {
        setEditable(editable);
        if (editable) {
            setInsertPolicy(QComboBox::NoInsert);
            lineEdit()->setText(index >= 0 ? itemText(index) : text);
            connect(lineEdit(), &QLineEdit::textEdited, this, [this] { Fire(OnChange, this); });
        }
    }
    setCurrentIndex(index);
}

QStringList TQvComboBox::Items() const
{
    QStringList items;
    for (int i = 0; i < count(); ++i)
        items << itemText(i);
    return items;
}

void TQvComboBox::SetItems(const QStringList& items)
{
    const QString selected = currentIndex() >= 0 ? itemText(currentIndex()) : QString();
    const QString edited = isEditable() ? currentText() : QString();
    const QSignalBlocker block(this);
    clear();
    addItems(items);
    setCurrentIndex(selected.isEmpty() ? -1 : int(items.indexOf(selected)));
    if (isEditable() && currentIndex() < 0)
        setEditText(edited);
}

QString TQvComboBox::ItemOfValue(const QString& code) const
{
    const qsizetype line = values_.indexOf(code);
    return line >= 0 && line < count() ? itemText(int(line)) : code;
}

void TQvComboBox::SetItemIndex(int index)
{
    setCurrentIndex(index >= 0 && index < count() ? index : -1);
}

void TQvComboBox::SetText(const QString& text)
{
    if (isEditable()) {
        const int index = findText(text, Qt::MatchExactly);
        if (index >= 0)
            setCurrentIndex(index);
        setEditText(text);
        return;
    }
    setCurrentIndex(findText(text, Qt::MatchExactly));
}

void TQvComboBox::showPopup()
{
    Fire(OnDropDown, this);
    TQvControl<QComboBox>::showPopup();
}

// --- TQvDBEdit binding ---------------------------------------------------------------------

namespace {
TField* boundField(QObject* source, const QString& name)
{
    auto* ds = qobject_cast<TDataSource*>(source);
    if (!ds || !ds->DataSet() || name.isEmpty())
        return nullptr;
    return ds->DataSet()->FindField(Utf8(name));
}

} // namespace

void TQvDBEdit::SetDataSource(QObject* source)
{
    for (const auto& c : connections_)
        disconnect(c);
    connections_.clear();
    dataSource_ = source;
    if (auto* model = qobject_cast<TDataSource*>(source)) {
        connections_ << connect(model, &QAbstractItemModel::dataChanged, this, [this] { Refresh(); });
        connections_ << connect(model, &QAbstractItemModel::modelReset, this, [this] { Refresh(); });
        connections_ << connect(model, &QAbstractItemModel::rowsInserted, this, [this] { Refresh(); });
        connections_ << connect(model, &QAbstractItemModel::rowsRemoved, this, [this] { Refresh(); });
        connections_ << connect(model, &TDataSource::currentRowChanged, this, [this] { Refresh(); });
    }
    Refresh();
}

void TQvDBEdit::SetDataField(const QString& field)
{
    dataField_ = field;
    Refresh();
}

int TQvDBEdit::fieldColumn() const
{
    auto* ds = qobject_cast<TDataSource*>(dataSource_.data());
    return ds ? ds->ColumnOfField(dataField_) : -1;
}

int TQvDBEdit::currentRow() const
{
    auto* ds = qobject_cast<TDataSource*>(dataSource_.data());
    return ds ? ds->CurrentRow() : -1;
}

void TQvDBEdit::Refresh()
{
    TField* field = boundField(dataSource_, dataField_);
    auto* ds = qobject_cast<TDataSource*>(dataSource_.data());
    const bool live = field && ds && ds->Enabled() && currentRow() >= 0;
    const bool readOnly = readOnly_ || !field || field->ReadOnly();
    const QSignalBlocker quiet(this);
    refreshing_ = true;
    setReadOnly(readOnly);
    refreshing_ = false;
    // The edit text while the user may change it, else what the grid shows.
    const bool editing = hasFocus() && !readOnly;
    setText(live ? QString::fromStdString(editing ? field->Text() : field->DisplayText()) : QString());
    modified_ = false;
}

void TQvDBEdit::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::ReadOnlyChange && !refreshing_)
        readOnly_ = isReadOnly();
    TQvEdit::changeEvent(event);
}

void TQvDBEdit::focusInEvent(QFocusEvent* event)
{
    if (!modified_ && !isReadOnly())
        Refresh();
    TQvEdit::focusInEvent(event);
}

void TQvDBEdit::focusOutEvent(QFocusEvent* event)
{
    // What the user typed goes to the record when the edit is left; the record's value
    // is shown again in its display format (also after a refused value).
    if (modified_) {
        modified_ = false;
        auto* ds = qobject_cast<TDataSource*>(dataSource_.data());
        TField* field = boundField(dataSource_, dataField_);
        if (ds && field && currentRow() >= 0)
            ds->SetFieldText(currentRow(), field, text());
    }
    if (!isReadOnly())
        Refresh();
    TQvEdit::focusOutEvent(event);
}
