// RecordingLink: a data link that writes down what it is told, for tests of datasets and controls.
#pragma once

#include <string>
#include <vector>

#include "db/DataLink.h"
#include "db/Field.h"

namespace db_test {

// Entries: "active", "inactive", "change", "scroll N", "record" (the whole record) or "record NAME",
// "layout", "editing", "browsing". The notifications that every move sends (check browse mode, update
// record) are only counted.
class RecordingLink : public db::TDataLink {
public:
    explicit RecordingLink(int bufferCount = 1) { SetBufferCount(bufferCount); }

    std::vector<std::string> Take() {
        std::vector<std::string> taken;
        taken.swap(log_);
        return taken;
    }
    int checkBrowseModeCount = 0;
    int updateDataCount = 0;

protected:
    void ActiveChanged() override { log_.push_back(Active() ? "active" : "inactive"); }
    void DataSetChanged() override { log_.push_back("change"); }
    void DataSetScrolled(int distance) override { log_.push_back("scroll " + std::to_string(distance)); }
    void RecordChanged(db::TField* field) override {
        log_.push_back(field == nullptr ? "record" : "record " + field->FieldName());
    }
    void LayoutChanged() override { log_.push_back("layout"); }
    void EditingChanged() override { log_.push_back(Editing() ? "editing" : "browsing"); }
    void CheckBrowseMode() override { ++checkBrowseModeCount; }
    void UpdateData() override { ++updateDataCount; }

private:
    std::vector<std::string> log_;
};

}  // namespace db_test
