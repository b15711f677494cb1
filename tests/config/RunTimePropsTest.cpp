// Published properties by name: case, enumerations, colours, events, paths and the
// names that must do nothing.

#include "config/RunTimeProps.h"
#include "config/QVForm.h"

#include <QFont>
#include <QLabel>
#include <QLineEdit>

#include <gtest/gtest.h>

namespace {

class Sample : public QWidget, public TEventSource {
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(int ItemIndex READ ItemIndex WRITE SetItemIndex)
    Q_PROPERTY(bool Checked READ Checked WRITE SetChecked)
    Q_PROPERTY(TSelectStyle Style READ Style WRITE SetStyle)
    Q_PROPERTY(TStyles Options READ Options WRITE SetOptions)
    Q_PROPERTY(QColor Color READ Color WRITE SetColor)
    Q_PROPERTY(QStringList Lines READ Lines WRITE SetLines)
    Q_PROPERTY(QFont Font READ font WRITE setFont)
    Q_PROPERTY(QString ReadOnlyText READ Caption)
    Q_PROPERTY(QObject* Partner READ Partner WRITE SetPartner)

public:
    enum TSelectStyle { sp_Range, sp_Discrete, sp_UserChoice };
    Q_ENUM(TSelectStyle)
    enum TStyle { fsBold = 1, fsItalic = 2 };
    Q_DECLARE_FLAGS(TStyles, TStyle)
    Q_FLAG(TStyles)

    QString Caption() const { return caption; }
    void SetCaption(const QString& c) { caption = c; }
    int ItemIndex() const { return itemIndex; }
    void SetItemIndex(int i) { itemIndex = i; }
    bool Checked() const { return checked; }
    void SetChecked(bool c) { checked = c; }
    TSelectStyle Style() const { return style; }
    void SetStyle(TSelectStyle s) { style = s; }
    TStyles Options() const { return options; }
    void SetOptions(TStyles o) { options = o; }
    QColor Color() const { return color; }
    void SetColor(const QColor& c) { color = c; }
    QStringList Lines() const { return lines; }
    void SetLines(const QStringList& l) { lines = l; }
    QObject* Partner() const { return partner; }
    void SetPartner(QObject* p) { partner = p; }

    TNotifyEvent OnClick;
    TNotifyEvent OnExit;
    TNotifyEvent* notifyEvent(std::string_view name) override
    {
        if (SameName(name, "OnClick"))
            return &OnClick;
        if (SameName(name, "OnExit"))
            return &OnExit;
        return TEventSource::notifyEvent(name);
    }

