// The job form's rules that need no window: date input under every date order, message
// codes, help topics, option slots and program codes.

#include "jobform/BaseGeneU.h"
#include "QtPrint.h"

#include <gtest/gtest.h>

using namespace DateInput;

TEST(DateInput, MasksAndBlanksFollowTheDateOrder)
{
    const QString s = QStringLiteral("/");
    EXPECT_EQ(dateMask(1, s), QStringLiteral("9999/99/99;1; "));
    EXPECT_EQ(dateMask(2, s), QStringLiteral("99/99/9999;1; "));
    EXPECT_EQ(dateMask(3, s), QStringLiteral("99/99/9999;1; "));
    EXPECT_EQ(dateMask(4, s), QStringLiteral("99/99/99;1; "));
    EXPECT_EQ(dateMask(5, s), QStringLiteral("999/99/99;1; "));
    EXPECT_EQ(monthMask(1, s), QStringLiteral("9999/99;1; "));
    EXPECT_EQ(monthMask(3, s), QStringLiteral("99/9999;1; "));
    EXPECT_EQ(monthMask(5, s), QStringLiteral("999/99;1; "));

    const QString dash = QStringLiteral("-");
    EXPECT_EQ(blankDate(1, dash), QStringLiteral("    -  -  "));
    EXPECT_EQ(blankDate(2, dash), QStringLiteral("  -  -    "));
    EXPECT_EQ(blankDate(4, dash), QStringLiteral("  -  -  "));
    EXPECT_EQ(blankDate(5, dash), QStringLiteral("   -  -  "));
    EXPECT_EQ(blankMonth(3, dash), QStringLiteral("  -    "));
    EXPECT_EQ(blankMonth(4, dash), QStringLiteral("  -  "));
    // An order the job form does not know is the default one.
    EXPECT_EQ(dateMask(9, s), dateMask(1, s));
    EXPECT_EQ(normalisedCode(0), 1);
}

TEST(DateInput, DisplayTextToCompactUnderEveryOrder)
{
    const QString s = QStringLiteral("/");
    EXPECT_EQ(dateTextToCompact(QStringLiteral("2005/03/01"), 1, s), QStringLiteral("20050301"));
    EXPECT_EQ(dateTextToCompact(QStringLiteral("03/01/2005"), 2, s), QStringLiteral("20050301"));
    EXPECT_EQ(dateTextToCompact(QStringLiteral("01/03/2005"), 3, s), QStringLiteral("20050301"));
    EXPECT_EQ(dateTextToCompact(QStringLiteral("94/03/01"), 4, s), QStringLiteral("20050301"));
    EXPECT_EQ(dateTextToCompact(QStringLiteral("094/03/01"), 4, s), QStringLiteral("20050301"));
    EXPECT_EQ(dateTextToCompact(QStringLiteral("094/03/01"), 5, s), QStringLiteral("20050301"));
    // Single digits are padded; the separator is the user's.
    EXPECT_EQ(dateTextToCompact(QStringLiteral("2005.3.1"), 1, QStringLiteral(".")), QStringLiteral("20050301"));
    EXPECT_EQ(dateTextToCompact(QStringLiteral("2005/ 3/ 1"), 1, s), QStringLiteral("20050301"));
}

TEST(DateInput, UnreadableTextComesBackUnchangedAndBlankIsEmpty)
{
    const QString s = QStringLiteral("/");
    EXPECT_EQ(dateTextToCompact(QStringLiteral("2005/03"), 1, s), QStringLiteral("2005/03"));
    EXPECT_EQ(dateTextToCompact(QStringLiteral("2005/ab/01"), 1, s), QStringLiteral("2005/ab/01"));
    EXPECT_EQ(dateTextToCompact(QStringLiteral("2005-03-01"), 1, s), QStringLiteral("2005-03-01"));
    EXPECT_EQ(dateTextToCompact(QStringLiteral("2005/03/01/7"), 1, s), QStringLiteral("2005/03/01/7"));
    EXPECT_EQ(dateTextToCompact(QStringLiteral("    /  /  "), 1, s), QString());
    EXPECT_EQ(dateTextToCompact(QStringLiteral("  /  /    "), 2, s), QString());
    EXPECT_EQ(dateTextToCompact(QStringLiteral("   "), 3, s), QString());
    // Readable but impossible dates are converted; the caller's validity check rejects them.
    EXPECT_EQ(dateTextToCompact(QStringLiteral("2005/02/30"), 1, s), QStringLiteral("20050230"));
}

