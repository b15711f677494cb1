#include "dataset/ClientDataSet.h"
#include "platform/OleDate.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

namespace {

// The candidate list's shape, cut down: a tick flag, keys, and two exact amounts.
struct Candidates {
    TClientDataSet ds{"cdsData"};
    TField* tick;
    TField* supplier;
    TField* type;
    TField* number;
    TField* amount;

    Candidates()
    {
        tick = ds.AddField("MA001", ftString, 1);
        supplier = ds.AddField("MA002", ftString, 10);
        type = ds.AddField("MA005", ftString, 4);
        number = ds.AddField("MA006", ftString, 20);
        amount = ds.AddField("MA016", ftBCD, 2);
        ds.CreateDataSet();
    }

    void add(const char* sup, const char* t, const char* no, const char* amt)
    {
        ds.Append();
        tick->SetAsString("N");
        supplier->SetAsString(sup);
        type->SetAsString(t);
        number->SetAsString(no);
        amount->SetAsString(amt);
        ds.Post();
    }

    std::vector<std::string> keys()
    {
        std::vector<std::string> out;
        for (int r = 0; r < ds.RecordCount(); ++r)
            out.push_back(supplier->DisplayTextAt(r) + "/" + type->DisplayTextAt(r) + "/" + number->DisplayTextAt(r));
        return out;
    }
};

} // namespace

TEST(Decimal, DisplayFormatsFollowThePattern)
{
    EXPECT_EQ(FormatDecimalText("#,##0.00", Decimal::parse("1234567.891")), "1,234,567.89");
    EXPECT_EQ(FormatDecimalText("#,##0.00", Decimal::parse("-0.004")), "0.00");
    EXPECT_EQ(FormatDecimalText("#,##0.00", Decimal::parse("-12.5")), "-12.50");
    EXPECT_EQ(FormatDecimalText("#,##0", Decimal::parse("999.5")), "1,000");
    EXPECT_EQ(FormatDecimalText("#0.000", Decimal::parse("0")), "0.000");
    EXPECT_EQ(FormatDecimalText("0.0#", Decimal::parse("3.10")), "3.1");
    EXPECT_EQ(FormatDecimalText("#,##0.00;(#,##0.00);nil", Decimal::parse("-5")), "(5.00)");
    EXPECT_EQ(FormatDecimalText("#,##0.00;(#,##0.00);nil", Decimal::parse("0")), "nil");
    EXPECT_EQ(FormatDecimalText("\"$\"#,##0.00", Decimal::parse("1000")), "$1,000.00");
    // 2.675 is 2.67499... as a double; the pattern rounds the number the user typed.
    EXPECT_EQ(FormatFloatText("0.00", 2.675), "2.68");
    EXPECT_EQ(FormatFloatText("#,##0.0000000", 6.8), "6.8000000");
    EXPECT_EQ(FormatDateText("yyyy/mm/dd", EncodeDate(2024, 5, 1)), "2024/05/01");
    EXPECT_EQ(FormatDateText("yyyymmdd", EncodeDate(2024, 12, 31)), "20241231");
}

