#include "ScreenAudit.h"

#include "controls/BtChkBox.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractScrollArea>
#include <QAbstractSpinBox>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QScrollBar>
#include <QSizeGrip>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTabBar>
#include <QTextDocument>
#include <QToolButton>

#include <opencc/SimpleConverter.hpp>

namespace {

bool isCjk(char32_t c)
{
    return (c >= 0x2E80 && c <= 0x9FFF) || (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFF00 && c <= 0xFFEF)
           || (c >= 0x20000 && c <= 0x2FFFF);
}

// A Chinese screen may show codes and names in Latin letters, but not English sentences:
// a run of lower-case letters is a word of one.
const QRegularExpression& englishWord()
{
    static const QRegularExpression word(QStringLiteral("\\b[a-z]{4,}\\b"));
    return word;
}

QString plain(const QString& text)
{
    if (!Qt::mightBeRichText(text))
        return text;
    QTextDocument doc;
    doc.setHtml(text);
    return doc.toPlainText();
}

// The width a text needs in the widget's font: its widest line, mnemonics removed.
int textWidth(const QWidget* w, QString text)
{
    text.remove(QRegularExpression(QStringLiteral("&(?!&)")));
    int widest = 0;
    for (const QString& line : text.split(QLatin1Char('\n')))
        widest = std::max(widest, w->fontMetrics().horizontalAdvance(line));
    return widest;
}

QString nameOf(const QWidget* w)
{
    if (!w->objectName().isEmpty())
        return w->objectName();
    const QWidget* parent = w->parentWidget();
    int index = 0;
    if (parent)
        for (QObject* sibling : parent->children()) {
            if (sibling == w)
                break;
            if (sibling->metaObject() == w->metaObject())
                ++index;
        }
    return QStringLiteral("%1#%2").arg(QString::fromLatin1(w->metaObject()->className())).arg(index);
}

// Widgets drawn by the toolkit from parts of its own: their children are not the form's.
bool composite(const QWidget* w)
{
    return qobject_cast<const QAbstractSpinBox*>(w) || qobject_cast<const QComboBox*>(w)
           || qobject_cast<const QTabBar*>(w) || qobject_cast<const QLineEdit*>(w)
           || qobject_cast<const QHeaderView*>(w)
           || (qobject_cast<const QAbstractScrollArea*>(w) && !qobject_cast<const QScrollArea*>(w));
}

bool shown(const QWidget* w)
{
    if (!w->isVisible() || w->geometry().isEmpty())
        return false;
    // An empty caption shows nothing that could be cut or covered.
    if (auto* label = qobject_cast<const QLabel*>(w))
        return !label->text().isEmpty() || !label->pixmap().isNull();
    return true;
}

// Parts the toolkit lays over a corner on purpose.
bool overlay(const QWidget* w)
{
    return qobject_cast<const QSizeGrip*>(w) != nullptr;
}

} // namespace

QString AuditFinding::describe(AuditLanguage language) const
{
    static const char* names[] = {"CHS", "CHT", "ENG"};
    return QStringLiteral("[%1] %2 on %3, %4: \"%5\"")
        .arg(QLatin1String(names[int(language)]), check, screen, widget, text);
}

ScreenAudit::ScreenAudit(AuditLanguage language) : language_(language)
{
    if (language == AuditLanguage::CHT)
        s2t_ = std::make_unique<opencc::SimpleConverter>("s2t.json");
}

ScreenAudit::~ScreenAudit() = default;

void ScreenAudit::SetMappedColumns(const QString& view, const QStringList& headers)
{
    mappedView_ = view;
    mappedHeaders_ = headers;
}

bool ScreenAudit::InLanguage(const QString& text) const
{
    switch (language_) {
    case AuditLanguage::CHS:
        return !text.contains(englishWord());
    case AuditLanguage::ENG:
        for (char32_t c : text.toUcs4())
            if (isCjk(c))
                return false;
        return true;
    case AuditLanguage::CHT: {
        const std::string utf8 = text.toStdString();
        return s2t_->Convert(utf8) == utf8 && !text.contains(englishWord());
    }
    }
    return true;
}

