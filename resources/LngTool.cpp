// lngtool: keeps the language files of the forms in step with the forms.
//   lngtool chs <folder>   writes <folder>/<class>.Lng with the simplified texts each form
//                          class adds (its components' and their parts' captions, hints,
//                          texts, list and combo lines, column titles), as the forms build
//                          them, and the texts the forms look up by key
//   lngtool cht <from> <to> converts every .Lng of <from> to Taiwan's traditional wording
//                          in <to>
//   lngtool verify         checks that the reader puts back every text the forms give
// The files are checked in; the build does not run this.

#include "batch/Notify.h"
#include "batch/PortalUser.h"
#include "jobform/GeneCondition.h"
#include "writeoff/BatchHistory.h"
#include "config/LanguageController.h"
#include "config/QVForm.h"
#include "config/RunTimeProps.h"
#include "writeoff/WOFB07CF.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCollator>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QMetaProperty>
#include <QTextStream>

#include <opencc/SimpleConverter.hpp>
#include <pugixml.hpp>

#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <sstream>

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
    {"sNextRuns", "以后五次运行: "},
    {"sNoRuns", "(请输入完整的循环设置)"},
    {"sNoSchemes", "此应用服务器不保存条件方案"},
    {"sDeleteProj", "确实要删除此方案吗？"},
    {"sProjNameEmpty", "方案名不可空白!"},
    {"sProjNameError", "方案名长度不可大于20!"},
    {"sProjNameExist", "此方案名称已经存在！"},
    {"sFailedRename", "更改方案名失败!"},
    {"sRunsSoon", "作业将在工作队列中尽快运行。"},
    {"sRunsAt", "作业将于 %1 运行。"},
    {"sRunsFirst", "作业第一次于 %1 运行。"},
    {"sRunsLater", "以后: %1"},
    {"sRunNow", "提交时"},
    {"sRunsNowFirst", "作业提交后立即运行一次。"},
    {"sConfirmRun", "现在转销并过账吗?\r单据笔数: %1\r原币合计 (%2): %3\r本币合计 (%4): %5\r转销批号: %6\r转销供应商: %7"},
};

// The texts other forms look up by key in a section of their own (GetText with a section).
const std::pair<const char*, const char*> kBaseBatchTexts[] = {
    {"sReason", "有问题! 原因: "},
    {"sOver", "处理完毕! "},
};
const std::pair<const char*, const char*> kWriteOffTexts[] = {
    {"sHiddenTicked", "选中的单据有 %1 笔不在筛选结果中"},
    {"sRunBatchDate", "每次运行的批号加上运行日期, 第一次运行的批号: %1"},
    {"sRunBatchNumber", "每次运行的批号加上运行序号, 第一次运行的批号: %1"},
    {"sExportTitle", "导出候选单据"},
    {"sExportLookIn", "保存在:"},
    {"sExportFileName", "文件名:"},
    {"sExportFileType", "保存类型:"},
    {"sExportSave", "保存"},
    {"sExportCancel", "取消"},
    {"sExportXlsx", "Excel 工作簿"},
    {"sExportCsv", "CSV (逗号分隔, UTF-8)"},
    {"sExportReplace", "%1 已存在, 要替换它吗?"},
    {"sExportCannotWrite", "无法写入文件: %1"},
    {"sExportTooLarge", "列表超出电子表格的限度: %1"},
    {"sExportNoSuchDate", "日期不存在: %1"},
    {"sExportAmountsAsText", "%1 个金额超过 15 位有效数字, 按原样以文字写入 (第一个在 %2)"},
};
const std::pair<const char*, const char*> kGeneConditionTexts[] = {
    {"sEmptyProjName", "方案名不可空白!"},
    {"sReplaceProj", "此方案名已存在！是否将原来的方案替换为此方案?"},
};