TEST(ClientDataSet, FieldsConvertAndRefuseBadInput)
{
    TClientDataSet ds;
    TField* s = ds.AddField("S", ftString, 3);
    TField* i = ds.AddField("I", ftInteger);
    TField* f = ds.AddField("F", ftFloat);
    TField* m = ds.AddField("M", ftBCD, 2);
    TField* b = ds.AddField("B", ftBoolean);
    TField* d = ds.AddField("D", ftDate);
    EXPECT_THROW(ds.AddField("s", ftString), DataSetError);
    EXPECT_THROW(ds.Append(), DataSetError); // not open yet
    ds.CreateDataSet();
    EXPECT_EQ(ds.FieldByName("m"), m);
    EXPECT_THROW(ds.FieldByName("nope"), DataSetError);

    EXPECT_THROW(s->SetAsString("x"), DataSetError); // browse mode
    ds.Append();
    s->SetAsString("中文A");
    EXPECT_THROW(s->SetAsString("ABCD"), DataSetError);
    EXPECT_EQ(s->AsString(), "中文A");
    i->SetAsString(" 42 ");
    EXPECT_THROW(i->SetAsString("4x"), DataSetError);
    EXPECT_THROW(i->SetAsString("3000000000"), DataSetError);
    EXPECT_EQ(i->AsInteger(), 42);
    f->SetAsString("1.25");
    m->SetAsString("1234.5");
    EXPECT_THROW(m->SetAsString("12a"), DataSetError);
    b->SetAsString("Y");
    d->SetAsString("2024/02/29");
    EXPECT_THROW(d->SetAsString("2023/02/29"), DataSetError);
    ds.Post();

    EXPECT_EQ(m->AsString(), "1234.5");
    EXPECT_EQ(m->AsDecimal().toFixed(), "1234.50");
    m->SetDisplayFormat("#,##0.00");
    EXPECT_EQ(m->DisplayText(), "1,234.50");
    EXPECT_DOUBLE_EQ(f->AsFloat(), 1.25);
    EXPECT_TRUE(b->AsBoolean());
    EXPECT_EQ(d->AsString(), "2024/02/29");
    EXPECT_EQ(d->AsDateTime(), EncodeDate(2024, 2, 29));
    EXPECT_TRUE(d->Value().type() == VarType::Date);

    // Empty text is no value for the typed fields.
    ds.Edit();
    i->SetAsString("");
    m->SetValue(Variant(0.1));
    ds.Post();
    EXPECT_TRUE(i->IsNull());
    EXPECT_EQ(m->AsDecimal().toFixed(), "0.10");
}

TEST(ClientDataSet, ValidationRunsBeforeTheValueIsStoredAndMayRefuseIt)
{
    Candidates c;
    c.add("S1", "7A", "001", "100.10");
    c.add("S2", "7A", "002", "0.20");

    // The totals the job keeps: the handler sees the new value, and knows a load from a tick.
    Decimal total;
    int count = 0;
    std::vector<std::string> seen;
    c.tick->OnValidate = [&](TField* sender) {
        TClientDataSet* ds = sender->DataSet();
        if (ds->State() == dsInsert)
            return;
        seen.push_back(sender->AsString());
        if (sender->AsString() == "X")
            throw DataSetError("bad tick");
        const Decimal a = ds->FieldByName("MA016")->AsDecimal();
        if (sender->AsString() == "Y") {
            total += a;
            ++count;
        } else {
            total -= a;
            --count;
        }
    };
    c.add("S3", "7A", "003", "5"); // appended: not counted
    EXPECT_TRUE(seen.empty());

    c.ds.First();
    c.ds.Edit();
    c.tick->SetAsString("Y");
    c.ds.Post();
    c.ds.Next();
    c.ds.Edit();
    c.tick->SetAsString("Y");
    EXPECT_THROW(c.tick->SetAsString("X"), DataSetError);
    EXPECT_EQ(c.tick->AsString(), "Y"); // the refused value never arrived
    c.ds.Post();
    EXPECT_EQ(total.toFixed(), "100.30");
    EXPECT_EQ(count, 2);
    EXPECT_EQ((std::vector<std::string>{"Y", "Y", "X"}), seen);

    // Read-only fields refuse; clearing the flag for a load is allowed.
    c.supplier->SetReadOnly(true);
    c.ds.Edit();
    EXPECT_THROW(c.supplier->SetAsString("S9"), DataSetError);
    c.ds.Cancel();
    c.supplier->SetReadOnly(false);

    // Cancel drops the edit; moving away posts a modified record.
    c.ds.First();
    c.ds.Edit();
    c.number->SetAsString("999");
    c.ds.Cancel();
    EXPECT_EQ(c.number->AsString(), "001");
    c.ds.Edit();
    c.number->SetAsString("998");
    c.ds.Next();
    EXPECT_EQ(c.ds.State(), dsBrowse);
    c.ds.First();
    EXPECT_EQ(c.number->AsString(), "998");

    // Required fields stop a post and leave the record in edit mode.
    c.ds.Append();
    c.supplier->SetRequired(true);
    EXPECT_THROW(c.ds.Post(), DataSetError);
    EXPECT_EQ(c.ds.State(), dsInsert);
    c.ds.Cancel();
    EXPECT_EQ(c.ds.RecordCount(), 3);
}

