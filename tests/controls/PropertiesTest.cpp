// Every control class publishes the system's property names and every published
// property can be read and written back by name through the run-time helpers.

#include "GuiTestSupport.h"

#include "config/RunTimeProps.h"
#include "controls/BtChkBox.h"
#include "controls/Buttons.h"
#include "controls/DBLabel.h"
#include "controls/ExtPage.h"
#include "controls/F2Button.h"
#include "controls/GSpdBtn.h"
#include "controls/MaskEdit.h"
#include "controls/QvRadioGroup.h"
#include "controls/QvSpin.h"
#include "controls/QvrEdit.h"

#include <QComboBox>
#include <QLineEdit>
#include <QMetaProperty>

#include <memory>

namespace {

struct ControlCase {
    const char* className;
    std::function<QWidget*(QWidget*)> make;
    QStringList names; // what the forms read and write by name
};

std::vector<ControlCase> controlCases()
{
    const QStringList common{QStringLiteral("Hint"), QStringLiteral("Enabled"), QStringLiteral("Visible"),
                             QStringLiteral("Font"), QStringLiteral("Left"), QStringLiteral("Width")};
    auto with = [&](QStringList extra) { return common + extra; };
    return {
        {"TGSpeedButton", [](QWidget* p) { return new TGSpeedButton(p); },
         with({"Caption", "GlyphIndex", "HintIndex", "Glyph", "NumGlyphs", "Flat", "OnClick"})},
        {"TF2Button", [](QWidget* p) { return new TF2Button(p); },
         with({"AutoAlign", "F2Control", "Gap", "GlyphIndex", "OnClick"})},
        {"TBitBtn", [](QWidget* p) { return new TBitBtn(p); },
         with({"Caption", "Glyph", "NumGlyphs", "ModalResult", "Default", "Cancel", "OnClick"})},
        {"TQvEdit", [](QWidget* p) { return new TQvEdit(p); },
         with({"Text", "Caption", "LabelPosition", "LabelSpacing", "Color", "ImeName", "OnEnter", "OnExit", "OnChange"})},
        {"TQvDBEdit", [](QWidget* p) { return new TQvDBEdit(p); }, with({"Text", "DataField", "DataSource", "Caption"})},
        {"TQvBtnEdit", [](QWidget* p) { return new TQvBtnEdit(p); },
         with({"Text", "ButtonSpacing", "GlyphIndex", "ButtonHint", "OnDialog", "Caption"})},
        {"TQvBtnDBEdit", [](QWidget* p) { return new TQvBtnDBEdit(p); },
         with({"ButtonSpacing", "GlyphIndex", "ButtonHint", "OnDialog", "DataField"})},
        {"TQvComboBox", [](QWidget* p) { return new TQvComboBox(p); },
         with({"Text", "Items", "ItemIndex", "Style", "Caption", "LabelPosition", "Color", "OnChange", "OnClick"})},
        {"TDBLabel", [](QWidget* p) { return new TDBLabel(p); },
         with({"Caption", "AutoAlign", "AutoCaption", "FocusControl", "Gap", "Pos"})},
        {"TBitCheckBox", [](QWidget* p) { return new TBitCheckBox(p); },
         with({"Caption", "Alignment", "AllowGrayed", "Checked", "State", "CheckedGlyph", "GrayedGlyph",
               "UncheckedGlyph", "CheckedNumGlyphs", "GrayedNumGlyphs", "UncheckedNumGlyphs", "Color", "OnClick"})},
        {"TOrvCheckBox", [](QWidget* p) { return new TOrvCheckBox(p); }, with({"Checked", "Caption", "OnClick"})},
        {"TQvSpinEdit", [](QWidget* p) { return new TQvSpinEdit(p); },
         with({"Text", "Value", "MinValue", "MaxValue", "Increment", "OnChange"})},
        {"TQvRadioButton", [](QWidget* p) { return new TQvRadioButton(p); },
         with({"Caption", "Checked", "Alignment", "Color", "OnClick"})},
        {"TQvRadioGroup", [](QWidget* p) { return new TQvRadioGroup(p); },
         with({"Caption", "Items", "ItemIndex", "Columns", "OnClick"})},
        {"TExtPageControl", [](QWidget* p) { return new TExtPageControl(p); },
         with({"ActivePage", "ActivePageIndex", "PageCount", "OnChange"})},
        {"TMaskEdit", [](QWidget* p) { return new TMaskEdit(p); }, with({"Text", "EditMask", "EditText", "ImeName"})},
        {"TOrvMaskEdit", [](QWidget* p) { return new TOrvMaskEdit(p); }, with({"Text", "EditMask", "OnChange"})},
    };
}

TEST(ControlProperties, SystemNamesExistUnderTheirClassNames)
{
    QWidget parent;
    for (const ControlCase& c : controlCases()) {
        QWidget* w = c.make(&parent);
        EXPECT_STREQ(w->metaObject()->className(), c.className);
        for (const QString& name : c.names) {
            EXPECT_TRUE(HasProperty(w, name)) << c.className << "." << name.toStdString();
            EXPECT_TRUE(HasProperty(w, name.toLower())) << c.className << "." << name.toStdString();
        }
    }
}

// Reads every property the class itself declares and writes the value back, as text and
// as a value; each read-back must give what was read.
TEST(ControlProperties, EveryDeclaredPropertyRoundTrips)
{
    QWidget parent;
    for (const ControlCase& c : controlCases()) {
        QWidget* w = c.make(&parent);
        const QMetaObject* mo = w->metaObject();
        for (int i = QWidget::staticMetaObject.propertyCount(); i < mo->propertyCount(); ++i) {
            const QMetaProperty p = mo->property(i);
            const QString name = QString::fromLatin1(p.name());
            if (!QChar(name.at(0)).isUpper() || !p.isWritable())
                continue; // Qt's own properties, read-only ones
            const QVariant before = GetPropertyValue(w, name);
            ASSERT_TRUE(before.isValid()) << c.className << "." << p.name();
            EXPECT_TRUE(SetPropertyValue(w, name, before)) << c.className << "." << p.name();
            EXPECT_EQ(GetPropertyValue(w, name), before) << c.className << "." << p.name();
            const int type = p.metaType().id();
            const bool textual = p.isEnumType() || type == QMetaType::QString || type == QMetaType::Int
                              || type == QMetaType::Bool || type == QMetaType::QColor;
            if (textual) {
                const QString text = GetStringProperty(w, name);
                EXPECT_TRUE(SetStringProperty(w, name, text)) << c.className << "." << p.name() << " = " << text.toStdString();
                EXPECT_EQ(GetStringProperty(w, name), text) << c.className << "." << p.name();
            }
        }
    }
}

TEST(ControlProperties, EnumerationsByTheirSystemNames)
{
    QWidget parent;
    auto* edit = new TQvEdit(&parent);
    for (const char* pos : {"lpAbove", "lpBelow", "lpLeft", "lpRight"}) {
        EXPECT_TRUE(SetStringProperty(edit, QStringLiteral("LabelPosition"), QLatin1String(pos)));
        EXPECT_EQ(GetStringProperty(edit, QStringLiteral("labelposition")), QLatin1String(pos));
    }
    auto* label = new TDBLabel(&parent);
    for (const char* pos : {"psTop", "psLeft", "psRight", "psBottom"}) {
        EXPECT_TRUE(SetStringProperty(label, QStringLiteral("Pos"), QLatin1String(pos)));
        EXPECT_EQ(GetStringProperty(label, QStringLiteral("Pos")), QLatin1String(pos));
    }
    auto* box = new TBitCheckBox(&parent);
    EXPECT_TRUE(SetStringProperty(box, QStringLiteral("State"), QStringLiteral("cbGrayed")));
    EXPECT_EQ(box->State(), TBitCheckBox::cbGrayed);
    EXPECT_FALSE(box->Checked());
    EXPECT_TRUE(SetOrdinalProperty(box, QStringLiteral("Checked"), 1));
    EXPECT_EQ(GetStringProperty(box, QStringLiteral("State")), QStringLiteral("cbChecked"));
    auto* combo = new TQvComboBox(&parent);
    EXPECT_TRUE(SetStringProperty(combo, QStringLiteral("Style"), QStringLiteral("csOwnerDrawFixed")));
    EXPECT_EQ(GetOrdinalProperty(combo, QStringLiteral("Style")), 3);
    EXPECT_FALSE(combo->isEditable());
}

TEST(ControlProperties, ObjectPropertiesRefuseTheWrongKind)
{
    QWidget parent;
    auto* b = new TF2Button(&parent);
    auto* edit = new QLineEdit(&parent);
    EXPECT_TRUE(SetPropertyValue(b, QStringLiteral("F2Control"), QVariant::fromValue<QObject*>(edit)));
    EXPECT_EQ(b->F2Control(), edit);
    QObject notAWidget;
    EXPECT_FALSE(SetPropertyValue(b, QStringLiteral("F2Control"), QVariant::fromValue(&notAWidget)));
    EXPECT_EQ(b->F2Control(), edit);
    EXPECT_FALSE(SetStringProperty(b, QStringLiteral("F2Control"), QStringLiteral("edit")));
    EXPECT_TRUE(SetPropertyValue(b, QStringLiteral("F2Control"), QVariant()));
    EXPECT_EQ(b->F2Control(), nullptr);
}

TEST(ControlProperties, FontMembersByPath)
{
    QWidget parent;
    parent.setObjectName(QStringLiteral("frm"));
    auto* edit = new TQvEdit(&parent);
    edit->setObjectName(QStringLiteral("ed01"));
    EXPECT_TRUE(SetPropertyPathText(&parent, QStringLiteral("ed01.Font.Size"), QStringLiteral("12")));
    EXPECT_EQ(edit->font().pointSize(), 12);
    EXPECT_TRUE(SetPropertyPathText(&parent, QStringLiteral("ed01.Font.Height"), QStringLiteral("-13")));
    EXPECT_EQ(edit->font().pixelSize(), 13);
    EXPECT_EQ(GetPropertyPathText(&parent, QStringLiteral("ed01.Font.Height")), QStringLiteral("-13"));
    EXPECT_TRUE(SetPropertyPathText(&parent, QStringLiteral("ed01.Font.Style"), QStringLiteral("[fsBold]")));
    EXPECT_TRUE(edit->font().bold());
    EXPECT_EQ(GetPropertyPathText(&parent, QStringLiteral("ed01.Font.Style")), QStringLiteral("[fsBold]"));
    EXPECT_TRUE(SetPropertyPathText(&parent, QStringLiteral("ed01.Font.Color"), QStringLiteral("clRed")));
    EXPECT_EQ(edit->palette().color(QPalette::Text), QColor(Qt::red));
    EXPECT_FALSE(SetPropertyPathText(&parent, QStringLiteral("ed01.Font.Size"), QStringLiteral("big")));
    EXPECT_FALSE(SetPropertyPathText(&parent, QStringLiteral("ed01.Font.Weight"), QStringLiteral("1")));
    // The caption label is reached through its control.
    EXPECT_TRUE(SetPropertyPathText(&parent, QStringLiteral("ed01.EditLabel.Text"), QStringLiteral("币别")));
    EXPECT_EQ(edit->Caption(), QStringLiteral("币别"));
}

TEST(ControlProperties, ColourTextsRoundTrip)
{
    for (const char* name : {"clRed", "clNavy", "clWhite", "clSilver", "clMoneyGreen"}) {
        QColor c;
        ASSERT_TRUE(ColorFromText(QLatin1String(name), c)) << name;
        EXPECT_EQ(ColorToText(c), QLatin1String(name));
    }
    QColor c;
    ASSERT_TRUE(ColorFromText(QStringLiteral("15202766"), c));
    EXPECT_EQ(c, QColor(206, 249, 231));
    EXPECT_EQ(ColorToText(c), QStringLiteral("$00E7F9CE"));
    ASSERT_TRUE(ColorFromText(QStringLiteral("clBtnFace"), c));
    EXPECT_TRUE(c.isValid());
    EXPECT_FALSE(ColorFromText(QStringLiteral("$XYZ"), c));
    EXPECT_FALSE(ColorFromText(QString(), c));
    EXPECT_EQ(QColorToTColor(TColorToQColor(0x123456)), 0x123456);
}

} // namespace
