// MessageService: the message boxes the program shows, so that tests can answer them.
#pragma once

#include <string_view>

namespace app {

// Texts are Windows-1252 bytes. Every box is modal over the active window and has the captions named
// below; Information and Stop boxes carry the application's title.
class MessageService {
public:
    virtual ~MessageService();

    // An error box (critical icon, OK button) captioned "Error".
    virtual void ShowError(std::string_view text) = 0;
    // A plain box without an icon, with an OK button.
    virtual void ShowInformation(std::string_view text) = 0;
    // A Yes/No box captioned "Confirm"; true for Yes.
    virtual bool Confirm(std::string_view question) = 0;
    // The application handler's box: stop icon, OK button.
    virtual void ShowStop(std::string_view text) = 0;
};

}  // namespace app
