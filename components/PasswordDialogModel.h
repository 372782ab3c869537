// PasswordDialogModel: the rules of the table-password dialog, without a window.
#pragma once

#include <string>
#include <string_view>

#include "components/TARNISSession.h"

namespace components {

// Edits the session's password list: passwords are added or removed one at a time, or all at once, and OK
// adds the typed one as well. The view passes each change of its edit and each button on, shows Text(), and
// enables its buttons as the model says (Remove all is always enabled).
class PasswordDialogModel {
public:
    explicit PasswordDialogModel(TTARNISSession& session) : session_(session) {}

    // The edit's text changed.
    void EditChange(std::string_view text) { text_ = std::string(text); }
    // Adds the typed password and clears the text; OK stays enabled from now on.
    void AddButtonClick();
    // Removes the typed password and clears the text.
    void RemoveButtonClick();
    // Empties the session's list; the text stays.
    void RemoveAllButtonClick();
    // Adds the typed password (an empty one adds nothing); the view then closes with OK.
    void OKButtonClick();

    const std::string& Text() const noexcept { return text_; }
    // Whether a password was added during this showing.
    bool Added() const noexcept { return added_; }
    bool AddEnabled() const noexcept { return !text_.empty(); }
    bool RemoveEnabled() const noexcept { return !text_.empty(); }
    bool OKEnabled() const noexcept { return !text_.empty() || added_; }

private:
    TTARNISSession& session_;
    std::string text_;
    bool added_ = false;
};

}  // namespace components