// The recipient dialog's column titles, looked up by key ("Cells" column, header row).
const std::pair<const char*, const char*> kNotifyTexts[] = {
    {"Cells00", "收件人"}, {"Cells10", "姓名"}, {"Cells20", "手机号码"}, {"Cells30", "邮箱地址"},
    {"Cells40", "类型"},   {"Cells50", "消息"}, {"Cells60", "短信"},     {"Cells70", "邮件"},
};
// The batch history's messages and the words of its lists, looked up by key.
const std::pair<const char*, const char*> kBatchHistoryTexts[] = {
    {"sHistoryDirect", "直接处理"},
    {"sHistoryQueued", "后台处理"},
    {"sHistoryNoServer", "没有连接到应用服务器"},
    {"sHistoryCannotList", "无法读取转销记录: %1"},
    {"sHistoryCannotRead", "无法读取批次 %1: %2"},
    {"sHistoryConfirmReverse", "撤销批次 %1 吗?\r%2 笔单据恢复到转销以前, 转销产生的单据删除。"},
    {"sHistoryNotReversed", "批次 %1 没有撤销: %2"},
    {"sHistoryReversed", "批次 %1 已撤销"},
    {"sHistoryExportTitle", "导出批次的单据"},
    {"sHistoryPrintTitle", "打印批次的报表"},
    {"sHistoryPdf", "PDF 文件"},
    {"sHistoryCannotPrint", "无法打印报表: %1"},
};
// Components whose texts a form looks up by key instead (form class, component).
const std::pair<const char*, const char*> kKeyedComponents[] = {{"TfrmNotify", "grReceive"}};

// Property paths in the order a person reads them: Items_2 before Items_10.
struct PathOrder {
    bool operator()(const QString& a, const QString& b) const
    {
        static const QCollator collator = [] {
            QCollator c(QLocale::c());
            c.setNumericMode(true);
            return c;
        }();
        return collator.compare(a, b) < 0;
    }
};
using PathTexts = std::map<QString, QString, PathOrder>;