    QString caption;
    int itemIndex = -1;
    bool checked = false;
    TSelectStyle style = sp_Range;
    TStyles options;
    QColor color = Qt::white;
    QStringList lines;
    QObject* partner = nullptr;
};

TEST(RunTimeProps, NamesWithoutRegardToCase)
{
    Sample s;
    EXPECT_TRUE(SetStringProperty(&s, QStringLiteral("caption"), QStringLiteral("起")));
    EXPECT_EQ(s.caption, QStringLiteral("起"));
    EXPECT_EQ(GetStringProperty(&s, QStringLiteral("CAPTION")), QStringLiteral("起"));
    EXPECT_TRUE(SetOrdinalProperty(&s, QStringLiteral("itemindex"), 3));
    EXPECT_EQ(GetOrdinalProperty(&s, QStringLiteral("ItemIndex")), 3);
    EXPECT_TRUE(SetOrdinalProperty(&s, QStringLiteral("Checked"), 1));
    EXPECT_TRUE(s.checked);
    EXPECT_TRUE(SetStringProperty(&s, QStringLiteral("checked"), QStringLiteral("false")));
    EXPECT_FALSE(s.checked);
    EXPECT_EQ(GetStringProperty(&s, QStringLiteral("Checked")), QStringLiteral("False"));
    // Qt's own properties answer the system's names too.
    EXPECT_TRUE(SetOrdinalProperty(&s, QStringLiteral("Enabled"), 0));
    EXPECT_FALSE(s.isEnabled());
}

TEST(RunTimeProps, EnumerationsByName)
{
    Sample s;
    EXPECT_TRUE(SetStringProperty(&s, QStringLiteral("Style"), QStringLiteral(" SP_USERCHOICE ")));
    EXPECT_EQ(s.style, Sample::sp_UserChoice);
    EXPECT_EQ(GetStringProperty(&s, QStringLiteral("style")), QStringLiteral("sp_UserChoice"));
    EXPECT_EQ(GetOrdinalProperty(&s, QStringLiteral("Style")), 2);
    EXPECT_TRUE(SetOrdinalProperty(&s, QStringLiteral("Style"), 1));
    EXPECT_EQ(s.style, Sample::sp_Discrete);
    // Unknown names and values out of range change nothing.
    EXPECT_FALSE(SetStringProperty(&s, QStringLiteral("Style"), QStringLiteral("sp_Nothing")));
    EXPECT_FALSE(SetOrdinalProperty(&s, QStringLiteral("Style"), 7));
    EXPECT_EQ(s.style, Sample::sp_Discrete);
    // Sets as the system writes them.
    EXPECT_TRUE(SetStringProperty(&s, QStringLiteral("Options"), QStringLiteral("[fsBold,fsItalic]")));
    EXPECT_EQ(int(s.options), 3);
    EXPECT_FALSE(SetStringProperty(&s, QStringLiteral("Options"), QStringLiteral("[fsBold,fsWide]")));
    EXPECT_EQ(int(s.options), 3);
}

TEST(RunTimeProps, ColoursAsTheSystemWritesThem)
{
    Sample s;
    EXPECT_TRUE(SetStringProperty(&s, QStringLiteral("Color"), QStringLiteral("clRed")));
    EXPECT_EQ(s.color, QColor(255, 0, 0));
    EXPECT_EQ(GetOrdinalProperty(&s, QStringLiteral("Color")), 0x0000FF);
    EXPECT_EQ(GetStringProperty(&s, QStringLiteral("Color")), QStringLiteral("clRed"));
    // TColor values are blue-green-red.
    EXPECT_TRUE(SetOrdinalProperty(&s, QStringLiteral("Color"), 15532027));
    EXPECT_EQ(s.color, QColor(251, 255, 236));
    EXPECT_TRUE(SetStringProperty(&s, QStringLiteral("Color"), QStringLiteral("$00FF0000")));
    EXPECT_EQ(s.color, QColor(0, 0, 255));
    EXPECT_FALSE(SetStringProperty(&s, QStringLiteral("Color"), QStringLiteral("clNoSuchColour")));
    EXPECT_EQ(s.color, QColor(0, 0, 255));
}

TEST(RunTimeProps, UnknownNamesDoNothing)
{
    Sample s;
    const int before = s.metaObject()->propertyCount();
    EXPECT_FALSE(SetStringProperty(&s, QStringLiteral("NoSuchThing"), QStringLiteral("x")));
    EXPECT_FALSE(SetOrdinalProperty(&s, QStringLiteral("NoSuchThing"), 1));
    EXPECT_FALSE(SetMethodProperty(&s, QStringLiteral("OnNothing"), [](QObject*) {}));
    // No dynamic property was made behind our back.
    EXPECT_FALSE(s.property("NoSuchThing").isValid());
    EXPECT_TRUE(s.dynamicPropertyNames().isEmpty() || !s.dynamicPropertyNames().contains("NoSuchThing"));
    EXPECT_EQ(s.metaObject()->propertyCount(), before);
    EXPECT_EQ(GetStringProperty(&s, QStringLiteral("NoSuchThing")), QString());
    EXPECT_EQ(GetOrdinalProperty(&s, QStringLiteral("NoSuchThing")), 0);
    EXPECT_FALSE(HasProperty(&s, QStringLiteral("NoSuchThing")));
    EXPECT_FALSE(HasProperty(&s, QString()));
    EXPECT_FALSE(HasProperty(nullptr, QStringLiteral("Caption")));
    EXPECT_FALSE(SetStringProperty(nullptr, QStringLiteral("Caption"), QStringLiteral("x")));
    EXPECT_FALSE(GetMethodProperty(nullptr, QStringLiteral("OnClick")));
    // Read-only and wrongly typed assignments fail.
    EXPECT_FALSE(SetStringProperty(&s, QStringLiteral("ReadOnlyText"), QStringLiteral("x")));
    EXPECT_FALSE(SetStringProperty(&s, QStringLiteral("ItemIndex"), QStringLiteral("three")));
    EXPECT_EQ(s.itemIndex, -1);
    // Ordinal helpers refuse texts.
    EXPECT_FALSE(SetOrdinalProperty(&s, QStringLiteral("Caption"), 5));
    EXPECT_EQ(GetOrdinalProperty(&s, QStringLiteral("Caption")), 0);
}

TEST(RunTimeProps, EventsSavedReplacedAndRestored)
{
    Sample s;
    int original = 0, replacement = 0;
    s.OnClick = [&](QObject*) { ++original; };
    EXPECT_TRUE(HasProperty(&s, QStringLiteral("onclick")));
    const TNotifyEvent saved = GetMethodProperty(&s, QStringLiteral("OnClick"));
    ASSERT_TRUE(saved);
    EXPECT_TRUE(SetMethodProperty(&s, QStringLiteral("ONCLICK"), [&](QObject*) { ++replacement; }));
    Fire(s.OnClick, &s);
    EXPECT_TRUE(SetMethodProperty(&s, QStringLiteral("OnClick"), saved));
    Fire(s.OnClick, &s);
    EXPECT_EQ(original, 1);
    EXPECT_EQ(replacement, 1);
    // An empty handler clears the event.
    EXPECT_TRUE(SetMethodProperty(&s, QStringLiteral("OnExit"), TNotifyEvent()));
    EXPECT_FALSE(GetMethodProperty(&s, QStringLiteral("OnExit")));
}

TEST(RunTimeProps, StringListsAndStandardNames)
{
    Sample s;
    EXPECT_TRUE(SetStringProperty(&s, QStringLiteral("Lines"), QStringLiteral("a\r\nb\r\n")));
    EXPECT_EQ(s.lines, (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
    EXPECT_EQ(GetStringProperty(&s, QStringLiteral("Lines")), QStringLiteral("a\r\nb"));

    QWidget window;
    QLabel label(&window);
    EXPECT_TRUE(HasProperty(&label, QStringLiteral("Hint")));
    EXPECT_TRUE(SetStringProperty(&label, QStringLiteral("hint"), QStringLiteral("提示")));
    EXPECT_EQ(label.toolTip(), QStringLiteral("提示"));
    EXPECT_TRUE(SetOrdinalProperty(&label, QStringLiteral("Left"), 12));
    EXPECT_TRUE(SetStringProperty(&label, QStringLiteral("Width"), QStringLiteral("80")));
    EXPECT_EQ(label.x(), 12);
    EXPECT_EQ(label.width(), 80);
    EXPECT_EQ(GetOrdinalProperty(&label, QStringLiteral("Width")), 80);
    EXPECT_FALSE(HasProperty(&label, QStringLiteral("Caption"))); // not a window
    EXPECT_TRUE(SetStringProperty(&window, QStringLiteral("Caption"), QStringLiteral("窗口")));
    EXPECT_EQ(window.windowTitle(), QStringLiteral("窗口"));
}

class PathForm : public TQVForm {
public:
    PathForm()
    {
        edit = new QLineEdit(this);
        edit->setObjectName(QStringLiteral("edDate"));
        panel = new Sample;
        panel->setParent(this);
        panel->setObjectName(QStringLiteral("sp03"));
        inner = new QLineEdit(panel);
        inner->setObjectName(QStringLiteral("edBegin"));
        SetSubComponent(inner);
        panel->partner = edit;
    }
    QLineEdit* edit;
    Sample* panel;
    QLineEdit* inner;
};

TEST(RunTimeProps, PathsFromAForm)
{
    auto* form = TQVForm::Create<PathForm>();
    EXPECT_TRUE(SetPropertyPathText(form, QStringLiteral("EDDATE.Text"), QStringLiteral("2024/01/31")));
    EXPECT_EQ(form->edit->text(), QStringLiteral("2024/01/31"));
    EXPECT_EQ(GetPropertyPathText(form, QStringLiteral("edDate.text")), QStringLiteral("2024/01/31"));
    EXPECT_EQ(GetPropertyPathText(form, QStringLiteral("sp03.Style")), QStringLiteral("sp_Range"));
    // Object-valued properties lead on.
    EXPECT_TRUE(SetPropertyPathText(form, QStringLiteral("sp03.Partner.Text"), QStringLiteral("x")));
    EXPECT_EQ(form->edit->text(), QStringLiteral("x"));
    // A form's own property, and fonts by member.
    EXPECT_TRUE(SetPropertyPathText(form, QStringLiteral("Caption"), QStringLiteral("核销")));
    EXPECT_EQ(form->windowTitle(), QStringLiteral("核销"));
    EXPECT_TRUE(SetPropertyPathText(form, QStringLiteral("sp03.Font.Name"), QStringLiteral("Tahoma")));
    EXPECT_EQ(form->panel->font().family(), QStringLiteral("Tahoma"));
    EXPECT_TRUE(SetPropertyPathText(form, QStringLiteral("sp03.Font.Charset"), QStringLiteral("136")));
    EXPECT_EQ(FontCharset(form->panel), 136);
    EXPECT_EQ(GetPropertyPathText(form, QStringLiteral("sp03.Font.Charset")), QStringLiteral("136"));
    // Sub-components are not the form's, but their control reaches them.
    EXPECT_EQ(form->FindComponent(QStringLiteral("edBegin")), nullptr);
    EXPECT_TRUE(form->Components().contains(form->panel));
    EXPECT_FALSE(form->Components().contains(form->inner));
    EXPECT_TRUE(SetPropertyPathText(form, QStringLiteral("sp03.edBegin.Text"), QStringLiteral("A")));
    EXPECT_EQ(form->inner->text(), QStringLiteral("A"));
    // Broken paths do nothing.
    EXPECT_FALSE(SetPropertyPathText(form, QStringLiteral("edNone.Text"), QStringLiteral("y")));
    EXPECT_FALSE(SetPropertyPathText(form, QStringLiteral("edDate."), QStringLiteral("y")));
    EXPECT_FALSE(SetPropertyPathText(form, QStringLiteral("sp03.Caption.Text"), QStringLiteral("y")));
    EXPECT_EQ(GetPropertyPathText(form, QStringLiteral("edNone.Text")), QString());
    form->Free();
}

} // namespace

#include "RunTimePropsTest.moc"