TEST(DateInput, MonthTextToCompact)
{
    const QString s = QStringLiteral("/");
    EXPECT_EQ(monthTextToCompact(QStringLiteral("2005/03"), 1, s), QStringLiteral("200503"));
    EXPECT_EQ(monthTextToCompact(QStringLiteral("03/2005"), 2, s), QStringLiteral("200503"));
    EXPECT_EQ(monthTextToCompact(QStringLiteral("3/2005"), 3, s), QStringLiteral("200503"));
    EXPECT_EQ(monthTextToCompact(QStringLiteral("94/3"), 4, s), QStringLiteral("200503"));
    EXPECT_EQ(monthTextToCompact(QStringLiteral("    /  "), 1, s), QString());
    EXPECT_EQ(monthTextToCompact(QString(), 1, s), QString());
    // A zero part is no month: the text stays for the check to reject.
    EXPECT_EQ(monthTextToCompact(QStringLiteral("2005/00"), 1, s), QStringLiteral("2005/00"));
}

TEST(MessageCode, TypeNumberAndTenParameterSlots)
{
    TMessageCode c = parseMessageCode(QStringLiteral("E;000001;abc"));
    EXPECT_EQ(c.type, QStringLiteral("E"));
    EXPECT_EQ(c.number, QStringLiteral("000001"));
    EXPECT_TRUE(c.show);
    EXPECT_EQ(c.params[0].toString(), "abc");
    EXPECT_TRUE(c.params[1].isEmpty());

    c = parseMessageCode(QStringLiteral("W;000002;选择条件文字;15;14;"));
    EXPECT_EQ(c.params[0].toString(), "选择条件文字");
    EXPECT_EQ(c.params[2].toString(), "14");
    EXPECT_TRUE(c.params[3].isEmpty()) << "a trailing ';' adds no parameter";
}

TEST(MessageCode, RecordedOnlyCodesLoseTheirMarkForTheLookUp)
{
    TMessageCode c = parseMessageCode(QStringLiteral("I;-000004;"));
    EXPECT_FALSE(c.show);
    EXPECT_EQ(c.number, QStringLiteral("000004"));
    ASSERT_TRUE(c.params[0].isString()) << "an empty remainder still gives one (empty) parameter";
    EXPECT_EQ(c.params[0].toString(), "");
    EXPECT_TRUE(c.params[1].isEmpty());

    c = parseMessageCode(QStringLiteral("E;000000"));
    EXPECT_FALSE(c.show) << "zero is not shown";
    c = parseMessageCode(QStringLiteral("E"));
    EXPECT_FALSE(c.show);
    EXPECT_EQ(c.type, QStringLiteral("E"));
}

TEST(MessageCode, SurplusParametersStayInTheLastSlot)
{
    const TMessageCode c = parseMessageCode(QStringLiteral("E;000001;1;2;3;4;5;6;7;8;9;10;11;12"));
    EXPECT_EQ(c.params[8].toString(), "9");
    EXPECT_EQ(c.params[9].toString(), "10;11;12");
}

