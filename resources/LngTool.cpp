// lngtool: keeps the language files of the forms in step with the forms.
//   lngtool chs <folder>   writes <folder>/<class>.Lng with the simplified texts each form
//                          class adds (its components' Caption, Hint, ButtonHint, Text and
//                          list lines), as the forms build them
//   lngtool cht <from> <to> converts every .Lng of <from> to traditional characters in <to>
// The files are checked in; the build does not run this.

#include "batch/Notify.h"
#include "batch/PortalUser.h"
#include "jobform/GeneCondition.h"
#include "config/QVForm.h"
#include "config/RunTimeProps.h"
#include "config/TranslatorU.h"
#include "writeoff/WOFB07CF.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMetaProperty>
#include <QTextStream>

#include <pugixml.hpp>

#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>

namespace {

bool hasChinese(const QString& s)
{
    for (QChar c : s)
        if (c.unicode() >= 0x3400 && c.unicode() <= 0x9FFF)
            return true;
    return false;
}

bool same(const char* a, const char* b)
{
    return std::strcmp(a, b) == 0;
}

// The texts the base job form looks up by key (TfrmBaseGene::GetText), with their defaults.
const std::pair<const char*, const char*> kBaseGeneTexts[] = {
    {"sExeVer", "[您现在运行的是Exe版本!]"},
    {"sPublicVer", "-普及版"},
    {"sOption", "选择条件文字"},
    {"sOptionInf", "选择条件信息"},
    {"sEnvSetting", "环境设置"},
    {"sDatePramError", "判断日期的函数第一个参数错误, 只能传下列三种物件:"},
    {"sYMPramError", "判断年月的函数第一个参数错误, 只能传下列三种物件:"},
    {"sBBM", "同学, 你吗帮帮忙, 这个 Procedure 是专门给TSelectPanel元件用的!"},
    {"sProjectName", "方案名称"},
    {"sCreateTime", "创建时间"},
    {"sNotListed", "下列单据不在待冲销清单中: %1"},
    {"sNoCandidates", "没有待冲销的单据"},
    {"sOkDisabled", "作业无法送出: %1"},
    {"sNoResult", "作业没有完成"},
    {"sNoNotice", "完成通知未能送出: "},
    {"sNoDirectRight", "您没有直接处理本作业的权限"},
    {"sNoQueue", "无法取得讯息队列的连接"},
    {"sNoRight", "您没有执行本作业的权限, 不能处理!"},
    {"sNoQueueRight", "您没有后台处理本作业的权限"},
    {"sNoRunsLeft", "(没有运行)"},
    {"sRollFailed", "变动字段无法计算, 请检查变动字段的设置"},
};

// The texts other forms look up by key in a section of their own (GetText with a section).
const std::pair<const char*, const char*> kBaseBatchTexts[] = {
    {"sReason", "有问题! 原因: "},
    {"sOver", "处理完毕! "},
};
const std::pair<const char*, const char*> kGeneConditionTexts[] = {
    {"sEmptyProjName", "方案名不可空白!"},
    {"sReplaceProj", "此方案名已存在！是否将原来的方案替换为此方案?"},
};

// property path -> text, for the texts of one component that carry Chinese.
std::map<QString, QString> textsOf(QObject* component)
{
    std::map<QString, QString> out;
    for (const char* name : {"Caption", "Hint", "ButtonHint", "Text", "HintWord"}) {
        const QMetaProperty p = FindProperty(component, QString::fromLatin1(name));
        QString v = p.isValid() ? p.read(component).toString() : GetStringProperty(component, QString::fromLatin1(name));
        // A button's Text is its Caption.
        if (hasChinese(v) && !(same(name, "Text") && out.count(QStringLiteral("Caption")) && out[QStringLiteral("Caption")] == v))
            out[QString::fromLatin1(name)] = v;
    }
    for (const char* name : {"Items", "Lines", "ChildHints", "BeginWords", "FinalWords", "ColumnCaptions"}) {
        const QMetaProperty p = FindProperty(component, QString::fromLatin1(name));
        if (!p.isValid() || p.metaType().id() != QMetaType::QStringList)
            continue;
        const QStringList lines = p.read(component).toStringList();
        for (qsizetype i = 0; i < lines.size(); ++i)
            if (hasChinese(lines[i]))
                out[QStringLiteral("%1_%2").arg(QString::fromLatin1(name)).arg(i)] = lines[i];
    }
    return out;
}

using Texts = std::map<QString, std::map<QString, QString>>; // component -> texts

Texts formTexts(TQVForm* form)
{
    Texts t;
    t[QString()] = textsOf(form);
    for (QObject* c : form->Components())
        if (!c->objectName().isEmpty()) {
            auto texts = textsOf(c);
            if (!texts.empty())
                t[c->objectName()] = texts;
        }
    return t;
}

void writeFile(const QString& file, const QString& className, const Texts& texts, const Texts& inherited)
{
    pugi::xml_document doc;
    auto decl = doc.append_child(pugi::node_declaration);
    decl.append_attribute("version") = "1.0";
    decl.append_attribute("encoding") = "UTF-8";
    pugi::xml_node root = doc.append_child(className.toUtf8().constData());
    for (const auto& [component, values] : texts) {
        const auto base = inherited.find(component);
        pugi::xml_node node = component.isEmpty() ? root : pugi::xml_node();
        for (const auto& [path, value] : values) {
            if (base != inherited.end() && base->second.count(path) && base->second.at(path) == value)
                continue;
            if (!node)
                node = root.append_child(component.toUtf8().constData());
            node.append_attribute(path.toUtf8().constData()) = value.toUtf8().constData();
        }
    }
    const auto keyed = [&](const auto& texts) {
        for (const auto& [key, text] : texts)
            root.append_child(key).append_attribute("Msg") = text;
    };
    if (className == QLatin1String("TfrmBaseGene"))
        keyed(kBaseGeneTexts);
    else if (className == QLatin1String("TfrmBaseBatch"))
        keyed(kBaseBatchTexts);
    else if (className == QLatin1String("TfrmGeneCondition"))
        keyed(kGeneConditionTexts);
    doc.save_file(QFile::encodeName(file).constData(), "  ");
}

template <class T>
Texts textsOfClass()
{
    T* form = TQVForm::Create<T>();
    Texts t = formTexts(form);
    form->Free();
    return t;
}

int chs(const QString& folder)
{
    QDir().mkpath(folder);
    // Each class's file holds what it adds or changes over the class below it.
    const std::vector<std::pair<QString, std::function<Texts()>>> chain{
        {QStringLiteral("TQVForm"), textsOfClass<TQVForm>},
        {QStringLiteral("TfrmBaseGene"), textsOfClass<TfrmBaseGene>},
        {QStringLiteral("TfrmBaseOpt"), textsOfClass<TfrmBaseOpt>},
        {QStringLiteral("TfrmBaseBatch"), textsOfClass<TfrmBaseBatch>},
        {QStringLiteral("TfrmWOFB07"), textsOfClass<TfrmWOFB07>},
    };
    Texts below;
    for (const auto& [name, make] : chain) {
        const Texts texts = make();
        writeFile(folder + QLatin1Char('/') + name + QStringLiteral(".Lng"), name, texts, below);
        below = texts;
    }
    // The dialogs of the job forms, each over the base form; they need a job form as owner.
    const Texts base = textsOfClass<TQVForm>();
    TfrmBaseGene* owner = TQVForm::Create<TfrmBaseGene>();
    const auto dialog = [&](const QString& name, TQVForm* form) {
        writeFile(folder + QLatin1Char('/') + name + QStringLiteral(".Lng"), name, formTexts(form), base);
        form->Free();
    };
    dialog(QStringLiteral("TfrmGeneCondition"), new TfrmGeneCondition(QString(), 0, owner));
    dialog(QStringLiteral("TfrmNotify"), TQVForm::Create<TfrmNotify>(owner, QStringLiteral("N"), QString()));
    dialog(QStringLiteral("TfrmPortalUser"), TQVForm::Create<TfrmPortalUser>(owner, Variant()));
    owner->Free();
    return 0;
}

void convertNode(pugi::xml_node node, const TTranslator& t)
{
    for (pugi::xml_attribute a : node.attributes())
        a.set_value(t.GBToBIG5(a.value()).c_str());
    for (pugi::xml_node child : node.children())
        if (child.type() == pugi::node_element)
            convertNode(child, t);
}

int cht(const QString& from, const QString& to)
{
    const TTranslator t;
    QDir().mkpath(to);
    for (const QString& name : QDir(from).entryList({QStringLiteral("*.Lng")}, QDir::Files, QDir::Name)) {
        pugi::xml_document doc;
        if (!doc.load_file(QFile::encodeName(from + QLatin1Char('/') + name).constData())) {
            std::fprintf(stderr, "lngtool: %s is not well-formed\n", qPrintable(name));
            return 1;
        }
        convertNode(doc.document_element(), t);
        doc.save_file(QFile::encodeName(to + QLatin1Char('/') + name).constData(), "  ");
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    try {
        if (args.size() == 3 && args[1] == QLatin1String("chs"))
            return chs(args[2]);
        if (args.size() == 4 && args[1] == QLatin1String("cht"))
            return cht(args[2], args[3]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "lngtool: %s\n", e.what());
        return 1;
    }
    std::fprintf(stderr, "usage: lngtool chs <folder> | lngtool cht <from> <to>\n");
    return 2;
}