TEST(ClientDataSet, IndexFieldNamesOrdersBySeveralFieldsAndKeepsOrderOnChange)
{
    Candidates c;
    c.add("S2", "7B", "010", "1");
    c.add("S1", "7B", "002", "2");
    c.add("S2", "7A", "011", "3");
    c.add("S1", "7A", "005", "4");
    c.add("S1", "7B", "001", "5");
    c.ds.SetRecNo(3); // S2/7A/011
    c.ds.SetIndexFieldNames("MA002;MA005;MA006");
    EXPECT_EQ((std::vector<std::string>{"S1/7A/005", "S1/7B/001", "S1/7B/002", "S2/7A/011", "S2/7B/010"}), c.keys());
    EXPECT_EQ(c.number->AsString(), "011"); // the cursor stays on its record
    EXPECT_EQ(c.ds.RecNo(), 4);

    // New records and changed keys go to their place; the cursor follows the record.
    c.add("S1", "7A", "004", "6");
    EXPECT_EQ(c.ds.RecNo(), 1);
    c.ds.Last();
    c.ds.Edit();
    c.supplier->SetAsString("S0");
    c.ds.Post();
    EXPECT_EQ(c.ds.RecNo(), 1);
    EXPECT_EQ(c.keys().front(), "S0/7B/010");

    // A load with the observers quiet ends in the same order.
    {
        ControlsDisabledScope quiet(c.ds);
        c.add("S1", "7A", "003", "7");
        c.add("A0", "7A", "001", "8");
        EXPECT_EQ(c.number->AsString(), "001");
    }
    EXPECT_EQ(c.keys()[0], "A0/7A/001");
    EXPECT_EQ(c.keys()[2], "S1/7A/003");
    c.ds.First();
    int n = 0;
    std::string prev;
    while (!c.ds.Eof()) {
        const std::string k = c.supplier->AsString() + c.type->AsString() + c.number->AsString();
        EXPECT_LE(prev, k);
        prev = k;
        c.ds.Next();
        ++n;
    }
    EXPECT_EQ(n, 8);

    EXPECT_THROW(c.ds.SetIndexFieldNames("MA002;NOPE"), DataSetError);
    c.ds.SetIndexFieldNames("");
    EXPECT_EQ(c.keys().front(), "S0/7B/010"); // the order records were added (S2 renamed S0)
    EXPECT_EQ(c.keys().back(), "A0/7A/001");
}

// A filter hides records from every walk but keeps them as they are; lifted, they come
// back in their places, whatever the order meanwhile.
TEST(ClientDataSet, AFilterHidesRecordsAndDescendingIndexFieldsRunDown)
{
    Candidates c;
    c.add("S2", "7B", "010", "1");
    c.add("S1", "7B", "002", "20");
    c.add("S2", "7A", "011", "3");
    c.add("S1", "7A", "005", "4");
    c.ds.SetIndexFieldNames("MA016;MA002", "MA016");
    EXPECT_EQ((std::vector<std::string>{"S1/7B/002", "S1/7A/005", "S2/7A/011", "S2/7B/010"}), c.keys());
    EXPECT_THROW(c.ds.SetIndexFieldNames("MA002", "MA016"), DataSetError);
    c.ds.SetIndexFieldNames("");

    c.ds.OnFilterRecord = [&](TClientDataSet*) { return c.supplier->AsString() == "S2"; };
    c.ds.SetRecNo(3);
    c.ds.SetFiltered(true);
    EXPECT_EQ((std::vector<std::string>{"S2/7B/010", "S2/7A/011"}), c.keys());
    EXPECT_EQ(c.number->AsString(), "011"); // the cursor stays on its record
    EXPECT_EQ(c.ds.FilteredOutCount(), 2);
    EXPECT_EQ(c.ds.SetFieldOfEveryRecord(c.tick, "Y"), 2);
    EXPECT_FALSE(c.ds.Locate("MA006", "002"));

    // A handler that fails leaves what was in sight.
    c.ds.OnFilterRecord = [](TClientDataSet*) -> bool { throw DataSetError("no"); };
    EXPECT_THROW(c.ds.SetFiltered(true), DataSetError);
    EXPECT_EQ(c.ds.RecordCount(), 2);
    EXPECT_EQ(c.number->AsString(), "011");

    c.ds.SetFiltered(false);
    EXPECT_EQ((std::vector<std::string>{"S2/7B/010", "S1/7B/002", "S2/7A/011", "S1/7A/005"}), c.keys());
    std::string ticks;
    for (int r = 0; r < c.ds.RecordCount(); ++r)
        ticks += c.tick->TextAt(r);
    EXPECT_EQ(ticks, "YNYN");
}

