// QtMessageService: the message boxes of MessageService as Qt message boxes over the active window.
#pragma once

#include <string>

#include "app/core/MessageService.h"

namespace app {

class QtMessageService final : public MessageService {
public:
    // `title` captions the plain and the stop boxes.
    explicit QtMessageService(std::string title);

    void ShowError(std::string_view text) override;
    void ShowInformation(std::string_view text) override;
    bool Confirm(std::string_view question) override;
    void ShowStop(std::string_view text) override;

private:
    std::string title_;
};

}  // namespace app
