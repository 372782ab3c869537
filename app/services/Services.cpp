#include "app/services/Services.h"

#include "app/core/AppState.h"
#include "app/core/Texts.h"
#include "app/services/Application.h"
#include "db/widgets/QtText.h"

namespace app {

QtServices::QtServices(const AppState& state, const std::string& title)
    : messages_(title), help_(state.progdir + std::string(kHelpFile), messages_) {}

Services QtServices::View() {
    return Services{messages_, help_, print_, keyboard_, time_, random_};
}

ServiceRoutes::ServiceRoutes(TApplication& application, const Services& services)
    : application_(application), previousMessages_(application.Messages()), helpKey_(services.help) {
    application_.SetMessageService(&services.messages);
    previousConfirm_ =
        db::widgets::SetConfirmHandler([&messages = services.messages](const QString& question) {
            return messages.Confirm(db::widgets::ToBytes(question));
        });
    application_.installEventFilter(&helpKey_);
}

ServiceRoutes::~ServiceRoutes() {
    application_.removeEventFilter(&helpKey_);
    db::widgets::SetConfirmHandler(std::move(previousConfirm_));
    application_.SetMessageService(previousMessages_);
}

}  // namespace app