TEST(ClientDataSet, LocateFindsTheFirstMatchWithOptions)
{
    Candidates c;
    c.add("S1", "7a", "001", "1");
    c.add("S2", "7A", "001", "2");
    c.add("S3", "7B", "0012", "3.5");
    c.ds.First();

    EXPECT_TRUE(c.ds.Locate("MA005;MA006", Variant::list({"7A", "001"})));
    EXPECT_EQ(c.supplier->AsString(), "S2");
    EXPECT_TRUE(c.ds.Locate("ma005;ma006", Variant::list({"7A", "001"}), loCaseInsensitive));
    EXPECT_EQ(c.supplier->AsString(), "S1");
    EXPECT_FALSE(c.ds.Locate("MA006", "00", 0));
    EXPECT_EQ(c.supplier->AsString(), "S1"); // no match leaves the cursor
    EXPECT_TRUE(c.ds.Locate("MA006", "0012", 0));
    EXPECT_EQ(c.supplier->AsString(), "S3");
    EXPECT_TRUE(c.ds.Locate("MA006", "00", loPartialKey));
    EXPECT_EQ(c.supplier->AsString(), "S1");
    EXPECT_TRUE(c.ds.Locate("MA016", Variant(3.5)));
    EXPECT_EQ(c.supplier->AsString(), "S3");
    EXPECT_TRUE(c.ds.Locate("MA016", "2.00"));
    EXPECT_EQ(c.supplier->AsString(), "S2");
    EXPECT_FALSE(c.ds.Locate("MA016", "two"));
    EXPECT_THROW(c.ds.Locate("MA005;MA006", "7A"), DataSetError);
}

TEST(ClientDataSet, CalculatedFieldsFollowTheirRecord)
{
    TClientDataSet ds;
    TField* qty = ds.AddField("QTY", ftInteger);
    TField* price = ds.AddField("PRICE", ftBCD, 2);
    TField* total = ds.AddField("TOTAL", ftBCD, 2, fkCalculated);
    ds.OnCalcFields = [&](TClientDataSet*) {
        Decimal t;
        for (int i = 0; i < qty->AsInteger(); ++i)
            t += price->AsDecimal();
        total->SetAsDecimal(t);
    };
    ds.CreateDataSet();
    ds.Append();
    qty->SetAsInteger(3);
    price->SetAsString("0.10");
    EXPECT_EQ(total->AsString(), "0.3"); // while inserting
    EXPECT_THROW(total->SetAsString("1"), DataSetError);
    ds.Post();
    ds.Append();
    qty->SetAsInteger(2);
    price->SetAsString("1.25");
    ds.Post();
    EXPECT_EQ(total->DisplayTextAt(0), "0.3");
    EXPECT_EQ(total->DisplayTextAt(1), "2.5");
    EXPECT_THROW(ds.SetIndexFieldNames("TOTAL"), DataSetError);
}

