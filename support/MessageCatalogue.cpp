#include "support/MessageCatalogue.h"

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
    Entry{'E', "000005", {"%s 日期或时间不正确! %s", "%s 日期或時間不正確! %s", "%s: invalid date or time! %s"}},
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
    Entry{'E', "000037", {"%s 必须输入的栏位不可空白!", "%s 必須輸入的欄位不可空白!", "%s: a required field must not be empty!"}},
    Entry{'E', "000038", {"主程序传入的参数不足!", "主程式傳入的參數不足!", "The host passed too few session values!"}},
    Entry{'E', "000040", {"作业没有存入: 依排程到结束日期 %s 为止不会运行", "作業沒有存入: 依排程到結束日期 %s 為止不會執行", "The request was not stored: its schedule gives no run up to the end date %s"}},
    Entry{'E', "000041", {"作业没有存入:", "作業沒有存入:", "The request was not stored:"}},
    Entry{'E', "000042", {"作业无法存入:", "作業無法存入:", "The request could not be stored:"}},
    Entry{'E', "000043", {"作业没有登记:", "作業沒有登記:", "The request was not registered:"}},
    Entry{'E', "000044", {"作业无法登记:", "作業無法登記:", "The request could not be registered:"}},
    Entry{'E', "000045", {"请求 %s 没有登记为直接处理 (Request1)", "請求 %s 沒有登記為直接處理 (Request1)", "The request %s is not registered for a direct run (Request1)"}},
    Entry{'E', "000046", {"请求 %s 属于程序 %s, 不是 %s", "請求 %s 屬於程式 %s, 不是 %s", "The request %s belongs to program %s, not %s"}},
    Entry{'E', "000047", {"请求 %s 已经结束 (%s)", "請求 %s 已經結束 (%s)", "The request %s has ended already (%s)"}},
    Entry{'E', "000048", {"直接处理无法进行:", "直接處理無法進行:", "The direct run could not be made:"}},
    Entry{'E', "000049", {"无法记录处理的结束:", "無法記錄處理的結束:", "The end of the run could not be recorded:"}},
    Entry{'E', "000050", {"结束日期 %s 早于开始日期 %s", "結束日期 %s 早於開始日期 %s", "The end date %s lies before the start date %s"}},
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
    Entry{'E', "200650", {"没有转销任何单据: 有 %s 笔单据不能转销 (共选择 %s 笔):", "沒有轉銷任何單據: 有 %s 筆單據不能轉銷 (共選擇 %s 筆):", "Nothing was written off: %s of the %s chosen documents cannot be written off:"}},
    Entry{'E', "200651", {"%s 不存在", "%s 不存在", "%s does not exist"}},
    Entry{'E', "200652", {"%s 对应多张单据 (%s, %s)", "%s 對應多張單據 (%s, %s)", "%s names several documents (%s, %s)"}},
    Entry{'E', "200653", {"%s 已经结清", "%s 已經結清", "%s is settled already"}},
    Entry{'E', "200654", {"%s 已不是可转销的未结单据 (状态 %s)", "%s 已不是可轉銷的未結單據 (狀態 %s)", "%s is no longer open for write-off (status %s)"}},
    Entry{'E', "200655", {"%s 不符合本次转销的条件 (转销日期、币种、日期、供应商或单据选择)", "%s 不符合本次轉銷的條件 (轉銷日期、幣別、日期、供應商或單據選擇)", "%s lies outside the run's conditions (write-off date, currency, dates, suppliers or document selection)"}},
    Entry{'E', "200656", {"%s 属于转销供应商 %s", "%s 屬於轉銷供應商 %s", "%s belongs to the transfer supplier %s"}},
    Entry{'E', "200657", {"另有 %s 笔", "另有 %s 筆", "and %s more"}},
    Entry{'E', "200658", {"转销批号 %s 已经使用过 (%s)", "轉銷批號 %s 已經使用過 (%s)", "The write-off batch number %s is used already (%s)"}},
    Entry{'E', "200659", {"转销日期 %s 在已关帐的期间内 (关帐至 %s, 开放自 %s)", "轉銷日期 %s 在已關帳的期間內 (關帳至 %s, 開放自 %s)", "The write-off date %s lies in a closed period (closed up to %s, open from %s)"}},
    Entry{'E', "200661", {"币种 %s 不存在", "幣別 %s 不存在", "The currency %s does not exist"}},
    Entry{'E', "200662", {"转销供应商 %s 不存在", "轉銷供應商 %s 不存在", "The transfer supplier %s does not exist"}},
    Entry{'E', "200663", {"退款单别 %s 不是使用中的退款单别 (性质 7D)", "退款單別 %s 不是使用中的退款單別 (性質 7D)", "The refund document type %s is no refund type in use (kind 7D)"}},
    Entry{'E', "200664", {"没有使用中的其他应付单别 (性质 7B) 可开立转销单据", "沒有使用中的其他應付單別 (性質 7B) 可開立轉銷單據", "No other-payable document type (kind 7B) is in use for the transfer document"}},
    Entry{'E', "200665", {"单据 %s 在转销期间被改动了", "單據 %s 在轉銷期間被異動了", "The document %s changed during the write-off"}},
    Entry{'E', "200666", {"单别 %s 在 %s 已没有可用的单号", "單別 %s 在 %s 已沒有可用的單號", "No document number of type %s is left for %s"}},
    Entry{'E', "200667", {"预付款以退款单转销: 没有输入退款单别", "預付款以退款單轉銷: 沒有輸入退款單別", "Prepayments are written off with a refund document: the refund document type is empty"}},
    Entry{'E', "200668", {"没有输入转销供应商", "沒有輸入轉銷供應商", "No transfer supplier was given"}},
    Entry{'E', "200669", {"没有选择要转销的单据", "沒有選擇要轉銷的單據", "No document was chosen for the write-off"}},
    Entry{'E', "200670", {"单据 %s 被选择了两次", "單據 %s 被選擇了兩次", "The document %s is chosen twice"}},
    Entry{'E', "200671", {"没有输入转销批号", "沒有輸入轉銷批號", "No write-off batch number was given"}},
    Entry{'E', "200672", {"转销批号 %s 超过 %s 个字符", "轉銷批號 %s 超過 %s 個字元", "The write-off batch number %s is longer than %s characters"}},
    Entry{'E', "200673", {"转销批号 %s 只能包含字母和数字", "轉銷批號 %s 只能包含字母和數字", "The write-off batch number %s may hold only letters and digits"}},
    Entry{'E', "200674", {"转销无法完成: %s", "轉銷無法完成: %s", "The write-off could not be made: %s"}},
    Entry{'E', "200675", {"转销失败: %s", "轉銷失敗: %s", "The write-off failed: %s"}},
    Entry{'E', "200676", {"公司数据库 %s 不存在", "公司資料庫 %s 不存在", "The company database %s does not exist"}},
    Entry{'E', "200686", {"周期性转销的批号 %s 是每次运行批号的前缀, 最多 %s 个字符 (每次运行再加上 \"-\" 和运行日期)", "週期性轉銷的批號 %s 是每次執行批號的前綴, 最多 %s 個字元 (每次執行再加上 \"-\" 和執行日期)", "The batch number %s of a periodic write-off is the prefix of each run's number and may have at most %s characters (each run adds \"-\" and its run date)"}},
    Entry{'I', "000003",
          {"此作业没有定义环境或选项参数!", "此作業沒有定義環境或選項參數!", "This job defines no environment or option values!"}},
    Entry{'I', "000004", {"作业已送出, 作业编号: %s", "作業已送出, 作業編號: %s", "The job was submitted as number %s."}},
    Entry{'I', "000008", {"请检查后重新输入。", "請檢查後重新輸入。", "Please check it and enter it again."}},
    Entry{'I', "000009", {"请检查开始日期", "請檢查開始日期", "Check the start date"}},
    Entry{'I', "000010", {"和执行时间。", "和執行時間。", " and the run time."}},
    Entry{'I', "000011", {"(选择条件文字)", "(選擇條件文字)", "(option captions)"}},
    Entry{'I', "200680", {"批次 %s: 转销了 %s 笔单据", "批次 %s: 轉銷了 %s 筆單據", "Batch %s: %s documents written off"}},
    Entry{'I', "200681", {"批次 %s: 转销了 1 笔单据", "批次 %s: 轉銷了 1 筆單據", "Batch %s: 1 document written off"}},
    Entry{'I', "200682", {"%s %s (本币 %s)", "%s %s (本幣 %s)", "%s %s (local %s)"}},
    Entry{'I', "200683", {"%s %s (本币 %s) 转入 %s", "%s %s (本幣 %s) 轉入 %s", "%s %s (local %s) to %s"}},
    Entry{'Q', "000001", {"放弃已输入的条件?", "放棄已輸入的條件?", "Discard the conditions entered?"}},
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
    Entry{'W', "200636",
          {"转销供应商 %s 的交易币种 %s 与单据币种 %s 不同!", "轉銷供應商 %s 的交易幣別 %s 與單據幣別 %s 不同!",
           "The transfer supplier %s trades in %s, not in the documents' currency %s!"}},
    Entry{'W', "200684", {"运行记录 %s 无法写入: %s", "執行記錄 %s 無法寫入: %s", "The run log %s could not be written: %s"}},
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
