#include "db/DataSource.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "MemDataSet.h"
#include "NumbersTable.h"
#include "db/Messages.h"
#include "rtl/Exceptions.h"

namespace {

using namespace db;
using db_test::TMemDataSet;

TEST(DataSource, StateFollowsTheDatasetAndIsInactiveWithoutOne) {
    TDataSource source;
    EXPECT_EQ(source.State(), dsInactive);
    TMemDataSet table;
    db_test::FillNumbers(table, 2);
    std::vector<TDataSetState> states;
    source.OnStateChange = [&](TDataSource& s) { states.push_back(s.State()); };
    source.SetDataSet(&table);
    EXPECT_EQ(source.State(), dsInactive);
    table.Open();
    table.Edit();
    table.Cancel();
    source.SetEnabled(false);
    source.SetEnabled(true);
    source.SetDataSet(nullptr);
    EXPECT_EQ(states,
              (std::vector<TDataSetState>{dsBrowse, dsEdit, dsBrowse, dsInactive, dsBrowse, dsInactive}));
}

TEST(DataSource, EditObeysAutoEdit) {
    TMemDataSet table;
    db_test::FillNumbers(table, 2);
    TDataSource source;
    source.SetDataSet(&table);
    table.Open();
    source.SetAutoEdit(false);
    source.Edit();
    EXPECT_EQ(table.State(), dsBrowse);
    source.SetAutoEdit(true);
    source.Edit();
    EXPECT_EQ(table.State(), dsEdit);
}

TEST(DataSource, DataChangesNameTheFieldOrNothing) {
    TMemDataSet table;
    db_test::FillNumbers(table, 2);
    TDataSource source;
    source.SetDataSet(&table);
    table.Open();
    std::vector<std::string> seen;
    source.OnDataChange = [&](TDataSource&, TField* f) {
        seen.push_back(f == nullptr ? "-" : f->FieldName());
    };
    int updates = 0;
    source.OnUpdateData = [&](TDataSource&) { ++updates; };
    table.Next();
    table.Edit();
    table.FieldByName("NAME").SetAsString("x");
    table.Post();
    EXPECT_EQ(seen, (std::vector<std::string>{"-", "-", "NAME", "-"}));
    EXPECT_EQ(updates, 1);
}

TEST(DataSource, ALoopOfSourcesIsRefused) {
    TMemDataSet master, detail;
    db_test::FillNumbers(master, 1);
    db_test::FillNumbers(detail, 1);
    TDataSource masterSource, detailSource;
    masterSource.SetDataSet(&master);
    detail.SetMasterSource(&masterSource);
    detailSource.SetDataSet(&detail);
    try {
        master.SetMasterSource(&detailSource);  // master -> detail -> master
        ADD_FAILURE();
    } catch (const rtl::EDatabaseError& e) {
        EXPECT_EQ(e.Message(), kCircularDataLink);
    }
    EXPECT_THROW(master.SetMasterSource(&masterSource), rtl::EDatabaseError);  // a dataset its own master
    EXPECT_THROW(masterSource.SetDataSet(&detail), rtl::EDatabaseError);       // the source would feed itself
    EXPECT_EQ(masterSource.DataSet(), &master);
    EXPECT_FALSE(detail.IsLinkedTo(&masterSource));
    EXPECT_TRUE(master.IsLinkedTo(&detailSource));
}

TEST(DataSource, ADyingDatasetLeavesItsSources) {
    TDataSource source;
    {
        TMemDataSet table;
        db_test::FillNumbers(table, 1);
        source.SetDataSet(&table);
        table.Open();
        EXPECT_EQ(source.State(), dsBrowse);
    }
    EXPECT_EQ(source.DataSet(), nullptr);
    EXPECT_EQ(source.State(), dsInactive);
}

TEST(DataSource, OwnedComponentsDieInAnyOrder) {
    // A form that owns a dataset, its fields and a source: whichever dies first, nothing dangles.
    for (bool sourceFirst : {false, true}) {
        rtl::TComponent form;
        TDataSource* source = nullptr;
        if (sourceFirst) source = new TDataSource(&form);
        auto* table = new TMemDataSet(&form);
        db_test::FillNumbers(*table, 2);
        if (!sourceFirst) source = new TDataSource(&form);
        source->SetDataSet(table);
        table->Open();
    }
}

}  // namespace