TEST(ClientDataSet, ObserversHearChangesAndOnceAfterDisabledControls)
{
    Candidates c;
    std::vector<std::string> heard;
    const int id = c.ds.AddObserver([&](const DataSetChange& ch) {
        static const char* kinds[] = {"reset", "changed", "inserted", "removed", "moved", "current", "state", "layout", "destroyed"};
        if (ch.kind == DataSetChange::CurrentChanged || ch.kind == DataSetChange::StateChanged)
            return;
        heard.push_back(std::string(kinds[ch.kind]) + (ch.phase == DataSetChange::Before ? "?" : "") + std::to_string(ch.row)
                        + (ch.kind == DataSetChange::Moved ? ">" + std::to_string(ch.toRow) : ""));
    });
    c.add("S2", "7A", "1", "1");
    c.add("S1", "7A", "1", "1");
    c.ds.SetIndexFieldNames("MA002");
    c.add("S0", "7A", "1", "1");
    c.ds.Edit();
    c.supplier->SetAsString("S9");
    c.ds.Post();
    c.ds.Delete();
    EXPECT_EQ((std::vector<std::string>{"inserted?0", "inserted0", "inserted?1", "inserted1", "reset-1", "inserted?0",
                                        "inserted0", "changed0", "moved?0>2", "moved0>2", "removed?2", "removed2"}),
              heard);

    heard.clear();
    c.ds.DisableControls();
    c.ds.DisableControls();
    for (int i = 0; i < 5; ++i)
        c.add("T", "7A", std::to_string(i).c_str(), "1");
    c.ds.First();
    c.ds.EnableControls();
    EXPECT_TRUE(heard.empty());
    c.ds.EnableControls();
    EXPECT_EQ((std::vector<std::string>{"reset-1"}), heard);

    c.ds.RemoveObserver(id);
    heard.clear();
    c.ds.EmptyDataSet();
    EXPECT_TRUE(heard.empty());
    EXPECT_TRUE(c.ds.IsEmpty());
    EXPECT_TRUE(c.ds.Eof());
}

TEST(ClientDataSet, CursorAndEditingEdges)
{
    Candidates c;
    EXPECT_TRUE(c.ds.Eof());
    EXPECT_TRUE(c.ds.Bof());
    EXPECT_EQ(c.ds.RecNo(), 0);
    EXPECT_THROW(c.ds.Delete(), DataSetError);
    // Edit on an empty data set starts a new record.
    c.ds.Edit();
    EXPECT_EQ(c.ds.State(), dsInsert);
    EXPECT_EQ(c.ds.RecNo(), -1);
    c.supplier->SetAsString("S1");
    c.ds.Post();
    c.add("S3", "7A", "3", "3");

    // Insert without an ordering goes before the current record.
    c.ds.Last();
    c.ds.Insert();
    c.supplier->SetAsString("S2");
    c.ds.Post();
    EXPECT_EQ(c.ds.RecNo(), 2);
    EXPECT_EQ(c.keys(), (std::vector<std::string>{"S1//", "S2//", "S3/7A/3"}));

    // A cancelled append leaves the cursor where it was and the data untouched.
    c.ds.First();
    c.ds.Append();
    c.supplier->SetAsString("X");
    c.ds.Cancel();
    EXPECT_EQ(c.ds.RecordCount(), 3);
    EXPECT_EQ(c.supplier->AsString(), "S1");
    // An untouched append is dropped by a move.
    c.ds.Append();
    c.ds.Next();
    EXPECT_EQ(c.ds.RecordCount(), 3);

    // Next at the end sets Eof and stays; MoveBy counts what it moved.
    c.ds.Last();
    c.ds.Next();
    EXPECT_TRUE(c.ds.Eof());
    EXPECT_EQ(c.supplier->AsString(), "S3");
    c.ds.First();
    EXPECT_EQ(c.ds.MoveBy(5), 2);
    EXPECT_TRUE(c.ds.Eof());
    EXPECT_EQ(c.ds.MoveBy(-1), -1);
    EXPECT_EQ(c.supplier->AsString(), "S2");

    // Deleting the last record moves to the one before it.
    c.ds.Last();
    c.ds.Delete();
    EXPECT_EQ(c.ds.RecNo(), 2);
    EXPECT_EQ(c.supplier->AsString(), "S2");

    // Closing keeps the records; a closed data set refuses work and reading.
    c.ds.Close();
    EXPECT_THROW(c.supplier->AsString(), DataSetError);
    EXPECT_THROW(c.ds.First(), DataSetError);
    c.ds.Open();
    EXPECT_EQ(c.ds.RecordCount(), 2);
    EXPECT_EQ(c.ds.RecNo(), 1);
    EXPECT_THROW(c.ds.AddField("MORE", ftString), DataSetError);
}

