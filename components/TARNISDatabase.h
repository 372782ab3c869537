// TTARNISDatabase: a named directory of table files within a session, and the datasets that use it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "components/ComponentTexts.h"
#include "components/TARNISSession.h"
#include "rtl/Component.h"

namespace components {

class TTARNISDBDataSet;

// True for a name taken as a directory rather than as a database's name: empty, or holding a colon, a
// backslash or a slash. Windows-1252 has no lead bytes, so every byte stands for itself.
bool IsDirectory(std::string_view name);

// Holds no engine object: connected only means its handle is set, and its directory is all the engine sees.
// Belongs to one session (the owner when that is a session, an auto-named session of the owner, else the
// default session). Made with new; its owner, or the session for a temporary one, frees it.
class TTARNISDatabase : public rtl::TComponent {
public:
    explicit TTARNISDatabase(rtl::TComponent* owner = nullptr);
    // Closes the database (and so its datasets) and leaves its session's list.
    ~TTARNISDatabase() override;

    // Published properties.
    std::string EngineVersion() const { return std::string(kEngineVersion); }
    void SetEngineVersion(std::string_view) noexcept {}
    bool Connected() const noexcept { return handle_ != 0; }
    // While loading, only remembered for Loaded; otherwise Open or Close.
    void SetConnected(bool value);
    const std::string& DatabaseName() const noexcept { return databaseName_; }
    // Raises while connected, for a directory-like name on a named database, and for a name another named
    // or referenced database of the session has (a free temporary database of that name is freed).
    void SetDatabaseName(std::string_view value);
    // A temporary database named like a directory has that directory; otherwise the one assigned.
    std::string Directory() const;
    void SetDirectory(std::string_view value);
    bool HandleShared() const noexcept { return handleShared_; }
    void SetHandleShared(bool value) noexcept { handleShared_ = value; }
    bool KeepConnection() const noexcept { return keepConnection_; }
    // Switching it off without references closes the database.
    void SetKeepConnection(bool value);
    const std::string& SessionName() const noexcept { return sessionName_; }
    // Raises while connected; a name of an existing session moves the database to it.
    void SetSessionName(std::string_view value);
    TNotifyEvent BeforeConnect;

    bool Temporary() const noexcept { return temporary_; }
    void SetTemporary(bool value) noexcept { temporary_ = value; }
    // Dataset opens through the session's OpenDatabase not yet closed.
    int RefCount() const noexcept { return refCount_; }
    // 0 while not connected; 1 when connected through Open, else the shared database's handle.
    std::uintptr_t Handle() const noexcept { return handle_; }
    // The owning session; null once it is gone.
    TTARNISSession* Session() const noexcept { return session_; }

    int DataSetCount() const noexcept { return static_cast<int>(dataSets_.size()); }
    TTARNISDBDataSet* DataSets(int index) const;

    // Connects: BeforeConnect, the name and session checks (which start the session), then the handle.
    // Nothing when connected.
    void Open();
    // When connected: the close notification, every dataset closed, handle and references to 0.
    void Close();
    // Disconnects every listed dataset, the last first; an entry that stays listed is removed.
    void CloseDataSets();
    void CheckInactive() const;
    void CheckDatabaseName() const;
    // Binds the database to the session SessionName names (required: it must exist, and it starts).
    void CheckSessionName(bool required);
    // Makes the name free for this database within its session (see SetDatabaseName).
    void ValidateName(std::string_view name);

    // True while Close runs: the session's CloseDatabase then only counts down.
    bool Closing() const noexcept { return closing_; }

    void Loaded() override;

protected:
    void Notification(rtl::TComponent* component, rtl::TOperation operation) override;

private:
    friend class TTARNISSession;
    friend class TTARNISDBDataSet;

    void BindSession(TTARNISSession* session);
    void AddDataSet(TTARNISDBDataSet* dataSet);
    void RemoveDataSet(TTARNISDBDataSet* dataSet) noexcept;

    std::vector<TTARNISDBDataSet*> dataSets_;
    bool keepConnection_ = true;
    bool temporary_ = false;
    bool streamedConnected_ = false;
    bool handleShared_ = false;
    bool closing_ = false;
    int refCount_ = 0;
    std::uintptr_t handle_ = 0;
    TTARNISSession* session_ = nullptr;
    std::string sessionName_;
    std::string databaseName_;
    std::string directory_;
};

}  // namespace components
