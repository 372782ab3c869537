#include "components/SessionRuntime.h"

#include <stdexcept>

#include "components/ComponentTexts.h"

namespace components {

namespace {

// Sessions run on the GUI thread only; the runtime is made and freed there too.
SessionRuntime* live = nullptr;

}  // namespace

SessionRuntime::SessionRuntime() {
    if (live != nullptr) throw std::logic_error("A session runtime exists already; there is one at a time.");
    sessions_ = std::make_unique<TTARNISSessionList>();
    live = this;
    try {
        // The first session added is the default one; the list frees it.
        auto* defaultSession = new TTARNISSession(nullptr);
        defaultSession->SetSessionName(kDefaultSessionName);
    } catch (...) {
        sessions_->CloseAll();
        live = nullptr;
        throw;
    }
}

SessionRuntime::~SessionRuntime() {
    // While the sessions go, Sessions() still answers: a session's stop may look for the list.
    sessions_->CloseAll();
    live = nullptr;
}

TTARNISSession& SessionRuntime::DefaultSession() const {
    TTARNISSession* session = sessions_->DefaultSession();
    if (session == nullptr) throw std::logic_error("The default session has been freed.");
    return *session;
}

SessionRuntime& SessionRuntime::Live() {
    if (live == nullptr) throw std::logic_error("No session runtime exists: sessions need one.");
    return *live;
}

bool SessionRuntime::Exists() noexcept {
    return live != nullptr;
}

TTARNISSessionList& Sessions() {
    return SessionRuntime::Live().SessionList();
}

TTARNISSession& Session() {
    return SessionRuntime::Live().DefaultSession();
}

}  // namespace components