TEST(ClientDataSet, TextHandlersShapeWhatIsShownAndStored)
{
    Candidates c;
    c.add("S1", "7A", "1", "1");
    // A form's text handlers: shown in upper case, stored in lower case.
    c.supplier->OnGetText = [](TField* f, std::string& text, bool display) {
        std::string s = f->AsString();
        for (char& ch : s)
            ch = char(display ? std::toupper(ch) : ch);
        text = display ? s : "<" + s + ">";
    };
    c.supplier->OnSetText = [](TField* f, const std::string& text) {
        std::string s = text;
        for (char& ch : s)
            ch = char(std::tolower(ch));
        f->SetAsString(s);
    };
    c.ds.Edit();
    c.supplier->SetText("AbC");
    c.ds.Post();
    EXPECT_EQ(c.supplier->AsString(), "abc");
    EXPECT_EQ(c.supplier->DisplayText(), "ABC");
    EXPECT_EQ(c.supplier->Text(), "<abc>");
    c.add("S2", "7A", "2", "2");
    // Reading another row runs the handler on that row's value.
    EXPECT_EQ(c.supplier->DisplayTextAt(0), "ABC");
    EXPECT_EQ(c.supplier->DisplayTextAt(1), "S2");
    EXPECT_EQ(c.supplier->TextAt(0), "<abc>");
    EXPECT_EQ(c.supplier->AsString(), "S2"); // the cursor did not move
    EXPECT_EQ(c.supplier->DisplayTextAt(7), "");

    // Handlers and events by name, as the framework swaps them.
    TFieldNotifyEvent* validate = c.tick->FieldEvent("onvalidate");
    ASSERT_NE(validate, nullptr);
    EXPECT_EQ(validate, &c.tick->OnValidate);
    EXPECT_EQ(c.tick->FieldEvent("OnNothing"), nullptr);
    EXPECT_EQ(c.ds.DataSetEvent("afterpost"), &c.ds.AfterPost);
    int posts = 0;
    *c.ds.DataSetEvent("AfterPost") = [&](TClientDataSet*) { ++posts; };
    c.add("S3", "7A", "3", "3");
    EXPECT_EQ(posts, 1);
}