TEST(HelpTopic, LettersFourAndFivePickTheTopic)
{
    EXPECT_EQ(helpTopicOf(QStringLiteral("ACPAR12")), QStringLiteral("62120000"));
    EXPECT_EQ(helpTopicOf(QStringLiteral("INVMB05")), QStringLiteral("83050000"));
    EXPECT_EQ(helpTopicOf(QStringLiteral("WOFB07")), QStringLiteral("13070000"));
    EXPECT_EQ(helpTopicOf(QStringLiteral("WOFR07")), QStringLiteral("12070000"));
    EXPECT_EQ(helpTopicOf(QStringLiteral("WOFX07")), QString()) << "neither B nor R";
    EXPECT_EQ(helpTopicOf(QStringLiteral("ACPA")), QString()) << "letter 5 missing";
    EXPECT_EQ(helpTopicOf(QStringLiteral("WOF")), QString());
}

TEST(OptionSlots, FrameworkSlotsFollowTheJobsOwn)
{
    // Base initialisation: SetOptionCount(0) with OptionBase 1 gives the print date slot.
    const int base = optionCountAfter(0, 1, 0);
    EXPECT_EQ(base, 1);
    EXPECT_EQ(optionCountAfter(14, 1, base), 15);
    // The batch form keeps two framework slots.
    EXPECT_EQ(optionCountAfter(14, 2, base), 16);
    // A count that already holds the framework slots is taken as it is.
    EXPECT_EQ(optionCountAfter(14, 2, 16), 14);
    EXPECT_EQ(optionCountAfter(3, 1, -5), 4) << "signed comparison";
}

TEST(ProgramCode, FromTheModuleFileName)
{
    EXPECT_EQ(programCodeFromModule(QStringLiteral("/opt/qv/WOFB07C.so")), QStringLiteral("WOFB07"));
    EXPECT_EQ(programCodeFromModule(QStringLiteral("C:\\QV\\WOFB07C.dll")), QStringLiteral("WOFB07"));
    EXPECT_EQ(programCodeFromModule(QStringLiteral("wofb07c.DLL")), QStringLiteral("WOFB07"));
    EXPECT_EQ(programCodeFromModule(QStringLiteral("WOFB07C.exe")), QStringLiteral("WOFB07"))
        << "two characters dropped from a program, never fewer than six kept";
    EXPECT_EQ(programCodeFromModule(QStringLiteral("/bin/ACPAR123XY")), QStringLiteral("ACPAR123"));
    EXPECT_EQ(programCodeFromModule(QStringLiteral("ABC.so")), QStringLiteral("ABC"));
    EXPECT_TRUE(isLibraryFile(QStringLiteral("x/WOFB07C.Dll")));
    EXPECT_TRUE(isLibraryFile(QStringLiteral("x/WOFB07C.so")));
    EXPECT_FALSE(isLibraryFile(QStringLiteral("x/jobhost")));
}

TEST(RequiredList, ItemsFlagsAndParts)
{
    const QList<TRequiredItem> items =
        parseRequiredFields(QStringLiteral(" ed02, sp05;Y;2 ,ed04;N,sp06;;7,ed07;3, ,ed08;n"));
    ASSERT_EQ(items.size(), 6);
    EXPECT_EQ(items[0].name, QStringLiteral("ed02"));
    EXPECT_TRUE(items[0].checked());
    EXPECT_EQ(items[1].part, 2);
    EXPECT_TRUE(items[1].checked());
    EXPECT_FALSE(items[2].checked()) << "flag N";
    EXPECT_EQ(items[3].part, 0) << "an unknown part counts as all parts";
    EXPECT_TRUE(items[3].checked());
    EXPECT_FALSE(items[4].checked()) << "a numeric flag is not checked";
    EXPECT_FALSE(items[5].checked()) << "n in any case";
}

TEST(NameLists, TestedAsText)
{
    const QString list = QStringLiteral("edPrintDate,edDate2");
    EXPECT_TRUE(nameListed(list, QStringLiteral("edDate"))) << "part of another listed name";
    EXPECT_TRUE(nameListed(list, QStringLiteral("edPrintDate")));
    EXPECT_FALSE(nameListed(list, QStringLiteral("edMonth")));
    EXPECT_FALSE(nameListed(list, QString()));
    EXPECT_EQ(namesOf(QStringLiteral(" a, ,b,")), (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
}
