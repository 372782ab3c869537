#include "db/IndexDefs.h"

#include <gtest/gtest.h>

#include <string>

#include "db/Messages.h"
#include "rtl/Exceptions.h"

namespace {

using namespace db;

TEST(IndexDefs, GetIndexForFieldsPrefersExactMatchesThenWholePrefixes) {
    TIndexDefs defs;
    defs.Add("", "ID", ixPrimary | ixUnique);
    defs.Add("BYNAME", "LAST;FIRST", 0);
    defs.Add("BYNAMEX", "LAST", ixCaseInsensitive);
    defs.Add("CITYDESC", "CITY", ixDescending);
    defs.Add("CITYEXPR", "CITY", ixExpression);
    defs.Add("CITYSTATE", "CITY;STATE", ixCaseInsensitive);
    defs.Add("LASTNAMES", "LASTNAME", 0);
    defs.Add("STREET", "STREET;NO", 0);
    defs.Add("STREETX", "street", ixCaseInsensitive);
    const struct {
        const char* fields;
        bool caseInsensitive;
        const char* expected;  // nullptr: none
    } cases[] = {
        {"ID", false, ""},
        {"id", false, ""},           // names compare without case
        {"LAST", false, "BYNAMEX"},  // exact before prefix, though BYNAME comes first
        {"LAST", true, "BYNAMEX"},
        {"LAST;FIRST", false, "BYNAME"},
        {"LAST;FIRST", true, nullptr},  // BYNAME is case-sensitive
        {"LASTN", false, nullptr},      // a prefix must end at ";" or the end
        {"CITY", false, "CITYSTATE"},   // descending and expression indexes never serve
        {"STREET", false, "STREETX"},   // exact wins over the earlier prefix
        {"STREET", true, "STREETX"},
        {"STREET;NO", true, nullptr},
        {"FIRST", false, nullptr},
    };
    for (const auto& c : cases) {
        const TIndexDef* def = defs.GetIndexForFields(c.fields, c.caseInsensitive);
        if (c.expected == nullptr)
            EXPECT_EQ(def, nullptr) << c.fields;
        else
            EXPECT_EQ(def == nullptr ? "(none)" : def->Name(), c.expected)
                << c.fields << " " << c.caseInsensitive;
    }
    EXPECT_EQ(defs.FindIndexForFields("last;first").Name(), "BYNAME");
    try {
        defs.FindIndexForFields("FIRST");
        ADD_FAILURE();
    } catch (const rtl::EDatabaseError& e) {
        EXPECT_EQ(e.Message(), "No index for fields 'FIRST'");
    }
}

TEST(IndexDefs, FindByNameAndCopy) {
    TIndexDefs defs;
    defs.Add("NAME", "NAME", ixCaseInsensitive);
    EXPECT_EQ(defs.IndexOf("name"), 0);
    EXPECT_THROW(defs.Find("KPH"), rtl::EDatabaseError);
    TIndexDefs copy;
    copy.Assign(defs);
    ASSERT_EQ(copy.Count(), 1);
    EXPECT_EQ(copy[0].Options(), ixCaseInsensitive);
    EXPECT_THROW(copy[1], rtl::EListError);
}

}  // namespace