// property path -> text, for the texts of one component that carry Chinese: what the
// reader (config/LanguageController.h) applies back.
PathTexts textsOf(QObject* component)
{
    PathTexts out;
    // A group box's Caption is its title; a memo's text its PlainText.
    for (const char* name : {"Caption", "Hint", "ButtonHint", "Text", "HintWord", "PlainText"}) {
        const QMetaProperty p = FindProperty(component, QString::fromLatin1(name));
        QString v = p.isValid() ? p.read(component).toString() : GetStringProperty(component, QString::fromLatin1(name));
        // A button's Text is its Caption; a combo box's its chosen line.
        if (same(name, "Text") && ((out.count(QStringLiteral("Caption")) && out[QStringLiteral("Caption")] == v)
                                   || qobject_cast<QComboBox*>(component)))
            continue;
        if (hasChinese(v))
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
    // A plain combo box's lines.
    if (auto* combo = qobject_cast<QComboBox*>(component); combo && !FindProperty(combo, QStringLiteral("Items")).isValid())
        for (int i = 0; i < combo->count(); ++i)
            if (hasChinese(combo->itemText(i)))
                out[QStringLiteral("Items_%1").arg(i)] = combo->itemText(i);
    // Column titles of lists and tables (of a data grid: its fields' labels).
    // (A header view shows its table's titles: the table gives them.)
    auto* view = qobject_cast<QHeaderView*>(component) ? nullptr : qobject_cast<QAbstractItemView*>(component);
    if (QAbstractItemModel* model = view && !FindProperty(view, QStringLiteral("ColumnCaptions")).isValid() ? view->model()
                                                                                                             : nullptr)
        for (int c = 0; c < model->columnCount(); ++c) {
            const QString title = model->headerData(c, Qt::Horizontal).toString();
            if (hasChinese(title))
                out[QStringLiteral("Columns_%1.Caption").arg(c)] = title;
        }
    return out;
}

using Texts = std::map<QString, PathTexts>; // component (part: "sp05.lblBegin") -> texts

bool keyed(const QString& className, const QString& component)
{
    for (const auto& [form, name] : kKeyedComponents)
        if (className == QLatin1String(form) && component == QLatin1String(name))
            return true;
    return false;
}

Texts formTexts(TQVForm* form, const QString& className)
{
    Texts t;
    t[QString()] = textsOf(form);
    for (QObject* c : form->Components()) {
        const QString name = c->objectName();
        if (keyed(className, name))
            continue;
        auto texts = textsOf(c);
        // A part's texts stand inside its control's element; what the control's own
        // properties give it (a select panel's words and hints) stays with the control.
        for (QObject* part : SubComponents(c)) {
            if (part->objectName().isEmpty())
                continue;
            PathTexts own;
            for (const auto& [path, value] : textsOf(part)) {
                bool given = false;
                for (const auto& [p, v] : texts)
                    given = given || v == value;
                if (!given)
                    own[path] = value;
            }
            if (!own.empty())
                t[name + QLatin1Char('.') + part->objectName()] = own;
        }
        if (!texts.empty())
            t[name] = texts;
    }
    // A text no language file can reach: its control needs a name.
    // (The inner views of a table are the table's.)
    const auto inTable = [form](QWidget* w) {
        for (QWidget* p = w->parentWidget(); p && p != form; p = p->parentWidget())
            if (qobject_cast<QAbstractItemView*>(p))
                return true;
        return false;
    };
    for (QWidget* w : form->findChildren<QWidget*>())
        if (w->objectName().isEmpty() && !IsSubComponent(w) && !inTable(w))
            for (const auto& [path, value] : textsOf(w))
                std::fprintf(stderr, "lngtool: %s: an unnamed %s shows %s=\"%s\"\n", qPrintable(className),
                             w->metaObject()->className(), qPrintable(path), qPrintable(value));
    return t;
}

// Adds the texts to a file's root, a part's inside its control's element; a text equal to
// the class below's is left out.
void addTexts(pugi::xml_node root, const Texts& texts, const Texts& inherited)
{
    for (const auto& [component, values] : texts) {
        const auto base = inherited.find(component);
        pugi::xml_node node = component.isEmpty() ? root : pugi::xml_node();
        for (const auto& [path, value] : values) {
            if (base != inherited.end() && base->second.count(path) && base->second.at(path) == value)
                continue;
            if (!node) {
                node = root;
                for (const QString& name : component.split(QLatin1Char('.'))) {
                    const QByteArray n = name.toUtf8();
                    pugi::xml_node existing = node.child(n.constData());
                    node = existing ? existing : node.append_child(n.constData());
                }
            }
            node.append_attribute(path.toUtf8().constData()) = value.toUtf8().constData();
        }
    }
}

void writeFile(const QString& file, const QString& className, const Texts& texts, const Texts& inherited)
{
    pugi::xml_document doc;
    auto decl = doc.append_child(pugi::node_declaration);
    decl.append_attribute("version") = "1.0";
    decl.append_attribute("encoding") = "UTF-8";
    pugi::xml_node root = doc.append_child(className.toUtf8().constData());
    addTexts(root, texts, inherited);
    const auto keyedTexts = [&](const auto& texts) {
        for (const auto& [key, text] : texts)
            root.append_child(key).append_attribute("Msg") = text;
    };
    if (className == QLatin1String("TfrmBaseGene"))
        keyedTexts(kBaseGeneTexts);
    else if (className == QLatin1String("TfrmBaseBatch"))
        keyedTexts(kBaseBatchTexts);
    else if (className == QLatin1String("TfrmGeneCondition"))
        keyedTexts(kGeneConditionTexts);
    else if (className == QLatin1String("TfrmWOFB07"))
        keyedTexts(kWriteOffTexts);
    else if (className == QLatin1String("TfrmNotify"))
        keyedTexts(kNotifyTexts);
    else if (className == QLatin1String("TfrmBatchHistory"))
        keyedTexts(kBatchHistoryTexts);
    doc.save_file(QFile::encodeName(file).constData(), "  ");
}

// The forms with language files: the job form's class chain, each class's file holding
// what it adds or changes over the class below it, then the dialogs, each over the base
// form (they need a job form as owner).
struct FormClass {
    QString name;
    std::function<TQVForm*(TfrmBaseGene* owner)> make;
    bool dialog;
};

const std::vector<FormClass>& formClasses()
{
    static const std::vector<FormClass> classes{
        {QStringLiteral("TQVForm"), [](TfrmBaseGene*) { return TQVForm::Create<TQVForm>(); }, false},
        {QStringLiteral("TfrmBaseGene"), [](TfrmBaseGene*) -> TQVForm* { return TQVForm::Create<TfrmBaseGene>(); }, false},
        {QStringLiteral("TfrmBaseOpt"), [](TfrmBaseGene*) -> TQVForm* { return TQVForm::Create<TfrmBaseOpt>(); }, false},
        {QStringLiteral("TfrmBaseBatch"), [](TfrmBaseGene*) -> TQVForm* { return TQVForm::Create<TfrmBaseBatch>(); }, false},
        {QStringLiteral("TfrmWOFB07"), [](TfrmBaseGene*) -> TQVForm* { return TQVForm::Create<TfrmWOFB07>(); }, false},
        {QStringLiteral("TfrmGeneCondition"),
         [](TfrmBaseGene* owner) -> TQVForm* { return new TfrmGeneCondition(QString(), 0, owner); }, true},
        {QStringLiteral("TfrmNotify"),
         [](TfrmBaseGene* owner) -> TQVForm* { return TQVForm::Create<TfrmNotify>(owner, QStringLiteral("N"), QString()); },
         true},
        {QStringLiteral("TfrmPortalUser"),
         [](TfrmBaseGene* owner) -> TQVForm* { return TQVForm::Create<TfrmPortalUser>(owner, Variant()); }, true},
        {QStringLiteral("TfrmBatchHistory"),
         [](TfrmBaseGene* owner) -> TQVForm* { return TQVForm::Create<TfrmBatchHistory>(owner); }, true},
    };
    return classes;
}

int chs(const QString& folder)
{
    QDir().mkpath(folder);
    TfrmBaseGene* owner = TQVForm::Create<TfrmBaseGene>();
    Texts below, base;
    for (const FormClass& c : formClasses()) {
        TQVForm* form = c.make(owner);
        const Texts texts = formTexts(form, c.name);
        form->Free();
        writeFile(folder + QLatin1Char('/') + c.name + QStringLiteral(".Lng"), c.name, texts, c.dialog ? base : below);
        if (c.name == QLatin1String("TQVForm"))
            base = texts;
        if (!c.dialog)
            below = texts;
    }
    owner->Free();
    return 0;
}

// The reader and this tool agree: every text collected from a form, given a text of its
// own through the reader, is collected again as that text.
int verify()
{
    int wrong = 0;
    TfrmBaseGene* owner = TQVForm::Create<TfrmBaseGene>();
    for (const FormClass& c : formClasses()) {
        TQVForm* form = c.make(owner);
        Texts marked = formTexts(form, c.name);
        int n = 0;
        for (auto& [component, values] : marked)
            for (auto& [path, value] : values)
                value = QStringLiteral("译%1").arg(++n);
        pugi::xml_document doc;
        addTexts(doc.append_child(c.name.toUtf8().constData()), marked, {});
        std::ostringstream xml;
        doc.save(xml);
        TLanguageController reader;
        reader.SetXMLText({QString::fromStdString(xml.str())});
        reader.SetActive(true);
        reader.Reader().ReadComponent(form);
        for (const QString& failure : reader.Reader().Failures())
            std::fprintf(stderr, "lngtool: %s: not applied: %s\n", qPrintable(c.name), qPrintable(failure));
        wrong += int(reader.Reader().Failures().size());
        const Texts again = formTexts(form, c.name);
        for (const auto& [component, values] : marked)
            for (const auto& [path, value] : values) {
                const auto found = again.find(component);
                const QString now = found == again.end() || !found->second.count(path) ? QString() : found->second.at(path);
                if (now != value) {
                    std::fprintf(stderr, "lngtool: %s: %s.%s gave \"%s\", read back \"%s\"\n", qPrintable(c.name),
                                 qPrintable(component), qPrintable(path), qPrintable(value), qPrintable(now));
                    ++wrong;
                }
            }
        form->Free();
    }
    owner->Free();
    if (wrong == 0)
        std::printf("lngtool: every text the forms give is read back\n");
    return wrong == 0 ? 0 : 1;
}

// Where the phrase tables speak a programmer's Taiwanese, not a clerk's: 循環 not 迴圈
// (a loop), 類型 not 型別 (a data type), 權限 not 許可權 (a file permission), and the office
// words the tables lack.
const std::pair<const char*, const char*> kClerkWords[] = {
    {"迴圈", "循環"}, {"型別", "類型"}, {"名稱稱", "名稱"}, {"幣種", "幣別"}, {"郵箱地址", "電子郵件"},
    {"實時", "即時"}, {"後臺", "背景"},  {"周", "週"}, {"許可權", "權限"},
    {"工作簿", "活頁簿"}, {"電子表格", "試算表"},
};

std::string taiwanese(const opencc::SimpleConverter& t, const char* text)
{
    QString words = QString::fromStdString(t.Convert(text));
    for (const auto& [from, to] : kClerkWords)
        words.replace(QString::fromUtf8(from), QString::fromUtf8(to));
    return words.toStdString();
}

// Taiwan's words, not only its characters (資訊, 使用者, 幣別): the files are read by
// clerks there. The run-time conversion of the database's texts stays by character.
void convertNode(pugi::xml_node node, const opencc::SimpleConverter& t)
{
    for (pugi::xml_attribute a : node.attributes())
        a.set_value(taiwanese(t, a.value()).c_str());
    for (pugi::xml_node child : node.children())
        if (child.type() == pugi::node_element)
            convertNode(child, t);
}

int cht(const QString& from, const QString& to)
{
    const opencc::SimpleConverter t("s2twp.json");
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
        if (args.size() == 2 && args[1] == QLatin1String("verify"))
            return verify();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "lngtool: %s\n", e.what());
        return 1;
    }
    std::fprintf(stderr, "usage: lngtool chs <folder> | lngtool cht <from> <to> | lngtool verify\n");
    return 2;
}