std::vector<AuditFinding> ScreenAudit::Text(const QString& screen, const QString& what, const QString& text) const
{
    if (InLanguage(text))
        return {};
    return {{QStringLiteral("language"), screen, what, text}};
}

QString ScreenAudit::ClippedText(QWidget* w)
{
    QStyle* style = w->style();
    if (auto* label = qobject_cast<QLabel*>(w)) {
        if (label->text().isEmpty() || !label->pixmap().isNull())
            return {};
        const QString text = plain(label->text());
        const QRect room = label->contentsRect().adjusted(label->margin(), label->margin(), -label->margin(), -label->margin());
        if (label->wordWrap())
            return label->heightForWidth(label->width()) > label->height() ? text : QString();
        const int lines = int(text.count(QLatin1Char('\n'))) + 1;
        const int indent = std::max(label->indent(), 0);
        if (textWidth(label, text) + indent > room.width() || label->fontMetrics().height() * lines > room.height() + 2)
            return text;
        return {};
    }
    if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        const QString text = button->text();
        auto* tool = qobject_cast<QToolButton*>(button);
        if (text.isEmpty() || (tool && tool->toolButtonStyle() == Qt::ToolButtonIconOnly))
            return {};
        int need = textWidth(button, text);
        if (qobject_cast<QCheckBox*>(button))
            need += style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, button)
                    + style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, button);
        else if (qobject_cast<QRadioButton*>(button))
            need += style->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, button)
                    + style->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, nullptr, button);
        else {
            if (!button->icon().isNull())
                need += button->iconSize().width() + 4;
            need += 2 * style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button) / 2 + 4;
        }
        return need > button->width() || button->fontMetrics().height() > button->height() ? text : QString();
    }
    if (auto* box = qobject_cast<TBitCheckBox*>(w))
        return box->CaptionWidth() > box->width() ? box->Caption() : QString();
    if (auto* group = qobject_cast<QGroupBox*>(w)) {
        const QString text = group->title();
        return !text.isEmpty() && textWidth(group, text) + 12 > group->width() ? text : QString();
    }
    if (auto* combo = qobject_cast<QComboBox*>(w)) {
        if (combo->currentText().isEmpty())
            return {};
        QStyleOptionComboBox opt;
        opt.initFrom(combo);
        opt.editable = combo->isEditable();
        const QRect room = style->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, combo);
        return textWidth(combo, combo->currentText()) > room.width() ? combo->currentText() : QString();
    }
    return {};
}

void ScreenAudit::texts(QWidget* w, const QString& path, const QString& screen, std::vector<AuditFinding>& out) const
{
    const auto check = [&](const char* what, const QString& text) {
        if (!text.trimmed().isEmpty() && !InLanguage(plain(text)))
            out.push_back({QStringLiteral("language"), screen, path + QLatin1Char('.') + QLatin1String(what), plain(text)});
    };
    check("Hint", w->toolTip());
    if (w->isWindow()) {
        // The company's name in brackets is data.
        QString title = w->windowTitle();
        title.remove(QRegularExpression(QStringLiteral("\\[[^\\]]*\\]")));
        check("Title", title);
    }
    if (data_.contains(w->objectName()))
        return;
    if (auto* label = qobject_cast<QLabel*>(w))
        check("Caption", label->text());
    if (auto* button = qobject_cast<QAbstractButton*>(w))
        check("Caption", button->text());
    if (auto* group = qobject_cast<QGroupBox*>(w))
        check("Title", group->title());
    if (auto* box = qobject_cast<TBitCheckBox*>(w))
        check("Caption", box->Caption());
    if (auto* tabs = qobject_cast<QTabBar*>(w))
        for (int i = 0; i < tabs->count(); ++i)
            if (tabs->isTabVisible(i)) {
                check("Tab", tabs->tabText(i));
                check("TabHint", tabs->tabToolTip(i));
            }
    if (auto* combo = qobject_cast<QComboBox*>(w))
        for (int i = 0; i < combo->count(); ++i)
            check("Items", combo->itemText(i));
    if (auto* header = qobject_cast<QHeaderView*>(w); header && header->model())
        for (int s = 0; s < header->count(); ++s)
            if (!header->isSectionHidden(s))
                check("Header", header->model()->headerData(s, header->orientation()).toString());
    if (auto* view = qobject_cast<QAbstractItemView*>(w); view && view->model()) {
        QAbstractItemModel* model = view->model();
        if (view->objectName() == mappedView_ && !mappedView_.isEmpty())
            for (int c = 0; c < model->columnCount(); ++c)
                if (mappedHeaders_.contains(model->headerData(c, Qt::Horizontal).toString()))
                    for (int r = 0; r < model->rowCount(); ++r)
                        check("Cell", model->index(r, c).data().toString());
        // The calendar's weekday names stand in its first row.
        if (view->objectName() == QLatin1String("qt_calendar_calendarview"))
            for (int c = 0; c < model->columnCount(); ++c)
                check("Weekday", model->index(0, c).data().toString());
    }
}