TEST(ClientDataSet, OneFieldOfEveryRecordAtOnce)
{
    int resets = 0; // outlives the dataset, which tells its observers when it goes
    bool validated = false;
    Candidates c;
    c.add("S2", "7A", "1", "10.25");
    c.add("S1", "7A", "2", "0.75");
    c.add("S3", "7A", "3", "5");
    c.ds.SetIndexFieldNames("MA002");
    c.tick->OnValidate = [&](TField*) { validated = true; };
    c.ds.AddObserver([&](const DataSetChange& ch) { resets += ch.kind == DataSetChange::Reset; });

    c.ds.First();
    c.ds.Edit();
    c.number->SetAsString("9"); // an open edit is posted first
    validated = false;
    EXPECT_EQ(c.ds.SetFieldOfEveryRecord(c.tick, "Y"), 3);
    EXPECT_EQ(c.ds.State(), dsBrowse);
    EXPECT_FALSE(validated) << "the caller works out the consequences";
    EXPECT_EQ(resets, 1);
    for (int r = 0; r < 3; ++r)
        EXPECT_EQ(c.tick->TextAt(r), "Y");
    EXPECT_EQ(c.number->TextAt(0), "9");
    EXPECT_EQ(c.amount->DecimalAt(0).toString(), "0.75") << "read by row in the index order";
    EXPECT_EQ(c.ds.SetFieldOfEveryRecord(c.tick, "Y"), 0) << "nothing changes, nobody is told";
    EXPECT_EQ(resets, 1);
    c.ds.SetRecNo(2);
    c.ds.Edit();
    c.tick->SetAsString("N");
    c.ds.Post();
    std::vector<std::string> heard;
    EXPECT_EQ(c.ds.SetFieldOfEveryRecord(c.tick, "Y", [&](int row) { heard.push_back(c.number->TextAt(row) + c.tick->TextAt(row)); }), 1);
    EXPECT_EQ(heard, std::vector<std::string>{c.number->TextAt(1) + "N"}) << "the row that changes, before it does";

    EXPECT_THROW(c.ds.SetFieldOfEveryRecord(c.supplier, "S0"), DataSetError) << "it orders the records";
    EXPECT_THROW(c.ds.SetFieldOfEveryRecord(c.tick, "YY"), DataSetError) << "too long for the field";
    c.tick->SetReadOnly(true);
    EXPECT_THROW(c.ds.SetFieldOfEveryRecord(c.tick, "N"), DataSetError);
    EXPECT_EQ(c.tick->TextAt(2), "Y");
}

TEST(ClientDataSet, ALoadedListKeepsItsOrderValuesAndChecks)
{
    int resets = 0, inserts = 0; // outlive the dataset
    bool validated = false;
    Candidates c;
    c.ds.SetIndexFieldNames("MA002;MA006");
    c.amount->SetReadOnly(true);
    c.tick->OnValidate = [&](TField*) { validated = true; };
    c.ds.AddObserver([&](const DataSetChange& ch) {
        resets += ch.kind == DataSetChange::Reset;
        inserts += ch.kind == DataSetChange::Inserted;
    });
    const auto row = [&](const char* sup, const char* no, const char* amount) {
        return std::vector<FieldValue>{c.tick->ValueFromText("N"), c.supplier->ValueFromText(sup),
                                       c.type->ValueFromText("7A"), c.number->ValueFromText(no),
                                       c.amount->ValueFromDecimal(Decimal::parse(amount))};
    };
    {
        ControlsDisabledScope quiet(c.ds);
        c.ds.AppendLoaded(row("S2", "1", "10.255"));
        c.ds.AppendLoaded(row("S1", "2", "0.75"));
        c.ds.AppendLoaded({c.tick->ValueFromText("N"), c.supplier->ValueFromText("S1")}); // the rest Null
    }
    EXPECT_EQ(resets, 1) << "a quiet load is told once";
    EXPECT_EQ(inserts, 0);
    EXPECT_FALSE(validated) << "loading is no assignment";
    EXPECT_EQ(c.ds.RecordCount(), 3);
    EXPECT_EQ(c.keys(), (std::vector<std::string>{"S1//", "S1/7A/2", "S2/7A/1"})) << "in the index order";
    EXPECT_EQ(c.amount->DecimalAt(2).toString(), "10.26") << "read-only fields take theirs, at the field's scale";
    EXPECT_TRUE(std::holds_alternative<std::monostate>(c.number->DataAt(0)));

    // With observers listening the record goes to its place at once and they hear of it.
    c.ds.AppendLoaded(row("S1", "3", "1"));
    EXPECT_EQ(inserts, 2) << "before and after, as for a Post";
    EXPECT_EQ(c.supplier->AsString() + "/" + c.number->AsString(), "S1/3") << "the cursor is on it";
    EXPECT_EQ(c.ds.RecNo(), 3);

    // A tail in order that belongs before and after the rest is merged into its places.
    {
        ControlsDisabledScope quiet(c.ds);
        c.ds.AppendLoaded(row("S0", "1", "1"));
        c.ds.AppendLoaded(row("S3", "1", "1"));
    }
    EXPECT_EQ(c.keys(), (std::vector<std::string>{"S0/7A/1", "S1//", "S1/7A/2", "S1/7A/3", "S2/7A/1", "S3/7A/1"}));

    // The conversions check as the setters do; a load outside browse state is refused.
    EXPECT_THROW(c.tick->ValueFromText("NN"), DataSetError);
    EXPECT_THROW(c.amount->ValueFromText("ten"), DataSetError);
    EXPECT_EQ(std::get<std::string>(c.supplier->ValueFromText("供应商十个字符以内")), "供应商十个字符以内")
        << "the size counts characters, not bytes";
    c.ds.Append();
    EXPECT_THROW(c.ds.AppendLoaded(row("S9", "9", "9")), DataSetError);
    c.ds.Cancel();
    EXPECT_EQ(c.ds.RecordCount(), 6);
}

