#include "db/widgets/DBText.h"

#include <gtest/gtest.h>

#include <cmath>

#include "MemDataSet.h"
#include "db/DataSource.h"
#include "db/Field.h"
#include "db/widgets/QtText.h"
#include "rtl/Exceptions.h"
#include "rtl/Variant.h"

namespace {

using namespace db;
using db::widgets::TDBText;
using db::widgets::ToQString;
using db_test::TMemDataSet;

class Text : public ::testing::Test {
protected:
    void SetUp() override {
        table_.SetColumns({{"ID", ftInteger}, {"AMOUNT", ftFloat}, {"NAME", ftString, 20}});
        table_.Open();
        table_.AppendRecord({1, 1234.5, "caf\xE9"});
        table_.AppendRecord({2, 0.1 + 0.2, "<b>two</b>"});
        table_.AppendRecord({3, rtl::Variant::Null(), "three"});
        table_.First();
        source_.SetDataSet(&table_);
        text_.SetDataSource(&source_);
    }

    TMemDataSet table_;
    TDataSource source_;
    TDBText text_;
};

TEST_F(Text, FloatsShowTheTextScoringComparesWith) {
    text_.SetDataField("AMOUNT");
    for (const char* expected : {"1234.5", "0.3", ""}) {
        SCOPED_TRACE(expected);
        const TField& amount = table_.FieldByName("AMOUNT");
        EXPECT_EQ(text_.text(), ToQString(rtl::VarToStr(amount.Value())));
        EXPECT_EQ(text_.text(), expected);
        table_.Next();
    }
}

TEST_F(Text, ShowsPlainTextInTheCodePage) {
    text_.SetDataField("NAME");
    EXPECT_EQ(text_.text(), QString::fromUtf16(u"caf\u00e9"));
    table_.Next();
    EXPECT_EQ(text_.text(), "<b>two</b>");
    EXPECT_EQ(text_.textFormat(), Qt::PlainText);
}

TEST_F(Text, BindsAtRunTime) {
    EXPECT_EQ(text_.text(), "");  // no field yet
    text_.SetDataField("ID");
    EXPECT_EQ(text_.text(), "1");
    text_.SetDataField("name");
    EXPECT_EQ(text_.text(), QString::fromUtf16(u"caf\u00e9"));
    EXPECT_THROW(text_.SetDataField("NOPE"), rtl::EDatabaseError);
    EXPECT_EQ(text_.DataField(), "name");
    EXPECT_EQ(text_.text(), QString::fromUtf16(u"caf\u00e9"));
    text_.SetDataField("");
    EXPECT_EQ(text_.text(), "");

    // Another source: the text follows it, unless its dataset lacks the field.
    TMemDataSet other;
    other.SetColumns({{"ID", ftInteger}});
    other.Open();
    other.AppendRecord({77});
    TDataSource otherSource;
    otherSource.SetDataSet(&other);
    text_.SetDataField("NAME");
    EXPECT_THROW(text_.SetDataSource(&otherSource), rtl::EDatabaseError);
    EXPECT_EQ(text_.DataSource(), &source_);
    EXPECT_EQ(text_.text(), QString::fromUtf16(u"caf\u00e9"));
    text_.SetDataField("ID");
    text_.SetDataSource(&otherSource);
    EXPECT_EQ(text_.text(), "77");
}

TEST_F(Text, KeepsItsTextWhileControlsAreDisabled) {
    text_.SetDataField("ID");
    table_.DisableControls();
    table_.Next();
    EXPECT_EQ(text_.text(), "1");
    table_.Close();
    table_.Open();
    EXPECT_EQ(text_.text(), "1");
    table_.Last();
    table_.EnableControls();
    EXPECT_EQ(text_.text(), "3");
}

TEST_F(Text, EmptyWithoutARecordOrAnOpenDataset) {
    text_.SetDataField("NAME");
    table_.Close();
    EXPECT_EQ(text_.text(), "");
    table_.Open();
    EXPECT_EQ(text_.text(), QString::fromUtf16(u"caf\u00e9"));
    TMemDataSet empty;
    empty.SetColumns({{"NAME", ftString, 5}});
    empty.Open();
    TDataSource emptySource;
    emptySource.SetDataSet(&empty);
    text_.SetDataSource(&emptySource);
    EXPECT_EQ(text_.text(), "");
}

}  // namespace