void ScreenAudit::room(QWidget* parent, const QString& path, const QString& screen, std::vector<AuditFinding>& out) const
{
    std::vector<QWidget*> children;
    for (QObject* o : parent->children())
        if (auto* w = qobject_cast<QWidget*>(o); w && !w->isWindow() && shown(w) && !overlay(w))
            children.push_back(w);
    // A scroll area's content may be larger than the view: its bars reach the rest.
    const bool scrolls = parent->objectName() == QLatin1String("qt_scrollarea_viewport");
    for (QWidget* child : children) {
        if (!scrolls && !parent->rect().contains(child->geometry()) && !qobject_cast<QScrollBar*>(child))
            out.push_back({QStringLiteral("outside"), screen, path + QLatin1Char('/') + nameOf(child),
                           QStringLiteral("%1,%2 %3x%4 in %5x%6")
                               .arg(child->x()).arg(child->y()).arg(child->width()).arg(child->height())
                               .arg(parent->width()).arg(parent->height())});
    }
    for (std::size_t i = 0; i < children.size(); ++i)
        for (std::size_t j = i + 1; j < children.size(); ++j)
            if (children[i]->geometry().intersects(children[j]->geometry()))
                out.push_back({QStringLiteral("overlap"), screen, path + QLatin1Char('/') + nameOf(children[i]),
                               QStringLiteral("covers %1").arg(nameOf(children[j]))});
}

std::vector<AuditFinding> ScreenAudit::Visit(QWidget* window, const QString& screen) const
{
    std::vector<AuditFinding> out;
    std::function<void(QWidget*, const QString&)> walk = [&](QWidget* w, const QString& path) {
        texts(w, path, screen, out);
        if (const QString cut = ClippedText(w); !cut.isEmpty())
            out.push_back({QStringLiteral("clipped"), screen, path, cut});
        if (auto* header = qobject_cast<QHeaderView*>(w); header && header->model()) {
            const int margin = 2 * w->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, w);
            for (int s = 0; s < header->count(); ++s) {
                const QString title = header->model()->headerData(s, header->orientation()).toString();
                if (!header->isSectionHidden(s) && header->orientation() == Qt::Horizontal
                    && textWidth(header, title) + margin > header->sectionSize(s))
                    out.push_back({QStringLiteral("clipped"), screen, path + QStringLiteral(".Section%1").arg(s), title});
            }
        }
        if (auto* tabs = qobject_cast<QTabBar*>(w))
            for (int i = 0; i < tabs->count(); ++i)
                if (tabs->isTabVisible(i) && textWidth(tabs, tabs->tabText(i)) > tabs->tabRect(i).width())
                    out.push_back({QStringLiteral("clipped"), screen, path + QStringLiteral(".Tab%1").arg(i), tabs->tabText(i)});
        if (composite(w)) {
            // Only the headers of a view are the form's to check.
            if (auto* view = qobject_cast<QAbstractItemView*>(w)) {
                for (QHeaderView* h : view->findChildren<QHeaderView*>(Qt::FindDirectChildrenOnly))
                    if (shown(h))
                        walk(h, path + QLatin1Char('/') + nameOf(h));
            }
            return;
        }
        room(w, path, screen, out);
        for (QObject* o : w->children())
            if (auto* child = qobject_cast<QWidget*>(o); child && !child->isWindow() && shown(child))
                walk(child, path + QLatin1Char('/') + nameOf(child));
    };
    walk(window, nameOf(window));
    return out;
}
