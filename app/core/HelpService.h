// HelpService: the program's help viewer over its help file, by topic or by help context.
#pragma once

#include <string_view>

namespace app {

class HelpService {
public:
    virtual ~HelpService();

    // Shows the topic of that name ("CONTENTS" for the help command).
    virtual void ShowTopic(std::string_view topic) = 0;
    // Shows the topic of a form's help context; a context the file lacks shows the contents.
    virtual void ShowContext(int context) = 0;
};

}  // namespace app
