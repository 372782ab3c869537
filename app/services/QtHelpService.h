// QtHelpService: the help file shown in the program's help window.
#pragma once

#include <QString>

#include <optional>
#include <string>

#include "app/core/HelpService.h"

namespace app {

class MessageService;

// The help file is UTF-8 HTML; a topic is the anchor of its name, a help context the anchor
// "context-" + the number. The window is modal over the active window, so that F1 works inside any
// modal one. A file that cannot be read gives an error box naming its path.
class QtHelpService final : public HelpService {
public:
    // `helpFile`: the file's path in Windows-1252 bytes.
    QtHelpService(std::string helpFile, MessageService& messages);

    void ShowTopic(std::string_view topic) override;
    void ShowContext(int context) override;

    // The anchor of a help context.
    static QString ContextAnchor(int context);

private:
    // The file's text; none, after the error box, when it cannot be read.
    std::optional<QString> ReadFile() const;
    void Show(const QString& html, const QString& anchor) const;

    std::string helpFile_;
    MessageService& messages_;
};

}  // namespace app
