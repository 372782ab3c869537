// TTARNISDBDataSet: the dataset bound to a database and a session, holding the database while open.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "components/TARNISDataSet.h"

namespace components {

class TTARNISDatabase;
class TTARNISSession;

// Reasons for which a dataset holds its database; it holds it while any is set.
enum TDBFlag : int {
    dbfOpened = 0,      // the cursor is open
    dbfExecSQL = 1,     // a query runs a statement that returns no rows
    dbfPrepared = 2,    // a query keeps its statement prepared
    dbfEmptyTable = 3,  // a closed table empties itself
    dbfFieldList = 4,   // a closed table reads its field definitions
    dbfIndexList = 5,   // a closed table reads its index definitions
};

// Opening opens the database DatabaseName names through the session SessionName names ("" the default
// session; a temporary database when no database component has the name); closing releases it. A dataset
// made on the owner of an auto-named session works in that session.
class TTARNISDBDataSet : public TTARNISDataSet {
public:
    explicit TTARNISDBDataSet(rtl::TComponent* owner = nullptr);
    // Closes the dataset and lets its database go.
    ~TTARNISDBDataSet() override;

    const std::string& DatabaseName() const noexcept { return databaseName_; }
    // Raises while open and while the dataset holds a database.
    void SetDatabaseName(std::string_view value);
    const std::string& SessionName() const noexcept { return sessionName_; }
    // Raises while open.
    void SetSessionName(std::string_view value);

    // The database held, null when none.
    TTARNISDatabase* Database() const noexcept { return database_; }
    // The database's session while one is held, else the session SessionName names.
    TTARNISSession& DBSession() const;
    bool DBFlag(int flag) const noexcept { return (dbFlags_ & (1u << flag)) != 0; }

    // Closes the dataset (its database is closing).
    virtual void Disconnect();
    // Holds the database for the reason: the first reason opens it (one reference more) and joins its
    // dataset list; the last one cleared leaves the list and gives the reference back.
    virtual void SetDBFlag(int flag, bool value);
    // True for 0; raises the engine error for any other code.
    bool CheckOpen(std::uint16_t code) const;

protected:
    void OpenCursor(bool infoQuery) override;
    void CloseCursor() override;
    void Notification(rtl::TComponent* component, rtl::TOperation operation) override;

    // The session's OpenDatabase with DatabaseName and the dataset's owner.
    TTARNISDatabase& OpenDatabase();
    // A database of the name that the default session has moves to the named session when that session
    // has none of the name for this dataset.
    void CheckDBSessionName();

private:
    friend class TTARNISSession;

    void ReleaseDatabase();

    std::uint16_t dbFlags_ = 0;
    TTARNISDatabase* database_ = nullptr;
    std::string databaseName_;
    std::string sessionName_;
};

}  // namespace components
