// The value conversions and the string table.
#include <gtest/gtest.h>

#include <QLocale>

#include <cmath>
#include <limits>

#include "controls/Conversions.h"
#include "platform/bstr.h"

namespace {

using namespace Varnel;

TEST(BSTR2String, NullIsEmptyNotNull) {
    QString s = BSTR2String(nullptr);
    EXPECT_TRUE(s.isEmpty());
    EXPECT_FALSE(s.isNull());
}

TEST(BSTR2String, StopsAtFirstNul) {
    const char16_t text[] = {u'a', u'b', u'\0', u'c', u'd'};
    BSTR b = SysAllocStringLen(text, 5);
    EXPECT_EQ(BSTR2String(b), QStringLiteral("ab"));
    EXPECT_EQ(SysStringLen(b), 5u);  // not released by the conversion
    SysFreeString(b);
}

TEST(String2BSTR, NullEmptyAndText) {
    EXPECT_EQ(String2BSTR(QString()), nullptr);

    BSTR empty = String2BSTR(QLatin1String(""));
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(SysStringLen(empty), 0u);
    EXPECT_EQ(empty[0], u'\0');
    SysFreeString(empty);

    BSTR text = String2BSTR(QStringLiteral("Água 5"));
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(SysStringLen(text), 6u);
    EXPECT_EQ(BSTR2String(text), QStringLiteral("Água 5"));
    SysFreeString(text);
}

QDateTime Local(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms));
}

struct DateCase {
    double date;
    QDateTime dt;
};

TEST(Dates, BothWaysAgreeOnKnownValues) {
    const DateCase cases[] = {
        {0.0, Local(1899, 12, 30)},
        {-1.0, Local(1899, 12, 29)},
        {-1.25, Local(1899, 12, 29, 6)},   // the fraction of a negative date counts forwards
        {-2.5, Local(1899, 12, 28, 12)},
        {1.5, Local(1899, 12, 31, 12)},
        {45848.75, Local(2025, 7, 10, 18)},
        {2958465.0, Local(9999, 12, 31)},
        {-657434.0, Local(100, 1, 1)},
    };
    for (const DateCase& c : cases) {
        SCOPED_TRACE(c.date);
        EXPECT_EQ(DATE2DateTime(c.date), c.dt);
        if (c.date > -657434.0) {
            EXPECT_DOUBLE_EQ(DateTime2DATE(c.dt), c.date);
        }
    }
}

TEST(Dates, MillisecondsSurviveTheRoundTrip) {
    const QDateTime dt = Local(2024, 2, 29, 23, 59, 59, 123);
    EXPECT_EQ(DATE2DateTime(DateTime2DATE(dt)), dt);
}

TEST(Dates, NoDateValues) {
    EXPECT_EQ(DateTime2DATE(MinDateTime()), -1.0);
    EXPECT_EQ(DateTime2DATE(MaxDateTime()), -1.0);
    EXPECT_EQ(DateTime2DATE(MinDateTime().addSecs(-1)), -1.0);
    EXPECT_EQ(DateTime2DATE(QDateTime()), -1.0);
    EXPECT_EQ(DateTime2DATE(Local(50, 6, 1)), -1.0);  // before an OLE date's first day
    EXPECT_NE(DateTime2DATE(MaxDateTime().addMSecs(-1)), -1.0);
}

TEST(Dates, UnrepresentableDateGivesNullDateTime) {
    EXPECT_TRUE(DATE2DateTime(3.0e6).isNull());
    EXPECT_TRUE(DATE2DateTime(-7.0e5).isNull());
    EXPECT_TRUE(DATE2DateTime(std::numeric_limits<double>::quiet_NaN()).isNull());
}

class StringTable : public ::testing::Test {
protected:
    void TearDown() override { QLocale::setDefault(QLocale::c()); }
    static void Use(const char* name) { QLocale::setDefault(QLocale(QLatin1String(name))); }
};

TEST_F(StringTable, EveryIdInEveryLanguage) {
    struct Row {
        int id;
        const char16_t* en;
        const char16_t* es;
        const char16_t* pt;
    };
    const Row rows[] = {
        {3, u"Volume", u"Volumen", u"Volume"},
        {5, u"Water ", u"Agua ", u"Água "},
        {6, u"Level ", u"Nivel ", u"Nível "},
        {7, u"Ullage ", u"Merma ", u"Ullage "},
        {8, u"Grade", u"Producto", u"Comb."},
        {11, u"Hose", u"Manguera", u"Bico"},
        {13, u"Flow rate", u"Fluxo L/m", u"Fluxo L/m"},
        {14, u"Reading", u"Leitura", u"Leitura"},
        {17, u"Are you sure you want to set the tank volume to %0.0fL ?",
         u"¿Estás seguro de configurar el volumen  %0.0fL ?",
         u"Tem certeza de que deseja mudar o volume do tanque  para %0.0fL ?"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.id);
        Use("en_US");
        EXPECT_EQ(StringFromResource(r.id), QString::fromUtf16(r.en));
        Use("es_ES");
        EXPECT_EQ(StringFromResource(r.id), QString::fromUtf16(r.es));
        Use("pt_BR");
        EXPECT_EQ(StringFromResource(r.id), QString::fromUtf16(r.pt));
    }
    for (const char* lang : {"en_US", "es_ES", "pt_BR"}) {
        Use(lang);
        for (int id = 3; id <= 19; ++id) EXPECT_FALSE(StringFromResource(id).isEmpty()) << lang << " " << id;
    }
}

TEST_F(StringTable, UnknownLanguageFallsBackToEnglish) {
    Use("de_DE");
    EXPECT_EQ(StringFromResource(4), QStringLiteral("Value"));
}

TEST_F(StringTable, IdsOutsideTheTableAreEmpty) {
    Use("en_US");
    for (int id : {-1, 0, 1, 2, 20, 1000}) EXPECT_EQ(StringFromResource(id), QString()) << id;
    char16_t buffer[kResourceBufferSize];
    buffer[0] = u'x';
    EXPECT_EQ(StringFromResource(20, buffer), buffer);
    EXPECT_EQ(buffer[0], u'\0');
}

TEST_F(StringTable, DeliveryRejectionHasTwoBreaksAndThreePlaceholders) {
    Use("en_US");
    const QString text = StringFromResource(18);
    EXPECT_EQ(text.count(QLatin1Char('\n')), 2);
    EXPECT_EQ(text.count(QLatin1String("%0.0f")), 3);
    const QByteArray format = text.toUtf8();
    char out[300];
    std::snprintf(out, sizeof out, format.constData(), 1000.0, 21000.0, 20000.0);
    EXPECT_STREQ(out,
                 "This tank delivery of 1000L is invalid,\nThe new tank volume of 21000L\n would be more than the "
                 "tank capacity of 20000L.");
}

}  // namespace
