#include "host/MessageCatalogue.h"

#include <array>
#include <cctype>

namespace {

struct Entry {
    char type;
    const char* number;
    Wording3 text;
};

// Parameters are appended to a code by the caller ("E;000001;" + a caption), so the
// wording says where they go; messages without parameters carry no "%s".
constexpr std::array kCatalogue{
    Entry{'E', "000001", {"输入的资料不存在: %s", "輸入的資料不存在: %s", "The value entered does not exist: %s"}},
    Entry{'E', "000003", {"%s 不可空白!", "%s 不可空白!", "%s must not be empty!"}},
    Entry{'E', "000005", {"日期或时间不正确! %s%s", "日期或時間不正確! %s%s", "Invalid date or time! %s%s"}},
    Entry{'E', "000006", {"无法连接应用服务器!", "無法連接應用伺服器!", "Cannot connect to the application server!"}},
    Entry{'E', "000013", {"作业登记失败! %s", "作業登記失敗! %s", "The job could not be registered! %s"}},
    Entry{'E', "000015",
          {"读取注册表失败: 找不到机码 Software\\QVR\\Brisko!", "讀取登錄檔失敗: 找不到機碼 Software\\QVR\\Brisko!",
           "Cannot read the registry key Software\\QVR\\Brisko!"}},
    Entry{'E', "000016",
          {"客户端配置文件 BriskoC.ini 没有指定应用服务器!", "用戶端設定檔 BriskoC.ini 沒有指定應用伺服器!",
           "The client configuration BriskoC.ini names no application server!"}},
    Entry{'E', "000030", {"收集选项条件失败! %s", "收集選項條件失敗! %s", "Collecting the options failed! %s"}},
    Entry{'E', "000036", {"窗体名称与程序代号不符!", "表單名稱與程式代號不符!", "The form name does not match the program code!"}},
    Entry{'E', "000037", {"必须输入的栏位不可空白!", "必須輸入的欄位不可空白!", "A required field is empty!"}},
    Entry{'E', "000038", {"主程序传入的参数不足!", "主程式傳入的參數不足!", "The host passed too few session values!"}},
    Entry{'E', "100082", {"%s 不可早于 %s!", "%s 不可早於 %s!", "%s must not be earlier than %s!"}},
    Entry{'E', "100453",
          {"%s 不在可处理的会计期间内!", "%s 不在可處理的會計期間內!", "%s is not in an open accounting period!"}},
    Entry{'E', "200600",
          {"单据日期不可大于转销日期!", "單據日期不可大於轉銷日期!", "The document date must not be later than the write-off date!"}},
    Entry{'E', "200601",
          {"此转销批号已经使用过!", "此轉銷批號已經使用過!", "This write-off batch number has already been used!"}},
    Entry{'E', "200635",
          {"转销供应商不可是已选择的供应商!", "轉銷供應商不可是已選擇的供應商!",
           "The transfer supplier must not be one of the selected suppliers!"}},
    Entry{'I', "000003",
          {"此作业没有定义环境或选项参数!", "此作業沒有定義環境或選項參數!", "This job defines no environment or option values!"}},
    Entry{'I', "000004", {"作业已送出, 作业编号: %s", "作業已送出, 作業編號: %s", "The job was submitted as number %s."}},
    Entry{'I', "000008", {"请检查后重新输入。", "請檢查後重新輸入。", "Please check it and enter it again."}},
    Entry{'I', "000009", {"请检查开始日期", "請檢查開始日期", "Check the start date"}},
    Entry{'I', "000010", {"和执行时间。", "和執行時間。", " and the run time."}},
    Entry{'I', "000011", {"(选择条件文字)", "(選擇條件文字)", "(option captions)"}},
    Entry{'R', "101041", {"币种", "幣別", "Currency"}},
    Entry{'R', "200235", {"条件方案套用失败!", "條件方案套用失敗!", "The condition scheme could not be applied!"}},
    Entry{'W', "000002",
          {"%s 的个数不正确: 应为 %s, 实际为 %s!", "%s 的個數不正確: 應為 %s, 實際為 %s!",
           "%s has the wrong number of entries: %s expected, %s found!"}},
    Entry{'W', "000003",
          {"%s 共 %s 项, 第 %s 项没有值!", "%s 共 %s 項, 第 %s 項沒有值!", "%s (%s entries): entry %s has no value!"}},
    Entry{'W', "000004", {"输入的资料可能不正确: %s", "輸入的資料可能不正確: %s", "The value entered may not be valid: %s"}},
    Entry{'W', "000014",
          {"传入的参数中有本窗体没有或无法设定的控件: %s", "傳入的參數中有本表單沒有或無法設定的控制項: %s",
           "The parameters name a control that this form lacks or cannot set: %s"}},
    Entry{'W', "200295", {"供应商不存在!", "供應商不存在!", "This supplier does not exist!"}},
};

char upperType(std::string_view type)
{
    for (char c : type)
        if (c != ' ')
            return char(std::toupper(static_cast<unsigned char>(c)));
    return '\0';
}

// "4", "-000004" and " 000004 " all name message 000004; anything that is not a number
// stays as it was (trimmed) and matches nothing.
std::string normaliseNumber(std::string_view number)
{
    while (!number.empty() && number.front() == ' ')
        number.remove_prefix(1);
    while (!number.empty() && number.back() == ' ')
        number.remove_suffix(1);
    std::string_view digits = number;
    if (!digits.empty() && digits.front() == '-')
        digits.remove_prefix(1);
    if (digits.empty() || digits.size() > 6)
        return std::string(number);
    for (char c : digits)
        if (c < '0' || c > '9')
            return std::string(number);
    return std::string(6 - digits.size(), '0') + std::string(digits);
}

const Entry* find(std::string_view type, std::string_view number)
{
    const char t = upperType(type);
    const std::string n = normaliseNumber(number);
    for (const Entry& e : kCatalogue)
        if (e.type == t && n == e.number)
            return &e;
    return nullptr;
}

// A caller's text shown inside a wording must not read as a format directive, whatever
// formatter the library uses.
std::string withoutFormat(std::string_view text)
{
    std::string r;
    for (char c : text)
        if (c != '%' && c != '\r' && c != '\n')
            r += c;
    return r;
}

} // namespace

HostLanguage LanguageOfCodePage(int codePage)
{
    if (codePage == 936)
        return HostLanguage::Simplified;
    if (codePage == 950)
        return HostLanguage::Traditional;
    return HostLanguage::English;
}

const char* Wording3::in(HostLanguage language) const
{
    switch (language) {
    case HostLanguage::Simplified:
        return chs;
    case HostLanguage::Traditional:
        return cht;
    case HostLanguage::English:
        break;
    }
    return eng;
}

std::string MessageCatalogue::Wording(std::string_view type, std::string_view number, HostLanguage language)
{
    if (const Entry* e = find(type, number))
        return e->text.in(language);
    const std::string code = withoutFormat(std::string(1, upperType(type) ? upperType(type) : '?') + " " +
                                           normaliseNumber(number));
    static constexpr Wording3 missing{"讯息库中没有讯息 ", "訊息庫中沒有訊息 ", "The message catalogue has no message "};
    return missing.in(language) + code + (language == HostLanguage::English ? ". %s" : "。%s");
}

bool MessageCatalogue::Contains(std::string_view type, std::string_view number)
{
    return find(type, number) != nullptr;
}

std::vector<CatalogueCode> MessageCatalogue::Codes()
{
    std::vector<CatalogueCode> codes;
    for (const Entry& e : kCatalogue)
        codes.push_back({std::string(1, e.type), e.number});
    return codes;
}
