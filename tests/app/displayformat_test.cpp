// Display texts: file sizes at the unit boundaries, rounding, and processor names.
#include "app/DisplayFormat.h"

#include <QTest>
#include <clocale>

class DisplayFormatTest : public QObject {
    Q_OBJECT

  private slots:
    // Sizes at and around the unit boundaries, with "." as separator.
    void SizesAtTheBoundaries_data() {
        QTest::addColumn<int>("size");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << 0 << QString("0 bytes");
        QTest::newRow("one byte") << 1 << QString("1 bytes");
        QTest::newRow("below 1 KB") << 1023 << QString("1023 bytes");
        QTest::newRow("1 KB") << 1024 << QString("1 KB");
        QTest::newRow("half") << 1536 << QString("1.5 KB");
        QTest::newRow("rounds up") << 1100 << QString("1.1 KB");
        QTest::newRow("rounds down") << 1075 << QString("1.0 KB");
        QTest::newRow("carry") << 2047 << QString("2.0 KB");
        QTest::newRow("below 1 MB") << 1048575 << QString("1024.0 KB");
        QTest::newRow("1 MB") << 1048576 << QString("1 MB");
        QTest::newRow("1 GB") << 1073741824 << QString("1 GB");
        QTest::newRow("largest") << 2147483647 << QString("2.0 GB");
        QTest::newRow("carry into digits") << 1023 * 1024 + 1000 << QString("1024.0 KB");
    }
    void SizesAtTheBoundaries() {
        QFETCH(int, size);
        QFETCH(QString, text);
        QCOMPARE(QString::fromStdString(FormatFileSize(size, ".")), text);
    }

    // The separator is the one given, also in rounded and carried texts.
    void CommaSeparator() {
        QCOMPARE(QString::fromStdString(FormatFileSize(1536, ",")), QString("1,5 KB"));
        QCOMPARE(QString::fromStdString(FormatFileSize(2047, ",")), QString("2,0 KB"));
        QCOMPARE(QString::fromStdString(FormatFileSize(1024, ",")), QString("1 KB"));
        QCOMPARE(QString::fromStdString(FormatFileSize(2147483647, ",")), QString("2,0 GB"));
    }

    // Without a separator given, the C library's locale decides ("C" uses ".").
    void SeparatorFromTheCLocale() {
        std::setlocale(LC_NUMERIC, "C");
        QCOMPARE(QString::fromStdString(FormatFileSize(1536)), QString("1.5 KB"));
    }

    // Rounding half up to one decimal on the text itself.
    void RoundingTheText_data() {
        QTest::addColumn<QString>("in");
        QTest::addColumn<QString>("out");
        QTest::newRow("whole") << QString("1023") << QString("1023");
        QTest::newRow("bare separator") << QString("12.") << QString("12");
        QTest::newRow("one decimal") << QString("1.5") << QString("1.5");
        QTest::newRow("half up") << QString("1.05") << QString("1.1");
        QTest::newRow("below half") << QString("1.049") << QString("1.0");
        QTest::newRow("nine carries") << QString("1.96") << QString("2.0");
        QTest::newRow("carry through nines") << QString("999.99") << QString("1000.0");
        QTest::newRow("comma") << QString("3,45") << QString("3,5");
        QTest::newRow("two-byte separator") << QString::fromUtf8("3\xd9\xab"
                                                                 "45")
                                            << QString::fromUtf8("3\xd9\xab"
                                                                 "5");
        QTest::newRow("empty") << QString("") << QString("");
    }
    void RoundingTheText() {
        QFETCH(QString, in);
        QFETCH(QString, out);
        QCOMPARE(QString::fromStdString(RoundToOneDecimal(in.toStdString())), out);
    }

    // Unit choice uses strict comparisons on the unrounded value.
    void UnitChoice() {
        QCOMPARE(ChooseSizeUnit(1023.999L).Unit, TSizeUnit::Bytes);
        QCOMPARE(ChooseSizeUnit(1024).Unit, TSizeUnit::Kilobytes);
        QCOMPARE(ChooseSizeUnit(1048575).Unit, TSizeUnit::Kilobytes);
        QCOMPARE(ChooseSizeUnit(1048576).Unit, TSizeUnit::Megabytes);
        QCOMPARE(ChooseSizeUnit(1073741824.0L * 4096).Unit, TSizeUnit::Gigabytes);
        QCOMPARE(static_cast<double>(ChooseSizeUnit(1073741824.0L * 4096).Value), 4096.0);
        QCOMPARE(static_cast<double>(ChooseSizeUnit(1536).Value), 1.5);
    }

    // Every processor of the table has its name; others, and -1, have none.
    void ProcessorNames() {
        const struct {
            int Number;
            const char* Name;
        } table[] = {{0, "CEF"},          {386, "Intel 386"},     {486, "Intel 486"},
                     {586, "Intel 586"},  {686, "Intel 686"},     {1824, "ARM 720"},
                     {2000, "Mips 2000"}, {2080, "ARM 820"},      {2336, "ARM 920"},
                     {2577, "StrongARM"}, {3000, "Mips 3000"},    {4000, "Mips 4000"},
                     {5000, "Mips 5000"}, {10003, "Hitachi SH3"}, {10005, "Hitachi SH4"}};
        for (const auto& row : table)
            QCOMPARE(QString::fromStdString(ProcessorName(row.Number)), QString(row.Name));
        for (int other : {-1, 1, 385, 2578, 10004, 99999})
            QVERIFY(ProcessorName(other).empty());
    }

    // The registry view and the tool's report name roots and types with these.
    void RegistryRootsAndTypes() {
        QCOMPARE(RegistryRootName(0), std::string("HKEY_CLASSES_ROOT"));
        QCOMPARE(RegistryRootName(2), std::string("HKEY_LOCAL_MACHINE"));
        QCOMPARE(RegistryRootName(-1), std::string("(Unknown root -1)"));
        QCOMPARE(RegistryRootName(3), std::string("(Unknown root 3)"));
        QCOMPARE(RegistryTypeName(1), std::string("REG_DWORD"));
        QCOMPARE(RegistryTypeName(3), std::string("REG_MULTI_SZ"));
        QCOMPARE(RegistryTypeName(7), std::string("7"));
    }
};

QTEST_MAIN(DisplayFormatTest)
#include "displayformat_test.moc"