TEST(ClientDataSet, RecordsThatGoLeaveNothingToThoseThatCome)
{
    // More records than one block holds, texts longer than a value keeps in place.
    TClientDataSet ds("many");
    TField* key = ds.AddField("K", ftInteger);
    TField* name = ds.AddField("NAME", ftString, 60);
    TField* note = ds.AddField("NOTE", ftString, 60);
    ds.CreateDataSet();
    const auto longName = [](int i) { return "上海甲电子有限公司 supplier number " + std::to_string(i); };
    for (int i = 0; i < 1300; ++i) {
        ds.Append();
        key->SetAsInteger(i);
        name->SetAsString(longName(i));
        if (i % 2 == 0)
            note->SetAsString("even");
        ds.Post();
    }
    // Every third record goes; the records that come take their room and none of their values.
    ds.First();
    for (int i = 0; i < 1300; ++i) {
        if (i % 3 == 0)
            ds.Delete();
        else
            ds.Next();
    }
    ASSERT_EQ(ds.RecordCount(), 866);
    for (int i = 0; i < 500; ++i) {
        ds.Append();
        key->SetAsInteger(2000 + i);
        ds.Post();
    }
    ASSERT_EQ(ds.RecordCount(), 1366);
    int kept = 0;
    for (int row = 0; row < ds.RecordCount(); ++row) {
        const int k = std::stoi(key->TextAt(row));
        if (k >= 2000) {
            EXPECT_TRUE(std::holds_alternative<std::monostate>(name->DataAt(row))) << k;
            EXPECT_TRUE(std::holds_alternative<std::monostate>(note->DataAt(row))) << k;
            continue;
        }
        ++kept;
        EXPECT_NE(k % 3, 0);
        EXPECT_EQ(name->TextAt(row), longName(k));
        EXPECT_EQ(note->TextAt(row), k % 2 == 0 ? "even" : "");
    }
    EXPECT_EQ(kept, 866);

    // An edit works on a copy: cancelled it leaves the record as it was, posted it replaces it.
    ds.SetRecNo(1);
    const std::string first = name->AsString();
    ds.Edit();
    name->SetAsString(longName(9999));
    EXPECT_EQ(name->AsString(), longName(9999));
    ds.Cancel();
    EXPECT_EQ(name->AsString(), first);
    ds.Edit();
    name->SetAsString("short");
    ds.Post();
    EXPECT_EQ(name->TextAt(0), "short");

    // Emptied while a record is edited, or with a record half appended, and filled again.
    ds.SetRecNo(5);
    ds.Edit();
    note->SetAsString(longName(1));
    ds.EmptyDataSet();
    EXPECT_EQ(ds.RecordCount(), 0);
    ds.Append();
    key->SetAsInteger(1);
    ds.Post();
    EXPECT_TRUE(std::holds_alternative<std::monostate>(name->DataAt(0)));
    ds.Append();
    name->SetAsString(longName(2)); // still in the buffer when the data set goes
}
